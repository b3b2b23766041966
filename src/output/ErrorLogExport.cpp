#include "output/ErrorLogExport.h"

#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "platform/AppDataFolder.h"
#include "ui/Module1.h"

#include <QDir>

#include <optional>

namespace ErrorLogOutput {

namespace {
constexpr char kSaveTitle[] = "Save the Error Log";
constexpr char kInitialFileName[] = "ErrorLog1";
constexpr char kFilter[] = "Error Log Files (*.txt)";
// Offered after the plain text, in the order of LogFormat.
constexpr char kCsvFilter[] = "CSV Files (*.csv)";
constexpr char kJsonFilter[] = "JSON Files (*.json)";
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

} // namespace

QString ErrorLogFolder() { return skeld::AppDataPath(QLatin1String(kFolderName)); }

QString WriteErrorLogFile(const QString &path, const QString &header, const QStringList &entries) {
  return WriteLogFile(path, TextLog(header, entries));
}

void SendErrorLogToFile(const LogReading &reading, QWidget *owner) {
  const QString folder = ErrorLogFolder();
  if (!skeld::MakeAppDataSubfolder(folder)) {
    ReportFailure(folder, QLatin1String(kFolderFailure));
    return;
  }
  const std::optional<SaveChoice> choice =
      AskSavePath(owner, SaveDialogSetup{QLatin1String(kSaveTitle),
                                         folder,
                                         QLatin1String(kInitialFileName),
                                         QLatin1String(kFilter),
                                         {QLatin1String(kCsvFilter), QLatin1String(kJsonFilter)}});
  if (!choice)
    return;
  LogFormat format = LogFormat::Text;
  if (choice->filter == QLatin1String(kCsvFilter))
    format = LogFormat::Csv;
  else if (choice->filter == QLatin1String(kJsonFilter))
    format = LogFormat::Json;
  // The plain text's header carries the day it was saved, as it always has.
  const QByteArray bytes = format == LogFormat::Text ? TextLog(LogHeaderText(reading.model), reading.entries)
                                                     : FormatLog(format, reading);
  const QString failure = WriteLogFile(choice->path, bytes);
  if (!failure.isEmpty())
    ReportFailure(choice->path, failure);
}

void SendErrorLogToFile(const QStringList &entries, const QString &scopeModel, QWidget *owner) {
  LogReading reading;
  reading.model = scopeModel;
  reading.entries = entries;
  reading.time = QDateTime::currentDateTime();
  SendErrorLogToFile(reading, owner);
}

} // namespace ErrorLogOutput
