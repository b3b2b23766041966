#pragma once

#include "app/ActivationEvents.h"

#include "app/ScopeIdentity.h"

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;

// The main window: finds and identifies the scope, reads its error log into the list and
// offers re-reading, clearing, printing, copying to a file, About and Exit.
class ErrorLogForm : public QMainWindow {
  Q_OBJECT

public:
  explicit ErrorLogForm(QWidget *parent = nullptr);

  // Version caption, bus set-up and opening the scope; may end the program.
  void Load();
  // Identification, caption, splash and the first reading; runs at the first activation
  // only, later activations (after the splash, About, a message box) do nothing.
  void Form_Activate();

  void IdentifyTDS(std::int16_t &handle);
  void Intro(std::int16_t &seconds);
  QString VerErr() const;
  void ReadErrorLog();

  void RefreshList_Click();
  void ClearErrorLog_Click();
  void PrintErrorLog_Click();
  void SendErrorLogToFile_Click();
  void errAbout_Click();
  void Close_Click();
  void CopyEntries_Click();
  void Connect_Click();

  // File > Connect... hands over to whoever runs the viewer; reaching a scope (accepted or
  // refused firmware) is told to it as well.
  void SetConnectHandler(std::function<void()> handler) { connectHandler_ = std::move(handler); }
  void SetScopeReachedHandler(std::function<void()> handler) { scopeReached_ = std::move(handler); }

  const QString &scopeModel() const { return ScopeModel; }
  std::int16_t zeroEndsLog() const { return ZeroEndsLog; }
  std::int16_t scopeHandle() const { return ScopeHandle; }
  bool activated() const { return Activated; }
  // True while the log is being read (or the start-up sequence runs); the log commands
  // other than Exit and About are ignored meanwhile.
  bool reading() const { return Reading; }

  // How long the start-up splash stays; 2 seconds unless a test shortens it.
  void SetSplashSeconds(std::int16_t seconds) { splashSeconds_ = seconds; }
  // How the bus is reached ("ni", "prologix:/dev/ttyUSB0" ...), as a saved JSON log names it.
  // The route as --interface names it; directName, for a route that reaches one instrument
  // directly, stands in the caption in place of the GPIB address.
  void SetRoute(const QString &text, const QString &directName) {
    gpibInterface_ = text;
    directName_ = directName;
  }

  QListWidget *List1;
  QPushButton *RefreshList;
  QLabel *Label1;
  QPushButton *ClearErrorLog;
  QPushButton *Close;
  QMenu *F;
  QAction *PrintErrorLog;
  QAction *SendErrorLogToFile;
  QAction *ConnectInterface;
  QAction *ClearErrorLog0;
  QAction *F1;
  QAction *E;
  QAction *errAbout;
  // On the list: Ctrl+C and its context menu copy the selected entries.
  QAction *CopyEntries;

protected:
  bool event(QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;

private:
  QString BaseCaption() const;
  QStringList ListedEntries() const;
  void TakeIdentity(const skeld::ScopeIdentity &id);
  void RefuseFirmware();
  void SetLogCommandsEnabled(bool enabled);

  std::int16_t ScopeHandle = 0;
  QString ScopeModel;
  // The model as the caption and message boxes show it.
  QString ShownModel;
  std::int16_t ZeroEndsLog = 0;
  bool Activated = false;
  bool Reading = false;
  ActivationEvents activation_{this, [this] { Form_Activate(); }};
  std::int16_t splashSeconds_ = 2;
  std::function<void()> connectHandler_;
  std::function<void()> scopeReached_;
  QString gpibInterface_ = QStringLiteral("ni");
  QString directName_;
  QDateTime readTime_;
};
