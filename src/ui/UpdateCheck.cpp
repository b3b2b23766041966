#include "ui/UpdateCheck.h"

#include "platform/AppDataFolder.h"
#include "platform/Homepage.h"
#include "platform/LeadingNumber.h"
#include "ui/Module1.h"

#include <string_view>

namespace UpdateCheck {

namespace {

const QString WorkFolderName = QStringLiteral("\\vbTemp");
const QString LocalFileName = QStringLiteral("/versions.txt");
const QString RemoteDataPath = QStringLiteral("/dl/swv.txt");
const QString ProgramPagePath = QStringLiteral("/dl/SkeldErrLog.htm");

const QString TitlePrefix = QStringLiteral("Current version: ");
const QString AskForInfo = QStringLiteral("\n\nGoto the Program Homepage for info ?");
const QString AskToDownload = QStringLiteral("\n\nGoto the Program Homepage to download ?");
const QString DownloadFailedText = QStringLiteral("Web Datafile not foud.");
const QString FileMissingText = QStringLiteral("Downloaded Datafile not foud.");
const QString NoEntryText = QStringLiteral("No data for this program found.");
const QString NewerBefore = QStringLiteral("A newer version  ( ");
const QString NewerAfter = QStringLiteral(" )  is available.");
const QString LatestText = QStringLiteral("This is the latest version.");

constexpr std::int16_t StyleOk = Module1::Style::OkOnly;
constexpr std::int16_t StyleYesNo = Module1::Style::YesNo;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsField(char c) { return c == ',' || c == '\r' || c == '\n'; }

QString HomepageUrl(const QString &path) {
  return QStringLiteral("http://") + QLatin1String(skeld::HomepageHost) + path;
}

} // namespace

QString RemoteDataUrl() { return HomepageUrl(RemoteDataPath); }
QString ProgramPageUrl() { return HomepageUrl(ProgramPagePath); }
QString WorkFolder() { return skeld::AppDataPath(WorkFolderName); }
QString LocalDataFile(const QString &workFolder) { return workFolder + LocalFileName; }

std::optional<QString> FindEntry(const QByteArray &data, const QString &title) {
  const QString wanted = title.toLower();
  const qsizetype size = data.size();
  qsizetype i = 0;
  while (i < size) {
    while (i < size && IsBlank(data[i]))
      ++i;
    qsizetype start = i;
    qsizetype end = i;
    if (i < size && data[i] == '"') {
      // A quoted field ends at its closing quote; a quote left open ends with its line.
      start = ++i;
      while (i < size && data[i] != '"' && data[i] != '\r' && data[i] != '\n')
        ++i;
      end = i;
      while (i < size && !EndsField(data[i]))
        ++i;
    } else {
      while (i < size && !EndsField(data[i]))
        ++i;
      end = i;
    }
    const QString field = QString::fromLatin1(data.constData() + start, end - start);
    if (field.toLower().contains(wanted))
      return field;
    if (i < size && data[i] == '\r' && i + 1 < size && data[i + 1] == '\n')
      ++i;
    ++i;
  }
  return std::nullopt;
}

QString EntryVersion(const QString &entry) {
  const qsizetype colon = entry.indexOf(QLatin1Char(':'));
  return colon < 0 ? entry : entry.mid(colon + 1);
}

double VersionValue(const QString &text) {
  // Characters beyond Latin-1 become '?', which ends the number like any other non-digit.
  const QByteArray latin1 = text.toLatin1();
  return skeld::LeadingNumber(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())));
}

Verdict Judge(const QByteArray &data, const QString &title, const QString &runningVersion) {
  const std::optional<QString> entry = FindEntry(data, title);
  if (!entry)
    return {Outcome::NoEntry, QString()};
  const QString version = EntryVersion(*entry);
  const bool newer = VersionValue(version) > VersionValue(runningVersion);
  return {newer ? Outcome::Newer : Outcome::Latest, version};
}

Message MessageFor(Outcome outcome, const QString &runningVersion, const QString &version) {
  const QString title = TitlePrefix + runningVersion;
  switch (outcome) {
  case Outcome::DownloadFailed:
    return {DownloadFailedText + AskForInfo, StyleYesNo, title};
  case Outcome::FileMissing:
    return {FileMissingText + AskForInfo, StyleYesNo, title};
  case Outcome::NoEntry:
    return {NoEntryText + AskForInfo, StyleYesNo, title};
  case Outcome::Newer:
    return {NewerBefore + version + NewerAfter + AskToDownload, StyleYesNo, title};
  case Outcome::Latest:
    break;
  }
  return {LatestText, StyleOk, title};
}

} // namespace UpdateCheck
