#pragma once

#include <QDialog>

// Placeholder until the message box window lands.
class MessBox : public QDialog {
  Q_OBJECT
public:
  static MessBox &Instance();
  void ShowModal();
};
