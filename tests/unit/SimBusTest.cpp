#include "support/BusDescriptions.h"
#include "support/Files.h"
#include "support/SimulatedBus.h"

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

using namespace gpibsim;
using namespace busdesc;

namespace {

constexpr Addr4882_t Untouched = 0x7777;

struct SearchResult {
  int ibsta;
  int iberr;
  std::vector<Addr4882_t> results;
};

// FindLstn as the program calls it; the tail of the result array shows what was written.
SearchResult Search(const std::vector<Addr4882_t> &offered, int limit = 15) {
  std::vector<Addr4882_t> pads = offered;
  pads.push_back(NOADDR);
  std::vector<Addr4882_t> results(20, Untouched);
  const GpibDriverApi &api = InProcessDriver();
  api.FindLstn(0, pads.data(), results.data(), limit);
  while (!results.empty() && results.back() == Untouched)
    results.pop_back();
  return {api.ThreadIbsta(), api.ThreadIberr(), results};
}

std::vector<Addr4882_t> AllAddresses() {
  std::vector<Addr4882_t> all;
  for (Addr4882_t a = 0; a <= 30; ++a)
    all.push_back(a);
  return all;
}

TEST(SimBus, FindLstnReportsTheBoardFirstThenInstrumentsInAscendingOrder) {
  struct Case {
    const char *name;
    std::string file;                // bus description; "" = the default bus
    std::vector<Addr4882_t> offered; // empty = 0 to 30
    SearchResult expected;
  };
  const std::vector<Case> cases = {
      {"default bus", "", {}, {CMPL, 0, {0, 1}}},
      {"scattered", "scattered_listeners.json", {}, {CMPL, 0, {0, 3, 9, 17}}},
      {"board not offered", "scattered_listeners.json", {17, 9, 3, 4}, {CMPL, 0, {3, 9, 17}}},
      {"some offered", "scattered_listeners.json", {0, 17}, {CMPL, 0, {0, 17}}},
      {"empty bus", "empty_bus.json", {}, {CMPL, 0, {0}}},
      {"nobody at all", "empty_bus.json", {5, 6}, {ERR | CMPL, EBUS, {}}},
      {"too many",
       "too_many_listeners.json",
       {},
       {ERR | CMPL, ETAB, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}}},
      {"forced error", "findlstn_error.json", {}, {ERR | CMPL, EABO, {}}},
  };
  for (const Case &c : cases) {
    std::string error;
    if (c.file.empty())
      Configure(DefaultBus());
    else
      ASSERT_TRUE(ConfigureFromFile(SimDataFile(c.file), error)) << error;
    const SearchResult got = Search(c.offered.empty() ? AllAddresses() : c.offered);
    EXPECT_EQ(got.ibsta, c.expected.ibsta) << c.name;
    if (got.ibsta & ERR) {
      EXPECT_EQ(got.iberr, c.expected.iberr) << c.name;
    }
    EXPECT_EQ(got.results, c.expected.results) << c.name;
    EXPECT_EQ(InProcessDriver().ThreadIbcnt(), static_cast<int>(c.expected.results.size())) << c.name;
  }
}

TEST(SimBus, FourteenInstrumentsAndTheBoardFitTheProgramsTable) {
  BusDescription description;
  for (int a = 1; a <= 14; ++a)
    description.listeners.push_back(Scope().At(a));
  SimulatedBus bus(description);
  const SearchResult got = Search(AllAddresses());
  EXPECT_EQ(got.ibsta, CMPL);
  EXPECT_EQ(got.results.size(), 15u);
}

TEST(SimBus, BrokenBusFindsNobody) {
  ConfigureBroken();
  const SearchResult got = Search(AllAddresses());
  EXPECT_EQ(got.ibsta & ERR, ERR);
  EXPECT_EQ(got.iberr, EBUS);
  EXPECT_TRUE(got.results.empty());
}

TEST(SimBus, DescriptorsAddressTimeAndClearTheirDevice) {
  SimulatedBus bus;
  const GpibDriverApi &api = bus.api;
  const int ud = api.ibdev(0, 1, 0, 11, 1, 0);
  const int other = api.ibdev(0, 1, 0, 11, 1, 0);
  EXPECT_GT(ud, 30); // never mistaken for an address
  EXPECT_NE(ud, other);
  EXPECT_EQ(api.ThreadIbsta(), CMPL);

  int value = -1;
  EXPECT_EQ(api.ibask(ud, IbaTMO, &value), CMPL);
  EXPECT_EQ(value, 11);
  EXPECT_EQ(api.ibtmo(ud, 13), CMPL);
  api.ibask(ud, IbaTMO, &value);
  EXPECT_EQ(value, 13);
  EXPECT_EQ(api.ibtmo(ud, 18), ERR);
  EXPECT_EQ(api.ThreadIberr(), EARG);

  // ibclr drops the reply; reading then times out, and ibwait shows it.
  bus.Write(ud, "ID?");
  EXPECT_EQ(api.ibwait(ud, TIMO | CMPL), CMPL);
  EXPECT_EQ(api.ibclr(ud), CMPL);
  bus.ReadChunk(ud);
  EXPECT_EQ(api.ThreadIbsta(), ERR | TIMO | CMPL);
  EXPECT_EQ(api.ThreadIberr(), EABO);
  EXPECT_EQ(api.ThreadIbcnt(), 0);
  EXPECT_EQ(api.ibwait(ud, TIMO | CMPL), TIMO | CMPL);

  // A new command discards a reply nobody read.
  bus.Write(ud, "ID?");
  bus.Write(ud, "HEAD 0");
  bus.ReadChunk(ud);
  EXPECT_EQ(api.ThreadIbsta(), ERR | TIMO | CMPL);

  char spr[2] = {0x55, 0x55};
  EXPECT_EQ(api.ibrsp(ud, spr), CMPL);
  EXPECT_EQ(spr[0], 0);

  // Re-addressed to an empty address, writes find no listener.
  EXPECT_EQ(api.ibpad(ud, 7), CMPL);
  api.ibask(ud, IbaPAD, &value);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(bus.Write(ud, "ID?"), ERR | CMPL);
  EXPECT_EQ(api.ThreadIberr(), ENOL);
  bus.ReadChunk(ud);
  EXPECT_EQ(api.ThreadIbsta(), ERR | TIMO | CMPL);
  EXPECT_EQ(api.ibpad(ud, 31), ERR);
  EXPECT_EQ(api.ThreadIberr(), EARG);
}

TEST(SimBus, BadArgumentsAreRefused) {
  SimulatedBus bus;
  const GpibDriverApi &api = bus.api;
  const int ud = bus.Open(1);
  char buffer[8];
  int value = 0;
  struct Case {
    const char *name;
    std::function<int()> call;
    int iberr;
  };
  const std::vector<Case> cases = {
      {"ibwrt, unknown descriptor", [&] { return api.ibwrt(999, "ID?", 3); }, EARG},
      {"ibrd, unknown descriptor", [&] { return api.ibrd(999, buffer, 8); }, EARG},
      {"ibclr, descriptor 0", [&] { return api.ibclr(0); }, EARG},
      {"ibask, unknown option", [&] { return api.ibask(ud, 0x99, &value); }, EARG},
      {"ibwrt, negative count", [&] { return api.ibwrt(ud, "x", -1); }, EARG},
      {"ibrd, no buffer", [&] { return api.ibrd(ud, nullptr, 8); }, EARG},
      {"ibsre, board 1", [&] { return api.ibsre(1, 1); }, ENEB},
      {"ibdev, address 31", [&] { return api.ibdev(0, 31, 0, 11, 1, 0) == -1 ? api.ThreadIbsta() : 0; },
       EARG},
      {"ibdev, board 1", [&] { return api.ibdev(1, 1, 0, 11, 1, 0) == -1 ? api.ThreadIbsta() : 0; }, ENEB},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.call(), ERR) << c.name;
    EXPECT_EQ(api.ThreadIberr(), c.iberr) << c.name;
  }
}

TEST(SimBus, EveryCallLeavesOneTraceLine) {
  SimulatedBus bus(Bus({Scope(), Plain(2, {{"RAW?", "q\"b\\s\r\n\t\x7f\x01"}})}));
  const GpibDriverApi &api = bus.api;
  std::vector<Addr4882_t> pads = {0, 1, 2, NOADDR};
  std::array<Addr4882_t, 15> found{};
  api.SendIFC(0);
  api.ibsre(0, 1);
  api.FindLstn(0, pads.data(), found.data(), 15);
  const int ud = api.ibdev(0, 1, 0, 11, 1, 0);
  api.ibclr(ud);
  char spr[2];
  api.ibrsp(ud, spr);
  bus.Query(ud, "ID?");
  api.ThreadIbsta();
  api.ThreadIberr();
  api.ThreadIbcnt();
  api.ThreadIbcntl();
  int tmo = 0;
  api.ibask(ud, IbaTMO, &tmo);
  api.ibtmo(ud, 13);
  api.ibwait(ud, TIMO | CMPL);
  bus.ReadChunk(ud);
  bus.Write(ud, "ERRLOG CLEAR");
  api.ibpad(ud, 2);
  bus.Query(ud, "RAW?");
  api.ibwrt(ud + 100, "x", 1);
  const std::vector<std::string> expected = {
      "SendIFC ibsta=0x0100",
      "ibsre ibsta=0x0100",
      "FindLstn ibsta=0x0100",
      "ibdev pad=1 ibsta=0x0100",
      "ibclr pad=1 ibsta=0x0100",
      "ibrsp pad=1 ibsta=0x0100",
      "ibwrt pad=1 \"ID?\" ibsta=0x0100",
      "ibrd pad=1 \"ID TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00\\n\" ibsta=0x2100",
      "ibask pad=1 ibsta=0x0100",
      "ibtmo pad=1 ibsta=0x0100",
      "ibwait pad=1 ibsta=0x0100",
      "ibrd pad=1 \"\" ibsta=0xC100",
      "ibwrt pad=1 \"ERRLOG CLEAR\" ibsta=0x0100",
      "ibpad pad=2 ibsta=0x0100",
      "ibwrt pad=2 \"RAW?\" ibsta=0x0100",
      "ibrd pad=2 \"q\\\"b\\\\s\\r\\n\\x09\\x7F\\x01\" ibsta=0x2100",
      "ibwrt \"x\" ibsta=0x8000",
  };
  EXPECT_EQ(bus.trace, expected);
}

TEST(SimBus, HighBytesPassUnchangedAndShowAsHexInTheTrace) {
  SimulatedBus bus(Plain(4));
  const int ud = bus.Open(4);
  const std::string bytes = "\xE9t\xE9\xFF";
  EXPECT_EQ(bus.Write(ud, bytes), CMPL);
  EXPECT_EQ(bus.api.ThreadIbcntl(), 4);
  EXPECT_EQ(bus.trace.back(), "ibwrt pad=4 \"\\xE9t\\xE9\\xFF\" ibsta=0x0100");
}

TEST(SimBus, TimeoutsTakeTheDescribedTime) {
  BusDescription slow = Scope();
  slow.timeoutsTakeMs = 60;
  SimulatedBus bus(slow);
  const int ud = bus.Open(1);
  const auto start = std::chrono::steady_clock::now();
  bus.ReadChunk(ud);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(bus.Sta(), ERR | TIMO | CMPL);
  EXPECT_GE(took, std::chrono::milliseconds(60));

  SimulatedBus quick(Scope());
  const int ud2 = quick.Open(1);
  const auto start2 = std::chrono::steady_clock::now();
  quick.ReadChunk(ud2);
  EXPECT_LT(std::chrono::steady_clock::now() - start2, std::chrono::milliseconds(50));
}

TEST(SimBus, AListenerMayTakeItsOwnTimeToTimeOut) {
  SimulatedBus bus(Bus({Scope().TimeoutsTakeMs(60), Scope().At(2)}));
  const int slow = bus.Open(1);
  auto start = std::chrono::steady_clock::now();
  bus.ReadChunk(slow);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));

  const int quick = bus.Open(2);
  start = std::chrono::steady_clock::now();
  bus.ReadChunk(quick);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

TEST(SimBus, ConfigureStartsTheFaultCountsAndDescriptorsAfresh) {
  const BusDescription description = Scope().Faults({Timeout("ID?", 1)});
  int firstUd = 0;
  for (int round = 0; round < 2; ++round) {
    SimulatedBus bus(description);
    const int ud = bus.Open(1);
    if (round == 0)
      firstUd = ud;
    EXPECT_EQ(ud, firstUd);
    EXPECT_EQ(bus.Query(ud, "ID?"), "<TIMO>") << "round " << round;
    EXPECT_NE(bus.Query(ud, "ID?"), "<TIMO>") << "round " << round;
  }
}

} // namespace
