#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

// The pieces of the export that need no window.
namespace ErrorLogOutput {

// "Error Log from <model>, S/N ________________ / <date>", the date in the user's short form.
QString LogHeaderText(const QString &scopeModel, const QDate &date);
QString LogHeaderText(const QString &scopeModel);

// The save dialog's start folder, created (last level only) when an export begins.
QString ErrorLogFolder();

// One line as the file holds it: Latin-1, a "?" for every character outside it, CR LF.
QByteArray FileLine(const QString &line);

// Writes the file: an empty line, the header, an empty line, the entries. Returns the reason
// when something could not be written, else an empty text. A file that was there stays as
// it was until the new one is complete, and stays whole when the writing fails.
QString WriteErrorLogFile(const QString &path, const QString &header, const QStringList &entries);

} // namespace ErrorLogOutput
