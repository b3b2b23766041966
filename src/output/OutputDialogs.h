#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QFileDialog;
class QPrintDialog;
class QPrinter;
class QWidget;

// The two common dialogs of the output commands, each behind one answerer a test can set.
namespace ErrorLogOutput {

// How the save dialog is set up on every use.
struct SaveDialogSetup {
  QString title;
  QString folder;
  QString fileName;
  QString filter; // the file type shown first and chosen unless the user picks another
  QStringList otherFilters = {};
};

// What the user chose in the save dialog; an empty filter is the first one.
struct SaveChoice {
  SaveChoice(QString chosenPath, QString chosenFilter = QString())
      : path(std::move(chosenPath)), filter(std::move(chosenFilter)) {}
  QString path;
  QString filter;
};

// Shows the save dialog: the chosen path and file type, or nothing when the user cancels.
std::optional<SaveChoice> AskSavePath(QWidget *owner, const SaveDialogSetup &setup);

// Shows the print dialog, which sets the printer up for the printer chosen: the number of
// copies, or nothing when the user cancels.
std::optional<int> AskPrintSetup(QWidget *owner, QPrinter &printer);

// An answerer replaces the real dialog; each setter returns the previous one (empty = real).
using SaveDialogAnswer = std::function<std::optional<SaveChoice>(const SaveDialogSetup &)>;
SaveDialogAnswer SetSaveDialogAnswer(SaveDialogAnswer answer);
using PrintDialogAnswer = std::function<std::optional<int>(QPrinter &printer)>;
PrintDialogAnswer SetPrintDialogAnswer(PrintDialogAnswer answer);

// The real dialogs, set up and not yet shown. The save dialog is not accepted while the
// chosen file's folder is missing.
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget *owner, const SaveDialogSetup &setup);
std::unique_ptr<QPrintDialog> MakePrintDialog(QWidget *owner, QPrinter &printer);

} // namespace ErrorLogOutput
