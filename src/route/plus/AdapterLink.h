#pragma once

#include "route/Route.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QEventLoop;
class QIODevice;

namespace gpibadapter {

// How a serial port is set: 8 data bits, no parity, one stop bit, at this rate and flow
// control. A USB adapter ignores the rate; an AR488 on a plain UART needs 115200.
struct SerialSettings {
  qint32 baud = 115200;
  route::Rs232Route::Flow flow = route::Rs232Route::Flow::None;
};

// The byte stream to an adapter or a scope: a serial port or a TCP connection. Every wait runs
// the event loop, with user input held back, until the stream has what the caller wants, the
// time is up, or the stream is gone.
class AdapterLink {
public:
  explicit AdapterLink(const route::PlusRoute &where);
  AdapterLink(const QString &serialPort, const SerialSettings &settings);
  ~AdapterLink();
  AdapterLink(const AdapterLink &) = delete;
  AdapterLink &operator=(const AdapterLink &) = delete;

  // Opens the port or connects; on failure sets why to one line naming the place.
  bool Open(QString &why);
  // Closes the port or the connection; Open may follow.
  void Close();
  // Hands bytes to the stream and waits until they are gone out; false once the stream is gone.
  // What came in before and was not taken answers nothing the caller will ask: it is dropped
  // first, and said on standard error.
  bool Send(const QByteArray &bytes);
  // Drops whatever came in and was not taken.
  void Discard();
  // Holds a serial line in the break state for longer than a character at its rate, once what
  // was sent before has gone out; false once the stream is gone or it is no serial port.
  bool SendBreak();
  // How many parity, framing and overrun errors the serial driver has counted on this port so
  // far; -1 where it cannot tell (no serial port, a pseudo-terminal).
  long LineErrors();
  // Where the count comes from: the serial driver unless a test gives its own.
  using LineErrorCounter = std::function<long()>;
  static LineErrorCounter SetLineErrorCounter(LineErrorCounter counter);
  // Says on standard error that count bytes nobody waited for were dropped (nothing for 0).
  void ReportDropped(qsizetype count) const;

  // The most that waits to be taken, and that may come without a line end or end of text: the
  // longest reply the program reads, and one chunk. More ends the stream as an adapter that
  // sends data without an end.
  static constexpr qsizetype InputLimit = 32768 * 512;

  enum class Outcome { Done, TimedOut, Gone };
  // Waits until done(input) returns true; input holds what came in and was not taken, and
  // done takes what it uses out of it. A silence above zero also ends the wait (TimedOut)
  // once nothing has come in for that long.
  Outcome WaitUntil(const std::function<bool(QByteArray &input)> &done, std::chrono::milliseconds limit,
                    std::chrono::milliseconds silence = std::chrono::milliseconds::zero());

  bool IsGone() const { return !goneReason_.isEmpty(); }
  // What ended the stream, in the system's or the toolkit's words.
  QString GoneReason() const { return goneReason_; }
  // What became of the adapter, to follow its name: "went away (its port closed)" ...; when
  // adds where it happened (" during a read").
  QString GoneWords(const QString &when = QString()) const;
  bool Flooded() const { return flooded_; }
  QString Place() const { return where_.Place(); }
  // Whether the serial driver took the low-latency setting (an FTDI chip then hands each
  // short reply on at once instead of holding it for its latency timer).
  bool LowLatency() const { return lowLatency_; }

  // Why a serial port could not be opened, in one line naming it; the system's own text
  // (errorString) is added where the kind alone says too little.
#ifdef SKELD_SERIAL_ADAPTERS
  static QString SerialOpenFailure(const QString &port, int serialPortError, const QString &errorString);
#endif

private:
  bool OpenSerial(QString &why);
  bool OpenTcp(QString &why);
  void Pull();
  void MarkGone(const QString &reason);
  // One pass of the event loop until something happens or the deadline.
  void Sleep(std::chrono::steady_clock::time_point deadline);

  route::PlusRoute where_;
  SerialSettings settings_;
  std::unique_ptr<QIODevice> device_;
  QByteArray input_;
  QString goneReason_;
  QEventLoop *waiting_ = nullptr;
  bool lowLatency_ = false;
  bool flooded_ = false;
  qsizetype sinceEnd_ = 0; // bytes since the last line end or end of text
  bool portClosed_ = false;
  long lineErrors_ = 0; // where the system reports errors only once (Windows)
};

} // namespace gpibadapter
