#pragma once

#include "route/EmulatedDriver.h"
#include "route/Route.h"
#include "route/plus/AdapterLink.h"

#include <QString>

#include <chrono>

namespace route {

// The driver entries carried out on the scope's own serial port: every command ends with a
// line feed, a reply ends at its line feed (END), a device clear is a break, and the one
// scope is the only listener. There is no serial poll on the line: it answers nothing pending.
class Rs232Driver : public EmulatedDriver {
public:
  explicit Rs232Driver(const Rs232Route &where);

  // How long the driver waits on the line for what may or may not come. Tests shorten them.
  struct Timings {
    // For an answer to ++ver, which only a "++" adapter gives.
    std::chrono::milliseconds adapterProbe{300};
    // For the "DCL" a TDS 3000 sends after a break; other scopes send nothing.
    std::chrono::milliseconds clearAnswer{300};
  };
  // Returns the previous timings.
  static Timings SetTimings(const Timings &timings);

protected:
  bool Open(QString &why) override;
  void Close() override;
  QString GoneBetweenCalls() override;
  int Write(const Device &device, const QByteArray &data) override;
  int Read(const Device &device, char *buf, int wanted, long &got) override;
  int Clear(const Device &device) override;
  int Poll(const Device &device, int &statusByte) override;
  QString LostText(const QString &reason) const override;
  const char *Noun() const override { return "Serial port"; }

private:
  static Timings &TimingsInUse();
  // The answer a "++" adapter gives to ++ver on this port; empty when none came.
  QByteArray AdapterAnswer();
  int LinkLost(const QString &when = QString());

  // A reply that met a parity, framing or overrun error is no reply: a time-out, as on GPIB.
  bool LineErrorSince(long before);

  Rs232Route where_;
  gpibadapter::AdapterLink link_;
  // The line's error count when the last command went out; -1 where the port cannot tell.
  long lineErrorsAtCommand_ = -1;
};

} // namespace route
