#pragma once

#include "app/ActivationEvents.h"

#include <QDialog>

class QLabel;
class QTimer;

// The splash: title, version and build date for a few seconds at start-up. Shown modally;
// it closes at its timer's first tick or at once on a click on it or its text.
class IntroForm : public QDialog {
  Q_OBJECT

public:
  explicit IntroForm(QWidget *parent = nullptr);

  QLabel *Label1;
  QTimer *Timer1;

protected:
  bool event(QEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void reject() override;

private:
  void Form_Activate();
  void Unload();

  bool activated_ = false;
  ActivationEvents activation_{this, [this] { Form_Activate(); }};
  bool unloaded_ = false;
};
