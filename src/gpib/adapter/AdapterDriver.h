#pragma once

#include "gpib/GpibDriverApi.h"
#include "gpib/adapter/AdapterLink.h"
#include "gpib/adapter/GpibInterface.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <string>

namespace gpibadapter {

// The driver entries the binding uses, carried out by a Prologix or AR488 adapter speaking
// "++" commands. The adapter is opened and set up on the first call; a port that cannot be
// opened, an adapter that does not answer or one that goes away fails every call from then
// on with ERR and EDVR, and Failure() says why, naming the port.
class AdapterDriver {
public:
  explicit AdapterDriver(const GpibInterface &where);

#define GPIBADAPTER_DECLARE_ENTRY(ret, name, params, args) ret name params;
  GPIB_DRIVER_CALLS(GPIBADAPTER_DECLARE_ENTRY)
#undef GPIBADAPTER_DECLARE_ENTRY

  int ThreadIbsta() const { return ibsta_; }
  int ThreadIberr() const { return iberr_; }
  int ThreadIbcnt() const { return static_cast<int>(ibcnt_); }
  long ThreadIbcntl() const { return ibcnt_; }

  // Opens and sets the adapter up now rather than on the first call; false (with Failure()
  // saying why) when it cannot be used.
  bool Connect() { return Ready(); }
  // Lets go of the port or connection; the next call opens it again.
  void Release();
  bool LowLatency() const { return link_.LowLatency(); }

  // Why the adapter cannot be used; empty while it can (or has not been tried yet).
  std::string Failure() const { return failure_.toStdString(); }

  // Ends a reply that came with EOI; no text reply of an instrument holds it.
  static constexpr char EotChar = 4;
  // How long the driver waits on an adapter. A read ends as a time-out once the adapter has
  // been silent for its own read time-out (++read_tmo_ms, at most readTimeoutCap) plus
  // silenceMargin: by then it has given up the read itself. Tests shorten them.
  struct Timings {
    std::chrono::milliseconds readTimeoutCap{3000};
    std::chrono::milliseconds silenceMargin{500};
    // The longest wait for the answer to ++ver; it is asked again each second meanwhile.
    std::chrono::milliseconds versionLimit{3000};
    // How long an address may take to answer the serial poll that probes it (Prologix).
    std::chrono::milliseconds probeTimeout{50};
  };
  // Returns the previous timings.
  static Timings SetTimings(const Timings &timings);
  // The data bytes with CR, LF, ESC and '+' each preceded by ESC.
  static QByteArray Escaped(const QByteArray &data);

private:
  static Timings &TimingsInUse();

  struct Device {
    int pad = 0;
    int sad = 0;
    int tmo = 0;
    bool lastReadTimedOut = false;
  };

  static constexpr int MaxAddress = 30;
  static bool ValidSecondary(int sad);
  // A serial poll's answer: the status byte in decimal.
  static bool StatusByte(const QByteArray &line, int &value);

  // Opens and sets the adapter up on the first call; false when it cannot be used.
  bool Ready();
  bool Identify();
  bool SetUp();
  Device *Find(int ud);

  int Complete(int bits = 0);
  int Fail(int error, int bits = 0);
  // The adapter went away or stopped answering: this call and every later one fail.
  int Lost(const QString &reason);
  int LinkLost();
  void SetFailure(const QString &text);
  QString EndedWhileOpening() const;

  // Every command goes out through here: the rest of a reply given up on is dropped first.
  bool Send(const QByteArray &bytes);
  bool DropUnfinishedReply();
  bool Command(const QByteArray &line);
  bool Select(int pad);
  bool SetReadTimeout(int ms);
  // One reply line without its CR LF; false when none came within the limit.
  bool ReplyLine(QByteArray &line, std::chrono::milliseconds limit);
  // Sends one command and takes the lines that answer it; false when the adapter is silent.
  bool Ask(const QByteArray &command, QList<QByteArray> &lines, std::chrono::milliseconds limit);

  int Enter(const std::function<int()> &call);

  GpibInterface where_;
  QString dialect_;
  AdapterLink link_;
  enum class State { Closed, Open, Failed } state_ = State::Closed;
  QString failure_;
  QByteArray version_;
  std::map<int, Device> devices_;
  int nextDescriptor_ = 32;
  int addressed_ = -1;
  int readTimeoutSent_ = -1;
  // The reply of the current ++read: what came and was not yet handed out, and whether the
  // end-of-text character has come.
  QByteArray reply_;
  bool replyEnded_ = false;
  bool reading_ = false;
  // A ++read went out and its end-of-text character has not come: the rest may still be on
  // its way, after a time-out or a new command.
  bool unfinishedRead_ = false;
  bool busy_ = false;

  int ibsta_ = 0;
  int iberr_ = 0;
  long ibcnt_ = 0;
};

} // namespace gpibadapter
