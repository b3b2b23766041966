#include "output/SaveFileDialog.h"

#include "ui/Module1.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

namespace {
constexpr char kFolderMissing[] = "The folder does not exist:";
constexpr char kChooseAnother[] = "Choose a folder that exists, or create it here first.";

QString FolderOf(const QString &path) { return QFileInfo(path).absolutePath(); }
} // namespace

SaveFileDialog::SaveFileDialog(QWidget *owner, const QString &title, const QString &folder)
    : QFileDialog(owner, title, folder) {}

void SaveFileDialog::accept() {
  const QStringList chosen = selectedFiles();
  const QString folder = chosen.isEmpty() ? QString() : FolderOf(chosen.constFirst());
  // A platform dialog checks the folder itself and has already closed by now; only the
  // dialog drawn here can keep the user in it.
  const bool drawnHere = !testAttribute(Qt::WA_DontShowOnScreen);
  if (drawnHere && !folder.isEmpty() && !QFileInfo(folder).isDir()) {
    Module1::ShowMessBox(QLatin1String(kFolderMissing) + QLatin1Char('\n') +
                             QDir::toNativeSeparators(folder) + QStringLiteral("\n\n") +
                             QLatin1String(kChooseAnother),
                         Module1::Style::Exclamation, windowTitle());
    return;
  }
  QFileDialog::accept();
}
