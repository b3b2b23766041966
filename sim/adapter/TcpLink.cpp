#include "sim/adapter/TcpLink.h"

namespace gpibsim {

TcpLink::TcpLink(quint16 port, QObject *parent) : AdapterLink(parent), port_(port) {
  connect(&server_, &QTcpServer::newConnection, this, &TcpLink::Accept);
}

// The host's socket belongs to the server: let it go before the server goes.
TcpLink::~TcpLink() { Close(); }

bool TcpLink::Open(QString &error) {
  if (server_.listen(QHostAddress::LocalHost, port_))
    return true;
  error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port_).arg(server_.errorString());
  return false;
}

QString TcpLink::Endpoint() const { return QStringLiteral("tcp 127.0.0.1:%1").arg(server_.serverPort()); }

void TcpLink::Accept() {
  if (host_ || !server_.hasPendingConnections())
    return;
  host_ = server_.nextPendingConnection();
  server_.pauseAccepting();
  connect(host_, &QTcpSocket::readyRead, this, [this] { emit received(host_->readAll()); });
  connect(host_, &QTcpSocket::disconnected, this, &TcpLink::HostLeft);
}

void TcpLink::HostLeft() {
  if (host_)
    host_->deleteLater();
  host_ = nullptr;
  emit hostLeft();
  server_.resumeAccepting();
  Accept();
}

void TcpLink::Send(const QByteArray &bytes) {
  if (host_)
    host_->write(bytes);
}

void TcpLink::Close() {
  server_.close();
  if (!host_)
    return;
  QTcpSocket *host = host_;
  host_ = nullptr;
  host->disconnect(this);
  host->flush();
  host->abort();
  host->deleteLater();
}

} // namespace gpibsim
