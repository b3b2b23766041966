#pragma once

#include "route/plus/AdapterLink.h"

#include <QByteArray>
#include <QString>

#include <chrono>

namespace vxi11 {

// Calls to one ONC RPC server over a TCP connection, each sent as one record and waited for
// in the event loop (user input held back) until its reply, the limit, or the connection's end.
class RpcClient {
public:
  RpcClient(const QString &host, quint16 port);

  // Connects; on failure sets why to one line naming the host and port.
  bool Open(QString &why);
  void Close();

  enum class Outcome { Done, TimedOut, Gone, Refused };
  // On Done results holds the reply's results; otherwise why says what went wrong.
  Outcome Call(quint32 program, quint32 version, quint32 procedure, const QByteArray &args,
               QByteArray &results, std::chrono::milliseconds limit, QString &why);

  bool IsGone() const { return link_.IsGone(); }
  QString GoneReason() const { return link_.GoneReason(); }

  // The longest reply taken: a device_read of the largest chunk and its header.
  static constexpr qsizetype ReplyLimit = 4 * 1024 * 1024;

private:
  gpibadapter::AdapterLink link_;
  quint32 xid_;
};

// The TCP port of program on host, asked of its portmapper; 0 with why set when the
// portmapper cannot be reached or does not know the program.
quint16 ProgramPort(const QString &host, quint32 program, quint32 version, std::chrono::milliseconds limit,
                    QString &why);

} // namespace vxi11
