#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The log as a file or a program's output holds it: plain text (the layout Copy to File has
// always written), CSV or JSON. No window is needed for any of them.
namespace ErrorLogOutput {

enum class LogFormat { Text, Csv, Json };

// One reading of the log and where it came from. The model and the entries hold the
// instrument's bytes one character each, as the window's list shows them.
struct LogReading {
  QString model;
  // None for a route that reaches one instrument directly (USB, RS-232, the network).
  std::optional<int> gpibAddress;
  QString gpibInterface; // "ni", "prologix:/dev/ttyUSB0" ...
  QDateTime time;        // when the log was read
  QStringList entries;
};

// "Error Log from <model>, S/N ________________ / <date>", the date in the user's short form.
QString LogHeaderText(const QString &scopeModel, const QDate &date);
QString LogHeaderText(const QString &scopeModel);

// One line as the file holds it: Latin-1, a "?" for every character outside it, CR LF.
QByteArray FileLine(const QString &line);

// The plain-text file: an empty line, the header, an empty line, the entries.
QByteArray TextLog(const QString &header, const QStringList &entries);

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote or a line end.
QByteArray CsvField(const QByteArray &bytes);

// The reading in the format asked for; the text's header carries the date of the reading.
QByteArray FormatLog(LogFormat format, const LogReading &reading);

// Several readings, one after the other: text blocks as Copy to File writes each, CSV with
// the address and model on every row (address,model,index,entry), JSON as an array.
QByteArray FormatLogs(LogFormat format, const QList<LogReading> &readings);

// Writes bytes to path. Returns the reason when they could not be written, else an empty
// text. A file that was there stays as it was until the new one is complete, and stays whole
// when the writing fails.
QString WriteLogFile(const QString &path, const QByteArray &bytes);

} // namespace ErrorLogOutput
