#include "FakeAdapterPeer.h"

#include "gpib/GpibCodes.h"
#include "route/plus/AdapterDriver.h"
#include "route/plus/AdapterLink.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSerialPort>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

using gpibadapter::AdapterDriver;
using route::PlusRoute;
using namespace gpibcodes;
using Bytes = std::vector<QByteArray>;

PlusRoute Over(const FakeAdapterPeer &peer, PlusRoute::Kind kind = PlusRoute::Kind::Prologix) {
  PlusRoute where;
  where.kind = kind;
  where.tcp = true;
  where.port = QStringLiteral("127.0.0.1");
  where.tcpPort = peer.Port();
  return where;
}

// The peer handles what arrived once the event loop runs.
Bytes CommandsUpTo(const FakeAdapterPeer &peer, const QByteArray &last) {
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return !peer.Commands().empty() && peer.Commands().back() == last; }, 5000));
  return peer.Commands();
}

std::string Read(AdapterDriver &driver, int ud, long size) {
  std::string buffer(static_cast<std::size_t>(size), ' ');
  driver.ibrd(ud, buffer.data(), size);
  return buffer.substr(0, static_cast<std::size_t>(driver.ThreadIbcntl()));
}

struct SetUpCase {
  PlusRoute::Kind kind;
  Bytes commands;
};

class AdapterSetUp : public ::testing::TestWithParam<SetUpCase> {};

TEST_P(AdapterSetUp, IdentifiesAndSetsTheAdapterUpOnTheFirstCall) {
  FakeAdapterPeer peer;
  AdapterDriver driver(Over(peer, GetParam().kind));
  driver.SendIFC(0);
  EXPECT_EQ(driver.ThreadIbsta(), CMPL);
  EXPECT_EQ(CommandsUpTo(peer, "++ifc"), GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(Dialects, AdapterSetUp,
                         ::testing::Values(SetUpCase{PlusRoute::Kind::Prologix,
                                                     {"++ver", "++savecfg 0", "++mode 1", "++auto 0",
                                                      "++eoi 1", "++eos 3", "++eot_enable 1", "++eot_char 4",
                                                      "++ifc"}},
                                           SetUpCase{PlusRoute::Kind::Ar488,
                                                     {"++ver", "++mode 1", "++auto 0", "++eoi 1", "++eos 3",
                                                      "++eot_enable 1", "++eot_char 4", "++ifc"}}));

TEST(AdapterDriver, DataBytesThatTheAdapterWouldTakeAreEscapedAndArriveWhole) {
  FakeAdapterPeer peer;
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, T3s, 1, 0);
  const QByteArray data("PASSWORD \r\n\x1b++ver+", 18);
  driver.ibwrt(ud, data.constData(), data.size());
  EXPECT_EQ(driver.ThreadIbsta(), CMPL);
  EXPECT_EQ(driver.ThreadIbcntl(), data.size());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !peer.Data().empty(); }, 5000));
  EXPECT_EQ(peer.Data(), Bytes{data});
  EXPECT_EQ(peer.Commands().back(), "++addr 1");
}

TEST(AdapterDriver, ALongReplyComesInSeveralReadsFromOneReadCommandWithEndOnTheLast) {
  FakeAdapterPeer peer;
  const QByteArray log(700, 'x');
  peer.reply = [&](int, const QByteArray &) { return log + "\r\x1b+\n"; };
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, T3s, 1, 0);
  driver.ibwrt(ud, "ERRLOG?", 7);

  const std::string first = Read(driver, ud, 512);
  EXPECT_EQ(driver.ThreadIbsta(), CMPL);
  const std::string second = Read(driver, ud, 512);
  EXPECT_EQ(driver.ThreadIbsta(), CMPL | END);
  EXPECT_EQ(first.size(), 512u);
  EXPECT_EQ(QByteArray::fromStdString(first + second), log + "\r\x1b+\n");
  const Bytes commands = peer.Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "++read eoi"), 1);
}

struct TimeoutCase {
  int tmo;
  QByteArray readTimeout; // what the adapter is told
};

class AdapterReadTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(AdapterReadTimeout, TheAdapterWaitsNoLongerThanTheDeviceTimeOutAllows) {
  FakeAdapterPeer peer;
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, GetParam().tmo, 1, 0);
  driver.ibwrt(ud, "ID?", 3);
  EXPECT_EQ(Read(driver, ud, 64), "echo ID?");
  const Bytes commands = peer.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "++read_tmo_ms " + GetParam().readTimeout),
            commands.end());
}

INSTANTIATE_TEST_SUITE_P(Codes, AdapterReadTimeout,
                         ::testing::Values(TimeoutCase{T1s, "1000"}, TimeoutCase{T3s, "3000"},
                                           TimeoutCase{T10s, "3000"}, TimeoutCase{9, "100"}));

TEST(AdapterDriver, AReplyWithoutEoiIsATimeOutWithThePartialDataAfterTheDeviceTimeOut) {
  FakeAdapterPeer peer;
  peer.endWithEoi = false;
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, T1s, 1, 0);
  driver.ibwrt(ud, "ID?", 3);
  QElapsedTimer clock;
  clock.start();
  const std::string got = Read(driver, ud, 64);
  EXPECT_EQ(driver.ThreadIbsta(), ERR | TIMO | CMPL);
  EXPECT_EQ(driver.ThreadIberr(), EABO);
  EXPECT_EQ(got, "echo ID?");
  EXPECT_GE(clock.elapsed(), 900);
  EXPECT_LT(clock.elapsed(), 2500);
  driver.ibwait(ud, TIMO | CMPL);
  EXPECT_EQ(driver.ThreadIbsta() & TIMO, TIMO);
}

// Once the adapter has been silent for its own read time-out it has given up the read: the
// rest of a 10 s device time-out would be waited for nothing.
TEST(AdapterDriver, AReadEndsOnceTheAdapterHasGivenUp) {
  using std::chrono::milliseconds;
  const AdapterDriver::Timings previous =
      AdapterDriver::SetTimings({milliseconds(300), milliseconds(200), milliseconds(3000), milliseconds(50)});
  const auto restore = qScopeGuard([&] { AdapterDriver::SetTimings(previous); });
  FakeAdapterPeer peer;
  peer.endWithEoi = false;
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, T10s, 1, 0);
  driver.ibwrt(ud, "ID?", 3);
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Read(driver, ud, 64), "echo ID?");
  EXPECT_EQ(driver.ThreadIbsta(), ERR | TIMO | CMPL);
  EXPECT_GE(clock.elapsed(), 450);
  EXPECT_LT(clock.elapsed(), 3000);
  const Bytes commands = peer.Commands();
  EXPECT_NE(std::find(commands.begin(), commands.end(), "++read_tmo_ms 300"), commands.end());
}

TEST(AdapterDriver, SerialPollAndDeviceClearGoToTheAddressedInstrument) {
  FakeAdapterPeer peer;
  peer.listeners = {7};
  peer.statusByte = 66;
  AdapterDriver driver(Over(peer));
  const int ud = driver.ibdev(0, 1, 0, T1s, 1, 0);
  driver.ibpad(ud, 7);
  char spr[2] = {0, 0};
  driver.ibrsp(ud, spr);
  EXPECT_EQ(driver.ThreadIbsta(), CMPL);
  EXPECT_EQ(spr[0], 66);
  driver.ibclr(ud);
  const Bytes commands = CommandsUpTo(peer, "++clr");
  EXPECT_EQ(Bytes(commands.end() - 3, commands.end()), (Bytes{"++addr 7", "++spoll", "++clr"}));
}

struct ListenerCase {
  const char *name;
  PlusRoute::Kind kind;
  std::set<int> listeners;
  int limit;
  std::vector<int> found;
  int ibsta;
  int iberr;
};

class AdapterListeners : public ::testing::TestWithParam<ListenerCase> {};

// Addresses 0 to 30 offered, as the program does; the adapter stands for the board at 0.
TEST_P(AdapterListeners, AnswerInTheOrderOfferedWithTheTableRule) {
  const ListenerCase &c = GetParam();
  FakeAdapterPeer peer;
  peer.listeners = c.listeners;
  AdapterDriver driver(Over(peer, c.kind));
  std::vector<Addr4882_t> pads;
  for (int pad = 0; pad <= 30; ++pad)
    pads.push_back(static_cast<Addr4882_t>(pad));
  pads.push_back(NOADDR);
  std::vector<Addr4882_t> results(static_cast<std::size_t>(c.limit), 0);
  driver.FindLstn(0, pads.data(), results.data(), c.limit);

  EXPECT_EQ(driver.ThreadIbsta(), c.ibsta);
  if (c.ibsta & ERR) {
    EXPECT_EQ(driver.ThreadIberr(), c.iberr);
  }
  results.resize(static_cast<std::size_t>(driver.ThreadIbcnt()));
  EXPECT_EQ(std::vector<int>(results.begin(), results.end()), c.found);
  const Bytes commands = peer.Commands();
  const auto polls = std::count_if(commands.begin(), commands.end(),
                                   [](const QByteArray &line) { return line.startsWith("++spoll "); });
  EXPECT_EQ(polls, c.kind == PlusRoute::Kind::Ar488 ? 0 : 30);
  EXPECT_EQ(std::count(commands.begin(), commands.end(), "++fndl"), c.kind == PlusRoute::Kind::Ar488 ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Buses, AdapterListeners,
    ::testing::Values(
        ListenerCase{"PrologixOne", PlusRoute::Kind::Prologix, {5}, 15, {0, 5}, CMPL, 0},
        ListenerCase{"Ar488Three", PlusRoute::Kind::Ar488, {3, 17, 30}, 15, {0, 3, 17, 30}, CMPL, 0},
        ListenerCase{"PrologixTooMany",
                     PlusRoute::Kind::Prologix,
                     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                     15,
                     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14},
                     ERR | CMPL,
                     ETAB},
        ListenerCase{"Ar488TooMany", PlusRoute::Kind::Ar488, {4, 9}, 2, {0, 4}, ERR | CMPL, ETAB}),
    [](const auto &info) { return std::string(info.param.name); });

// An adapter that answers the listener search with something else is named for it, not
// taken for a bus without listeners.
TEST(AdapterListeners, GarbageInTheAnswerIsNamedAsSuch) {
  for (const auto &[kind, command] :
       {std::pair{PlusRoute::Kind::Prologix, "++spoll 1"}, std::pair{PlusRoute::Kind::Ar488, "++fndl"}}) {
    FakeAdapterPeer peer;
    peer.garbage = "\x01#?!";
    AdapterDriver driver(Over(peer, kind));
    const Addr4882_t pads[] = {0, 1, 2, NOADDR};
    Addr4882_t results[15] = {};
    testing::internal::CaptureStderr();
    driver.FindLstn(0, pads, results, 15);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(driver.ThreadIbsta(), ERR) << command;
    EXPECT_EQ(driver.ThreadIberr(), EDVR) << command;
    EXPECT_NE(driver.Failure().find(std::string("sends garbage in answer to ") + command + ": \"?#?!\""),
              std::string::npos)
        << driver.Failure();
  }
}

struct LostCase {
  const char *name;
  bool mute;
  int vanishAtRead;
  const char *says;
  int withinMs;
};

class AdapterLost : public ::testing::TestWithParam<LostCase> {};

// Each fails the call under way and every later one with EDVR, names the place, and ends in
// bounded time.
TEST_P(AdapterLost, FailsWithTheDriverErrorNamingThePlace) {
  const LostCase &c = GetParam();
  FakeAdapterPeer peer;
  peer.mute = c.mute;
  peer.vanishAtRead = c.vanishAtRead;
  AdapterDriver driver(Over(peer));
  testing::internal::CaptureStderr();
  QElapsedTimer clock;
  clock.start();
  const int ud = driver.ibdev(0, 1, 0, T10s, 1, 0);
  driver.ibwrt(ud, "ERRLOG?", 7);
  Read(driver, ud, 512);
  const qint64 elapsed = clock.elapsed();
  const std::string stderrText = testing::internal::GetCapturedStderr();

  EXPECT_EQ(driver.ThreadIbsta(), ERR);
  EXPECT_EQ(driver.ThreadIberr(), EDVR);
  EXPECT_LT(elapsed, c.withinMs);
  const std::string failure = driver.Failure();
  EXPECT_EQ(failure.rfind("127.0.0.1:" + std::to_string(peer.Port()) + ": ", 0), 0u) << failure;
  EXPECT_NE(failure.find(c.says), std::string::npos) << failure;
  EXPECT_NE(stderrText.find(failure), std::string::npos) << stderrText;

  const std::size_t linesBefore = peer.received.size();
  clock.restart();
  driver.ibwrt(ud, "ID?", 3);
  EXPECT_EQ(driver.ThreadIbsta(), ERR);
  EXPECT_LT(clock.elapsed(), 100);
  EXPECT_EQ(peer.received.size(), linesBefore);
}

INSTANTIATE_TEST_SUITE_P(Ways, AdapterLost,
                         ::testing::Values(LostCase{"NoAnswerToVer", true, 0, "no reply to ++ver within 3 s",
                                                    4500},
                                           LostCase{"GoneDuringARead", false, 1, "went away", 1500}),
                         [](const auto &info) { return std::string(info.param.name); });

struct OpenCase {
  const char *name;
  PlusRoute where;
  const char *says;
};

class AdapterOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(AdapterOpen, APlaceThatCannotBeOpenedIsNamedWithTheReason) {
  AdapterDriver driver(GetParam().where);
  testing::internal::CaptureStderr();
  driver.SendIFC(0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(driver.ThreadIbsta(), ERR);
  EXPECT_EQ(driver.ThreadIberr(), EDVR);
  EXPECT_EQ(driver.Failure().rfind(GetParam().where.Place().toStdString() + ": ", 0), 0u) << driver.Failure();
  EXPECT_NE(driver.Failure().find(GetParam().says), std::string::npos) << driver.Failure();
}

PlusRoute SerialAt(const char *port) {
  PlusRoute where;
  where.kind = PlusRoute::Kind::Ar488;
  where.port = QString::fromUtf8(port);
  return where;
}

PlusRoute ClosedTcpPort() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  PlusRoute where;
  where.kind = PlusRoute::Kind::Prologix;
  where.tcp = true;
  where.port = QStringLiteral("127.0.0.1");
  where.tcpPort = server.serverPort();
  return where; // the server closes here
}

INSTANTIATE_TEST_SUITE_P(Places, AdapterOpen,
                         ::testing::Values(
#ifdef _WIN32
                             OpenCase{"MissingSerialPort", SerialAt("COM99"), "no such serial port"},
#else
                             OpenCase{"MissingSerialPort", SerialAt("/dev/ttyGPIBabsent"), "no such serial port"},
                             OpenCase{"NotASerialPort", SerialAt("/dev/null"), "cannot open"},
#endif
                             OpenCase{"RefusedConnection", ClosedTcpPort(), "cannot connect"}),
                         [](const auto &info) { return std::string(info.param.name); });

// Root opens every port, so the wording for the others is checked as it is built.
TEST(AdapterOpen, APortRefusedForPermissionsSaysWhatToDoOnThisSystem) {
  const QString text = gpibadapter::AdapterLink::SerialOpenFailure(QStringLiteral("/dev/ttyUSB0"),
                                                                   QSerialPort::PermissionError, QString());
  EXPECT_TRUE(text.startsWith(QStringLiteral("/dev/ttyUSB0: "))) << text.toStdString();
#ifdef _WIN32
  EXPECT_TRUE(text.contains(QStringLiteral("in use by another program"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("dialout"))) << text.toStdString();
#else
  EXPECT_TRUE(text.contains(QStringLiteral("dialout group"))) << text.toStdString();
#endif
}

} // namespace

#ifdef __linux__
// Low latency where the serial driver takes it; a port that refuses (a pseudo-terminal) is
// used as it is. Only Linux has the setting.
TEST(AdapterLink, TakesLowLatencyWhereThePortAllowsItAndWorksWhereItDoesNot) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  const auto closeMaster = qScopeGuard([&] { close(master); });
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  PlusRoute pty;
  pty.kind = PlusRoute::Kind::Prologix;
  pty.port = QString::fromLocal8Bit(ptsname(master));
  gpibadapter::AdapterLink link(pty);
  QString why;
  ASSERT_TRUE(link.Open(why)) << why.toStdString();
  EXPECT_FALSE(link.LowLatency());
  EXPECT_TRUE(link.Send("++ver\n"));
  char got[16] = {};
  EXPECT_EQ(read(master, got, sizeof got), 6);

  // A real UART only when named: opening it sets it to 115200 8N1.
  const QString name = qEnvironmentVariable("SKELD_TEST_UART");
  if (name.isEmpty())
    GTEST_SKIP() << "SKELD_TEST_UART names no serial port to try low latency on";
  PlusRoute uart = pty;
  uart.port = name;
  gpibadapter::AdapterLink real(uart);
  ASSERT_TRUE(real.Open(why)) << why.toStdString();
  EXPECT_TRUE(real.LowLatency());
}
#endif
