#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace skeld {

void CentreOnOwner(QWidget &window, QWidget *owner, QSize outerSize) {
  QRect area;
  if (owner) {
    area = owner->frameGeometry();
  } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  } else {
    return;
  }
  window.move(area.center() - QPoint(outerSize.width() / 2, outerSize.height() / 2));

  if (!window.windowHandle())
    window.winId(); // makes the native window, whose stacking parent is set next
  if (QWindow *handle = window.windowHandle())
    handle->setTransientParent(owner ? owner->window()->windowHandle() : nullptr);
}

void CentreOnScreen(QWidget &window) {
  QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace skeld
