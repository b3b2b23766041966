#include "app/ErrorLogForm.h"

#include "app/ErrorLogReply.h"
#include "app/IntroForm.h"
#include "app/ScopeIdentity.h"
#include "app/ScopeStartUp.h"
#include "app/TdsConversation.h"
#include "gpib/Vbib32Qx.h"
#include "output/ErrorLogOutput.h"
#include "platform/AppInfo.h"
#include "platform/EndProgram.h"
#include "platform/GpibText.h"
#include "platform/Twips.h"
#include "platform/VersionText.h"
#include "ui/Module1.h"
#include "ui/WindowPlacement.h"
#include "ui/errAboutForm.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopedValueRollback>

#include <algorithm>

namespace {

const char *const ClearTitle = "Clear Error Log";

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption, const QRect &geometry) {
  auto *button = new QPushButton(caption, parent);
  button->setObjectName(QLatin1String(name));
  button->setGeometry(geometry);
  return button;
}

QAction *MakeAction(QMenu *menu, const char *name, const QString &caption) {
  QAction *action = menu->addAction(caption);
  action->setObjectName(QLatin1String(name));
  return action;
}

} // namespace

ErrorLogForm::ErrorLogForm(QWidget *parent) : QMainWindow(parent) {
  using skeld::TwipsRect;
  setObjectName(QStringLiteral("ErrorLogForm"));
  setWindowTitle(QStringLiteral("Error Log"));

  auto *client = new QWidget(this);
  client->setFixedSize(skeld::TwipsSize(12000, 2985));
  setCentralWidget(client);

  List1 = new QListWidget(client);
  List1->setObjectName(QStringLiteral("List1"));
  List1->setGeometry(TwipsRect(240, 0, 11535, 2400));
  // One line per entry; without this every added entry measures all the others again,
  // which made reading a long log cost noticeable processor time.
  List1->setUniformItemSizes(true);
  List1->setSelectionMode(QAbstractItemView::ExtendedSelection);
  CopyEntries = new QAction(QStringLiteral("&Copy"), List1);
  CopyEntries->setObjectName(QStringLiteral("CopyEntries"));
  CopyEntries->setShortcut(QKeySequence::Copy);
  CopyEntries->setShortcutContext(Qt::WidgetShortcut);
  CopyEntries->setEnabled(false);
  List1->addAction(CopyEntries);
  List1->setContextMenuPolicy(Qt::ActionsContextMenu);

  RefreshList = MakeButton(client, "RefreshList", QStringLiteral("&Refresh"), TwipsRect(240, 2520, 855, 315));

  Label1 = new QLabel(client);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(TwipsRect(1200, 2520, 2535, 315));
  // "MS Sans Serif" is not on Linux; Liberation Sans has the same widths as Arial.
  QFont labelFont(QStringLiteral("Liberation Sans"));
  labelFont.setPointSizeF(9.75);
  Label1->setFont(labelFont);

  ClearErrorLog = MakeButton(client, "ClearErrorLog", QStringLiteral("&Clear Error Log"),
                             TwipsRect(3840, 2520, 1335, 315));
  ClearErrorLog->setEnabled(false);
  Close = MakeButton(client, "Close", QStringLiteral("&Exit"), TwipsRect(10440, 2520, 1335, 315));

  setTabOrder(ClearErrorLog, Close);
  setTabOrder(Close, RefreshList);
  setTabOrder(RefreshList, List1);

  F = menuBar()->addMenu(QStringLiteral("&File"));
  F->setObjectName(QStringLiteral("F"));
  PrintErrorLog = MakeAction(F, "PrintErrorLog", QStringLiteral("&Print"));
  SendErrorLogToFile = MakeAction(F, "SendErrorLogToFile", QStringLiteral("Copy to &File"));
  ConnectInterface = MakeAction(F, "ConnectInterface", QStringLiteral("C&onnect..."));
  ClearErrorLog0 = MakeAction(F, "ClearErrorLog0", QStringLiteral("C&lear"));
  F1 = F->addSeparator();
  F1->setObjectName(QStringLiteral("F1"));
  E = MakeAction(F, "E", QStringLiteral("&Exit"));
  errAbout = menuBar()->addAction(QStringLiteral("&About"));
  errAbout->setObjectName(QStringLiteral("errAbout"));

  // The controls stand where they were designed; the window does not resize.
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  connect(RefreshList, &QPushButton::clicked, this, &ErrorLogForm::RefreshList_Click);
  connect(ClearErrorLog, &QPushButton::clicked, this, &ErrorLogForm::ClearErrorLog_Click);
  connect(Close, &QPushButton::clicked, this, &ErrorLogForm::Close_Click);
  connect(PrintErrorLog, &QAction::triggered, this, &ErrorLogForm::PrintErrorLog_Click);
  connect(SendErrorLogToFile, &QAction::triggered, this, &ErrorLogForm::SendErrorLogToFile_Click);
  connect(ClearErrorLog0, &QAction::triggered, this, &ErrorLogForm::ClearErrorLog_Click);
  connect(ConnectInterface, &QAction::triggered, this, &ErrorLogForm::Connect_Click);
  connect(E, &QAction::triggered, this, &ErrorLogForm::Close_Click);
  connect(errAbout, &QAction::triggered, this, &ErrorLogForm::errAbout_Click);
  connect(CopyEntries, &QAction::triggered, this, &ErrorLogForm::CopyEntries_Click);
  connect(List1, &QListWidget::itemSelectionChanged, this,
          [this] { CopyEntries->setEnabled(!List1->selectedItems().isEmpty()); });
}

QString ErrorLogForm::BaseCaption() const {
  return skeld::AppTitle() + QStringLiteral(", v") + skeld::VersionText + QStringLiteral(" - ") +
         skeld::BuildDate + QStringLiteral(" / QX");
}

void ErrorLogForm::Load() {
  skeld::VersionText = skeld::MakeVersionText(skeld::AppMajor(), skeld::AppMinor(), skeld::AppRevision());
  skeld::BuildDate = QStringLiteral("Feb 2025");
  setWindowTitle(BaseCaption());
  skeld::OpenScope(ScopeHandle);
}

bool ErrorLogForm::event(QEvent *event) {
  const bool handled = QMainWindow::event(event);
  activation_.Handled(event);
  return handled;
}

void ErrorLogForm::closeEvent(QCloseEvent *event) {
  event->ignore();
  skeld::EndProgram(0);
}

void ErrorLogForm::Form_Activate() {
  if (Activated)
    return;
  Activated = true;
  QScopedValueRollback<bool> busy(Reading, true);
  ConnectInterface->setEnabled(false);
  skeld::StartUpSteps steps;
  steps.identified = [this](const skeld::ScopeIdentity &id) { TakeIdentity(id); };
  steps.connected = [this] {
    if (scopeReached_)
      scopeReached_();
    const QString where =
        directName_.isEmpty()
            ? QStringLiteral(" @ GPIB Addr:") + QString::fromStdString(VBIB32QX::Str(VBIB32QX::DevGpibAddr))
            : QStringLiteral(" @ ") + directName_;
    setWindowTitle(windowTitle() + QStringLiteral("   -   Connected to ") + ShownModel + where);
    std::int16_t seconds = splashSeconds_;
    Intro(seconds);
  };
  steps.read = [this] { ReadErrorLog(); };
  skeld::ContinueStartUp(ScopeHandle, steps);
  ConnectInterface->setEnabled(true);
}

void ErrorLogForm::IdentifyTDS(std::int16_t &handle) {
  const skeld::ScopeIdentity id = skeld::TdsConversation(handle).Identify();
  TakeIdentity(id);
  skeld::EndIfNotSupported(id);
}

void ErrorLogForm::TakeIdentity(const skeld::ScopeIdentity &id) {
  ScopeModel = skeld::FromGpib(id.model);
  ShownModel = skeld::FromGpibOneLine(id.model);
  ZeroEndsLog = id.zeroEndsLog;
  if (id.support == skeld::ScopeSupport::FirmwareRefused)
    RefuseFirmware();
}

void ErrorLogForm::RefuseFirmware() {
  RefreshList->setEnabled(false);
  PrintErrorLog->setEnabled(false);
  SendErrorLogToFile->setEnabled(false);
  ClearErrorLog0->setEnabled(false);

  // Five fixed lines of different widths: measure each so the longest can be scrolled to.
  List1->setUniformItemSizes(false);
  QFont font = List1->font();
  font.setPointSize(18);
  List1->setFont(font);
  QPalette palette = List1->palette();
  palette.setColor(QPalette::Text, QColor(255, 0, 0));
  List1->setPalette(palette);

  List1->addItems(skeld::FirmwareRefusal(ShownModel));
}

QString ErrorLogForm::VerErr() const { return QStringLiteral("2025-02-14 - v1.3"); }

void ErrorLogForm::Intro(std::int16_t &seconds) {
  IntroForm intro(this);
  // The interval is a 16-bit count of milliseconds: 32 seconds at most.
  intro.Timer1->setInterval(std::clamp<int>(seconds, 0, 32) * 1000);
  intro.Label1->setText(BaseCaption());
  intro.Label1->adjustSize();
  intro.setFixedSize(skeld::TwipsToPixels(skeld::PixelsToTwips(intro.Label1->width()) + 600), intro.height());
  skeld::CentreOnScreen(intro);
  intro.exec();
}

void ErrorLogForm::ReadErrorLog() {
  QScopedValueRollback<bool> busy(Reading, true);
  // Greyed while the list fills, so a click cannot look accepted and then do nothing.
  SetLogCommandsEnabled(false);
  ConnectInterface->setEnabled(false);
  skeld::TdsConversation(ScopeHandle).ReadLog(ZeroEndsLog, [this](const std::string &entry) {
    List1->addItem(skeld::FromGpib(entry));
  });

  readTime_ = QDateTime::currentDateTime();
  const int entries = List1->count();
  Label1->setText(skeld::CountLine(entries));
  SetLogCommandsEnabled(entries > 0);
  ConnectInterface->setEnabled(true);
  if (entries > 0)
    ClearErrorLog->setFocus();
}

void ErrorLogForm::SetLogCommandsEnabled(bool enabled) {
  ClearErrorLog->setEnabled(enabled);
  ClearErrorLog0->setEnabled(enabled);
  PrintErrorLog->setEnabled(enabled);
  SendErrorLogToFile->setEnabled(enabled);
}

void ErrorLogForm::RefreshList_Click() {
  if (Reading)
    return;
  QScopedValueRollback<bool> busy(Reading, true);
  skeld::TdsConversation(ScopeHandle).Unlock();
  List1->clear();
  ReadErrorLog();
}

void ErrorLogForm::ClearErrorLog_Click() {
  if (Reading)
    return;
  QScopedValueRollback<bool> busy(Reading, true);
  if (Module1::ShowMessBox(
          QStringLiteral("This will clear the error log in the scope.\nAre you sure you want to do this ?"),
          Module1::Style::YesNo, QLatin1String(ClearTitle)) == Module1::IdNo)
    return;
  if (Module1::ShowMessBox(QStringLiteral("Click Yes to confirm."), Module1::Style::YesNo,
                           QLatin1String(ClearTitle)) == Module1::IdNo)
    return;
  skeld::TdsConversation(ScopeHandle).Clear();
  List1->clear();
  ReadErrorLog();
}

QStringList ErrorLogForm::ListedEntries() const {
  QStringList entries;
  for (int i = 0; i < List1->count(); ++i)
    entries.append(List1->item(i)->text());
  return entries;
}

void ErrorLogForm::PrintErrorLog_Click() {
  if (Reading)
    return;
  ErrorLogOutput::PrintErrorLog(ListedEntries(), ScopeModel, this);
}

void ErrorLogForm::SendErrorLogToFile_Click() {
  if (Reading)
    return;
  ErrorLogOutput::LogReading reading;
  reading.model = ScopeModel;
  if (directName_.isEmpty())
    reading.gpibAddress = VBIB32QX::DevGpibAddr;
  reading.gpibInterface = gpibInterface_;
  reading.time = readTime_;
  reading.entries = ListedEntries();
  ErrorLogOutput::SendErrorLogToFile(reading, this);
}

// The selected entries in list order, one a line, whatever order they were picked in.
void ErrorLogForm::CopyEntries_Click() {
  QStringList selected;
  for (int i = 0; i < List1->count(); ++i)
    if (List1->item(i)->isSelected())
      selected.append(List1->item(i)->text());
  if (!selected.isEmpty())
    QGuiApplication::clipboard()->setText(selected.join(QLatin1Char('\n')));
}

// Works during a reading too: it reads nothing from the scope.
void ErrorLogForm::errAbout_Click() { errAboutForm::ShowAbout(this); }

void ErrorLogForm::Close_Click() { skeld::EndProgram(0); }

void ErrorLogForm::Connect_Click() {
  if (Reading || !connectHandler_)
    return;
  connectHandler_();
}
