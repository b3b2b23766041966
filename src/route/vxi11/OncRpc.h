#pragma once

#include <QByteArray>
#include <QString>

// ONC RPC version 2 over a stream: XDR encoding, record marking, call and reply messages.
// Only what the portmapper's GETPORT and the VXI-11 core channel need.
namespace vxi11 {

// Appends XDR items: every item a multiple of four bytes, big-endian.
class XdrWriter {
public:
  XdrWriter &U32(quint32 value);
  XdrWriter &I32(qint32 value) { return U32(static_cast<quint32>(value)); }
  XdrWriter &Bool(bool value) { return U32(value ? 1 : 0); }
  // Variable-length opaque data or a string: the length, the bytes, zeros to a multiple of four.
  XdrWriter &Opaque(const QByteArray &bytes);
  const QByteArray &Bytes() const { return bytes_; }

private:
  QByteArray bytes_;
};

// Reads XDR items; a read past the end or a length above its limit fails it and every later one.
class XdrReader {
public:
  explicit XdrReader(const QByteArray &bytes) : bytes_(bytes) {}
  bool U32(quint32 &value);
  bool I32(qint32 &value);
  bool Opaque(QByteArray &bytes, quint32 limit);
  bool Skip(quint32 count);
  bool Ok() const { return ok_; }

private:
  QByteArray bytes_;
  qsizetype at_ = 0;
  bool ok_ = true;
};

// One record as the last (here the only) fragment.
QByteArray MarkRecord(const QByteArray &record);

enum class RecordState { Incomplete, Complete, TooLarge };
// Takes the first whole record, its fragments joined, out of input; leaves input alone while
// the record has not all come. A record above limit bytes is refused.
RecordState TakeRecord(QByteArray &input, QByteArray &record, qsizetype limit);

// A call with no credentials.
QByteArray CallMessage(quint32 xid, quint32 program, quint32 version, quint32 procedure,
                       const QByteArray &args);

// The results of the reply to call xid; false with why set to one line when the reply is not
// for that call or the server did not carry it out.
bool ReplyResults(const QByteArray &record, quint32 xid, QByteArray &results, QString &why);

constexpr quint32 PortmapperProgram = 100000;
constexpr quint32 PortmapperVersion = 2;
constexpr quint32 PortmapperGetPort = 3;
constexpr quint16 PortmapperPort = 111;
constexpr quint32 ProtocolTcp = 6;
constexpr quint32 ProtocolUdp = 17;

// GETPORT's arguments for a program served over protocol.
QByteArray GetPortArgs(quint32 program, quint32 version, quint32 protocol);

} // namespace vxi11
