#include "gpib/adapter/GpibInterface.h"
#include "gpib/Vbib32.h"
#include "gpib/adapter/AdapterPorts.h"
#include "gpib/adapter/InterfaceChoice.h"
#include "platform/AppInfo.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <string>

namespace {

using gpibadapter::GpibInterface;
using Kind = GpibInterface::Kind;

struct GoodSpec {
  const char *text;
  Kind kind;
  bool tcp;
  const char *port;
  quint16 tcpPort;
};

class WellFormedSpec : public ::testing::TestWithParam<GoodSpec> {};

TEST_P(WellFormedSpec, Parses) {
  const GoodSpec &c = GetParam();
  GpibInterface where;
  QString error;
  ASSERT_TRUE(gpibadapter::ParseGpibInterface(QString::fromUtf8(c.text), where, error))
      << error.toStdString();
  EXPECT_EQ(where.kind, c.kind);
  EXPECT_EQ(where.tcp, c.tcp);
  EXPECT_EQ(where.port, QString::fromUtf8(c.port));
  EXPECT_EQ(where.tcpPort, c.tcpPort);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WellFormedSpec,
    ::testing::Values(GoodSpec{"ni", Kind::Ni, false, "", 0},
                      GoodSpec{"prologix:/dev/ttyUSB0", Kind::Prologix, false, "/dev/ttyUSB0", 0},
                      GoodSpec{"prologix:COM3", Kind::Prologix, false, "COM3", 0},
                      GoodSpec{"ar488:/dev/ttyACM0", Kind::Ar488, false, "/dev/ttyACM0", 0},
                      GoodSpec{"prologix-tcp:gpib.lab", Kind::Prologix, true, "gpib.lab", 1234},
                      GoodSpec{"prologix-tcp:10.0.0.7:5025", Kind::Prologix, true, "10.0.0.7", 5025},
                      GoodSpec{"prologix-tcp:[fe80::1]", Kind::Prologix, true, "fe80::1", 1234},
                      GoodSpec{"prologix-tcp:[::1]:65535", Kind::Prologix, true, "::1", 65535}));

class MalformedSpec : public ::testing::TestWithParam<const char *> {};

TEST_P(MalformedSpec, IsRefusedInOneLineThatListsTheForms) {
  GpibInterface where;
  QString error;
  const QString text = QString::fromUtf8(GetParam());
  EXPECT_FALSE(gpibadapter::ParseGpibInterface(text, where, error));
  EXPECT_FALSE(error.contains(QLatin1Char('\n'))) << error.toStdString();
  EXPECT_TRUE(error.startsWith(QStringLiteral("bad interface \""))) << error.toStdString();
  EXPECT_TRUE(error.contains(QStringLiteral("prologix-tcp:HOST[:PORT]"))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Texts, MalformedSpec,
                         ::testing::Values("", "NI", "ni:", "ni:/dev/ttyUSB0", "prologix",
                                           "prologix:", "ar488", "ar488:", "gpib:/dev/ttyUSB0",
                                           "prologix-tcp", "prologix-tcp:", "prologix-tcp::1234",
                                           "prologix-tcp:host:", "prologix-tcp:host:0",
                                           "prologix-tcp:host:65536", "prologix-tcp:host:+80",
                                           "prologix-tcp:host:12ab", "prologix-tcp:fe80::1",
                                           "prologix-tcp:[::1", "prologix-tcp:[::1]x", "prologix-tcp:[]:1234",
                                           "prologix:/dev/tty USB0", "prologix:/dev/ttyUSB0\n"));

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

TEST(InterfaceChoice, AMissingDriverLibraryAlsoTellsHowToStartWithAnAdapter) {
  VBIB32::UseDriverLibrary("libgpib-absent-for-test.so.0");
  {
    const gpibadapter::InterfaceChoice ni{GpibInterface{}};
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
                      CommandLineCase{nullptr, "usb:/dev/ttyUSB0", "SKELD_GPIB_INTERFACE: bad interface"}));

TEST(CommandLine, HelpListsTheInterfaceForms) {
  const ViewerRun run = RunViewer({QStringLiteral("--help")});
  ASSERT_TRUE(run.finished);
  const QString &help = run.out;
  EXPECT_EQ(run.code, 0);
  for (const char *form : {"--interface <INTERFACE>", "prologix:PORT", "prologix-tcp:HOST[:PORT]",
                           "ar488:PORT", "SKELD_GPIB_INTERFACE"})
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
