#pragma once

#include <QCursor>
#include <QGuiApplication>

namespace skeld {

// Keeps the wait cursor up for one blocking step, whichever way it is left.
class WaitCursor {
public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor &) = delete;
  WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace skeld
