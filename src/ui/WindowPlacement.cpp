#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

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

void KeepInside(QWidget &window, QSize outerSize, const QRect &area) {
  const QPoint at = window.pos();
  const int x = std::max(area.left(), std::min(at.x(), area.x() + area.width() - outerSize.width()));
  const int y = std::max(area.top(), std::min(at.y(), area.y() + area.height() - outerSize.height()));
  window.move(x, y);
}

void CentreOnScreen(QWidget &window) {
  QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace skeld
