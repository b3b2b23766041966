#include "output/ErrorLogFormats.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringView>

#include <nlohmann/json.hpp>

#include <string>

namespace ErrorLogOutput {

namespace {

QByteArray Bytes(const QString &instrumentText) {
  QByteArray bytes = FileLine(instrumentText);
  bytes.chop(2);
  return bytes;
}

std::string StdBytes(const QString &instrumentText) { return Bytes(instrumentText).toStdString(); }

// With the offset, so that a reading is placed in time wherever it is read.
QString IsoTime(const QDateTime &time) {
  return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

QByteArray CsvLog(const QStringList &entries) {
  QByteArray csv = "index,entry\r\n";
  for (qsizetype i = 0; i < entries.size(); ++i)
    csv += QByteArray::number(i + 1) + ',' + CsvField(Bytes(entries.at(i))) + "\r\n";
  return csv;
}

nlohmann::ordered_json JsonObject(const LogReading &reading) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (const QString &entry : reading.entries)
    entries.push_back(StdBytes(entry));
  return {
      {"model", StdBytes(reading.model)},
      {"gpib_address", reading.gpibAddress ? nlohmann::ordered_json(*reading.gpibAddress) : nullptr},
      {"interface", reading.gpibInterface.toStdString()},
      {"time", IsoTime(reading.time).toStdString()},
      {"entries", entries},
  };
}

QByteArray JsonText(const nlohmann::ordered_json &log) {
  // Bytes that are not UTF-8 show as U+FFFD rather than being dropped or failing the output.
  return QByteArray::fromStdString(log.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                                   '\n');
}

// Unbuffered, so a failed write shows at once with its reason.
bool WriteAll(QFileDevice &file, const QByteArray &bytes) {
  for (qint64 done = 0; done < bytes.size();) {
    const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0)
      return false;
    done += n;
  }
  return true;
}

} // namespace

QString LogHeaderText(const QString &scopeModel, const QDate &date) {
  return QStringLiteral("Error Log from ") + scopeModel + QStringLiteral(", S/N ________________ / ") +
         QLocale::system().toString(date, QLocale::ShortFormat);
}

QString LogHeaderText(const QString &scopeModel) { return LogHeaderText(scopeModel, QDate::currentDate()); }

QByteArray FileLine(const QString &line) {
  QByteArray bytes;
  bytes.reserve(line.size() + 2);
  // The list's characters came from instrument bytes one to one; anything else (a code
  // point, not a UTF-16 unit) becomes one "?".
  for (const char32_t c : QStringView(line).toUcs4())
    bytes.append(c <= 0xFF ? static_cast<char>(c) : '?');
  bytes.append("\r\n");
  return bytes;
}

QByteArray TextLog(const QString &header, const QStringList &entries) {
  QByteArray bytes = FileLine(QString()) + FileLine(header) + FileLine(QString());
  for (qsizetype i = 0, count = entries.size(); i < count; ++i)
    bytes += FileLine(entries.at(i));
  return bytes;
}

QByteArray CsvField(const QByteArray &bytes) {
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r') && !bytes.contains('\n'))
    return bytes;
  QByteArray quoted = bytes;
  quoted.replace("\"", "\"\"");
  return '"' + quoted + '"';
}

QByteArray FormatLog(LogFormat format, const LogReading &reading) {
  switch (format) {
  case LogFormat::Csv:
    return CsvLog(reading.entries);
  case LogFormat::Json:
    return JsonText(JsonObject(reading));
  case LogFormat::Text:
    break;
  }
  return TextLog(LogHeaderText(reading.model, reading.time.date()), reading.entries);
}

QByteArray FormatLogs(LogFormat format, const QList<LogReading> &readings) {
  QByteArray bytes;
  if (format == LogFormat::Json) {
    nlohmann::ordered_json logs = nlohmann::ordered_json::array();
    for (const LogReading &reading : readings)
      logs.push_back(JsonObject(reading));
    return JsonText(logs);
  }
  if (format == LogFormat::Csv)
    bytes = "address,model,index,entry\r\n";
  for (const LogReading &reading : readings) {
    if (format == LogFormat::Text) {
      bytes += FormatLog(format, reading);
      continue;
    }
    const QByteArray scope = (reading.gpibAddress ? QByteArray::number(*reading.gpibAddress) : QByteArray()) +
                             ',' + CsvField(Bytes(reading.model)) + ',';
    for (qsizetype i = 0; i < reading.entries.size(); ++i)
      bytes += scope + QByteArray::number(i + 1) + ',' + CsvField(Bytes(reading.entries.at(i))) + "\r\n";
  }
  return bytes;
}

QString WriteLogFile(const QString &path, const QByteArray &bytes) {
  // A device or a pipe cannot be replaced by a new file, and holds nothing to keep.
  const QFileInfo target(path);
  if (target.exists() && !target.isFile() && !target.isDir()) {
    QFile device(path);
    if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !WriteAll(device, bytes))
      return device.errorString();
    device.close();
    return device.error() == QFileDevice::NoError ? QString() : device.errorString();
  }
  // The old file is replaced only once the whole new one is on disk.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !WriteAll(file, bytes) || !file.commit())
    return file.errorString();
  return QString();
}

} // namespace ErrorLogOutput
