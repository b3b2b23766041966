#pragma once

#include "output/ErrorLogFormats.h"

#include <QString>
#include <QStringList>

class QWidget;

// The main window's output commands. Both read only the listed entries and the model; the
// owner is the parent of their dialogs.
namespace ErrorLogOutput {

// Prints the header and the entries on the printer chosen in the print dialog, one print
// job per copy, and puts the previous default printer back.
void PrintErrorLog(const QStringList &entries, const QString &scopeModel, QWidget *owner);

// Writes the reading to the file chosen in the save dialog, in the format its extension names
// or else that of the file type chosen there: plain text (the header and the entries), CSV or
// JSON.
void SendErrorLogToFile(const LogReading &reading, QWidget *owner);
// The same for a list without the reading's details (address, interface, time: now).
void SendErrorLogToFile(const QStringList &entries, const QString &scopeModel, QWidget *owner);

} // namespace ErrorLogOutput
