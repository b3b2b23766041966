#include "route/vxi11/Vxi11Driver.h"

#include "gpib/GpibCodes.h"
#include "route/vxi11/OncRpc.h"

#include <algorithm>
#include <cstring>

namespace vxi11 {
namespace {

using namespace gpibcodes;
using std::chrono::milliseconds;

enum Procedure : quint32 {
  CreateLinkCall = 10,
  DeviceWriteCall = 11,
  DeviceReadCall = 12,
  DeviceReadStbCall = 13,
  DeviceClearCall = 15,
  DestroyLinkCall = 23,
};

// Device_Flags and the reasons a read ends.
constexpr quint32 EndFlag = 0x08;
constexpr qint32 ReasonChr = 0x02;
constexpr qint32 ReasonEnd = 0x04;

// Device_ErrorCode values this driver tells apart.
constexpr qint32 OperationNotSupported = 8;
constexpr qint32 IoTimeout = 15;
constexpr qint32 IoError = 17;
constexpr qint32 Aborted = 23;

// Beyond the device's own time-out, for the network and the server to answer.
constexpr milliseconds NetworkMargin{2000};
// For calls that wait on no instrument: link, portmapper, a status byte during the search.
constexpr milliseconds ShortCall{3000};
// A write split into pieces no larger than the server takes; at least this much a piece.
constexpr quint32 SmallestPiece = 1024;
constexpr qint32 ClientId = 0x534B; // any number; the server keeps it for its own records

QByteArray GenericArgs(qint32 lid, milliseconds io) {
  return XdrWriter().I32(lid).U32(0).U32(0).U32(static_cast<quint32>(io.count())).Bytes();
}

} // namespace

Vxi11Driver::Vxi11Driver(const route::Vxi11Route &where) : where_(where) {}

Vxi11Driver::~Vxi11Driver() { Close(); }

const char *Vxi11Driver::Noun() const { return IsGateway() ? "LAN/GPIB gateway" : "LAN instrument"; }

QString Vxi11Driver::LostText(const QString &reason) const {
  return QStringLiteral("%1: the connection to the %2 %3")
      .arg(route::RouteName(where_), IsGateway() ? QStringLiteral("gateway") : QStringLiteral("instrument"),
           reason);
}

QString Vxi11Driver::DeviceName(int pad) const {
  return IsGateway() ? where_.device.section(QLatin1Char(','), 0, 0) + QLatin1Char(',') + QString::number(pad)
                     : where_.device;
}

bool Vxi11Driver::Open(QString &why) {
  lost_ = false;
  const quint16 port = ProgramPort(where_.host, CoreProgram, CoreVersion, ShortCall, why);
  if (port == 0)
    return false;
  client_ = std::make_unique<RpcClient>(where_.host, port);
  if (!client_->Open(why))
    return false;
  if (IsGateway())
    return true;
  // An instrument that refuses its link is told at once, not on the first command.
  Link link;
  qint32 error = 0;
  int status = 0;
  opening_ = true;
  const bool granted = CreateLink(where_.device, link, error, status);
  opening_ = false;
  if (!granted) {
    why = lost_           ? openFailure_
          : status & TIMO ? QStringLiteral("%1: no answer to the link request within %2 s")
                                .arg(where_.host)
                                .arg(ShortCall.count() / 1000)
                          : QStringLiteral("%1: the instrument refuses a link to %2 (error %3)")
                                .arg(where_.host, where_.device)
                                .arg(error);
    return false;
  }
  links_[0] = link;
  return true;
}

void Vxi11Driver::Close() {
  if (client_ && !client_->IsGone())
    for (const auto &[pad, link] : links_)
      DestroyLink(link);
  links_.clear();
  if (client_)
    client_->Close();
  client_.reset();
}

QString Vxi11Driver::GoneBetweenCalls() {
  return client_ && client_->IsGone() ? QStringLiteral("ended: ") + client_->GoneReason() : QString();
}

Vxi11Driver::Answer Vxi11Driver::CallCore(quint32 procedure, const QByteArray &args, QByteArray &results,
                                          milliseconds io, const QString &when, int &status) {
  QString why;
  const RpcClient::Outcome outcome =
      client_->Call(CoreProgram, CoreVersion, procedure, args, results, io + NetworkMargin, why);
  switch (outcome) {
  case RpcClient::Outcome::Done:
    return Answer::Done;
  case RpcClient::Outcome::TimedOut:
    status = Fail(EABO, TIMO | CMPL);
    return Answer::DeviceError;
  case RpcClient::Outcome::Gone:
    status = ConnectionLost(QStringLiteral("ended") + when + QStringLiteral(": ") + why);
    return Answer::Failed;
  case RpcClient::Outcome::Refused:
    break;
  }
  status = ConnectionLost(QStringLiteral("refused a call") + when + QStringLiteral(": ") + why);
  return Answer::Failed;
}

// While the connection is being opened its failure is the opening's, said once.
int Vxi11Driver::ConnectionLost(const QString &reason) {
  lost_ = true;
  if (opening_) {
    openFailure_ = LostText(reason);
    return Fail(EDVR);
  }
  return Lost(reason);
}

bool Vxi11Driver::CreateLink(const QString &device, Link &link, qint32 &error, int &status) {
  const QByteArray args = XdrWriter().I32(ClientId).Bool(false).U32(0).Opaque(device.toLatin1()).Bytes();
  QByteArray results;
  if (CallCore(CreateLinkCall, args, results, ShortCall - NetworkMargin, QString(), status) != Answer::Done) {
    error = IoTimeout;
    return false;
  }
  XdrReader reply(results);
  quint32 abortPort = 0;
  if (!reply.I32(error) || !reply.I32(link.id) || !reply.U32(abortPort) || !reply.U32(link.maxRecvSize)) {
    status = ConnectionLost(QStringLiteral("sent a link reply that is cut short"));
    return false;
  }
  return error == 0;
}

void Vxi11Driver::DestroyLink(const Link &link) {
  QByteArray results;
  QString why;
  client_->Call(CoreProgram, CoreVersion, DestroyLinkCall, XdrWriter().I32(link.id).Bytes(), results,
                ShortCall, why);
}

const Vxi11Driver::Link *Vxi11Driver::LinkFor(int pad, int &status) {
  const int key = IsGateway() ? pad : 0;
  if (const auto it = links_.find(key); it != links_.end())
    return &it->second;
  Link link;
  qint32 error = 0;
  status = 0;
  if (!CreateLink(DeviceName(pad), link, error, status)) {
    if (status == 0)
      status = Fail(ENOL);
    return nullptr;
  }
  return &(links_[key] = link);
}

int Vxi11Driver::DeviceFailure(qint32 error, bool writing) {
  switch (error) {
  case IoTimeout:
    return Fail(EABO, TIMO | CMPL);
  case Aborted:
    return Fail(EABO, CMPL);
  case IoError:
    return Fail(writing ? ENOL : EBUS, CMPL);
  case OperationNotSupported:
    return Fail(ECAP);
  default:
    return Fail(ENOL);
  }
}

int Vxi11Driver::Write(const Device &device, const QByteArray &data) {
  int status = 0;
  const Link *link = LinkFor(device.pad, status);
  if (!link)
    return status;
  const milliseconds io = HostLimit(device.tmo);
  const qsizetype piece = std::max(link->maxRecvSize, SmallestPiece);
  qsizetype sent = 0;
  do {
    const QByteArray part = data.mid(sent, piece);
    const bool last = sent + part.size() >= data.size();
    const QByteArray args = XdrWriter()
                                .I32(link->id)
                                .U32(static_cast<quint32>(io.count()))
                                .U32(0)
                                .U32(last ? EndFlag : 0)
                                .Opaque(part)
                                .Bytes();
    QByteArray results;
    if (CallCore(DeviceWriteCall, args, results, io, QStringLiteral(" during a write"), status) !=
        Answer::Done)
      return status;
    XdrReader reply(results);
    qint32 error = 0;
    quint32 taken = 0;
    if (!reply.I32(error) || !reply.U32(taken) || taken > static_cast<quint32>(part.size()))
      return ConnectionLost(QStringLiteral("sent a write reply that does not fit the write"));
    if (error != 0)
      return DeviceFailure(error, true);
    sent += taken;
    if (taken == 0 && !part.isEmpty())
      return Fail(EABO, TIMO | CMPL);
  } while (sent < data.size());
  return Complete();
}

// device_read may hand a reply over in several pieces (a full request, a server's own limit):
// it is asked again until the reply ends or the buffer is full.
int Vxi11Driver::Read(const Device &device, char *buf, int wanted, long &got) {
  int status = 0;
  const Link *link = LinkFor(device.pad, status);
  if (!link)
    return status;
  const milliseconds io = HostLimit(device.tmo);
  const quint32 requestLimit = static_cast<quint32>(RpcClient::ReplyLimit - 1024);
  got = 0;
  while (got < wanted) {
    const quint32 request = std::min(static_cast<quint32>(wanted - got), requestLimit);
    const QByteArray args = XdrWriter()
                                .I32(link->id)
                                .U32(request)
                                .U32(static_cast<quint32>(io.count()))
                                .U32(0)
                                .U32(0)
                                .U32(0)
                                .Bytes();
    QByteArray results;
    if (CallCore(DeviceReadCall, args, results, io, QStringLiteral(" during a read"), status) != Answer::Done)
      return status;
    XdrReader reply(results);
    qint32 error = 0, reason = 0;
    QByteArray data;
    if (!reply.I32(error) || !reply.I32(reason) || !reply.Opaque(data, request))
      return ConnectionLost(QStringLiteral("sent a read reply that does not fit the request"));
    std::memcpy(buf + got, data.constData(), static_cast<std::size_t>(data.size()));
    got += data.size();
    if (error != 0)
      return DeviceFailure(error, false);
    if (reason & (ReasonEnd | ReasonChr))
      return Complete(END);
    if (data.isEmpty() && reason == 0)
      return Fail(EABO, TIMO | CMPL);
  }
  return Complete();
}

bool Vxi11Driver::GenericCall(const Device &device, quint32 procedure, const QString &when,
                              QByteArray &results, int &status) {
  const Link *link = LinkFor(device.pad, status);
  if (!link)
    return false;
  const milliseconds io = HostLimit(device.tmo);
  return CallCore(procedure, GenericArgs(link->id, io), results, io, when, status) == Answer::Done;
}

int Vxi11Driver::Clear(const Device &device) {
  int status = 0;
  QByteArray results;
  if (!GenericCall(device, DeviceClearCall, QStringLiteral(" during a clear"), results, status))
    return status;
  qint32 error = 0;
  if (!XdrReader(results).I32(error))
    return ConnectionLost(QStringLiteral("sent a clear reply that is cut short"));
  return error == 0 ? Complete() : DeviceFailure(error, true);
}

int Vxi11Driver::Poll(const Device &device, int &statusByte) {
  int status = 0;
  QByteArray results;
  if (!GenericCall(device, DeviceReadStbCall, QStringLiteral(" during a serial poll"), results, status))
    return status;
  XdrReader reply(results);
  qint32 error = 0;
  quint32 stb = 0;
  if (!reply.I32(error) || !reply.U32(stb))
    return ConnectionLost(QStringLiteral("sent a status byte reply that is cut short"));
  if (error != 0)
    return DeviceFailure(error, false);
  statusByte = static_cast<int>(stb & 0xFF);
  return Complete();
}

// Through a gateway each address is its own link: one that the gateway grants and whose
// status byte it reads has a listener. The links are closed again; the scope chosen gets
// its own on its first command.
int Vxi11Driver::FindListeners(const std::vector<int> &offered, std::set<int> &answered) {
  if (!IsGateway())
    return EmulatedDriver::FindListeners(offered, answered);
  for (const int pad : offered) {
    if (pad == 0)
      continue;
    if (const auto it = links_.find(pad); it != links_.end()) {
      DestroyLink(it->second);
      links_.erase(it);
    }
    Link link;
    qint32 error = 0;
    int status = 0;
    if (!CreateLink(DeviceName(pad), link, error, status)) {
      if (lost_)
        return status;
      continue;
    }
    QByteArray results;
    const milliseconds io = ShortCall - NetworkMargin;
    const Answer answer = CallCore(DeviceReadStbCall, GenericArgs(link.id, io), results, io,
                                   QStringLiteral(" during the listener search"), status);
    if (answer == Answer::Failed)
      return status;
    qint32 stbError = -1;
    if (answer == Answer::Done && XdrReader(results).I32(stbError) && stbError == 0)
      answered.insert(pad);
    DestroyLink(link);
  }
  return Complete();
}

} // namespace vxi11
