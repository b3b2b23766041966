#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

// Turns a window's events into its Activate handler: at every activation, and once right
// after the first showing, because without a window manager (offscreen, a bare X server) a
// window may never be activated. The handler keeps itself to one run where it must.
class ActivationEvents {
public:
  ActivationEvents(QObject *window, std::function<void()> onActivate)
      : window_(window), onActivate_(std::move(onActivate)) {}

  // Called from the window's event() once the window has handled the event.
  void Handled(const QEvent *event) {
    if (event->type() == QEvent::WindowActivate) {
      onActivate_();
    } else if (event->type() == QEvent::Show && !queued_) {
      queued_ = true;
      QTimer::singleShot(0, window_, onActivate_);
    }
  }

private:
  QObject *window_;
  std::function<void()> onActivate_;
  bool queued_ = false;
};
