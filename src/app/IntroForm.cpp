#include "app/IntroForm.h"

#include "platform/AppInfo.h"
#include "platform/Twips.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

IntroForm::IntroForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), Label1(new QLabel(this)),
      Timer1(new QTimer(this)) {
  setObjectName(QStringLiteral("IntroForm"));
  setWindowTitle(skeld::AppTitle());
  setModal(true);
  setFixedSize(skeld::TwipsSize(2025, 810));

  Label1->setObjectName(QStringLiteral("Label1"));
  // "Times New Roman" is not on Linux; its metric twin keeps the text the same width.
  QFont font(QStringLiteral("Liberation Serif"));
  font.setPointSizeF(14.25);
  font.setWeight(QFont::Normal);
  Label1->setFont(font);
  QPalette palette = Label1->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label1->setPalette(palette);
  Label1->move(skeld::TwipsToPixels(240), skeld::TwipsToPixels(240));
  Label1->setText(QStringLiteral("Label1"));
  Label1->adjustSize();

  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setTimerType(Qt::PreciseTimer);
  connect(Timer1, &QTimer::timeout, this, &IntroForm::Unload);
}

bool IntroForm::event(QEvent *event) {
  const bool handled = QDialog::event(event);
  activation_.Handled(event);
  return handled;
}

void IntroForm::Form_Activate() {
  if (activated_ || unloaded_)
    return;
  activated_ = true;
  // Let the window paint before the time starts running.
  QCoreApplication::processEvents();
  // A click handled just now may have closed the splash: its timer must stay off.
  if (!unloaded_)
    Timer1->start();
}

// The text lets its clicks through to the window, so one handler serves both.
void IntroForm::mouseReleaseEvent(QMouseEvent *event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    Unload();
}

void IntroForm::paintEvent(QPaintEvent *event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void IntroForm::reject() { Unload(); }

void IntroForm::Unload() {
  Timer1->stop();
  if (unloaded_)
    return;
  unloaded_ = true;
  done(QDialog::Accepted);
}
