#include "gpib/Vbib32.h"
#include "platform/AppInfo.h"
#include "route/Route.h"
#include "route/RouteInstall.h"
#include "route/RouteStartup.h"
#include "route/plus/AdapterPorts.h"

#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

#include <string>

namespace {

using route::Route;

// Every form read, printed back as the viewer writes it, and read again to the same route.
struct RoundTrip {
  const char *text;
  const char *printed; // as RouteText writes it
  const char *named;   // as the caption and the dialog name it
  const char *refusal; // a route not built yet: its one line holds this; nullptr: usable
};

#ifdef __linux__
const char *const UsbRefusal = nullptr;
#else
const char *const UsbRefusal = "VISA library";
#endif

class RouteText : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(RouteText, ReadsPrintsAndReadsBackTheSameRoute) {
  const RoundTrip &c = GetParam();
  Route where;
  QString error;
  ASSERT_TRUE(route::ReadRoute(QString::fromUtf8(c.text), where, error)) << error.toStdString();
  EXPECT_EQ(route::RouteText(where), QString::fromUtf8(c.printed));
  EXPECT_EQ(route::RouteName(where), QString::fromUtf8(c.named));
  Route again;
  ASSERT_TRUE(route::ReadRoute(route::RouteText(where), again, error)) << error.toStdString();
  EXPECT_TRUE(again == where) << route::RouteText(again).toStdString();

  Route usable;
  const bool parsed = route::ParseRoute(QString::fromUtf8(c.text), usable, error);
  EXPECT_EQ(parsed, c.refusal == nullptr) << error.toStdString();
  if (c.refusal) {
    EXPECT_FALSE(error.contains(QLatin1Char('\n')));
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.refusal))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("not have yet"))) << error.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RouteText,
    ::testing::Values(
        // Today's forms, unchanged.
        RoundTrip{"ni", "ni", "GPIB", nullptr},
        RoundTrip{"prologix:/dev/ttyUSB0", "prologix:/dev/ttyUSB0", "GPIB /dev/ttyUSB0", nullptr},
        RoundTrip{"prologix:COM3", "prologix:COM3", "GPIB COM3", nullptr},
        RoundTrip{"ar488:/dev/ttyACM0", "ar488:/dev/ttyACM0", "GPIB /dev/ttyACM0", nullptr},
        RoundTrip{"prologix-tcp:gpib.lab", "prologix-tcp:gpib.lab", "GPIB gpib.lab:1234", nullptr},
        RoundTrip{"prologix-tcp:gpib.lab:1234", "prologix-tcp:gpib.lab", "GPIB gpib.lab:1234", nullptr},
        RoundTrip{"prologix-tcp:10.0.0.7:5025", "prologix-tcp:10.0.0.7:5025", "GPIB 10.0.0.7:5025", nullptr},
        RoundTrip{"prologix-tcp:[fe80::1]", "prologix-tcp:[fe80::1]", "GPIB [fe80::1]:1234", nullptr},
        RoundTrip{"prologix-tcp:[::1]:65535", "prologix-tcp:[::1]:65535", "GPIB [::1]:65535", nullptr},
        // VISA resource names, letter case ignored.
        RoundTrip{"GPIB0::7::INSTR", "GPIB0::7::INSTR", "GPIB", nullptr},
        RoundTrip{"gpib::17", "GPIB0::17::INSTR", "GPIB", nullptr},
        RoundTrip{"PRLGX-ASRL::/dev/ttyUSB0::INTFC", "prologix:/dev/ttyUSB0", "GPIB /dev/ttyUSB0", nullptr},
        RoundTrip{"prlgx-asrl::COM4", "prologix:COM4", "GPIB COM4", nullptr},
        RoundTrip{"PRLGX-TCPIP::192.168.1.50::INTFC", "prologix-tcp:192.168.1.50", "GPIB 192.168.1.50:1234",
                  nullptr},
        RoundTrip{"PRLGX-TCPIP0::192.168.1.50::4000::INTFC", "prologix-tcp:192.168.1.50:4000",
                  "GPIB 192.168.1.50:4000", nullptr},
        RoundTrip{"ASRL/dev/ttyUSB0::INSTR", "rs232:/dev/ttyUSB0", "RS-232 /dev/ttyUSB0", nullptr},
        RoundTrip{"rs232:/dev/ttyS1:19200:xonxoff", "rs232:/dev/ttyS1:19200:xonxoff", "RS-232 /dev/ttyS1",
                  nullptr},
        RoundTrip{"rs232:COM3:38400", "rs232:COM3:38400", "RS-232 COM3", nullptr},
        // VXI-11: a gateway's "gpib0,N" is its bus with the address chosen.
        RoundTrip{"TCPIP0::192.168.1.20::inst0::INSTR", "vxi11:192.168.1.20", "LAN 192.168.1.20", nullptr},
        RoundTrip{"tcpip::scope.lab::gpib0,7", "vxi11:scope.lab:gpib0,7", "LAN scope.lab gpib0", nullptr},
        RoundTrip{"vxi11:scope.lab:GPIB0", "vxi11:scope.lab:gpib0", "LAN scope.lab gpib0", nullptr},
        RoundTrip{"TCPIP::[fe80::2]::INSTR", "vxi11:[fe80::2]", "LAN [fe80::2]", nullptr},
        RoundTrip{"vxi11:[::1]:gpib0,30", "vxi11:[::1]:gpib0,30", "LAN [::1] gpib0", nullptr},
        // USB: the kernel's usbtmc driver on Linux, a VISA library (not built yet) elsewhere.
        RoundTrip{"USB0::0x0699::0x0368::C012345::INSTR", "USB0::0x0699::0x0368::C012345::INSTR",
                  "USB C012345", UsbRefusal},
        RoundTrip{"usb::1689::872::C012345", "USB0::0x0699::0x0368::C012345::INSTR", "USB C012345",
                  UsbRefusal},
        RoundTrip{"usbtmc:/dev/usbtmc0", "usbtmc:/dev/usbtmc0", "USB /dev/usbtmc0", UsbRefusal}));

class MalformedRoute : public ::testing::TestWithParam<const char *> {};

TEST_P(MalformedRoute, IsRefusedInOneLineThatListsTheForms) {
  Route where;
  QString error;
  const QString text = QString::fromUtf8(GetParam());
  EXPECT_FALSE(route::ParseRoute(text, where, error));
  EXPECT_FALSE(error.contains(QLatin1Char('\n'))) << error.toStdString();
  EXPECT_TRUE(error.startsWith(QStringLiteral("bad interface \""))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("prologix-tcp:HOST[:PORT]"))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("GPIB0::N::INSTR"))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MalformedRoute,
    ::testing::Values("", "NI", "ni:", "ni:/dev/ttyUSB0", "prologix", "prologix:", "ar488",
                      "ar488:", "gpib:/dev/ttyUSB0", "prologix-tcp", "prologix-tcp:", "prologix-tcp::1234",
                      "prologix-tcp:host:", "prologix-tcp:host:0", "prologix-tcp:host:65536",
                      "prologix-tcp:host:+80", "prologix-tcp:host:12ab", "prologix-tcp:fe80::1",
                      "prologix-tcp:[::1", "prologix-tcp:[::1]x", "prologix-tcp:[]:1234",
                      "prologix:/dev/tty USB0", "prologix:/dev/ttyUSB0\n",
                      // VISA names that are wrong or not for a scope here
                      "GPIB1::7::INSTR", "GPIB0::31::INSTR", "GPIB0::0::INSTR", "GPIB0::7::96::INSTR",
                      "GPIB0::x::INSTR", "GPIB0::::INSTR", "TCPIP0::10.0.0.1::5025::SOCKET",
                      "USB0::0x0699::C012345::INSTR", "USB0::0xZZ::0x0368::C1::INSTR", "ASRL::INSTR",
                      "VXI0::1::INSTR", "PRLGX-TCPIP::host::0::INTFC", "vxi11:host:gpib0,31",
                      "vxi11:host:gpib0,0", "vxi11:host:inst0,3", "TCPIP0::host::hislip0::INSTR"));

TEST(RouteText, ABoardOtherThanZeroIsRefusedByName) {
  Route where;
  QString error;
  EXPECT_FALSE(route::ParseRoute(QStringLiteral("GPIB2::7::INSTR"), where, error));
  EXPECT_TRUE(error.contains(QStringLiteral("GPIB board 2: only board 0 is used"))) << error.toStdString();
}

struct PortCase {
  gpibadapter::PortFacts port;
  bool adapter;
};

class AdapterLikePort : public ::testing::TestWithParam<PortCase> {};

TEST_P(AdapterLikePort, IsRecognised) {
  EXPECT_EQ(gpibadapter::LooksLikeAdapter(GetParam().port), GetParam().adapter);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, AdapterLikePort,
    ::testing::Values(PortCase{{"ttyUSB0", "FT232R USB UART", "FTDI", true, 0x0403, 0x6001}, true},
                      PortCase{{"ttyUSB1", "FT2232H", "FTDI", true, 0x0403, 0x6010}, false},
                      PortCase{{"ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", true, 0x2341, 0x0043},
                               true},
                      PortCase{{"ttyUSB2", "USB2.0-Serial", "", true, 0x1A86, 0x7523}, true},
                      PortCase{{"ttyUSB3", "GPIB-USB", "Prologix", false, 0, 0}, true},
                      PortCase{{"ttyACM1", "AR488 GPIB controller", "", false, 0, 0}, true},
                      PortCase{{"ttyS0", "", "", false, 0, 0}, false},
                      PortCase{{"ttyACM2", "Modem", "Sierra", true, 0x1199, 0x9071}, false}));

// The settings file as the viewer keeps it (a folder of this test's own, see TestMain).
QSettings Stored() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, "skeld-errlog", "skeld-errlog");
}

TEST(Remembered, TodaysValuesLoadUnchangedAndTheAddressIsKeptBesideTheRoute) {
  for (const char *written : {"ni", "prologix:/dev/ttyUSB0", "ar488:COM4", "prologix-tcp:gpib.lab",
                              "prologix-tcp:[fe80::1]:4000"}) {
    route::remembered::Forget();
    Stored().setValue("gpib/interface", written);
    const std::optional<Route> loaded = route::remembered::Last();
    ASSERT_TRUE(loaded) << written;
    EXPECT_EQ(route::RouteText(*loaded), QString::fromUtf8(written));
    EXPECT_EQ(loaded->address, std::nullopt);
  }

  route::remembered::Remember(Route(route::LibraryRoute{}, 9));
  EXPECT_EQ(Stored().value("gpib/interface").toString(), "ni") << "an older viewer still reads the route";
  EXPECT_EQ(Stored().value("gpib/address").toInt(), 9);
  EXPECT_EQ(route::remembered::Last()->address, 9);

  route::remembered::Remember(Route(route::PlusRoute{route::PlusRoute::Kind::Ar488, false, "COM4", 0}));
  EXPECT_FALSE(Stored().contains("gpib/address")) << "a route without an address forgets the old one";
  EXPECT_EQ(route::remembered::Last()->address, std::nullopt);
  route::remembered::Forget();
}

TEST(RouteInstall, AMissingDriverLibraryAlsoTellsHowToStartWithAnAdapter) {
  VBIB32::UseDriverLibrary("libgpib-absent-for-test.so.0");
  {
    const route::RouteInstall ni{Route{}};
    testing::internal::CaptureStderr();
    VBIB32::SendIFC(0);
    testing::internal::GetCapturedStderr();
    const std::string failure = VBIB32::DriverFailure();
    EXPECT_EQ(failure.rfind("libgpib-absent-for-test.so.0: ", 0), 0u) << failure;
    EXPECT_NE(
        failure.find("\n\nWith a Prologix or AR488 adapter, start the viewer with --interface prologix:PORT"),
        std::string::npos)
        << failure;
  }
  EXPECT_EQ(VBIB32::DriverFailure().find("adapter"), std::string::npos) << "the advice goes with the choice";
  VBIB32::UseDriverLibrary(VBIB32::DefaultDriverLibrary());
}

struct CommandLineCase {
  const char *option;   // nullptr: none given
  const char *variable; // nullptr: unset
  const char *says;
};

class BadCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

// Without any display: reaching for a window would end the program another way.
QProcessEnvironment NoDisplay() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "SKELD_GPIB_INTERFACE"})
    env.remove(QString::fromLatin1(name));
  return env;
}

struct ViewerRun {
  bool finished = false;
  bool normalExit = false;
  int code = -1;
  QString out;
  QString err;
};

// The real program, run to its end.
ViewerRun RunViewer(const QStringList &arguments, const QProcessEnvironment &env = NoDisplay()) {
  QProcess viewer;
  viewer.setProcessEnvironment(env);
  viewer.start(QStringLiteral(SKELD_BINARY_DIR "/skeld-errlog"), arguments);
  ViewerRun run;
  run.finished = viewer.waitForFinished(20000);
  run.normalExit = viewer.exitStatus() == QProcess::NormalExit;
  run.code = viewer.exitCode();
  run.out = QString::fromLocal8Bit(viewer.readAllStandardOutput());
  run.err = QString::fromLocal8Bit(viewer.readAllStandardError());
  return run;
}

// The real program: one line on standard error and status 2, before any window.
TEST_P(BadCommandLine, EndsWithStatusTwoAndOneLine) {
  const CommandLineCase &c = GetParam();
  QProcessEnvironment env = NoDisplay();
  if (c.variable)
    env.insert(QStringLiteral("SKELD_GPIB_INTERFACE"), QString::fromUtf8(c.variable));
  QStringList arguments;
  if (c.option)
    arguments << QStringLiteral("--interface") << QString::fromUtf8(c.option);
  const ViewerRun run = RunViewer(arguments, env);
  ASSERT_TRUE(run.finished);
  const QString &errors = run.err;
  EXPECT_TRUE(run.normalExit);
  EXPECT_EQ(run.code, 2);
  EXPECT_EQ(errors.count(QLatin1Char('\n')), 1) << errors.toStdString();
  EXPECT_TRUE(errors.startsWith(QStringLiteral("skeld-errlog: "))) << errors.toStdString();
  EXPECT_TRUE(errors.contains(QString::fromUtf8(c.says))) << errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Programs, BadCommandLine,
    ::testing::Values(CommandLineCase{"prologix", nullptr, "--interface: bad interface \"prologix\""},
                      CommandLineCase{"prologix-tcp:host:99999", "ni", "--interface: bad interface"},
                      CommandLineCase{nullptr, "usb:/dev/ttyUSB0", "SKELD_GPIB_INTERFACE: bad interface"},
                      CommandLineCase{"vxi11:scope.lab:gpib0,31", nullptr,
                                      "GPIB address \"31\" is not a number from 1 to 30"}));

TEST(CommandLine, HelpListsTheInterfaceForms) {
  const ViewerRun run = RunViewer({QStringLiteral("--help")});
  ASSERT_TRUE(run.finished);
  const QString &help = run.out;
  EXPECT_EQ(run.code, 0);
  for (const char *form :
       {"--interface <INTERFACE>", "prologix:PORT", "prologix-tcp:HOST[:PORT]", "ar488:PORT",
        "SKELD_GPIB_INTERFACE", "GPIB0::N::INSTR", "PRLGX-ASRL::PORT::INTFC", "--address <N>", "--all"})
    EXPECT_TRUE(help.contains(QString::fromUtf8(form))) << form << " in\n" << help.toStdString();
}

TEST(CommandLine, VersionIsWrittenToStandardOutput) {
  const ViewerRun run = RunViewer({QStringLiteral("--version")});
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.code, 0);
  EXPECT_EQ(QString(run.out).remove(QLatin1Char('\r')), QStringLiteral("%1 %2.%3.%4\n")
                                                            .arg(skeld::AppTitle())
                                                            .arg(skeld::AppMajor())
                                                            .arg(skeld::AppMinor())
                                                            .arg(skeld::AppRevision()));
}

} // namespace
