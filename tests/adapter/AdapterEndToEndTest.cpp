#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "platform/GpibText.h"
#include "route/RouteInstall.h"
#include "route/plus/AdapterDriver.h"
#include "support/AdapterProcess.h"
#include "support/FakeMessBoxes.h"
#include "support/FormSteps.h"
#include "support/InstantPauses.h"
#include "support/ProgramEnd.h"
#include "support/RouteWindow.h"
#include "support/ScopeBus.h"
#include "support/SimulatedBus.h"

#include <QElapsedTimer>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The window on the simulated bus reached through each interface: the driver table in
// process ("ni") and the simulated adapter over a pseudo-terminal or TCP.
namespace {

using route::PlusRoute;
using namespace scopebus;
using namespace formsteps;

struct Interface {
  const char *name;
  QStringList adapterArguments; // empty: the driver table
  PlusRoute::Kind kind;
};

const std::vector<Interface> Adapters{
    {"prologix-pty", {"--dialect", "prologix", "--pty"}, PlusRoute::Kind::Prologix},
    {"prologix-tcp", {"--dialect", "prologix", "--tcp", "0"}, PlusRoute::Kind::Prologix},
    {"ar488-pty", {"--dialect", "ar488", "--pty"}, PlusRoute::Kind::Ar488}};

// The bus reached through one interface, with the trace of what reached the instruments.
class BusThrough {
public:
  BusThrough(const Interface *adapter, const gpibsim::BusDescription &description,
             const QStringList &extra = {}) {
    if (!adapter) {
      pauses_.reset();
      bus_ = std::make_unique<SimulatedBus>(description);
      return;
    }
    process_ = std::make_unique<AdapterProcess>(adapter->adapterArguments + extra,
                                                QByteArray::fromStdString(busdesc::BusJson(description)));
    PlusRoute where;
    where.kind = adapter->kind;
    const QString endpoint = process_->endpoint;
    if (endpoint.startsWith(QLatin1String("pty "))) {
      where.port = endpoint.mid(4);
    } else {
      where.tcp = true;
      where.port = QStringLiteral("127.0.0.1");
      where.tcpPort = endpoint.mid(endpoint.lastIndexOf(QLatin1Char(':')) + 1).toUShort();
    }
    EXPECT_FALSE(endpoint.isEmpty()) << "the simulated adapter printed no endpoint";
    place = where.Place();
    VBIB32QX::ResetModuleState();
    choice_ = std::make_unique<route::RouteInstall>(where);
  }

  std::vector<std::string> Written() const {
    std::vector<std::string> written;
    for (const std::string &line : bus_ ? bus_->trace : process_->Trace())
      if (line.rfind("ibwrt ", 0) == 0)
        written.push_back(SimulatedBus::Unquote(line, line.find('"') + 1));
    return written;
  }

  QString place;

private:
  std::unique_ptr<SimulatedBus> bus_;
  // The program's pauses pass at once through every interface, as on the in-process bus.
  std::unique_ptr<InstantPauses> pauses_ = std::make_unique<InstantPauses>();
  std::unique_ptr<AdapterProcess> process_;
  std::unique_ptr<route::RouteInstall> choice_;
};

using routewindow::Outcome;

struct Scenario {
  const char *name;
  gpibsim::BusDescription bus;
  bool clear;
};

Outcome Play(const Scenario &s, const Interface *through) {
  BusThrough bus(through, s.bus);
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  if (s.clear) {
    boxes.AnswerNext(Module1::IdYes);
    boxes.AnswerNext(Module1::IdYes);
  }
  Outcome outcome;
  ErrorLogForm form;
  outcome.endCode = EndCode([&] {
    StartUp(form);
    if (s.clear)
      form.ClearErrorLog_Click();
  });
  outcome.caption = form.windowTitle().toStdString();
  outcome.list = Items(form.List1);
  for (const Module1::MessBoxRequest &box : boxes.shown)
    outcome.boxes.push_back(box.title.toStdString() + "\n" + box.prompt.toStdString());
  outcome.written = bus.Written();
  return outcome;
}

const std::string Awkward = std::string("Entry holding CR\r, LF\n, ESC\x1b and +++ bytes");

const std::vector<Scenario> Scenarios{
    {"ReadsTheLog", ScopeBus(Tds3054, {"Power on self test passed", Awkward, " Acq: CH2 overload "}), false},
    {"ClearsTheLog", ScopeBus(Tds3054, Entries(3)), true},
    {"RefusesTheFirmware", ScopeBus("TEK/TDS 3054,CF:91.1CT,FV:v3.41 TDS3FFT:v1.00", Entries(2)), false},
    {"FindsTheScopeAmongOthers",
     Bus({Plain(17, {{"ID?", "FLUKE,8840A,0,V2.0\n"}}), Plain(3, {{"ID?", "HEWLETT-PACKARD,54600B\n"}}),
          Scope("TEK/TDS 340,CF:91.1CT,FV:v1.09", {"Trigger holdoff reset"}).At(9)}),
     false},
    {"TimeOutDuringTheLog", ScopeBus(Tds3054, Entries(4)).Faults({Timeout("ERRLOG:NEXT?", 2)}), false},
    {"ReplyWithoutEnd", ScopeBus(Tds3054, Entries(4)).Faults({NoEnd("ERRLOG?")}), false}};

// A read that times out ends once the adapter has given up; a short adapter read time-out
// keeps the time-out scenarios quick without changing what reaches the scope.
class ShortAdapterTimings : public ::testing::Environment {
public:
  void SetUp() override {
    using std::chrono::milliseconds;
    previous_ = gpibadapter::AdapterDriver::SetTimings(
        {milliseconds(500), milliseconds(500), milliseconds(1000), milliseconds(5)});
  }
  void TearDown() override { gpibadapter::AdapterDriver::SetTimings(previous_); }

private:
  gpibadapter::AdapterDriver::Timings previous_;
};
::testing::Environment *const shortAdapterTimings =
    ::testing::AddGlobalTestEnvironment(new ShortAdapterTimings);

class ThroughEachAdapter : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ThroughEachAdapter, SameCommandsAndSameWindowAsTheDriverLibrary) {
  const Scenario &scenario = Scenarios[GetParam()];
  const Outcome expected = Play(scenario, nullptr);
  ASSERT_FALSE(expected.written.empty());
  for (const Interface &adapter : Adapters) {
    SCOPED_TRACE(adapter.name);
    QElapsedTimer clock;
    clock.start();
    const Outcome got = Play(scenario, &adapter);
    EXPECT_EQ(got.written, expected.written);
    EXPECT_EQ(got.caption, expected.caption);
    EXPECT_EQ(got.list, expected.list);
    EXPECT_EQ(got.boxes, expected.boxes);
    EXPECT_EQ(got.endCode, expected.endCode);
    // The longest wait is one read's time-out: the adapter's own, plus the margin.
    EXPECT_LT(clock.elapsed(), 8000);
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ThroughEachAdapter, ::testing::Range<std::size_t>(0, Scenarios.size()),
                         [](const auto &info) { return std::string(Scenarios[info.param].name); });

// The table above holds every interface to the driver library's list; this holds that list
// to the bytes the scope keeps.
TEST(ThroughEachAdapter, AnAwkwardEntryArrivesByteForByte) {
  const Outcome expected = Play(Scenarios[0], nullptr);
  ASSERT_EQ(expected.list.size(), 3u);
  EXPECT_EQ(expected.list[1], skeld::FromGpib(Awkward).toStdString());
}

struct Failure {
  const char *name;
  QStringList extra;
  const char *firstBoxTitle;
  const char *says;
  int endCode; // -1: the program goes on
  int withinMs;
};

class AdapterFailure : public ::testing::TestWithParam<Failure> {};

// Each ends in the program's own report naming the place, in bounded time.
TEST_P(AdapterFailure, EndsInTheProgramsReportNamingThePlace) {
  const Failure &f = GetParam();
  for (const Interface &adapter : Adapters) {
    SCOPED_TRACE(adapter.name);
    QElapsedTimer clock;
    clock.start();
    BusThrough bus(&adapter, ScopeBus(Tds3054, Entries(4)), f.extra);
    FakeMessBoxes boxes;
    EndProgramCatcher catcher;
    testing::internal::CaptureStderr();
    ErrorLogForm form;
    const int code = EndCode([&] { StartUp(form); });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, f.endCode);
    EXPECT_LT(clock.elapsed(), f.withinMs);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown[0].title, QString::fromUtf8(f.firstBoxTitle));
    EXPECT_TRUE(boxes.shown[0].prompt.startsWith(bus.place + QStringLiteral(": ")))
        << boxes.shown[0].prompt.toStdString();
    EXPECT_TRUE(boxes.shown[0].prompt.contains(QString::fromUtf8(f.says)))
        << boxes.shown[0].prompt.toStdString();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AdapterFailure,
    ::testing::Values(
        Failure{"NoAnswerToVer", {"--mute"}, "Initialization Error 0", "no reply to ++ver", 1, 4000},
        Failure{"GoneDuringTheLog", {"--vanish-after-reads", "3"}, "I/O Error", "went away", -1, 8000}),
    [](const auto &info) { return std::string(info.param.name); });

// Thirty addresses offered, one instrument: the Prologix is asked address by address.
TEST(AdapterDiscovery, ThirtyAddressesWithOneInstrumentTakeLessThanFiveSeconds) {
  // Measured with the timings a real adapter gets.
  const gpibadapter::AdapterDriver::Timings shortened =
      gpibadapter::AdapterDriver::SetTimings(gpibadapter::AdapterDriver::Timings{});
  const auto restore = qScopeGuard([&] { gpibadapter::AdapterDriver::SetTimings(shortened); });
  for (const Interface &adapter : Adapters) {
    BusThrough bus(&adapter, ScopeBus(Tds3054, {}));
    std::int16_t fatal = 1;
    VBIB32::SendIFC(0); // opens and sets the adapter up, outside the measurement
    QElapsedTimer clock;
    clock.start();
    VBIB32QX::InitGpibBus(fatal);
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    std::printf("listener search through %s, addresses 0-30, one instrument: %.2f s\n", adapter.name,
                seconds);
    EXPECT_EQ(VBIB32QX::ListenerAddr[0], 1) << adapter.name;
    EXPECT_EQ(VBIB32QX::ListenerAddr[1], 1) << adapter.name;
    EXPECT_LT(seconds, 5.0) << adapter.name;
  }
}

} // namespace
