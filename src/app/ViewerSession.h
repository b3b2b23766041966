#pragma once

#include "app/ErrorLogForm.h"
#include "route/RouteInstall.h"
#include "route/RouteStartup.h"

#include <QObject>

#include <functional>
#include <memory>

// One run of the viewer: connects the route a start chose (through the Connect dialog
// when it cannot be used; Cancel there ends the program), opens the main window on it,
// remembers the interface once it reaches a scope, and starts over on another interface
// chosen with File > Connect....
class ViewerSession : public QObject {
  Q_OBJECT

public:
  explicit ViewerSession(const route::StartupRoute &start);
  ~ViewerSession() override;

  void Start();
  void Connect_Click();

  ErrorLogForm *Form() const { return form_.get(); }
  const route::StartupRoute &Current() const { return current_; }

  // How a new main window is started: loading, then shown centred. Tests start it their way.
  std::function<void(ErrorLogForm &)> startWindow;

signals:
  // A new main window stands, on the interface of Current().
  void windowStarted();

private:
  void StartWindow();
  void ScopeReached();

  route::StartupRoute current_;
  std::unique_ptr<route::RouteInstall> choice_;
  std::unique_ptr<route::RouteInstall> next_;
  std::unique_ptr<ErrorLogForm> form_;
};
