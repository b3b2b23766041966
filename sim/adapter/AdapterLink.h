#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace gpibsim {

// The wire between the host and the simulated adapter: a pseudo-terminal or a TCP port.
class AdapterLink : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;

  virtual bool Open(QString &error) = 0;
  // What a host is to use: "pty /dev/pts/N" or "tcp 127.0.0.1:PORT".
  virtual QString Endpoint() const = 0;
  virtual void Send(const QByteArray &bytes) = 0;
  // Gone for good, as an adapter pulled out of its socket.
  virtual void Close() = 0;

signals:
  void received(const QByteArray &bytes);
  void hostLeft();
};

} // namespace gpibsim
