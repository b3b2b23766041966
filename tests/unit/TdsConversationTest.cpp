#include "app/TdsConversation.h"
#include "gpib/Vbib32.h"
#include "support/FakeMessBoxes.h"
#include "support/ScopeBus.h"
#include "support/SimulatedBus.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace scopebus;

// The scope at address 1, opened the way the connection opens it, with the opening left out
// of the trace.
std::int16_t OpenScope(SimulatedBus &bus) {
  const std::int16_t handle = VBIB32::ibdev(0, 1, 0, VBIB32::T3s, 1, 0);
  bus.trace.clear();
  return handle;
}

TEST(TdsConversation, UnlocksAndClearsWithTheScopesCommands) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(2)));
  std::int16_t handle = OpenScope(bus);
  skeld::TdsConversation scope(handle);
  EXPECT_EQ(scope.Identify().model, "TDS 3054");
  scope.Unlock();
  scope.Clear();
  EXPECT_EQ(bus.Written(), (std::vector<std::string>{"ID?", "HEAD 0", "PASSWORD BRAMBLE", "ERRLOG CLEAR"}));
  std::vector<std::string> read;
  EXPECT_EQ(scope.ReadLog(0, [&read](const std::string &entry) { read.push_back(entry); }), 0);
  EXPECT_TRUE(read.empty());
}

const char Tds340[] = "TEK/TDS 340,CF:91.1CT,FV:v1.0";

struct PhaseCase {
  const char *name;
  gpibsim::BusDescription bus;
  std::vector<std::string> listed;
  int nextQueries;
  std::size_t boxes;
  std::int16_t zeroEndsLog = 0;
  int maxEntries = skeld::DefaultMaxLogEntries;
};

class Phases : public ::testing::TestWithParam<PhaseCase> {};

TEST_P(Phases, ReadExactlyTheItemsBeforeTheEnd) {
  const PhaseCase &c = GetParam();
  SimulatedBus bus(c.bus);
  FakeMessBoxes boxes;
  std::int16_t handle = OpenScope(bus);
  skeld::TdsConversation(handle).Unlock();
  bus.trace.clear();
  const int previousLimit = skeld::SetMaxLogEntries(c.maxEntries);
  const auto restore = qScopeGuard([&] { skeld::SetMaxLogEntries(previousLimit); });
  std::vector<std::string> read;
  const int count = skeld::TdsConversation(handle).ReadLog(
      c.zeroEndsLog, [&read](const std::string &entry) { read.push_back(entry); });
  EXPECT_EQ(read, c.listed);
  EXPECT_EQ(count, static_cast<int>(c.listed.size()));
  EXPECT_EQ(bus.Written(), ReadCommands(c.nextQueries));
  EXPECT_EQ(boxes.shown.size(), c.boxes);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Phases,
    ::testing::Values(
        // "ERRLOG?" answers an empty item alone: phase 2 starts at once and ends at once.
        PhaseCase{"EmptyLog", ScopeBus(Tds3054, {}), {}, 1, 0},
        // Three items without an end item, then one entry per query.
        PhaseCase{"ThreeItemsThenNext",
                  ScopeBus(Tds3054, {"a", "b", "c", "d", "e"}).Items(3),
                  {"a", "b", "c", "d", "e"},
                  3,
                  0},
        // The first reply holds the whole log and its end; the first "ERRLOG:NEXT?" ends it.
        PhaseCase{"AllInTheFirstReply", ScopeBus(Tds3054, {"a", "b"}).Items(3), {"a", "b"}, 1, 0},
        // A TDS 340 ends its log with an item beginning with "0", in either phase.
        PhaseCase{
            "ZeroEndsPhaseOne", ScopeBus(Tds340, {"a", "0 b", "c"}).Items(3).EndItem("0"), {"a"}, 1, 0, 1},
        PhaseCase{
            "ZeroEndsPhaseTwo", ScopeBus(Tds340, {"a", "b", "0 c", "d"}).EndItem("0"), {"a", "b"}, 2, 0, 1},
        // Any other model lists such an item like any other.
        PhaseCase{"ZeroListedElsewhere", ScopeBus(Tds3054, {"0 a", "b"}), {"0 a", "b"}, 2, 0},
        // Items keep their blanks and commas.
        PhaseCase{"ItemsKeptLiterally", ScopeBus(Tds3054, {" x, y ", "  "}), {" x, y ", "  "}, 2, 0},
        // Text before the first quote is passed over; an unclosed item is a damaged reply that
        // ends the reading with its report.
        PhaseCase{"MalformedFirstReply",
                  ScopeBus(Tds3054, {}).Faults({RawReply("ERRLOG?", 0, "ERRLOG \"a\",\"b")}),
                  {"a"},
                  0,
                  1},
        // A phase 2 reply with text around its item, then one without any quote.
        PhaseCase{
            "MalformedNextReplies",
            ScopeBus(Tds3054, {"a", "b", "c"})
                .Faults({RawReply("ERRLOG:NEXT?", 1, "x\"B\"y"), RawReply("ERRLOG:NEXT?", 2, "no quote")}),
            {"a", "B"},
            2,
            0},
        PhaseCase{"UnclosedNextReply",
                  ScopeBus(Tds3054, {"a", "b", "c"}).Faults({RawReply("ERRLOG:NEXT?", 2, "\"c")}),
                  {"a", "b"},
                  2,
                  1},
        // A log that never ends stops one entry past the limit, with its report; a log of
        // exactly the limit reads whole.
        PhaseCase{"EndlessLog",
                  ScopeBus(Tds3054, {}).Faults({RawReply("ERRLOG:NEXT?", 0, "\"again\"")}),
                  {"again", "again", "again"},
                  4,
                  1,
                  0,
                  3},
        PhaseCase{
            "LogOfExactlyTheLimit", ScopeBus(Tds3054, {"a", "b", "c"}).Items(2), {"a", "b", "c"}, 2, 0, 0, 3},
        // A read that times out gives the empty reply after its message: the log ends there.
        PhaseCase{"TimedOutNextReply",
                  ScopeBus(Tds3054, {"a", "b", "c"}).Faults({Timeout("ERRLOG:NEXT?", 2)}),
                  {"a", "b"},
                  2,
                  1}),
    [](const ::testing::TestParamInfo<PhaseCase> &info) { return std::string(info.param.name); });

} // namespace
