#pragma once

#include "route/EmulatedDriver.h"
#include "route/Route.h"
#include "route/plus/AdapterLink.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

namespace gpibadapter {

using route::PlusRoute;

// The driver entries carried out by a Prologix or AR488 adapter speaking "++" commands. The
// adapter is opened, identified and set up on the first call; failures name the port.
class AdapterDriver : public route::EmulatedDriver {
public:
  explicit AdapterDriver(const PlusRoute &where);

  bool LowLatency() const { return link_.LowLatency(); }

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

protected:
  bool Open(QString &why) override;
  void Close() override;
  QString GoneBetweenCalls() override;
  int Write(const Device &device, const QByteArray &data) override;
  int Read(const Device &device, char *buf, int wanted, long &got) override;
  int Clear(const Device &device) override;
  int Poll(const Device &device, int &statusByte) override;
  int FindListeners(const std::vector<int> &offered, std::set<int> &answered) override;
  int InterfaceClear() override;
  QString LostText(const QString &reason) const override;
  const char *Noun() const override { return "GPIB adapter"; }

private:
  static Timings &TimingsInUse();
  // A serial poll's answer: the status byte in decimal.
  static bool StatusByte(const QByteArray &line, int &value);

  bool Identify();
  bool SetUp();
  int LinkLost();
  void ForgetReply();
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

  PlusRoute where_;
  QString dialect_;
  AdapterLink link_;
  QByteArray version_;
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
};

} // namespace gpibadapter
