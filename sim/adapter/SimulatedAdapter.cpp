#include "sim/adapter/SimulatedAdapter.h"

#include "sim/adapter/PtyLink.h"
#include "sim/adapter/ScopeSession.h"
#include "sim/adapter/TcpLink.h"

#include <QTimer>

namespace gpibsim {
namespace {

// What ++ver answers. The manuals show the form, not a version to copy; these are ours.
QByteArray VersionText(Dialect dialect, SimulatedAdapter::Transport transport) {
  if (dialect == Dialect::Ar488)
    return "AR488 GPIB controller, ver. 0.51.18 (simulated)";
  return transport == SimulatedAdapter::Transport::Tcp
             ? "Prologix GPIB-ETHERNET Controller version 01.06.06.00"
             : "Prologix GPIB-USB Controller version 6.107";
}

} // namespace

SimulatedAdapter::SimulatedAdapter(const Options &options, QObject *parent) : QObject(parent) {
  if (options.transport == Transport::Tcp)
    link_ = std::make_unique<TcpLink>(options.port);
  else
    link_ = std::make_unique<PtyLink>();
  holdMs_ = options.holdMs;
  clock_.start();
  if (options.scopePort) {
    Attach(std::make_unique<ScopeSession>());
    return;
  }
  AdapterSession::Options session;
  session.dialect = options.dialect;
  session.version = VersionText(options.dialect, options.transport);
  session.vanishAfterReads = options.vanishAfterReads;
  session.mute = options.mute;
  session.lateRead = options.lateRead;
  session.lateMs = options.lateMs;
  session.floodVersion = options.floodVersion;
  Attach(std::make_unique<AdapterSession>(session));
}

template <typename Session> void SimulatedAdapter::Attach(std::unique_ptr<Session> session) {
  connect(link_.get(), &AdapterLink::received, session.get(), &Session::Receive);
  connect(link_.get(), &AdapterLink::hostLeft, session.get(), &Session::Reset);
  if (holdMs_ > 0)
    connect(session.get(), &Session::send, this, &SimulatedAdapter::Hold);
  else
    connect(session.get(), &Session::send, link_.get(), &AdapterLink::Send);
  connect(session.get(), &Session::vanish, this, [this] {
    link_->Close();
    emit vanished();
  });
  session_ = std::move(session);
}

SimulatedAdapter::~SimulatedAdapter() = default;

void SimulatedAdapter::Hold(const QByteArray &bytes) {
  held_.emplace_back(clock_.elapsed() + holdMs_, bytes);
  QTimer::singleShot(holdMs_, Qt::PreciseTimer, this, [this] {
    while (!held_.empty() && held_.front().first <= clock_.elapsed()) {
      link_->Send(held_.front().second);
      held_.pop_front();
    }
  });
}

bool SimulatedAdapter::Start(QString &error) { return link_->Open(error); }

QString SimulatedAdapter::Endpoint() const { return link_->Endpoint(); }

} // namespace gpibsim
