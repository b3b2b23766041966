#include "output/OutputDialogs.h"

#include "output/SaveFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <utility>

namespace ErrorLogOutput {

namespace {
SaveDialogAnswer &SaveAnswer() {
  static SaveDialogAnswer answer;
  return answer;
}

PrintDialogAnswer &PrintAnswer() {
  static PrintDialogAnswer answer;
  return answer;
}
} // namespace

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget *owner, const SaveDialogSetup &setup) {
  std::unique_ptr<QFileDialog> dialog = std::make_unique<SaveFileDialog>(owner, setup.title, setup.folder);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters(QStringList{setup.filter} + setup.otherFilters);
  dialog->selectNameFilter(setup.filter);
  dialog->selectFile(setup.fileName);
  // The file is written under exactly the name chosen, so no suffix is added.
  dialog->setDefaultSuffix(QString());
  dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
  return dialog;
}

std::unique_ptr<QPrintDialog> MakePrintDialog(QWidget *owner, QPrinter &printer) {
  printer.setCopyCount(1);
  auto dialog = std::make_unique<QPrintDialog>(&printer, owner);
  dialog->setOption(QAbstractPrintDialog::PrintToFile, false);
  dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
  return dialog;
}

std::optional<SaveChoice> AskSavePath(QWidget *owner, const SaveDialogSetup &setup) {
  if (SaveAnswer())
    return SaveAnswer()(setup);
  const auto dialog = MakeSaveDialog(owner, setup);
  // A native dialog may move the current directory; relative paths must keep their meaning.
  const QString currentDir = QDir::currentPath();
  const bool accepted = dialog->exec() == QDialog::Accepted;
  if (QDir::currentPath() != currentDir)
    QDir::setCurrent(currentDir);
  if (!accepted || dialog->selectedFiles().isEmpty())
    return std::nullopt;
  return SaveChoice(dialog->selectedFiles().constFirst(), dialog->selectedNameFilter());
}

std::optional<int> AskPrintSetup(QWidget *owner, QPrinter &printer) {
  if (PrintAnswer())
    return PrintAnswer()(printer);
  const auto dialog = MakePrintDialog(owner, printer);
  if (dialog->exec() != QDialog::Accepted)
    return std::nullopt;
  return printer.copyCount();
}

SaveDialogAnswer SetSaveDialogAnswer(SaveDialogAnswer answer) {
  return std::exchange(SaveAnswer(), std::move(answer));
}

PrintDialogAnswer SetPrintDialogAnswer(PrintDialogAnswer answer) {
  return std::exchange(PrintAnswer(), std::move(answer));
}

} // namespace ErrorLogOutput
