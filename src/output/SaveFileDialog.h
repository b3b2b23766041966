#pragma once

#include <QFileDialog>

// The save dialog, which keeps the user in it while the chosen file's folder does not exist,
// so the name can be corrected there rather than failing after the dialog has closed.
class SaveFileDialog : public QFileDialog {
  Q_OBJECT

public:
  SaveFileDialog(QWidget *owner, const QString &title, const QString &folder);

protected:
  void accept() override;
};
