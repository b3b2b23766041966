#include "route/plus/AdapterLink.h"

#include <QEventLoop>
#ifdef SKELD_SERIAL_ADAPTERS
#include <QSerialPort>
#endif
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#ifdef __linux__
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX // std::max below
#endif
#include <windows.h>
#else
#include <termios.h>
#endif

namespace gpibadapter {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds ConnectLimit{3000};
constexpr std::chrono::milliseconds SendLimit{3000};
// What the toolkit holds for us between two pulls; beyond it the system holds the data back.
constexpr qint64 DeviceReadBuffer = 64 * 1024;
// What ends an answer: a line end, or the end-of-text character after a reply.
constexpr char EndOfText = 4;

#ifdef SKELD_SERIAL_ADAPTERS
// A port that refuses (a pseudo-terminal, a driver without the flag) is used as it is.
bool SetLowLatency([[maybe_unused]] QSerialPort &port) {
#ifdef __linux__
  serial_struct settings{};
  if (ioctl(port.handle(), TIOCGSERIAL, &settings) != 0)
    return false;
  settings.flags |= ASYNC_LOW_LATENCY;
  return ioctl(port.handle(), TIOCSSERIAL, &settings) == 0;
#else
  return false;
#endif
}

QSerialPort::FlowControl FlowControl(route::Rs232Route::Flow flow) {
  switch (flow) {
  case route::Rs232Route::Flow::RtsCts:
    return QSerialPort::HardwareControl;
  case route::Rs232Route::Flow::XonXoff:
    return QSerialPort::SoftwareControl;
  case route::Rs232Route::Flow::None:
    break;
  }
  return QSerialPort::NoFlowControl;
}

// Until what the port was given has left the wire, not only the toolkit's buffer.
void Drain(QSerialPort &port) {
  port.flush();
#ifdef _WIN32
  FlushFileBuffers(port.handle());
#else
  tcdrain(port.handle());
#endif
}
#endif

AdapterLink::LineErrorCounter &CounterInUse() {
  static AdapterLink::LineErrorCounter counter;
  return counter;
}

} // namespace

AdapterLink::LineErrorCounter AdapterLink::SetLineErrorCounter(LineErrorCounter counter) {
  return std::exchange(CounterInUse(), std::move(counter));
}

long AdapterLink::LineErrors() {
  if (CounterInUse())
    return CounterInUse()();
#ifdef SKELD_SERIAL_ADAPTERS
  auto *port = qobject_cast<QSerialPort *>(device_.get());
  if (!port || !port->isOpen())
    return -1;
#if defined(__linux__)
  serial_icounter_struct counts{};
  if (ioctl(port->handle(), TIOCGICOUNT, &counts) != 0)
    return -1;
  return static_cast<long>(counts.frame) + counts.overrun + counts.parity + counts.buf_overrun;
#elif defined(_WIN32)
  DWORD errors = 0;
  if (!ClearCommError(port->handle(), &errors, nullptr))
    return -1;
  lineErrors_ += (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) ? 1 : 0;
  return lineErrors_;
#else
  return -1;
#endif
#else
  return -1;
#endif
}

AdapterLink::AdapterLink(const route::PlusRoute &where) : where_(where) {}

AdapterLink::AdapterLink(const QString &serialPort, const SerialSettings &settings)
    : where_{route::PlusRoute::Kind::Prologix, false, serialPort, 0}, settings_(settings) {}

AdapterLink::~AdapterLink() {
  if (device_)
    device_->disconnect();
}

#ifdef SKELD_SERIAL_ADAPTERS
QString AdapterLink::SerialOpenFailure(const QString &port, int serialPortError, const QString &errorString) {
  switch (serialPortError) {
  case QSerialPort::DeviceNotFoundError:
    return QStringLiteral("%1: no such serial port (is the adapter plugged in?)").arg(port);
  case QSerialPort::PermissionError:
#ifdef _WIN32
    // Windows has no group for serial ports: a refused port is one another program holds.
    return QStringLiteral("%1: access denied; the port is in use by another program (close it and try again)")
        .arg(port);
#else
    return QStringLiteral("%1: permission denied or in use by another program; you may need to be in the "
                          "dialout group (sudo adduser $USER dialout, then log in again)")
        .arg(port);
#endif
  default:
    return QStringLiteral("%1: cannot open the serial port: %2").arg(port, errorString);
  }
}

#endif

bool AdapterLink::Open(QString &why) {
  input_.clear();
  goneReason_.clear();
  flooded_ = false;
  portClosed_ = false;
  sinceEnd_ = 0;
  return where_.tcp ? OpenTcp(why) : OpenSerial(why);
}

#ifdef SKELD_SERIAL_ADAPTERS
bool AdapterLink::OpenSerial(QString &why) {
  auto port = std::make_unique<QSerialPort>();
  port->setPortName(where_.port);
  if (!port->open(QIODevice::ReadWrite)) {
    why = SerialOpenFailure(where_.port, port->error(), port->errorString());
    return false;
  }
  if (!port->setBaudRate(settings_.baud) || !port->setDataBits(QSerialPort::Data8) ||
      !port->setParity(QSerialPort::NoParity) || !port->setStopBits(QSerialPort::OneStop) ||
      !port->setFlowControl(FlowControl(settings_.flow))) {
    why = QStringLiteral("%1: cannot set %2 8N1: %3")
              .arg(where_.port)
              .arg(settings_.baud)
              .arg(port->errorString());
    return false;
  }
  lowLatency_ = SetLowLatency(*port);
  port->setReadBufferSize(DeviceReadBuffer);
  QSerialPort *raw = port.get();
  QObject::connect(raw, &QSerialPort::errorOccurred, raw, [this, raw](QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
      return;
    // A USB adapter pulled out, or a pseudo-terminal whose other end closed: the system's own
    // words for it ("Inappropriate ioctl for device") say nothing to the user.
    portClosed_ = portClosed_ || error == QSerialPort::ResourceError || !raw->isOpen() ||
                  raw->errorString() == QString::fromLocal8Bit(std::strerror(ENOTTY)) ||
                  raw->errorString() == QString::fromLocal8Bit(std::strerror(EIO));
    MarkGone(raw->errorString());
  });
  device_ = std::move(port);
  return true;
}
#else
bool AdapterLink::OpenSerial(QString &why) {
  why = QStringLiteral("%1: this build of the viewer has no serial port support; use an Ethernet adapter "
                       "(prologix-tcp:HOST)")
            .arg(where_.port);
  return false;
}
#endif

bool AdapterLink::OpenTcp(QString &why) {
  auto socket = std::make_unique<QTcpSocket>();
  QTcpSocket *raw = socket.get();
  socket->connectToHost(where_.port, where_.tcpPort);
  const Clock::time_point deadline = Clock::now() + ConnectLimit;
  while (raw->state() != QAbstractSocket::ConnectedState &&
         raw->state() != QAbstractSocket::UnconnectedState && Clock::now() < deadline) {
    QEventLoop loop;
    QObject::connect(raw, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(raw, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    QTimer::singleShot(std::max(left, std::chrono::milliseconds(1)), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  if (raw->state() != QAbstractSocket::ConnectedState) {
    why = raw->state() == QAbstractSocket::UnconnectedState
              ? QStringLiteral("%1: cannot connect: %2").arg(Place(), raw->errorString())
              : QStringLiteral("%1: no connection within %2 s").arg(Place()).arg(ConnectLimit.count() / 1000);
    raw->abort();
    return false;
  }
  raw->setSocketOption(QAbstractSocket::LowDelayOption, 1);
  raw->setReadBufferSize(DeviceReadBuffer);
  QObject::connect(raw, &QTcpSocket::disconnected, raw,
                   [this] { MarkGone(QStringLiteral("the connection was closed")); });
  QObject::connect(raw, &QTcpSocket::errorOccurred, raw,
                   [this, raw](QAbstractSocket::SocketError) { MarkGone(raw->errorString()); });
  device_ = std::move(socket);
  return true;
}

void AdapterLink::Close() {
  if (device_) {
    device_->disconnect();
    device_->close();
    device_.reset();
  }
  input_.clear();
  goneReason_.clear();
  lowLatency_ = false;
  flooded_ = false;
  portClosed_ = false;
  sinceEnd_ = 0;
}

QString AdapterLink::GoneWords(const QString &when) const {
  if (flooded_)
    return QStringLiteral("sends data without an end") + when;
  if (portClosed_)
    return QStringLiteral("went away (its port closed)") + when;
  return QStringLiteral("went away (unplugged?)") + when + QStringLiteral(": ") + goneReason_;
}

void AdapterLink::MarkGone(const QString &reason) {
  if (goneReason_.isEmpty())
    goneReason_ = reason.isEmpty() ? QStringLiteral("the stream ended") : reason;
  if (waiting_)
    waiting_->quit();
}

void AdapterLink::Pull() {
  if (!device_ || !device_->isOpen() || flooded_)
    return;
  const QByteArray fresh = device_->readAll();
  // Counted across the drops before each command too: an adapter asked again and again
  // while it floods never lets the input itself grow past the limit.
  const qsizetype end = std::max(fresh.lastIndexOf('\n'), fresh.lastIndexOf(EndOfText));
  sinceEnd_ = end < 0 ? sinceEnd_ + fresh.size() : fresh.size() - end - 1;
  input_ += fresh;
  if (input_.size() > InputLimit || sinceEnd_ > InputLimit) {
    input_.clear();
    flooded_ = true;
    MarkGone(QStringLiteral("more than %1 bytes without an end").arg(InputLimit));
  }
}

void AdapterLink::Discard() {
  Pull();
  input_.clear();
}

#ifdef SKELD_SERIAL_ADAPTERS
// A NUL at a quarter of the rate keeps the line low for 36 bit times of the real rate: a break
// to the receiver, which reads it as a NUL with a framing error. Unlike a timed break call it
// works on every port that can change its rate, USB serial chips and pseudo-terminals too.
bool AdapterLink::SendBreak() {
  auto *port = qobject_cast<QSerialPort *>(device_.get());
  if (!port || IsGone())
    return false;
  Drain(*port);
  const qint32 rate = port->baudRate();
  if (rate >= 4 * 50 && port->setBaudRate(rate / 4)) {
    if (!Send(QByteArray(1, '\0')))
      return false;
    Drain(*port);
    port->setBaudRate(rate);
  } else {
    port->setBreakEnabled(true);
    WaitUntil([](QByteArray &) { return false; }, std::chrono::milliseconds(std::max(1, 40'000 / rate)));
    port->setBreakEnabled(false);
  }
  return !IsGone();
}
#else
bool AdapterLink::SendBreak() { return false; }
#endif

void AdapterLink::ReportDropped(qsizetype count) const {
  if (count > 0)
    std::fprintf(stderr, "%s: %lld bytes that came when no reply was awaited were dropped\n",
                 qPrintable(Place()), static_cast<long long>(count));
}

void AdapterLink::Sleep(Clock::time_point deadline) {
  QEventLoop loop;
  QObject::connect(device_.get(), &QIODevice::readyRead, &loop, &QEventLoop::quit);
  QObject::connect(device_.get(), &QIODevice::bytesWritten, &loop, &QEventLoop::quit);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  QTimer::singleShot(std::max(left, std::chrono::milliseconds(1)), Qt::PreciseTimer, &loop,
                     &QEventLoop::quit);
  QEventLoop *outer = waiting_;
  waiting_ = &loop;
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  waiting_ = outer;
}

bool AdapterLink::Send(const QByteArray &bytes) {
  if (!device_ || IsGone())
    return false;
  Pull();
  ReportDropped(input_.size());
  input_.clear();
  if (IsGone())
    return false;
  if (device_->write(bytes) != bytes.size()) {
    MarkGone(device_->errorString());
    return false;
  }
  const Clock::time_point deadline = Clock::now() + SendLimit;
  while (device_->bytesToWrite() > 0 && !IsGone()) {
    if (Clock::now() >= deadline) {
      MarkGone(QStringLiteral("it takes no data"));
      break;
    }
    Sleep(deadline);
  }
  return !IsGone();
}

AdapterLink::Outcome AdapterLink::WaitUntil(const std::function<bool(QByteArray &)> &done,
                                            std::chrono::milliseconds limit,
                                            std::chrono::milliseconds silence) {
  const Clock::time_point deadline = Clock::now() + limit;
  Clock::time_point quietSince = Clock::now();
  for (;;) {
    const qsizetype before = input_.size();
    Pull();
    if (input_.size() > before)
      quietSince = Clock::now();
    if (done(input_))
      return Outcome::Done;
    if (IsGone() || !device_)
      return Outcome::Gone;
    Clock::time_point until = deadline;
    if (silence > std::chrono::milliseconds::zero())
      until = std::min(until, quietSince + silence);
    if (Clock::now() >= until)
      return Outcome::TimedOut;
    Sleep(until);
  }
}

} // namespace gpibadapter
