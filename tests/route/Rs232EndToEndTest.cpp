#include "gpib/Vbib32Qx.h"
#include "route/RouteInstall.h"
#include "route/rs232/Rs232Driver.h"
#include "support/AdapterProcess.h"
#include "support/InstantPauses.h"
#include "support/RouteWindow.h"
#include "support/ScopeBus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The window on the simulated scope's own serial port (a pseudo-terminal), held to what the
// same scope gives through the driver library.
namespace {

using namespace scopebus;
using namespace formsteps;
using namespace routewindow;

constexpr char Tds2024[] = "TEK/TDS 2024,CF:91.1CT,FV:v4.12 TDS2CM:CMV:v1.04";

// port is set to the pseudo-terminal the simulated scope serves.
Outcome OnTheSerialPort(const gpibsim::BusDescription &bus, QString &port) {
  AdapterProcess scope({"--rs232"}, QByteArray::fromStdString(BusJson(bus)));
  port = scope.endpoint.mid(4);
  InstantPauses pauses;
  VBIB32QX::ResetModuleState();
  const route::Route where(route::Rs232Route{port, 9600, route::Rs232Route::Flow::RtsCts});
  route::RouteInstall install(where);
  FakeMessBoxes boxes;
  ErrorLogForm form;
  Outcome outcome = Run(form, boxes, where);
  outcome.trace = scope.Trace();
  outcome.written = bustrace::QuotedOf(outcome.trace, "ibwrt");
  return outcome;
}

struct Scenario {
  const char *name;
  gpibsim::BusDescription serial;
  gpibsim::BusDescription library; // the same situation on the bus
  const char *model;
};

const Scenario Scenarios[] = {
    {"Tds2024ReadsTheLog", ScopeBus(Tds2024, Entries(6)), ScopeBus(Tds2024, Entries(6)), "TDS 2024"},
    {"Tds3054AnswersTheBreak", ScopeBus(Tds3054, Entries(4)), ScopeBus(Tds3054, Entries(4)), "TDS 3054"},
    // A reply with no line end is a time-out, as a reply that never ends is on the bus.
    {"ReplyWithoutLineEnd", ScopeBus(Tds3054, Entries(5)).Faults({NoEnd("ERRLOG:NEXT?", 3)}),
     ScopeBus(Tds3054, Entries(5)).Faults({Timeout("ERRLOG:NEXT?", 3)}), "TDS 3054"},
};

class ScopeSerialPort : public ::testing::TestWithParam<Scenario> {
protected:
  void SetUp() override {
    using std::chrono::milliseconds;
    previous_ = route::Rs232Driver::SetTimings({milliseconds(100), milliseconds(200)});
  }
  void TearDown() override { route::Rs232Driver::SetTimings(previous_); }

private:
  route::Rs232Driver::Timings previous_;
};

TEST_P(ScopeSerialPort, TheWindowListsWhatTheDriverLibraryListsAndNamesThePort) {
  const Scenario &s = GetParam();
  const Outcome expected = OnTheLibrary(s.library);
  QString port;
  const Outcome got = OnTheSerialPort(s.serial, port);
  EXPECT_EQ(got.list, expected.list);
  EXPECT_EQ(got.boxes, expected.boxes);
  EXPECT_EQ(got.endCode, expected.endCode);
  EXPECT_EQ(got.caption.substr(got.caption.find("   -   ")),
            "   -   Connected to " + std::string(s.model) + " @ RS-232 " + port.toStdString());
  // Only the check that no "++" adapter is on the port comes before the conversation.
  std::vector<std::string> written = {"++ver"};
  written.insert(written.end(), expected.written.begin(), expected.written.end());
  EXPECT_EQ(got.written, written);
  EXPECT_NE(std::find_if(got.trace.begin(), got.trace.end(),
                         [](const std::string &line) { return line.rfind("ibclr", 0) == 0; }),
            got.trace.end())
      << "the break reached the scope as a device clear";
  // The TDS 3000's answer to the break is taken by the clear, not found stale later.
  EXPECT_EQ(got.err.find("dropped"), std::string::npos) << got.err;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, ScopeSerialPort, ::testing::ValuesIn(Scenarios),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ScopeSerialPortFailure, ALineCutOffMidLogIsReportedWithThePortAndKeepsWhatWasListed) {
  const route::Rs232Driver::Timings previous =
      route::Rs232Driver::SetTimings({std::chrono::milliseconds(100), std::chrono::milliseconds(200)});
  QString port;
  const Outcome got =
      OnTheSerialPort(ScopeBus(Tds2024, Entries(5)).Faults({Strikes("ERRLOG:NEXT?", 2, "disconnect")}), port);
  route::Rs232Driver::SetTimings(previous);
  ASSERT_FALSE(got.boxes.empty());
  // The scope closes the line as the command reaches it: the viewer hears of it while that
  // command is still going out (the write's report) or while it waits for the reply (the
  // read's), whichever comes first on a busy machine.
  const std::string title = got.boxes[0].substr(0, got.boxes[0].find('\n'));
  EXPECT_TRUE(title == "I/O Error" || title == "GPIB ERROR # 0") << got.boxes[0];
  EXPECT_NE(got.err.find(port.toStdString() + ": the serial line to the scope went away"), std::string::npos)
      << got.err;
  const std::vector<std::string> entries = Entries(5);
  ASSERT_GE(got.list.size(), 2u);
  EXPECT_EQ(got.list[0], entries[0]);
}

// A pseudo-terminal has no line to go wrong: the counter the serial driver keeps is stood in
// for. The reply that met the error is a time-out, and the next query is answered whole.
TEST(ScopeSerialPortFailure, AParityFramingOrOverrunErrorInAReplyIsATimeOutAndTheNextStartsClean) {
  AdapterProcess scope({"--rs232"}, QByteArray::fromStdString(BusJson(ScopeBus(Tds2024, Entries(1)))));
  long errors = 3;
  const auto previous = gpibadapter::AdapterLink::SetLineErrorCounter([&errors] { return errors; });
  route::Rs232Driver driver(route::Rs232Route{scope.endpoint.mid(4), 9600, route::Rs232Route::Flow::RtsCts});
  const int ud = driver.ibdev(0, 1, 0, gpibcodes::T1s, 1, 0);
  const auto query = [&](bool lineError) {
    driver.ibwrt(ud, "ID?", 3);
    if (lineError)
      ++errors;
    std::string reply(256, ' ');
    testing::internal::CaptureStderr();
    driver.ibrd(ud, reply.data(), 256);
    const std::string err = testing::internal::GetCapturedStderr();
    reply.resize(static_cast<std::size_t>(driver.ThreadIbcntl()));
    return std::make_pair(reply, err);
  };
  const auto [damaged, said] = query(true);
  EXPECT_EQ(driver.ThreadIbsta() & (gpibcodes::ERR | gpibcodes::TIMO), gpibcodes::ERR | gpibcodes::TIMO);
  EXPECT_EQ(driver.ThreadIberr(), gpibcodes::EABO);
  EXPECT_TRUE(damaged.empty()) << damaged;
  EXPECT_NE(said.find("parity, framing or overrun error"), std::string::npos) << said;
  const auto [whole, quiet] = query(false);
  EXPECT_TRUE(driver.ThreadIbsta() & gpibcodes::END);
  EXPECT_NE(whole.find("TDS 2024"), std::string::npos) << whole;
  gpibadapter::AdapterLink::SetLineErrorCounter(previous);
}

// On a real UART the kernel's counters are read; where the machine has none, nothing to check.
TEST(ScopeSerialPortFailure, AUartTellsItsLineErrorsAndAPseudoTerminalDoesNot) {
  AdapterProcess scope({"--rs232"}, QByteArray::fromStdString(BusJson(ScopeBus(Tds2024, Entries(1)))));
  gpibadapter::AdapterLink pty(scope.endpoint.mid(4), gpibadapter::SerialSettings{9600});
  QString why;
  ASSERT_TRUE(pty.Open(why)) << why.toStdString();
  EXPECT_EQ(pty.LineErrors(), -1);
  const QString uart = qEnvironmentVariable("SKELD_TEST_UART", QStringLiteral("/dev/ttyS0"));
  gpibadapter::AdapterLink line(uart, gpibadapter::SerialSettings{9600});
  if (!line.Open(why))
    GTEST_SKIP() << "no UART to ask: " << why.toStdString();
  EXPECT_GE(line.LineErrors(), 0);
}

} // namespace
