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

QPoint CentredIn(QSize outerSize, const QRect &area) {
  // Centring a window wider or taller than the area puts its menu and title off the screen.
  const auto along = [](int start, int room, int size) {
    return size >= room ? start : (start + start + room - 1) / 2 - size / 2;
  };
  return {along(area.x(), area.width(), outerSize.width()),
          along(area.y(), area.height(), outerSize.height())};
}

void CentreOnScreen(QWidget &window) {
  QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  window.move(CentredIn(window.size(), screen->availableGeometry()));
}

} // namespace skeld
