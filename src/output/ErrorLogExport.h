#pragma once

#include "output/ErrorLogFormats.h"

#include <QString>
#include <QStringList>

// The pieces of the export that need no window.
namespace ErrorLogOutput {

// The save dialog's start folder, created (last level only) when an export begins.
QString ErrorLogFolder();

// What the save dialog's answer comes to. A name ending in a known extension (letter case
// ignored) picks that format whatever file type is chosen; otherwise the chosen type's format
// applies, and a CSV or JSON name gets the type's extension. A plain-text name is kept as it
// stands.
struct SaveTarget {
  LogFormat format;
  QString path;
};
SaveTarget SaveTargetFor(const QString &chosenPath, const QString &chosenFilter);

// Writes the file: an empty line, the header, an empty line, the entries. Returns the reason
// when something could not be written, else an empty text. A file that was there stays as
// it was until the new one is complete, and stays whole when the writing fails.
QString WriteErrorLogFile(const QString &path, const QString &header, const QStringList &entries);

} // namespace ErrorLogOutput
