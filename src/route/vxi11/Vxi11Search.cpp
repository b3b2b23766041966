#include "route/vxi11/Vxi11Search.h"

#include "route/vxi11/OncRpc.h"
#include "route/vxi11/Vxi11Driver.h"

#include <QDateTime>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

namespace vxi11 {
namespace {

using Clock = std::chrono::steady_clock;

// The time left to a deadline, at least one millisecond: one pass of the event loop.
std::chrono::milliseconds Left(Clock::time_point deadline) {
  return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                  std::chrono::milliseconds(1));
}

QList<QHostAddress> BroadcastAddresses() {
  QList<QHostAddress> addresses;
  for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
    const auto flags = interface.flags();
    if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::CanBroadcast))
      continue;
    for (const QNetworkAddressEntry &entry : interface.addressEntries())
      if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull() &&
          !addresses.contains(entry.broadcast()))
        addresses.append(entry.broadcast());
  }
  return addresses;
}

// Names are looked up together, for no longer than the search itself waited.
void Resolve(QList<FoundInstrument> &found, std::chrono::milliseconds limit) {
  QEventLoop loop;
  int pending = 0;
  for (int i = 0; i < found.size(); ++i) {
    ++pending;
    QHostInfo::lookupHost(found[i].address, &loop, [&found, &pending, &loop, i](const QHostInfo &info) {
      if (info.error() == QHostInfo::NoError && info.hostName() != found[i].address)
        found[i].name = info.hostName();
      if (--pending == 0)
        loop.quit();
    });
  }
  if (pending == 0)
    return;
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

QList<FoundInstrument> SearchNetwork(std::chrono::milliseconds listen) {
  QList<FoundInstrument> found;
  QUdpSocket socket;
  if (!socket.bind(QHostAddress::AnyIPv4, 0))
    return found;
  const quint32 xid = static_cast<quint32>(QDateTime::currentMSecsSinceEpoch());
  const QByteArray call =
      CallMessage(xid, PortmapperProgram, PortmapperVersion, PortmapperGetPort,
                  GetPortArgs(Vxi11Driver::CoreProgram, Vxi11Driver::CoreVersion, ProtocolTcp));
  for (const QHostAddress &broadcast : BroadcastAddresses())
    socket.writeDatagram(call, broadcast, PortmapperPort);

  const Clock::time_point deadline = Clock::now() + listen;
  while (Clock::now() < deadline) {
    while (socket.hasPendingDatagrams()) {
      QByteArray datagram(static_cast<qsizetype>(std::max<qint64>(socket.pendingDatagramSize(), 0)), '\0');
      QHostAddress from;
      if (socket.readDatagram(datagram.data(), datagram.size(), &from) < 0)
        break;
      QByteArray results;
      QString why;
      quint32 port = 0;
      if (!ReplyResults(datagram, xid, results, why) || !XdrReader(results).U32(port) || port == 0)
        continue;
      const QString address = QHostAddress(from.toIPv4Address()).toString();
      const bool known = std::any_of(found.begin(), found.end(),
                                     [&](const FoundInstrument &f) { return f.address == address; });
      if (!known)
        found.append({address, QString()});
    }
    QEventLoop loop;
    QObject::connect(&socket, &QUdpSocket::readyRead, &loop, &QEventLoop::quit);
    QTimer::singleShot(Left(deadline), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
  }
  Resolve(found, listen);
  return found;
}

QString FoundText(const FoundInstrument &found) {
  return found.name.isEmpty() ? found.address : QStringLiteral("%1 (%2)").arg(found.name, found.address);
}

} // namespace vxi11
