#include "gpib/Vbib32Qx.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>

namespace VBIB32QX {

namespace {
PauseClock &TheClock() {
  static PauseClock clock;
  return clock;
}
} // namespace

PauseClock SetPauseClock(PauseClock clock) { return std::exchange(TheClock(), std::move(clock)); }

void WaitSeconds(float seconds) {
  if (!(seconds > 0.0f))
    return;
  // A pause longer than a few decades is a pause for the rest of the run.
  const double capped = std::min(static_cast<double>(seconds), 1e9);
  if (TheClock()) {
    TheClock()(capped);
    return;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(capped));

  if (QCoreApplication::instance() == nullptr) {
    std::this_thread::sleep_until(deadline);
    return;
  }
  // Each pass sleeps in a loop of its own until a timer ends it, so window events are
  // handled meanwhile; a handler that waits itself nests its own loop, and this pass then
  // ends once that inner one has. Looping on the clock covers loops ended early.
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    const long long ms = std::min<long long>((left + 999) / 1000, std::numeric_limits<int>::max());
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (loop.exec() != 0) {
      // The application is quitting and no event loop runs any more.
      std::this_thread::sleep_until(deadline);
      return;
    }
  }
}

} // namespace VBIB32QX
