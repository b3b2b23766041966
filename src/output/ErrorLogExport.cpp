#include "output/ErrorLogExport.h"

#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "platform/AppDataFolder.h"
#include "ui/Module1.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>
#include <optional>

namespace ErrorLogOutput {

namespace {
constexpr char kSaveTitle[] = "Save the Error Log";
constexpr char kInitialFileName[] = "ErrorLog1";

struct FileType {
  const char *filter;
  const char *extension;
  LogFormat format;
};
// As the dialog offers them: the plain text first, chosen unless the user picks another.
constexpr FileType kFileTypes[] = {
    {"Error Log Files (*.txt)", "txt", LogFormat::Text},
    {"CSV Files (*.csv)", "csv", LogFormat::Csv},
    {"JSON Files (*.json)", "json", LogFormat::Json},
};
constexpr char kFolderName[] = "\\Skeld Error Log";
constexpr char kFailureTitle[] = "Copy to File";
constexpr char kFailurePrompt[] = "The error log could not be written to";
constexpr char kFolderFailure[] = "The folder could not be created.";
constexpr char kReplaceQuestion[] = " already exists.\nDo you want to replace it?";

// The user must not believe the log was saved when it was not.
void ReportFailure(const QString &path, const QString &reason) {
  Module1::ShowMessBox(QLatin1String(kFailurePrompt) + QLatin1Char('\n') + QDir::toNativeSeparators(path) +
                           QStringLiteral("\n\n") + reason,
                       Module1::Style::Exclamation, QLatin1String(kFailureTitle));
}

// The dialog asked only about the name it returned; the name written may be another.
bool MayReplace(const QString &path) {
  return Module1::ShowMessBox(QDir::toNativeSeparators(path) + QLatin1String(kReplaceQuestion),
                              Module1::Style::YesNo | Module1::Style::Exclamation,
                              QLatin1String(kSaveTitle)) == Module1::IdYes;
}

} // namespace

QString ErrorLogFolder() { return skeld::AppDataPath(QLatin1String(kFolderName)); }

SaveTarget SaveTargetFor(const QString &chosenPath, const QString &chosenFilter) {
  const QString name = QFileInfo(chosenPath).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  if (dot >= 0) {
    const QString extension = name.mid(dot + 1);
    for (const FileType &type : kFileTypes)
      if (extension.compare(QLatin1String(type.extension), Qt::CaseInsensitive) == 0)
        return {type.format, chosenPath};
  }
  const FileType *chosen = &kFileTypes[0];
  for (const FileType &type : kFileTypes)
    if (chosenFilter == QLatin1String(type.filter))
      chosen = &type;
  // A plain-text file has always been written under the name exactly as given.
  if (chosen->format == LogFormat::Text)
    return {LogFormat::Text, chosenPath};
  // "log." means no extension yet, not an empty one.
  qsizetype dots = 0;
  while (dots < name.size() - 1 && name.at(name.size() - 1 - dots) == QLatin1Char('.'))
    ++dots;
  return {chosen->format, chosenPath.chopped(dots) + QLatin1Char('.') + QLatin1String(chosen->extension)};
}

QString WriteErrorLogFile(const QString &path, const QString &header, const QStringList &entries) {
  return WriteLogFile(path, TextLog(header, entries));
}

void SendErrorLogToFile(const LogReading &reading, QWidget *owner) {
  const QString folder = ErrorLogFolder();
  if (!skeld::MakeAppDataSubfolder(folder)) {
    ReportFailure(folder, QLatin1String(kFolderFailure));
    return;
  }
  SaveDialogSetup setup{QLatin1String(kSaveTitle), folder, QLatin1String(kInitialFileName),
                        QLatin1String(kFileTypes[0].filter)};
  for (std::size_t i = 1; i < std::size(kFileTypes); ++i)
    setup.otherFilters << QLatin1String(kFileTypes[i].filter);
  const std::optional<SaveChoice> choice = AskSavePath(owner, setup);
  if (!choice)
    return;
  const SaveTarget target = SaveTargetFor(choice->path, choice->filter);
  if (target.path != choice->path && QFileInfo::exists(target.path) && !MayReplace(target.path))
    return;
  // The plain text's header carries the day it was saved, as it always has.
  const QByteArray bytes = target.format == LogFormat::Text
                               ? TextLog(LogHeaderText(reading.model), reading.entries)
                               : FormatLog(target.format, reading);
  const QString failure = WriteLogFile(target.path, bytes);
  if (!failure.isEmpty())
    ReportFailure(target.path, failure);
}

void SendErrorLogToFile(const QStringList &entries, const QString &scopeModel, QWidget *owner) {
  LogReading reading;
  reading.model = scopeModel;
  reading.entries = entries;
  reading.time = QDateTime::currentDateTime();
  SendErrorLogToFile(reading, owner);
}

} // namespace ErrorLogOutput
