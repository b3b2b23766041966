#include "route/vxi11/OncRpc.h"

#include <QtEndian>

namespace vxi11 {
namespace {

constexpr quint32 LastFragment = 0x80000000u;
constexpr quint32 RpcVersion = 2;
constexpr quint32 CallType = 0;
constexpr quint32 ReplyType = 1;
constexpr quint32 AuthNone = 0;
constexpr quint32 Accepted = 0;
// A reply's verifier is at most 400 bytes.
constexpr quint32 MaxAuthBytes = 400;

quint32 Padding(quint32 length) { return (4 - length % 4) % 4; }

QString AcceptFailure(quint32 status) {
  switch (status) {
  case 1:
    return QStringLiteral("the server does not have the program");
  case 2:
    return QStringLiteral("the server does not have this version of the program");
  case 3:
    return QStringLiteral("the server does not have the procedure");
  case 4:
    return QStringLiteral("the server could not decode the arguments");
  default:
    return QStringLiteral("the server failed the call (RPC status %1)").arg(status);
  }
}

} // namespace

XdrWriter &XdrWriter::U32(quint32 value) {
  char raw[4];
  qToBigEndian(value, raw);
  bytes_.append(raw, 4);
  return *this;
}

XdrWriter &XdrWriter::Opaque(const QByteArray &bytes) {
  const auto length = static_cast<quint32>(bytes.size());
  U32(length);
  bytes_.append(bytes);
  bytes_.append(static_cast<qsizetype>(Padding(length)), '\0');
  return *this;
}

bool XdrReader::U32(quint32 &value) {
  if (!ok_ || bytes_.size() - at_ < 4)
    return ok_ = false;
  value = qFromBigEndian<quint32>(bytes_.constData() + at_);
  at_ += 4;
  return true;
}

bool XdrReader::I32(qint32 &value) {
  quint32 raw = 0;
  if (!U32(raw))
    return false;
  value = static_cast<qint32>(raw);
  return true;
}

bool XdrReader::Opaque(QByteArray &bytes, quint32 limit) {
  quint32 length = 0;
  if (!U32(length))
    return false;
  const qint64 padded = static_cast<qint64>(length) + Padding(length);
  if (length > limit || bytes_.size() - at_ < padded)
    return ok_ = false;
  bytes = bytes_.mid(at_, length);
  at_ += padded;
  return true;
}

bool XdrReader::Skip(quint32 count) {
  if (!ok_ || bytes_.size() - at_ < count)
    return ok_ = false;
  at_ += count;
  return true;
}

QByteArray MarkRecord(const QByteArray &record) {
  return XdrWriter().U32(LastFragment | static_cast<quint32>(record.size())).Bytes() + record;
}

// Fragments are read in place; the input is taken only once the last one is all there.
RecordState TakeRecord(QByteArray &input, QByteArray &record, qsizetype limit) {
  QByteArray joined;
  qsizetype at = 0;
  for (;;) {
    if (input.size() - at < 4)
      return RecordState::Incomplete;
    const quint32 mark = qFromBigEndian<quint32>(input.constData() + at);
    const qsizetype length = mark & ~LastFragment;
    if (joined.size() + length > limit)
      return RecordState::TooLarge;
    if (input.size() - at - 4 < length)
      return RecordState::Incomplete;
    joined.append(input.constData() + at + 4, length);
    at += 4 + length;
    if (mark & LastFragment) {
      input.remove(0, at);
      record = joined;
      return RecordState::Complete;
    }
  }
}

QByteArray CallMessage(quint32 xid, quint32 program, quint32 version, quint32 procedure,
                       const QByteArray &args) {
  XdrWriter call;
  call.U32(xid).U32(CallType).U32(RpcVersion).U32(program).U32(version).U32(procedure);
  call.U32(AuthNone).U32(0).U32(AuthNone).U32(0);
  return call.Bytes() + args;
}

bool ReplyResults(const QByteArray &record, quint32 xid, QByteArray &results, QString &why) {
  XdrReader reply(record);
  quint32 replyXid = 0, type = 0, state = 0;
  if (!reply.U32(replyXid) || !reply.U32(type) || !reply.U32(state) || type != ReplyType || replyXid != xid) {
    why = QStringLiteral("the server's answer is no reply to the call");
    return false;
  }
  if (state != Accepted) {
    quint32 reason = 0;
    reply.U32(reason);
    why = reason == 0 ? QStringLiteral("the server refused the call (RPC version mismatch)")
                      : QStringLiteral("the server refused the call (authentication)");
    return false;
  }
  quint32 flavor = 0, status = 0;
  QByteArray verifier;
  if (!reply.U32(flavor) || !reply.Opaque(verifier, MaxAuthBytes) || !reply.U32(status)) {
    why = QStringLiteral("the server's reply is cut short");
    return false;
  }
  if (status != 0) {
    why = AcceptFailure(status);
    return false;
  }
  const qsizetype header = 4 * 6 + verifier.size() + Padding(static_cast<quint32>(verifier.size()));
  results = record.mid(header);
  return true;
}

QByteArray GetPortArgs(quint32 program, quint32 version, quint32 protocol) {
  return XdrWriter().U32(program).U32(version).U32(protocol).U32(0).Bytes();
}

} // namespace vxi11
