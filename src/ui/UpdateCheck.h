#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// The update check without its window: where the version data file comes from and goes to,
// how it is read, and what the user is told about it.
namespace UpdateCheck {

QString RemoteDataUrl();
QString ProgramPageUrl();
// The folder the data file is downloaded to, and the data file in it.
QString WorkFolder();
QString LocalDataFile(const QString &workFolder);

// The first field of a version data file (8-bit text) that contains title, letter case
// ignored; none when no field does. Fields end at commas and line ends, blanks in front of
// a field are skipped, and a field in double quotes may hold commas.
std::optional<QString> FindEntry(const QByteArray &data, const QString &title);

// The version an entry names: all after its first ":", blanks included; the whole entry
// when it has no colon.
QString EntryVersion(const QString &entry);

// The decimal number a text starts with (blanks in front skipped, "." as the decimal
// point), or 0 when it starts with none: "1.10" counts 1.1.
double VersionValue(const QString &text);

enum class Outcome { DownloadFailed, FileMissing, NoEntry, Newer, Latest };

struct Verdict {
  Outcome outcome;
  QString version; // the entry's version text; empty without an entry
};

// What a downloaded data file says about the running version.
Verdict Judge(const QByteArray &data, const QString &title, const QString &runningVersion);

struct Message {
  QString prompt;
  std::int16_t style;
  QString title;
};

// The box that reports an outcome; version is the entry's version text (used by Newer).
Message MessageFor(Outcome outcome, const QString &runningVersion, const QString &version = QString());

// Every outcome but Latest asks whether to open the program page.
inline bool OffersProgramPage(Outcome outcome) { return outcome != Outcome::Latest; }

} // namespace UpdateCheck
