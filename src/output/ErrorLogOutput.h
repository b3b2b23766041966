#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The main window's output commands. Both read only the listed entries and the model; the
// owner is the parent of their dialogs.
namespace ErrorLogOutput {

// Prints the header and the entries on the printer chosen in the print dialog, one print
// job per copy, and puts the previous default printer back.
void PrintErrorLog(const QStringList &entries, const QString &scopeModel, QWidget *owner);

// Writes the header and the entries to the text file chosen in the save dialog.
void SendErrorLogToFile(const QStringList &entries, const QString &scopeModel, QWidget *owner);

} // namespace ErrorLogOutput
