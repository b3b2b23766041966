#pragma once

#include "gpib/Vbib32Qx.h"
#include "support/ScopedSeam.h"

#include <QCoreApplication>

#include <functional>

// While alive, every pause passes at once on a clock of the test's own: the events waiting
// are handled as the real pause would, then onPause runs (to act in the middle of a reading).
class InstantPauses {
public:
  double elapsed = 0;
  int pauses = 0;
  std::function<void()> onPause;

private:
  void Pass(double seconds) {
    elapsed += seconds;
    ++pauses;
    QCoreApplication::processEvents();
    if (onPause)
      onPause();
  }

  ScopedSeam<VBIB32QX::PauseClock> clock_{VBIB32QX::SetPauseClock, [this](double seconds) { Pass(seconds); }};
};
