#include "app/ViewerSession.h"

#include "app/ConnectDialog.h"
#include "gpib/Vbib32Qx.h"
#include "platform/EndProgram.h"
#include "route/plus/AdapterPorts.h"
#include "ui/WindowPlacement.h"

#include <QTimer>

namespace {

using route::Route;
using route::RouteSource;

// As the initialization box ends the program when the bus cannot be reached.
constexpr int NotConnectedStatus = 1;

bool SamePlace(const Route &a, const Route &b) {
  return !a.IsLibrary() && !b.IsLibrary() && route::RouteText(a) == route::RouteText(b);
}

} // namespace

ViewerSession::ViewerSession(const route::StartupRoute &start) : current_(start) {
  startWindow = [](ErrorLogForm &form) {
    form.Load();
    form.adjustSize();
    skeld::CentreOnScreen(form);
    form.show();
  };
}

ViewerSession::~ViewerSession() = default;

void ViewerSession::Start() {
  QString why;
  choice_ = route::RouteInstall::Connect(current_.where, why);
  // Nobody chose the driver library: the one USB scope plugged in is used as if remembered;
  // if it cannot be opened, the dialog says why with it chosen.
  std::optional<Route> found;
  if (!choice_ && current_.source == RouteSource::Default && (found = route::FoundByItself())) {
    QString foundWhy;
    if ((choice_ = route::RouteInstall::Connect(*found, foundWhy)))
      current_ = {*found, RouteSource::Found};
    else
      why = foundWhy;
  }
  if (!choice_) {
    Route preselect = found ? *found : current_.where;
    // Nobody chose the driver library: an adapter that is plugged in is the likelier wish.
    if (current_.source == RouteSource::Default && !found) {
      const QList<gpibadapter::PortFacts> ports = gpibadapter::AdapterLikePortFacts();
      if (!ports.isEmpty())
        preselect.way =
            route::PlusRoute{gpibadapter::LikelyDialect(ports.first()), false, ports.first().name, 0};
    }
    ConnectDialog dialog(preselect, why);
    if (dialog.Present() != QDialog::Accepted)
      skeld::EndProgram(NotConnectedStatus);
    choice_ = dialog.TakeConnection();
    current_ = {choice_->Where(), RouteSource::Chosen};
  }
  StartWindow();
}

void ViewerSession::StartWindow() {
  VBIB32QX::ResetModuleState();
  form_ = std::make_unique<ErrorLogForm>();
  form_->SetConnectHandler([this] { Connect_Click(); });
  form_->SetScopeReachedHandler([this] { ScopeReached(); });
  form_->SetRoute(route::RouteText(Route(current_.where.way)),
                  current_.where.IsBus() ? QString() : route::RouteName(current_.where));
  startWindow(*form_);
  emit windowStarted();
}

void ViewerSession::ScopeReached() {
  if (route::RemembersOnScope(current_.source))
    route::remembered::Remember(current_.where);
}

void ViewerSession::Connect_Click() {
  ConnectDialog dialog(current_.where, QString(), form_.get());
  // The port in use cannot be opened a second time; a failed try leaves it to be reopened
  // by the next call.
  dialog.beforeTry = [this](const Route &where) {
    if (choice_ && SamePlace(where, choice_->Where()))
      choice_->Release();
  };
  if (dialog.Present() != QDialog::Accepted)
    return;
  next_ = dialog.TakeConnection();
  // Out of the old window's handler before it goes.
  QTimer::singleShot(0, this, [this] {
    form_.reset();
    choice_ = std::move(next_);
    current_ = {choice_->Where(), RouteSource::Chosen};
    StartWindow();
  });
}
