#include "app/ConnectDialog.h"
#include "app/ViewerSession.h"
#include "gpib/Vbib32.h"
#include "route/RouteStartup.h"
#include "route/plus/AdapterDriver.h"
#include "route/plus/AdapterPorts.h"
#include "support/AdapterProcess.h"
#include "support/BusTrace.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/FormSteps.h"
#include "support/InstantPauses.h"
#include "support/ProgramEnd.h"
#include "support/ScopeBus.h"
#include "support/ScopedEnv.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Choosing the interface: which one a start uses, the Connect dialog, and File > Connect...
// on a running viewer. The driver library is the simulated one loaded from the build tree
// (or a path where none is); the adapters are the simulated adapter as a process.
namespace {

using gpibadapter::PortFacts;
using route::Route;
using namespace scopebus;

const int LogEntries = 3;
const std::string BusText = busdesc::BusJson(ScopeBus(Tds3054, Entries(LogEntries)));
const char *const DriverLibrary = SKELD_BINARY_DIR "/sim/libgpib.so.0";
const char *const NoDriverLibrary = SKELD_BINARY_DIR "/no-such-folder/libgpib.so.0";

// Settings in a folder of the test's own, the simulated driver's bus and trace named before
// it is first loaded, short adapter waits.
class ConnectEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       dir.filePath(QStringLiteral("settings")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
    const QString bus = dir.filePath(QStringLiteral("bus.json"));
    ASSERT_TRUE(WriteFile(bus, QByteArray::fromStdString(BusText)));
    qputenv("GPIBSIM_BUS", bus.toLocal8Bit());
    qputenv("GPIBSIM_TRACE", TracePath().toLocal8Bit());
    using std::chrono::milliseconds;
    gpibadapter::AdapterDriver::SetTimings(
        {milliseconds(500), milliseconds(500), milliseconds(800), milliseconds(5)});
  }
  static QString TracePath() { return dir.filePath(QStringLiteral("library-trace.txt")); }
  static inline QTemporaryDir dir;
};
::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new ConnectEnvironment);

std::vector<std::string> LibraryTrace() {
  return bustrace::Lines(ReadFile(ConnectEnvironment::TracePath()).toStdString());
}

std::vector<std::string> Written(const std::vector<std::string> &trace, std::size_t from = 0) {
  return bustrace::QuotedOf(trace, "ibwrt", from);
}

// The simulated adapter on a pseudo-terminal (or TCP), and how --interface names it.
struct Adapter {
  explicit Adapter(bool answers, bool tcp = false, const std::string &bus = BusText)
      : process(QStringList{"--dialect", "prologix", tcp ? "--tcp" : "--pty"} +
                    (tcp ? QStringList{"0"} : QStringList{}) +
                    (answers ? QStringList{} : QStringList{"--mute"}),
                QByteArray::fromStdString(bus)) {
    const QString endpoint = process.endpoint;
    text = endpoint.startsWith(QLatin1String("pty ")) ? QStringLiteral("prologix:") + endpoint.mid(4)
                                                      : QStringLiteral("prologix-tcp:") + endpoint.mid(4);
    port = text.section(QLatin1Char(':'), 1);
  }
  AdapterProcess process;
  QString text; // prologix:/dev/pts/N
  QString port; // /dev/pts/N, or 127.0.0.1:PORT
};

Route Parsed(const QString &text) {
  Route where;
  QString error;
  EXPECT_TRUE(route::ParseRoute(text, where, error)) << error.toStdString();
  return where;
}

QString RememberedText() {
  const std::optional<Route> where = route::remembered::Last();
  return where ? route::RouteText(*where) : QStringLiteral("nothing");
}

// The serial ports the dialog is offered.
struct FakePorts : ScopedSeam<gpibadapter::PortLister> {
  explicit FakePorts(QList<PortFacts> ports)
      : ScopedSeam(gpibadapter::SetPortLister, [ports] { return ports; }) {}
};

// Answers the Connect dialog: what it showed, then a choice (or Cancel).
struct DialogAnswer {
  // "ni", an interface text to type as another port or host, or empty for Cancel.
  QString choose;
  bool shown = false;
  QString preselected; // the interface the dialog opened with chosen
  QString failure;
  ScopedSeam<ConnectDialog::Presenter> presenter{ConnectDialog::SetPresenter,
                                                 [this](ConnectDialog &d) { return Answer(d); }};

  static QString Chosen(ConnectDialog &d) {
    if (d.Library->isChecked())
      return QStringLiteral("ni");
    for (const ConnectDialog::PortRow &row : d.Ports)
      if (row.choice->isChecked())
        return row.dialect->currentText().toLower() + QLatin1Char(':') + row.port;
    if (d.OtherPort->isChecked())
      return d.OtherDialect->currentText().toLower() + QLatin1Char(':') + d.OtherPortName->text();
    if (d.Ethernet->isChecked())
      return QStringLiteral("prologix-tcp:") + d.EthernetHost->currentText();
    return QString();
  }

  static void Choose(ConnectDialog &d, const QString &text) {
    if (text == QLatin1String("ni")) {
      d.Library->click();
    } else if (text.startsWith(QLatin1String("rs232:"))) {
      d.ScopeSerial->click();
      d.ScopeSerialPort->setEditText(text.section(QLatin1Char(':'), 1));
    } else if (text.startsWith(QLatin1String("prologix-tcp:"))) {
      d.Ethernet->click();
      d.EthernetHost->setEditText(text.section(QLatin1Char(':'), 1));
    } else {
      d.OtherPort->click();
      d.OtherPortName->setText(text.section(QLatin1Char(':'), 1));
      d.OtherDialect->setCurrentIndex(text.startsWith(QLatin1String("ar488:")) ? 1 : 0);
    }
  }

  int Answer(ConnectDialog &d) {
    shown = true;
    preselected = Chosen(d);
    failure = d.Failure->text();
    if (choose.isEmpty())
      return QDialog::Rejected;
    Choose(d, choose);
    d.ConnectButton->click();
    if (d.result() != QDialog::Accepted)
      ADD_FAILURE() << "the dialog refused " << choose.toStdString() << ": "
                    << d.Failure->text().toStdString();
    return d.result();
  }
};

// ---- Which interface a start uses ----------------------------------------------------

// "A" stands for the row's simulated adapter ("prologix:/dev/pts/N").
struct StartRow {
  const char *name;
  const char *option;     // nullptr: not given
  const char *variable;   // nullptr: unset
  const char *remembered; // nullptr: nothing
  bool driver;            // the driver library is there
  bool adapterAnswers;
  const char *dialogPicks; // nullptr: Cancel (when the dialog comes up)
  // Expected:
  const char *used;              // "ended" when the program ended
  const char *dialogPreselected; // nullptr: no dialog
  const char *dialogSays;
  const char *rememberedAfter;
  // What the adapter's bus holds (the driver library's holds the scope).
  enum class On { Scope, RefusedFirmware, NoScope } on = On::Scope;
};

std::string AdapterBus(StartRow::On on) {
  switch (on) {
  case StartRow::On::Scope:
    break;
  case StartRow::On::RefusedFirmware:
    return busdesc::BusJson(ScopeBus("TEK/TDS 3054,CF:91.1CT,FV:v3.41 TDS3FFT:v1.00", Entries(2)));
  case StartRow::On::NoScope:
    return busdesc::BusJson(Bus({Plain(17, {{"ID?", "FLUKE,8840A,0,V2.0\n"}})}));
  }
  return BusText;
}

const StartRow StartRows[] = {
    {"NothingNamedDriverThere", nullptr, nullptr, nullptr, true, true, nullptr, "ni", nullptr, "", "nothing"},
    {"NothingNamedNoDriverAdapterPicked", nullptr, nullptr, nullptr, false, true, "A", "A", "ni",
     "libgpib.so.0", "A"},
    {"NothingNamedNoDriverCancel", nullptr, nullptr, nullptr, false, true, nullptr, "ended", "ni",
     "libgpib.so.0", "nothing"},
    {"RememberedAdapterAnswers", nullptr, nullptr, "A", false, true, nullptr, "A", nullptr, "", "A"},
    {"RememberedAdapterSilentDriverPicked", nullptr, nullptr, "A", true, false, "ni", "ni", "A",
     "no reply to ++ver", "ni"},
    {"OptionWinsOverRemembered", "ni", nullptr, "A", true, true, nullptr, "ni", nullptr, "", "ni"},
    {"OptionWinsOverVariable", "A", "ni", nullptr, false, true, nullptr, "A", nullptr, "", "A"},
    {"OptionFailsCancelKeepsRemembered", "ni", nullptr, "A", false, true, nullptr, "ended", "ni",
     "libgpib.so.0", "A"},
    {"VariableWinsOverRemembered", nullptr, "A", "ni", true, true, nullptr, "A", nullptr, "", "A"},
    {"VariableAdapterSilentCancel", nullptr, "A", "ni", true, false, nullptr, "ended", "A",
     "no reply to ++ver", "ni"},
    {"AdapterWithoutAScopeIsNotRemembered", "A", nullptr, "ni", false, true, nullptr, "ended", nullptr, "",
     "ni", StartRow::On::NoScope},
    {"RefusedFirmwareReachedAScope", "A", nullptr, "ni", false, true, nullptr, "A", nullptr, "", "A",
     StartRow::On::RefusedFirmware},
};

class StartDecision : public ::testing::TestWithParam<StartRow> {};

TEST_P(StartDecision, UsesTheFirstThatAppliesAndRemembersWhatReachedAScope) {
  const StartRow &row = GetParam();
  Adapter adapter(row.adapterAnswers, false, AdapterBus(row.on));
  const auto expand = [&](const char *text) {
    return QString::fromUtf8(text) == QLatin1String("A") ? adapter.text : QString::fromUtf8(text);
  };
  route::remembered::Forget();
  if (row.remembered)
    route::remembered::Remember(Parsed(expand(row.remembered)));
  std::optional<ScopedEnv> variable;
  if (row.variable)
    variable.emplace("SKELD_GPIB_INTERFACE", expand(row.variable).toLocal8Bit());
  else
    variable.emplace("SKELD_GPIB_INTERFACE");
  VBIB32::UseDriverLibrary(row.driver ? DriverLibrary : NoDriverLibrary);
  const FakePorts noPorts({});
  DialogAnswer dialog;
  dialog.choose = row.dialogPicks ? expand(row.dialogPicks) : QString();
  InstantPauses pauses;
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  testing::internal::CaptureStderr();

  route::StartupRoute start;
  QString error;
  ASSERT_TRUE(route::ResolveStartupRoute(
      row.option ? std::optional<QString>(expand(row.option)) : std::nullopt, std::nullopt, start, error));
  ViewerSession session(start);
  session.startWindow = formsteps::StartUp;
  const int code = EndCode([&] { session.Start(); });
  testing::internal::GetCapturedStderr();

  const QString used = code == -1 ? route::RouteText(session.Current().where) : QStringLiteral("ended");
  EXPECT_EQ(used, expand(row.used));
  if (row.on == StartRow::On::NoScope) {
    EXPECT_EQ(code, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(
        boxes.shown[0].title.startsWith(QStringLiteral("Expected Id-response from device not found")));
  } else if (code == -1) {
    EXPECT_TRUE(session.Form()->windowTitle().contains(QStringLiteral("Connected to TDS 3054")));
    EXPECT_EQ(session.Form()->List1->count(), row.on == StartRow::On::Scope ? LogEntries : 5);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().prompt.toStdString();
  } else {
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().prompt.toStdString();
  }
  EXPECT_EQ(dialog.shown, row.dialogPreselected != nullptr);
  if (row.dialogPreselected) {
    EXPECT_EQ(dialog.preselected, expand(row.dialogPreselected));
    EXPECT_TRUE(dialog.failure.contains(QString::fromUtf8(row.dialogSays))) << dialog.failure.toStdString();
  }
  EXPECT_EQ(RememberedText(), expand(row.rememberedAfter));
}

INSTANTIATE_TEST_SUITE_P(Rows, StartDecision, ::testing::ValuesIn(StartRows),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(StartDecision, AMalformedOptionOrVariableIsRefusedByName) {
  route::StartupRoute start;
  QString error;
  {
    const ScopedEnv unset("SKELD_GPIB_INTERFACE");
    EXPECT_FALSE(route::ResolveStartupRoute(QStringLiteral("serial:x"), std::nullopt, start, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("--interface: bad interface"))) << error.toStdString();
  }
  const ScopedEnv bad("SKELD_GPIB_INTERFACE", "prologix:");
  EXPECT_FALSE(route::ResolveStartupRoute(std::nullopt, std::nullopt, start, error));
  EXPECT_TRUE(error.startsWith(QStringLiteral("SKELD_GPIB_INTERFACE: bad interface"))) << error.toStdString();
}

TEST(Remembered, NothingIsReadOrWrittenWhenSwitchedOffAndForgetClearsHostsToo) {
  route::remembered::Forget();
  route::remembered::Remember(Parsed(QStringLiteral("prologix-tcp:gpib.lab")));
  route::remembered::Remember(Parsed(QStringLiteral("prologix-tcp:10.0.0.5:4000")));
  route::remembered::Remember(Parsed(QStringLiteral("prologix-tcp:gpib.lab")));
  EXPECT_EQ(route::remembered::RecentHosts(), (QStringList{"gpib.lab", "10.0.0.5:4000"}));
  route::remembered::SetEnabled(false);
  route::remembered::Remember(Parsed(QStringLiteral("ar488:/dev/ttyACM0")));
  EXPECT_EQ(route::remembered::Last(), std::nullopt);
  route::remembered::SetEnabled(true);
  EXPECT_EQ(RememberedText(), QStringLiteral("prologix-tcp:gpib.lab"));
  route::remembered::Forget();
  EXPECT_EQ(RememberedText(), QStringLiteral("nothing"));
  EXPECT_TRUE(route::remembered::RecentHosts().isEmpty());
}

// ---- The dialog -------------------------------------------------------------------------

TEST(ConnectDialogTest, ListsThePortsThatLookLikeAnAdapterWithTheLikelyDialect) {
  VBIB32::UseDriverLibrary(NoDriverLibrary);
  const FakePorts ports({{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", true, 0x0403, 0x6001},
                         {"/dev/ttyS0", "", "", false, 0, 0},
                         {"/dev/ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", true, 0x2341, 0x0043},
                         {"/dev/ttyUSB1", "USB2.0-Serial", "", true, 0x1a86, 0x7523},
                         {"/dev/ttyUSB2", "CP2102 USB to UART", "Silicon Labs", true, 0x10c4, 0xea60}});
  ConnectDialog dialog(Route{}, QString());
  std::vector<std::string> rows;
  for (const ConnectDialog::PortRow &row : dialog.Ports)
    rows.push_back(
        (row.port + QLatin1Char(' ') + row.dialect->currentText() + QStringLiteral(" | ") + row.note->text())
            .toStdString());
  EXPECT_EQ(rows,
            (std::vector<std::string>{
                "/dev/ttyUSB0 Prologix | FT232R USB UART, FTDI, USB 0403:6001: likely a Prologix GPIB-USB",
                "/dev/ttyACM0 AR488 | Arduino Uno, Arduino (www.arduino.cc), USB 2341:0043: likely an AR488",
                "/dev/ttyUSB1 AR488 | USB2.0-Serial, USB 1a86:7523: likely an AR488"}));
  EXPECT_TRUE(dialog.LibraryNote->text().startsWith(QStringLiteral(NO_DRIVER_PREFIX)))
      << dialog.LibraryNote->text().toStdString();
  EXPECT_TRUE(dialog.Library->isChecked());
  EXPECT_TRUE(dialog.NoPorts->isHidden());
  // The scope's own serial port may be any port but one that names itself an adapter.
  QStringList scopePorts;
  for (int i = 0; i < dialog.ScopeSerialPort->count(); ++i)
    scopePorts << dialog.ScopeSerialPort->itemText(i);
  EXPECT_EQ(scopePorts, QStringList({"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB2"}));
}

// A remembered RS-232 route opens the dialog on its row with its settings, and comes back
// from the row unchanged.
TEST(ConnectDialogTest, TheScopeSerialRowKeepsPortRateAndFlowControl) {
  VBIB32::UseDriverLibrary(NoDriverLibrary);
  const FakePorts ports({});
  for (const char *text : {"rs232:/dev/ttyS3", "rs232:COM4:38400:xonxoff", "rs232:/dev/ttyUSB0:19200:none"}) {
    ConnectDialog dialog(Parsed(QString::fromLatin1(text)), QString());
    EXPECT_TRUE(dialog.ScopeSerial->isChecked()) << text;
    Route where;
    dialog.beforeTry = [&](const Route &tried) { where = tried; };
    testing::internal::CaptureStderr();
    dialog.ConnectButton->click(); // no such port here: only what it tried counts
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(route::RouteText(where), QString::fromLatin1(text));
  }
}

// The failure lies below the chosen way's row and above every row under it, and no other
// text in the dialog says it again.
void ExpectOnceBesideTheChosenRow(ConnectDialog &d, const QString &says) {
  d.layout()->activate();
  const auto top = [&d](const QWidget *w) { return w->mapTo(&d, QPoint(0, 0)).y(); };
  const QList<QRadioButton *> ways = d.findChildren<QRadioButton *>();
  const auto chosen = std::find_if(ways.begin(), ways.end(), [](QRadioButton *b) { return b->isChecked(); });
  ASSERT_NE(chosen, ways.end());
  EXPECT_GT(top(d.Failure), top(*chosen) + (*chosen)->height() - 1) << (*chosen)->text().toStdString();
  for (const QRadioButton *way : ways) {
    if (top(way) > top(*chosen)) {
      EXPECT_LT(top(d.Failure), top(way)) << "below " << way->text().toStdString();
    }
  }
  int saying = 0;
  for (const QLabel *label : d.findChildren<QLabel *>())
    saying += label->isVisible() && label->text().contains(says);
  EXPECT_EQ(saying, 1);
}

struct Refusal {
  const char *name;
  const char *choose;
  const char *says;
};

class ConnectDialogRefusal : public ::testing::TestWithParam<Refusal> {};

// A choice that fails says why in the dialog, which stays open for the next try.
TEST_P(ConnectDialogRefusal, ShowsTheReasonAndStaysOpen) {
  const Refusal &r = GetParam();
  VBIB32::UseDriverLibrary(NoDriverLibrary);
  const FakePorts ports({{"/dev/ttyUSB9", "FT232R USB UART", "FTDI", true, 0x0403, 0x6001}});
  ConnectDialog dialog(Route{}, QString());
  dialog.show();
  testing::internal::CaptureStderr();
  // "A" stands for the simulated Prologix's port.
  std::optional<Adapter> adapter;
  QString choose = QString::fromUtf8(r.choose);
  if (choose.contains(QLatin1String(":A"))) {
    adapter.emplace(true);
    choose.replace(QLatin1String(":A"), QLatin1Char(':') + adapter->port);
  }
  if (choose == QLatin1String("listed"))
    dialog.Ports.front().choice->click();
  else
    DialogAnswer::Choose(dialog, choose);
  dialog.ConnectButton->click();
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.TakeConnection(), nullptr);
  EXPECT_TRUE(dialog.Failure->isVisible());
  EXPECT_TRUE(dialog.Failure->text().contains(QString::fromUtf8(r.says)))
      << dialog.Failure->text().toStdString();
  ExpectOnceBesideTheChosenRow(dialog, QString::fromUtf8(r.says));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ConnectDialogRefusal,
    ::testing::Values(Refusal{"NoDriverLibrary", "ni", "libgpib.so.0: cannot open shared object file"},
                      Refusal{"ListedPortMissing", "listed", "/dev/ttyUSB9: no such serial port"},
                      Refusal{"OtherPortUnnamed", "prologix:", "Name the serial port."},
                      Refusal{"HostUnnamed", "prologix-tcp:", "Name the host"},
                      Refusal{"HostRefuses", "prologix-tcp:127.0.0.1:1", "127.0.0.1:1: cannot connect"},
                      Refusal{"ScopePortUnnamed", "rs232:", "Name the serial port the scope is on."},
                      Refusal{"ScopePortIsAnAdapter", "rs232:A", "is a \"++\" GPIB adapter"}),
    [](const auto &info) { return std::string(info.param.name); });

// A new user with nothing connected learns of the demo; one with an adapter or a library does not.
TEST(ConnectDialogTest, PointsToTheDemoOnlyWhenNothingCanBeReached) {
  const struct {
    const char *library;
    QList<PortFacts> ports;
    bool hint;
  } rows[] = {{NoDriverLibrary, {}, true},
              {DriverLibrary, {}, false},
              {NoDriverLibrary, {{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", true, 0x0403, 0x6001}}, false}};
  for (const auto &row : rows) {
    SCOPED_TRACE(std::string(row.library) + (row.ports.isEmpty() ? "" : " and a port"));
    VBIB32::UseDriverLibrary(row.library);
    const FakePorts ports(row.ports);
    ConnectDialog dialog(Route{}, QString());
    EXPECT_EQ(dialog.DemoHint != nullptr, row.hint);
    if (dialog.DemoHint) {
      EXPECT_TRUE(dialog.DemoHint->text().contains(QLatin1String("skeld-errlog-demo")));
    }
  }
}

// The simulated adapter as a listed port (its pseudo-terminal fed through the port list) and
// as a host: Connect connects, and the main window lists the log.
TEST(ConnectDialogTest, AWorkingChoiceConnectsAndTheWindowListsTheLog) {
  for (const bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "tcp" : "pty");
    Adapter adapter(true, tcp);
    route::remembered::Forget();
    VBIB32::UseDriverLibrary(NoDriverLibrary);
    const FakePorts ports({{tcp ? QStringLiteral("/dev/ttyUSB9") : adapter.port, "FT232R USB UART", "FTDI",
                            true, 0x0403, 0x6001}});
    const ScopedSeam<ConnectDialog::Presenter> presenter(ConnectDialog::SetPresenter, [&](ConnectDialog &d) {
      if (tcp) {
        DialogAnswer::Choose(d, adapter.text);
      } else {
        EXPECT_TRUE(d.Ports.front().choice->isChecked()) << "the adapter-like port is preselected";
      }
      d.ConnectButton->click();
      return d.result();
    });
    InstantPauses pauses;
    FakeMessBoxes boxes;
    ViewerSession session({});
    session.startWindow = formsteps::StartUp;
    session.Start();
    EXPECT_EQ(route::RouteText(session.Current().where), adapter.text);
    EXPECT_TRUE(
        session.Form()->windowTitle().endsWith(QStringLiteral("Connected to TDS 3054 @ GPIB Addr: 1")));
    EXPECT_EQ(formsteps::Items(session.Form()->List1), Entries(LogEntries));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(RememberedText(), adapter.text);
    if (tcp) {
      EXPECT_EQ(route::remembered::RecentHosts(), QStringList{adapter.port});
    }
  }
}

// ---- File > Connect... on a running viewer ----------------------------------------------

std::vector<std::string> AdapterWritten(const Adapter &adapter, std::size_t from) {
  return Written(adapter.process.Trace(), from);
}

TEST(ConnectOnARunningViewer, MovesFromTheDriverLibraryToTheAdapterAndReadsTheLogAgain) {
  Adapter adapter(true);
  route::remembered::Forget();
  VBIB32::UseDriverLibrary(DriverLibrary);
  const FakePorts noPorts({});
  InstantPauses pauses;
  FakeMessBoxes boxes;
  const std::size_t before = LibraryTrace().size();
  ViewerSession session({});
  session.startWindow = formsteps::StartUp;
  int windows = 0;
  QObject::connect(&session, &ViewerSession::windowStarted, [&] { ++windows; });
  session.Start();
  ErrorLogForm *first = session.Form();
  const std::vector<std::string> freshStart = Written(LibraryTrace(), before);
  ASSERT_EQ(freshStart, StartUpCommands(LogEntries));
  EXPECT_EQ(first->List1->count(), LogEntries);
  EXPECT_EQ(RememberedText(), QStringLiteral("nothing"));

  // Greyed while a reading runs, offered again afterwards.
  std::vector<bool> offeredDuringReading;
  pauses.onPause = [&] { offeredDuringReading.push_back(session.Form()->ConnectInterface->isEnabled()); };
  first->RefreshList->click();
  pauses.onPause = nullptr;
  EXPECT_EQ(offeredDuringReading, std::vector<bool>(static_cast<std::size_t>(LogEntries + 1), false));
  EXPECT_TRUE(first->ConnectInterface->isEnabled());

  DialogAnswer dialog;
  dialog.choose = adapter.text;
  const std::size_t libraryLines = LibraryTrace().size();
  first->ConnectInterface->trigger();
  EXPECT_TRUE(dialog.shown);
  EXPECT_EQ(dialog.preselected, QStringLiteral("ni"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return windows == 2; }));
  ErrorLogForm *second = session.Form();
  EXPECT_TRUE(second->windowTitle().endsWith(QStringLiteral("Connected to TDS 3054 @ GPIB Addr: 1")));
  EXPECT_EQ(formsteps::Items(second->List1), Entries(LogEntries));
  EXPECT_EQ(AdapterWritten(adapter, 0), freshStart);
  EXPECT_EQ(LibraryTrace().size(), libraryLines) << "nothing more reached the driver library";
  EXPECT_EQ(RememberedText(), adapter.text);

  // The same adapter again: its port is let go of first, then opened anew.
  const std::size_t adapterLines = adapter.process.Trace().size();
  testing::internal::CaptureStderr();
  second->ConnectInterface->trigger();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(dialog.preselected, adapter.text);
  EXPECT_EQ(dialog.failure, QString());
  ASSERT_TRUE(QTest::qWaitFor([&] { return windows == 3; }));
  EXPECT_EQ(formsteps::Items(session.Form()->List1), Entries(LogEntries));
  EXPECT_EQ(AdapterWritten(adapter, adapterLines), freshStart);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(ConnectOnARunningViewer, CancelKeepsTheViewerOnItsInterface) {
  route::remembered::Forget();
  VBIB32::UseDriverLibrary(DriverLibrary);
  const FakePorts noPorts({});
  InstantPauses pauses;
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  ViewerSession session({});
  session.startWindow = formsteps::StartUp;
  session.Start();
  ErrorLogForm *form = session.Form();
  DialogAnswer cancel;
  EXPECT_EQ(EndCode([&] { form->ConnectInterface->trigger(); }), -1);
  EXPECT_TRUE(cancel.shown);
  QCoreApplication::processEvents();
  EXPECT_EQ(session.Form(), form);
  const std::size_t before = LibraryTrace().size();
  form->RefreshList->click();
  EXPECT_EQ(Written(LibraryTrace(), before),
            Concat({"HEAD 0", "PASSWORD BRAMBLE"}, ReadCommands(LogEntries)));
}

} // namespace
