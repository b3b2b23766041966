#include "route/vxi11/RpcClient.h"

#include "route/vxi11/OncRpc.h"

#include <QDateTime>

namespace vxi11 {

using gpibadapter::AdapterLink;

RpcClient::RpcClient(const QString &host, quint16 port)
    : link_(route::PlusRoute{route::PlusRoute::Kind::Prologix, true, host, port}),
      xid_(static_cast<quint32>(QDateTime::currentMSecsSinceEpoch())) {}

bool RpcClient::Open(QString &why) { return link_.Open(why); }

void RpcClient::Close() { link_.Close(); }

// A reply to an earlier call that timed out may still come: it is skipped by its xid.
RpcClient::Outcome RpcClient::Call(quint32 program, quint32 version, quint32 procedure,
                                   const QByteArray &args, QByteArray &results,
                                   std::chrono::milliseconds limit, QString &why) {
  const quint32 xid = ++xid_;
  if (!link_.Send(MarkRecord(CallMessage(xid, program, version, procedure, args)))) {
    why = link_.GoneReason();
    return Outcome::Gone;
  }
  bool tooLarge = false;
  QByteArray record;
  const AdapterLink::Outcome outcome = link_.WaitUntil(
      [&](QByteArray &input) {
        for (;;) {
          const RecordState state = TakeRecord(input, record, ReplyLimit);
          if (state == RecordState::TooLarge) {
            tooLarge = true;
            return true;
          }
          if (state == RecordState::Incomplete)
            return false;
          quint32 replyXid = 0;
          XdrReader(record).U32(replyXid);
          if (replyXid == xid)
            return true;
        }
      },
      limit);
  if (tooLarge) {
    why = QStringLiteral("a reply of more than %1 bytes").arg(ReplyLimit);
    link_.Close();
    return Outcome::Gone;
  }
  if (outcome == AdapterLink::Outcome::Gone) {
    why = link_.GoneReason();
    return Outcome::Gone;
  }
  if (outcome == AdapterLink::Outcome::TimedOut) {
    why = QStringLiteral("no reply within %1 ms").arg(limit.count());
    return Outcome::TimedOut;
  }
  return ReplyResults(record, xid, results, why) ? Outcome::Done : Outcome::Refused;
}

quint16 ProgramPort(const QString &host, quint32 program, quint32 version, std::chrono::milliseconds limit,
                    QString &why) {
  RpcClient portmapper(host, PortmapperPort);
  QString failure;
  if (!portmapper.Open(failure)) {
    why = QStringLiteral("%1: no portmapper answers (%2)").arg(host, failure);
    return 0;
  }
  QByteArray results;
  const RpcClient::Outcome outcome =
      portmapper.Call(PortmapperProgram, PortmapperVersion, PortmapperGetPort,
                      GetPortArgs(program, version, ProtocolTcp), results, limit, failure);
  portmapper.Close();
  quint32 port = 0;
  if (outcome != RpcClient::Outcome::Done || !XdrReader(results).U32(port) || port > 0xFFFF) {
    why = QStringLiteral("%1: the portmapper does not answer: %2")
              .arg(host, failure.isEmpty() ? QStringLiteral("a reply that is no port") : failure);
    return 0;
  }
  if (port == 0)
    why = QStringLiteral("%1: the portmapper does not know the VXI-11 core program: no instrument there")
              .arg(host);
  return static_cast<quint16>(port);
}

} // namespace vxi11
