#include "gpib/GpibCodes.h"
#include "gpib/Vbib32Qx.h"
#include "route/RouteInstall.h"
#include "route/vxi11/Vxi11Driver.h"
#include "support/InstantPauses.h"
#include "support/RouteWindow.h"
#include "support/ScopeBus.h"
#include "support/Vxi11Process.h"

#include <gtest/gtest.h>

#include <string>

// The window through the simulated VXI-11 instrument and gateway (in the network namespace of
// lan-namespace.sh), held to what the same bus gives through the driver library.
namespace {

using namespace scopebus;
using namespace routewindow;

routewindow::Outcome OverTheLan(const gpibsim::BusDescription &bus, const char *interface) {
  Vxi11Process server(QByteArray::fromStdString(BusJson(bus)));
  InstantPauses pauses;
  VBIB32QX::ResetModuleState();
  route::Route where;
  QString error;
  EXPECT_TRUE(route::ParseRoute(QString::fromLatin1(interface), where, error)) << error.toStdString();
  route::RouteInstall install(where);
  FakeMessBoxes boxes;
  ErrorLogForm form;
  routewindow::Outcome outcome = Run(form, boxes, where);
  const QByteArray trace = server.Trace();
  for (const QByteArray &line : trace.split('\n'))
    outcome.trace.push_back(line.toStdString());
  return outcome;
}

struct Scenario {
  const char *name;
  const char *interface;
  gpibsim::BusDescription bus;
  const char *caption; // after "Connected to "
};

// The scope at 9 behind the gateway, among instruments that are no TDS.
gpibsim::BusDescription Rack() {
  return Bus({Plain(3, {{"ID?", "HEWLETT-PACKARD,54600B\n"}}), ScopeBus(Tds3054, Entries(6)).At(9),
              Plain(17, {{"ID?", "FLUKE,8840A,0,V2.0\n"}})});
}

const Scenario Scenarios[] = {
    {"Inst0", "vxi11:127.0.0.1", ScopeBus(Tds3054, Entries(6)), "TDS 3054 @ LAN 127.0.0.1"},
    {"VisaName", "TCPIP0::127.0.0.1::INSTR", ScopeBus(Tds3054, Entries(6)), "TDS 3054 @ LAN 127.0.0.1"},
    {"GatewayAddress", "TCPIP::127.0.0.1::gpib0,9::INSTR", Rack(), "TDS 3054 @ GPIB Addr: 9"},
    {"GatewayBusSearched", "vxi11:127.0.0.1:gpib0", Rack(), "TDS 3054 @ GPIB Addr: 9"},
};

class LanWindow : public ::testing::TestWithParam<Scenario> {
protected:
  void SetUp() override {
    if (!Vxi11Process::InNamespace())
      GTEST_SKIP() << "runs in its network namespace (route_vxi11_e2e)";
  }
};

TEST_P(LanWindow, ListsWhatTheDriverLibraryListsAndNamesTheRoute) {
  const Scenario &s = GetParam();
  const routewindow::Outcome expected = OnTheLibrary(s.bus);
  const routewindow::Outcome got = OverTheLan(s.bus, s.interface);
  EXPECT_EQ(got.list, expected.list);
  EXPECT_EQ(got.boxes, expected.boxes);
  EXPECT_EQ(got.endCode, expected.endCode);
  EXPECT_NE(got.caption.find(std::string("   -   Connected to ") + s.caption), std::string::npos)
      << got.caption;
  EXPECT_EQ(got.list.size(), 6u);
}

INSTANTIATE_TEST_SUITE_P(Routes, LanWindow, ::testing::ValuesIn(Scenarios),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(LanWindow, APeerThatResetsMidLogIsReportedWithTheHostAndKeepsWhatWasListed) {
  const routewindow::Outcome got = OverTheLan(
      ScopeBus(Tds3054, Entries(6)).Faults({Strikes("ERRLOG:NEXT?", 3, "disconnect")}), "vxi11:127.0.0.1");
  ASSERT_FALSE(got.boxes.empty());
  EXPECT_NE(got.err.find("LAN 127.0.0.1: the connection to the instrument ended"), std::string::npos)
      << got.err;
  const std::vector<std::string> entries = Entries(6);
  ASSERT_GE(got.list.size(), 2u);
  EXPECT_EQ(got.list[0], entries[0]);
  EXPECT_EQ(got.list[1], entries[1]);
}

// The gateway's device errors as the driver's codes: an address with no listener fails a write
// with ENOL (I/O error) and a read with a time-out, and the link stays usable for the next.
TEST_F(LanWindow, AGatewaysDeviceErrorsAreTheDriversCodes) {
  using namespace gpibcodes;
  Vxi11Process server(QByteArray::fromStdString(BusJson(Rack())));
  vxi11::Vxi11Driver driver(route::Vxi11Route{QStringLiteral("127.0.0.1"), QStringLiteral("gpib0")});
  const int absent = driver.ibdev(0, 4, 0, T100ms, 1, 0);
  driver.ibwrt(absent, "ID?", 3);
  EXPECT_EQ(driver.ThreadIbsta() & ERR, ERR);
  EXPECT_EQ(driver.ThreadIberr(), ENOL);
  char reply[64];
  driver.ibrd(absent, reply, sizeof reply);
  EXPECT_EQ(driver.ThreadIbsta() & (ERR | TIMO), ERR | TIMO);
  EXPECT_EQ(driver.ThreadIberr(), EABO);
  const int scope = driver.ibdev(0, 9, 0, T1s, 1, 0);
  driver.ibwrt(scope, "ID?", 3);
  driver.ibrd(scope, reply, sizeof reply);
  EXPECT_EQ(driver.ThreadIbsta() & (ERR | END), END);
  EXPECT_EQ(std::string(reply, 6), "ID TEK");
}

} // namespace
