#include "output/ErrorLogExport.h"

#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "platform/AppDataFolder.h"
#include "ui/Module1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ErrorLogOutput {

namespace {
constexpr char kSaveTitle[] = "Save the Error Log";
constexpr char kInitialFileName[] = "ErrorLog1";
constexpr char kFilter[] = "Error Log Files (*.txt)";
constexpr char kFolderName[] = "\\Skeld Error Log";
constexpr char kFailureTitle[] = "Copy to File";
constexpr char kFailurePrompt[] = "The error log could not be written to";
constexpr char kFolderFailure[] = "The folder could not be created.";

// The user must not believe the log was saved when it was not.
void ReportFailure(const QString &path, const QString &reason) {
  Module1::ShowMessBox(QLatin1String(kFailurePrompt) + QLatin1Char('\n') + QDir::toNativeSeparators(path) +
                           QStringLiteral("\n\n") + reason,
                       Module1::Style::Exclamation, QLatin1String(kFailureTitle));
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

QString ErrorLogFolder() { return skeld::AppDataPath(QLatin1String(kFolderName)); }

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

QString WriteErrorLogFile(const QString &path, const QString &header, const QStringList &entries) {
  QByteArray bytes = FileLine(QString()) + FileLine(header) + FileLine(QString());
  for (qsizetype i = 0, count = entries.size(); i < count; ++i)
    bytes += FileLine(entries.at(i));

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

void SendErrorLogToFile(const QStringList &entries, const QString &scopeModel, QWidget *owner) {
  const QString folder = ErrorLogFolder();
  if (!skeld::MakeAppDataSubfolder(folder)) {
    ReportFailure(folder, QLatin1String(kFolderFailure));
    return;
  }
  const std::optional<QString> path =
      AskSavePath(owner, SaveDialogSetup{QLatin1String(kSaveTitle), folder, QLatin1String(kInitialFileName),
                                         QLatin1String(kFilter)});
  if (!path)
    return;
  const QString failure = WriteErrorLogFile(*path, LogHeaderText(scopeModel), entries);
  if (!failure.isEmpty())
    ReportFailure(*path, failure);
}

} // namespace ErrorLogOutput
