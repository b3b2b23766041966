#pragma once

#include "gpib/GpibDriverApi.h"

#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace route {

// The driver entries the binding uses, for a route that emulates the driver library over a
// link of its own. This holds what every such route shares: descriptors, status and error
// bits, the guard against a call made while another one waits, time-out codes, and the
// calls that need no link; a route supplies the link's operations. The link is opened on the
// first call; one that cannot be opened or goes away fails every call from then on with ERR
// and EDVR, and Failure() says why.
class EmulatedDriver {
public:
  virtual ~EmulatedDriver() = default;

#define ROUTE_DECLARE_ENTRY(ret, name, params, args) ret name params;
  GPIB_DRIVER_CALLS(ROUTE_DECLARE_ENTRY)
#undef ROUTE_DECLARE_ENTRY

  int ThreadIbsta() const { return ibsta_; }
  int ThreadIberr() const { return iberr_; }
  int ThreadIbcnt() const { return static_cast<int>(ibcnt_); }
  long ThreadIbcntl() const { return ibcnt_; }

  // Opens the link now rather than on the first call; false (with Failure() saying why) when
  // it cannot be used.
  bool Connect() { return Ready(); }
  // Lets go of the link; the next call opens it again.
  void Release();
  // Why the route cannot be used; empty while it can (or has not been tried yet).
  std::string Failure() const { return failure_.toStdString(); }

  static constexpr int MaxAddress = 30;
  // A device time-out code as a wait on the host, in milliseconds; none (0) is taken as the
  // longest, so that no wait is endless.
  static std::chrono::milliseconds HostLimit(int tmo);

protected:
  struct Device {
    int pad = 0;
    int sad = 0;
    int tmo = 0;
    bool lastReadTimedOut = false;
  };

  // What a route does on its link. Each operation returns the call's status through
  // Complete, Fail or Lost; ibcnt is set by the base from what Read reports.
  virtual bool Open(QString &why) = 0;
  virtual void Close() = 0;
  // Why the link went away between calls; empty while it is there.
  virtual QString GoneBetweenCalls() { return QString(); }
  virtual int Write(const Device &device, const QByteArray &data) = 0;
  // Up to wanted bytes of the device's reply into buf, their count in got; END with the last.
  virtual int Read(const Device &device, char *buf, int wanted, long &got) = 0;
  virtual int Clear(const Device &device) = 0;
  virtual int Poll(const Device &device, int &statusByte) = 0;
  // The addresses among offered that answer. A route to one instrument answers with the
  // first address offered other than the board's own.
  virtual int FindListeners(const std::vector<int> &offered, std::set<int> &answered);
  virtual int InterfaceClear() { return Complete(); }
  // The text of a failure that ends the use of the link, for the report naming the route.
  virtual QString LostText(const QString &reason) const = 0;
  // What standard error calls the route when it cannot be used ("GPIB adapter").
  virtual const char *Noun() const = 0;

  int Complete(int bits = 0);
  int Fail(int error, int bits = 0);
  // The link went away or stopped answering: this call and every later one fail.
  int Lost(const QString &reason);
  void SetFailure(const QString &text);
  bool IsOpen() const { return state_ == State::Open; }

private:
  static bool ValidSecondary(int sad);
  static bool ValidTimeout(int tmo);
  bool Ready();
  Device *Find(int ud);
  int Enter(const std::function<int()> &call);

  enum class State { Closed, Open, Failed } state_ = State::Closed;
  QString failure_;
  std::map<int, Device> devices_;
  int nextDescriptor_ = 32;
  bool busy_ = false;

  int ibsta_ = 0;
  int iberr_ = 0;
  long ibcnt_ = 0;
};

} // namespace route
