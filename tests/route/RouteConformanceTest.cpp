#include "gpib/GpibCodes.h"
#include "route/plus/AdapterDriver.h"
#include "route/rs232/Rs232Driver.h"
#include "sim/SimBus.h"
#include "support/AdapterProcess.h"
#include "support/BusDescriptions.h"
#ifdef __linux__
#include "route/usbtmc/UsbTmcDriver.h"
#include "route/vxi11/Vxi11Driver.h"
#include "sim/usbtmc/UsbTmcSim.h"
#include "support/Vxi11Process.h"

#include <QTemporaryDir>
#endif

#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

// One table of driver-level behaviour, one column per route, each on its simulated peer: the
// simulated driver library in process, the simulated Prologix and AR488 on a pseudo-terminal,
// the simulated Prologix over TCP, the simulated scope on its own serial port, a simulated
// USBTMC node answering the kernel driver's calls (the last two reach one instrument: whatever
// address is asked for, the scope answers), the simulated VXI-11 instrument (inst0, one
// instrument) and gateway (gpib0, three listeners) in a network namespace of their own. A later route adds
// its column here.
namespace {

using namespace gpibcodes;
using namespace busdesc;

const std::string LongReply(700, 'x');

// A scope at 1, and at 5 an instrument with a long reply and a command it never answers. The
// scope gives the long reply too, for the routes that reach it alone.
gpibsim::BusDescription TheBus() {
  return Bus({Scope().Replies({{"LONG?", LongReply}}), Plain(5, {{"LONG?", LongReply}})});
}

// The driver entries, whichever object carries them.
class Driver {
public:
  virtual ~Driver() = default;
#define CONFORMANCE_ENTRY(ret, name, params, args) virtual ret name params = 0;
  GPIB_DRIVER_CALLS(CONFORMANCE_ENTRY)
  GPIB_DRIVER_STATUS(CONFORMANCE_ENTRY)
#undef CONFORMANCE_ENTRY
  // The peer goes away after ms of the next wait (a library in process cannot).
  virtual bool CanLoseLink() const { return false; }
  virtual void LoseLinkDuringWait(int ms) { (void)ms; }
  // One instrument: the listener search answers with the first address offered.
  virtual bool OneInstrument() const { return false; }
  // What the search of every address finds: the board, then the listeners.
  virtual std::vector<Addr4882_t> Listeners() const {
    return OneInstrument() ? std::vector<Addr4882_t>{0, 1} : std::vector<Addr4882_t>{0, 1, 5};
  }
  // Whether the event loop runs while a call waits, so that another call can come in.
  virtual bool WaitsInEventLoop() const { return false; }
};

template <typename Target> class DriverOf : public Driver {
public:
#define CONFORMANCE_FORWARD(ret, name, params, args)                                                         \
  ret name params override { return target().name args; }
  GPIB_DRIVER_CALLS(CONFORMANCE_FORWARD)
  GPIB_DRIVER_STATUS(CONFORMANCE_FORWARD)
#undef CONFORMANCE_FORWARD
protected:
  virtual Target &target() = 0;
};

class LibraryInProcess : public DriverOf<const GpibDriverApi> {
public:
  LibraryInProcess() { gpibsim::Configure(TheBus()); }

protected:
  const GpibDriverApi &target() override { return gpibsim::InProcessDriver(); }
};

class PlusAdapter : public DriverOf<gpibadapter::AdapterDriver> {
public:
  PlusAdapter(const char *dialect, bool tcp)
      : process_(QStringList{"--dialect", dialect, tcp ? "--tcp" : "--pty"} +
                     (tcp ? QStringList{"0"} : QStringList{}),
                 QByteArray::fromStdString(BusJson(TheBus()))),
        driver_(Where(dialect, process_.endpoint)) {}
  bool CanLoseLink() const override { return true; }
  void LoseLinkDuringWait(int ms) override {
    QTimer::singleShot(ms, [this] { process_.process.closeWriteChannel(); });
  }
  bool WaitsInEventLoop() const override { return true; }

protected:
  gpibadapter::AdapterDriver &target() override { return driver_; }

private:
  static route::PlusRoute Where(const char *dialect, const QString &endpoint) {
    route::PlusRoute where;
    where.kind = QLatin1String(dialect) == QLatin1String("ar488") ? route::PlusRoute::Kind::Ar488
                                                                  : route::PlusRoute::Kind::Prologix;
    where.tcp = endpoint.startsWith(QLatin1String("tcp "));
    where.port = where.tcp ? QStringLiteral("127.0.0.1") : endpoint.mid(4);
    if (where.tcp)
      where.tcpPort = endpoint.section(QLatin1Char(':'), 1).toUShort();
    return where;
  }
  AdapterProcess process_;
  gpibadapter::AdapterDriver driver_;
};

class ScopeSerialPort : public DriverOf<route::Rs232Driver> {
public:
  ScopeSerialPort()
      : process_({"--rs232"}, QByteArray::fromStdString(BusJson(TheBus()))),
        driver_(route::Rs232Route{process_.endpoint.mid(4), 9600, route::Rs232Route::Flow::RtsCts}) {}
  bool CanLoseLink() const override { return true; }
  void LoseLinkDuringWait(int ms) override {
    QTimer::singleShot(ms, [this] { process_.process.closeWriteChannel(); });
  }
  bool WaitsInEventLoop() const override { return true; }
  bool OneInstrument() const override { return true; }

protected:
  route::Rs232Driver &target() override { return driver_; }

private:
  AdapterProcess process_;
  route::Rs232Driver driver_;
};
#ifdef __linux__
class UsbTmcNode : public DriverOf<usbtmc::UsbTmcDriver> {
public:
  UsbTmcNode() : driver_(route::UsbTmcRoute{QStringLiteral("/dev/usbtmc0"), 0, 0, QString()}) {
    std::string error;
    EXPECT_TRUE(usbtmcsim::Configure(root_.path().toStdString(), TheBus(), error)) << error;
  }
  bool CanLoseLink() const override { return true; }
  void LoseLinkDuringWait(int ms) override { usbtmcsim::UnplugDuringWait(0, ms); }
  bool OneInstrument() const override { return true; }

protected:
  usbtmc::UsbTmcDriver &target() override { return driver_; }

private:
  QTemporaryDir root_;
  usbtmc::UsbTmcDriver driver_;
};
#endif

#ifdef __linux__
// Behind the gateway a third listener, at 9, that answers nothing asked here.
gpibsim::BusDescription GatewayBus() {
  gpibsim::BusDescription bus = TheBus();
  bus.listeners.push_back(Plain(9));
  return bus;
}

class LanVxi11 : public DriverOf<vxi11::Vxi11Driver> {
public:
  explicit LanVxi11(const char *device)
      : process_(QByteArray::fromStdString(BusJson(GatewayBus()))),
        driver_(route::Vxi11Route{QStringLiteral("127.0.0.1"), QLatin1String(device)}),
        gateway_(QLatin1String(device) == QLatin1String("gpib0")) {}
  bool CanLoseLink() const override { return true; }
  void LoseLinkDuringWait(int ms) override {
    QTimer::singleShot(ms, [this] { process_.Kill(); });
  }
  bool WaitsInEventLoop() const override { return true; }
  bool OneInstrument() const override { return !gateway_; }
  std::vector<Addr4882_t> Listeners() const override {
    return gateway_ ? std::vector<Addr4882_t>{0, 1, 5, 9} : Driver::Listeners();
  }

protected:
  vxi11::Vxi11Driver &target() override { return driver_; }

private:
  Vxi11Process process_;
  vxi11::Vxi11Driver driver_;
  bool gateway_;
};
#endif

struct Column {
  const char *name;
  std::function<std::unique_ptr<Driver>()> make;
  // Runs only inside lan-namespace.sh, with a portmapper of its own.
  bool lan = false;
};

void PrintTo(const Column &column, std::ostream *out) { *out << column.name; }

const Column Columns[] = {
    {"LibraryInProcess", [] { return std::make_unique<LibraryInProcess>(); }},
    {"PrologixPty", [] { return std::make_unique<PlusAdapter>("prologix", false); }},
    {"Ar488Pty", [] { return std::make_unique<PlusAdapter>("ar488", false); }},
    {"PrologixTcp", [] { return std::make_unique<PlusAdapter>("prologix", true); }},
    {"ScopeRs232Pty", [] { return std::make_unique<ScopeSerialPort>(); }},
#ifdef __linux__
    {"UsbTmcNode", [] { return std::make_unique<UsbTmcNode>(); }},
    {"LanInst0", [] { return std::make_unique<LanVxi11>("inst0"); }, true},
    {"LanGateway", [] { return std::make_unique<LanVxi11>("gpib0"); }, true},
#endif
};

class Conformance : public ::testing::TestWithParam<Column> {
protected:
  void SetUp() override {
    using std::chrono::milliseconds;
    previous_ = gpibadapter::AdapterDriver::SetTimings(
        {milliseconds(500), milliseconds(300), milliseconds(3000), milliseconds(20)});
    previousSerial_ = route::Rs232Driver::SetTimings({milliseconds(100), milliseconds(100)});
    if (GetParam().lan && !Vxi11Process::InNamespace())
      GTEST_SKIP() << GetParam().name << " runs in its network namespace (route_conformance_lan)";
    driver = GetParam().make();
  }
  void TearDown() override {
    driver.reset();
    gpibadapter::AdapterDriver::SetTimings(previous_);
    route::Rs232Driver::SetTimings(previousSerial_);
  }
  int Open(int pad, int tmo = T3s) { return driver->ibdev(0, pad, 0, tmo, 1, 0); }
  std::string Read(int ud, long size = 512) {
    std::string buffer(static_cast<std::size_t>(size), ' ');
    driver->ibrd(ud, buffer.data(), size);
    return buffer.substr(0, static_cast<std::size_t>(driver->ThreadIbcntl()));
  }
  int Sta() { return driver->ThreadIbsta(); }
  int Err() { return driver->ThreadIberr(); }

  std::unique_ptr<Driver> driver;

private:
  gpibadapter::AdapterDriver::Timings previous_;
  route::Rs232Driver::Timings previousSerial_;
};

TEST_P(Conformance, BusSetUpAndListenerSearchFindTheBoardAndEveryListener) {
  driver->SendIFC(0);
  EXPECT_FALSE(Sta() & ERR);
  driver->ibsre(0, 1);
  EXPECT_FALSE(Sta() & ERR);
  Addr4882_t pads[32];
  for (int i = 0; i <= 30; ++i)
    pads[i] = static_cast<Addr4882_t>(i);
  pads[31] = NOADDR;
  Addr4882_t found[15] = {};
  driver->FindLstn(0, pads, found, 15);
  EXPECT_FALSE(Sta() & ERR) << Err();
  const std::vector<Addr4882_t> listeners = driver->Listeners();
  ASSERT_EQ(driver->ThreadIbcntl(), static_cast<long>(listeners.size()));
  EXPECT_EQ(std::vector<Addr4882_t>(found, found + listeners.size()), listeners);
  // Offered one address, the search answers for it alone.
  const Addr4882_t one[] = {0, 5, NOADDR};
  driver->FindLstn(0, one, found, 15);
  EXPECT_EQ(driver->ThreadIbcntl(), 2);
  EXPECT_EQ(found[1], 5);
}

TEST_P(Conformance, AnAddressOpensAndAWriteIsCountedWhole) {
  const int ud = Open(1);
  EXPECT_GT(ud, 0);
  EXPECT_FALSE(Sta() & ERR);
  Open(31);
  EXPECT_TRUE(Sta() & ERR) << "address 31 is no GPIB address";
  EXPECT_EQ(Err(), EARG);
  driver->ibwrt(ud, "ID?", 3);
  EXPECT_EQ(Sta() & (ERR | CMPL), CMPL);
  EXPECT_EQ(driver->ThreadIbcntl(), 3);
  EXPECT_NE(Read(ud, 256).find("TDS"), std::string::npos);
  EXPECT_TRUE(Sta() & END);
}

TEST_P(Conformance, AReplyLongerThanAChunkEndsWithEndOnItsLastChunk) {
  const int ud = Open(5);
  driver->ibwrt(ud, "LONG?", 5);
  const std::string first = Read(ud);
  EXPECT_EQ(first.size(), 512u);
  EXPECT_FALSE(Sta() & (END | ERR));
  const std::string second = Read(ud);
  EXPECT_TRUE(Sta() & END);
  EXPECT_EQ((first + second).substr(0, LongReply.size()), LongReply);
}

TEST_P(Conformance, ASilentInstrumentTimesOutAndTheNextQueryIsAnsweredAfterAClear) {
  const int ud = Open(5, T100ms);
  driver->ibwrt(ud, "SILENT?", 7);
  Read(ud);
  EXPECT_EQ(Sta() & (ERR | TIMO), ERR | TIMO);
  EXPECT_EQ(Err(), EABO);
  driver->ibwait(ud, TIMO | CMPL);
  EXPECT_TRUE(Sta() & TIMO) << "ibwait tells of the time-out";
  driver->ibclr(ud);
  EXPECT_FALSE(Sta() & ERR);
  driver->ibtmo(ud, T3s);
  driver->ibwrt(ud, "LONG?", 5);
  EXPECT_EQ(Read(ud, 1000).substr(0, 3), "xxx");
}

TEST_P(Conformance, SerialPollGivesTheStatusByteAndIbaskTheDeviceSettings) {
  const int ud = Open(1);
  char spr[2] = {1, 1};
  driver->ibrsp(ud, spr);
  EXPECT_EQ(Sta() & (ERR | CMPL), CMPL);
  EXPECT_EQ(spr[0], 0);
  driver->ibpad(ud, 5);
  driver->ibtmo(ud, T10s);
  int tmo = 0;
  driver->ibask(ud, IbaTMO, &tmo);
  EXPECT_EQ(tmo, T10s);
  driver->ibrsp(ud, spr);
  EXPECT_FALSE(Sta() & ERR) << "the poll went to the new address";
}

TEST_P(Conformance, TheLinkLostMidReplyFailsThisCallAndEveryLaterOne) {
  if (!driver->CanLoseLink())
    GTEST_SKIP() << GetParam().name << " has no link to lose";
  const int ud = Open(5, T3s);
  driver->ibwrt(ud, "SILENT?", 7);
  driver->LoseLinkDuringWait(200);
  Read(ud);
  EXPECT_TRUE(Sta() & ERR);
  EXPECT_EQ(Err(), EDVR);
  driver->ibwrt(ud, "ID?", 3);
  EXPECT_EQ(Err(), EDVR);
}

TEST_P(Conformance, ACallMadeWhileAnotherWaitsIsRefused) {
  if (!driver->WaitsInEventLoop())
    GTEST_SKIP() << GetParam().name << " runs nothing else while a call waits";
  const int ud = Open(5, T300ms);
  driver->ibwrt(ud, "SILENT?", 7);
  int nestedStatus = 0;
  int nestedError = 0;
  QTimer::singleShot(50, [&] {
    nestedStatus = driver->ibwrt(ud, "ID?", 3);
    nestedError = Err();
  });
  Read(ud);
  EXPECT_TRUE(nestedStatus & ERR);
  EXPECT_EQ(nestedError, EOIP);
  EXPECT_EQ(Sta() & TIMO, TIMO) << "the waiting read ends as it would have";
}

INSTANTIATE_TEST_SUITE_P(Routes, Conformance, ::testing::ValuesIn(Columns),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
