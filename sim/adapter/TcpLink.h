#pragma once

#include "sim/adapter/AdapterLink.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace gpibsim {

// A TCP port on 127.0.0.1 serving one host at a time, as the Ethernet adapter does; the next
// host is accepted when the one before has gone.
class TcpLink : public AdapterLink {
  Q_OBJECT
public:
  explicit TcpLink(quint16 port, QObject *parent = nullptr);
  ~TcpLink() override;

  bool Open(QString &error) override;
  QString Endpoint() const override;
  void Send(const QByteArray &bytes) override;
  void Close() override;

private:
  void Accept();
  void HostLeft();

  quint16 port_;
  QTcpServer server_;
  QPointer<QTcpSocket> host_;
};

} // namespace gpibsim
