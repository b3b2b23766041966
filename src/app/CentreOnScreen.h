#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace skeld {

// Places a top-level window in the middle of its screen (the primary one before it is shown).
inline void CentreOnScreen(QWidget &window) {
  QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace skeld
