#pragma once

#include "app/ErrorLogForm.h"
#include "gpib/adapter/InterfaceChoice.h"
#include "gpib/adapter/InterfaceStartup.h"

#include <QObject>

#include <functional>
#include <memory>

// One run of the viewer: connects the interface a start chose (through the Connect dialog
// when it cannot be used; Cancel there ends the program), opens the main window on it,
// remembers the interface once it reaches a scope, and starts over on another interface
// chosen with File > Connect....
class ViewerSession : public QObject {
  Q_OBJECT

public:
  explicit ViewerSession(const gpibadapter::StartupInterface &start);
  ~ViewerSession() override;

  void Start();
  void Connect_Click();

  ErrorLogForm *Form() const { return form_.get(); }
  const gpibadapter::StartupInterface &Current() const { return current_; }

  // How a new main window is started: loading, then shown centred. Tests start it their way.
  std::function<void(ErrorLogForm &)> startWindow;

signals:
  // A new main window stands, on the interface of Current().
  void windowStarted();

private:
  void StartWindow();
  void ScopeReached();

  gpibadapter::StartupInterface current_;
  std::unique_ptr<gpibadapter::InterfaceChoice> choice_;
  std::unique_ptr<gpibadapter::InterfaceChoice> next_;
  std::unique_ptr<ErrorLogForm> form_;
};
