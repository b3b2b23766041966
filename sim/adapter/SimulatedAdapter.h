#pragma once

#include "sim/adapter/AdapterLink.h"
#include "sim/adapter/AdapterSession.h"

#include <QObject>
#include <QString>

#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <utility>

namespace gpibsim {

// A simulated Prologix or AR488 adapter on the simulated bus, reached over a
// pseudo-terminal or a TCP port; or the bus's first scope on its own serial port. The bus is
// whatever the process has configured.
class SimulatedAdapter : public QObject {
  Q_OBJECT
public:
  enum class Transport { Pty, Tcp };
  struct Options {
    Dialect dialect = Dialect::Prologix;
    Transport transport = Transport::Pty;
    quint16 port = 0;          // 0: a free one
    int vanishAfterReads = -1; // -1: never; N: the ++read after N of them unplugs the adapter
    bool mute = false;         // never answers anything
    int holdMs = 0;            // every reply is held this long, as a USB serial chip's latency timer does
    int lateRead = 0;          // the ++read (1-based) whose reply comes lateMs late; 0: none
    int lateMs = 0;
    bool floodVersion = false; // ++ver is answered with bytes that never end
    bool scopePort = false;    // no adapter: the scope's own serial port
  };

  explicit SimulatedAdapter(const Options &options, QObject *parent = nullptr);
  ~SimulatedAdapter() override;

  bool Start(QString &error);
  QString Endpoint() const;

signals:
  // The link is closed for good.
  void vanished();

private:
  void Hold(const QByteArray &bytes);
  template <typename Session> void Attach(std::unique_ptr<Session> session);

  std::unique_ptr<AdapterLink> link_;
  std::unique_ptr<QObject> session_;
  int holdMs_ = 0;
  QElapsedTimer clock_;
  std::deque<std::pair<qint64, QByteArray>> held_; // when each may go, in order
};

} // namespace gpibsim
