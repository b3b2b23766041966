#include "support/BusDescriptions.h"
#include "support/SimulatedBus.h"

#include <string>
#include <vector>

using namespace gpibsim;
using namespace busdesc;

namespace {

const std::string Id = "TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00";

const BusDescription ThreeEntries = Scope(Id, {"e1", "e2", "e3"});

// Sends the set-up commands, then answers the query as the controller reads it.
std::string AfterSetUp(const BusDescription &description, const std::vector<std::string> &setUp,
                       const std::string &query) {
  SimulatedBus bus(description);
  const int ud = bus.Open(1);
  for (const std::string &command : setUp)
    bus.Write(ud, command);
  return bus.Query(ud, query);
}

struct Exchange {
  std::vector<std::string> setUp;
  std::string query;
  std::string reply; // "<TIMO>": the read timed out
};

TEST(SimScope, RepliesCarryTheirHeaderOnlyWhileHeadIsOn) {
  const std::vector<Exchange> cases = {
      {{}, "ID?", "ID " + Id + "\n"},
      {{"HEAD 0"}, "ID?", Id + "\n"},
      {{"HEAD 0", "HEAD 1"}, "ID?", "ID " + Id + "\n"},
      {{"head off"}, "id?", Id + "\n"},
      {{"HEAD 0\r\n"}, "ID?\n", Id + "\n"},
      {{"PASSWORD BRAMBLE"}, "ERRLOG?", "ERRLOG \"e1\"\n"},
      {{"PASSWORD BRAMBLE"}, "ERRLOG:NEXT?", "ERRLOG:NEXT \"e1\"\n"},
      {{"HEAD 0", "PASSWORD BRAMBLE"}, "ERRLOG?", "\"e1\"\n"},
      {{"HEAD 0", "PASSWORD BRAMBLE"}, "ERRLOG:NEXT?", "\"e1\"\n"},
      {{}, "*IDN?", "<TIMO>"},
  };
  for (const Exchange &c : cases)
    EXPECT_EQ(AfterSetUp(ThreeEntries, c.setUp, c.query), c.reply)
        << c.query << ", set-up of " << c.setUp.size();
}

TEST(SimScope, LogCommandsAreIgnoredUntilThePasswordMatches) {
  const std::vector<Exchange> cases = {
      {{"HEAD 0"}, "ERRLOG?", "<TIMO>"},
      {{"HEAD 0"}, "ERRLOG:NEXT?", "<TIMO>"},
      {{"HEAD 0", "PASSWORD WRONG"}, "ERRLOG?", "<TIMO>"},
      {{"HEAD 0", "PASSWORD bramble"}, "ERRLOG?", "<TIMO>"},
      {{"HEAD 0", "PASSWORD  BRAMBLE "}, "ERRLOG?", "\"e1\"\n"},
      {{"HEAD 0", "PASSWORD BRAMBLE", "PASSWORD WRONG"}, "ERRLOG?", "\"e1\"\n"},
  };
  for (const Exchange &c : cases)
    EXPECT_EQ(AfterSetUp(ThreeEntries, c.setUp, c.query), c.reply) << c.setUp.back();

  SimulatedBus bus(ThreeEntries);
  const int ud = bus.Open(1);
  bus.Write(ud, "ERRLOG CLEAR");
  EXPECT_EQ(StoredLog(1), (std::vector<std::string>{"e1", "e2", "e3"}));
  bus.Write(ud, "PASSWORD BRAMBLE");
  bus.Write(ud, "ERRLOG CLEAR");
  EXPECT_TRUE(StoredLog(1).empty());
}

TEST(SimScope, ErrlogItemsAndEndItemShapeTheReplies) {
  struct Case {
    const char *what;
    BusDescription bus;
    std::string first;             // reply to ERRLOG?
    std::vector<std::string> next; // replies to the following ERRLOG:NEXT?
  };
  const std::vector<Case> cases = {
      {"an item a reply", Scope(Id, {"a", "b", "c"}), R"("a")", {R"("b")", R"("c")", R"("")", R"("")"}},
      {"3 items, shorter log", Scope(Id, {"a", "b"}).Items(3), R"("a","b","")", {R"("")"}},
      {"3 items and an end item",
       Scope(Id, {"a", "b", "c"}).Items(3).EndItem("0"),
       R"("a","b","c")",
       {R"("0")"}},
      {"2 items", Scope(Id, {"a", "b", "c", "d"}).Items(2), R"("a","b")", {R"("c")", R"("d")", R"("")"}},
      {"no log, an end item", Scope(Id, {}).EndItem("0"), R"("0")", {R"("0")"}},
      {"items kept literally", Scope(Id, {" x, y ", ""}).Items(2), R"(" x, y ","")", {R"("")"}},
  };
  for (const Case &c : cases) {
    SimulatedBus bus(c.bus);
    const int ud = bus.Open(1);
    bus.Write(ud, "HEAD 0");
    bus.Write(ud, "PASSWORD BRAMBLE");
    EXPECT_EQ(bus.Query(ud, "ERRLOG?"), c.first + "\n") << c.what;
    for (const std::string &reply : c.next)
      EXPECT_EQ(bus.Query(ud, "ERRLOG:NEXT?"), reply + "\n") << c.what;
    // Asking again starts from the oldest entry.
    EXPECT_EQ(bus.Query(ud, "ERRLOG?"), c.first + "\n") << c.what;
  }
}

TEST(SimScope, ClearEmptiesTheLogUntilTheBusIsConfiguredAgain) {
  const BusDescription description = Scope(Id, {"a", "b"}).Items(2);
  {
    SimulatedBus bus(description);
    const int ud = bus.Open(1);
    bus.Write(ud, "HEAD 0");
    bus.Write(ud, "PASSWORD BRAMBLE");
    EXPECT_EQ(bus.Query(ud, "ERRLOG?"), "\"a\",\"b\"\n");
    EXPECT_EQ(bus.Write(ud, "ERRLOG CLEAR"), CMPL);
    EXPECT_TRUE(StoredLog(1).empty());
    EXPECT_EQ(bus.Query(ud, "ERRLOG?"), "\"\"\n");
    EXPECT_EQ(bus.Query(ud, "ERRLOG:NEXT?"), "\"\"\n");
  }
  // A fresh bus has its log, its header and its lock back.
  SimulatedBus bus(description);
  const int ud = bus.Open(1);
  EXPECT_EQ(StoredLog(1), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(bus.Query(ud, "ERRLOG?"), "<TIMO>");
  EXPECT_EQ(bus.Query(ud, "ID?"), "ID " + Id + "\n");
}

struct Step {
  std::string command;
  int writeSta;      // status the write ends with
  int writeErr;      // iberr after a failed write
  std::string reply; // what reading gets afterwards; "" = no read
  int readSta;       // status of the last read
};

struct FaultCase {
  const char *name;
  std::vector<Fault> faults;
  std::vector<Step> steps;
};

TEST(SimScope, FaultsStrikeTheOccurrencesTheyName) {
  const int Ok = CMPL;
  const int Done = END | CMPL;
  const int TimedOut = ERR | TIMO | CMPL;
  const std::vector<FaultCase> cases = {
      {"timeout on the 2nd",
       {Timeout("ERRLOG:NEXT?", 2)},
       {{"ERRLOG:NEXT?", Ok, 0, "\"e1\"\n", Done},
        {"ERRLOG:NEXT?", Ok, 0, "<TIMO>", TimedOut},
        {"ERRLOG:NEXT?", Ok, 0, "\"e2\"\n", Done},
        {"ERRLOG:NEXT?", Ok, 0, "\"e3\"\n", Done}}},
      {"timeout every time",
       {Timeout("ID?")},
       {{"ID?", Ok, 0, "<TIMO>", TimedOut}, {"ID?", Ok, 0, "<TIMO>", TimedOut}}},
      {"write error, default iberr",
       {WriteError("ERRLOG CLEAR")},
       {{"ERRLOG CLEAR", ERR | CMPL, ENOL, "", 0},
        {"ERRLOG CLEAR", ERR | CMPL, ENOL, "", 0},
        {"ERRLOG?", Ok, 0, "\"e1\"\n", Done}}},
      {"write error with its iberr, 1st only",
       {WriteError("ID?", 1, EABO)},
       {{"ID?", ERR | CMPL, EABO, "<TIMO>", TimedOut}, {"ID?", Ok, 0, Id + "\n", Done}}},
      {"no END",
       {NoEnd("ID?")},
       {{"ID?", Ok, 0, Id + "\n", ERR | CMPL}, {"ERRLOG?", Ok, 0, "\"e1\"\n", Done}}},
      {"raw reply on the 3rd",
       {RawReply("ERRLOG:NEXT?", 3, "\"unterminated")},
       {{"ERRLOG:NEXT?", Ok, 0, "\"e1\"\n", Done},
        {"ERRLOG:NEXT?", Ok, 0, "\"e2\"\n", Done},
        {"ERRLOG:NEXT?", Ok, 0, "\"unterminated", Done},
        {"ERRLOG:NEXT?", Ok, 0, "\"e3\"\n", Done}}},
      {"faults count each command separately",
       {Timeout("ID?", 2), Timeout("ERRLOG?", 1)},
       {{"ID?", Ok, 0, Id + "\n", Done},
        {"ERRLOG?", Ok, 0, "<TIMO>", TimedOut},
        {"ID?", Ok, 0, "<TIMO>", TimedOut},
        {"ERRLOG?", Ok, 0, "\"e1\"\n", Done}}},
  };
  for (const FaultCase &c : cases) {
    SimulatedBus bus(Scope(Id, {"e1", "e2", "e3"}).Faults(c.faults));
    const int ud = bus.Open(1);
    bus.Write(ud, "HEAD 0");
    bus.Write(ud, "PASSWORD BRAMBLE");
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step &s = c.steps[i];
      const std::string where = std::string(c.name) + ", step " + std::to_string(i + 1);
      EXPECT_EQ(bus.Write(ud, s.command), s.writeSta) << where;
      if (s.writeSta & ERR) {
        EXPECT_EQ(bus.Err(), s.writeErr) << where;
        EXPECT_EQ(bus.api.ThreadIbcnt(), 0) << where;
      }
      if (s.reply.empty())
        continue;
      EXPECT_EQ(bus.ReadReply(ud), s.reply) << where;
      EXPECT_EQ(bus.Sta(), s.readSta) << where;
      if (s.readSta & ERR) {
        EXPECT_EQ(bus.Err(), EABO) << where;
      }
    }
  }
}

TEST(SimScope, NoEndReplyIsFollowedByATimeout) {
  SimulatedBus bus(Scope().Faults({NoEnd("ID?")}));
  const int ud = bus.Open(1);
  bus.Write(ud, "ID?");
  EXPECT_EQ(bus.ReadChunk(ud, 10), "ID TEK/TDS");
  EXPECT_EQ(bus.Sta(), ERR | CMPL);
  EXPECT_EQ(bus.ReadChunk(ud), " 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00\n");
  EXPECT_EQ(bus.Sta(), ERR | CMPL);
  bus.ReadChunk(ud);
  EXPECT_EQ(bus.Sta(), ERR | TIMO | CMPL);
}

TEST(SimScope, LongReplyArrivesInChunksWithEndOnTheLastOnly) {
  const std::string entry(690, 'x');
  SimulatedBus bus(Scope(Id, {entry}));
  const int ud = bus.Open(1);
  bus.Write(ud, "PASSWORD BRAMBLE");
  // "ERRLOG " + quoted entry + LF: 7 + 692 + 1 = 700 bytes.
  bus.Write(ud, "ERRLOG?");
  const std::string first = bus.ReadChunk(ud, 512);
  EXPECT_EQ(first.size(), 512u);
  EXPECT_EQ(bus.Sta(), CMPL);
  EXPECT_EQ(bus.api.ThreadIbcntl(), 512);
  const std::string second = bus.ReadChunk(ud, 512);
  EXPECT_EQ(second.size(), 188u);
  EXPECT_EQ(bus.Sta(), END | CMPL);
  EXPECT_EQ(first + second, "ERRLOG \"" + entry + "\"\n");
  bus.ReadChunk(ud, 512);
  EXPECT_EQ(bus.Sta(), ERR | TIMO | CMPL);
}

TEST(SimScope, PlainListenerGivesItsFixedRepliesAndTimesOutOtherwise) {
  SimulatedBus bus(Plain(5, {{"ID?", "HP 3478A\r\n"}, {"READ?", "+1.00E+0"}}));
  const int ud = bus.Open(5);
  EXPECT_EQ(bus.Query(ud, "ID?"), "HP 3478A\r\n");
  EXPECT_EQ(bus.Query(ud, "READ?\n"), "+1.00E+0");
  EXPECT_EQ(bus.Query(ud, "HEAD 0"), "<TIMO>");
  EXPECT_EQ(bus.Query(ud, "ERRLOG?"), "<TIMO>");
}

TEST(SimScope, DefaultBusHoldsAScopeWithAShortLog) {
  SimulatedBus bus;
  const int ud = bus.Open(1);
  EXPECT_EQ(bus.Query(ud, "ID?"), "ID " + Id + "\n");
  bus.Write(ud, "HEAD 0");
  bus.Write(ud, "PASSWORD BRAMBLE");
  std::vector<std::string> items;
  std::string reply = bus.Query(ud, "ERRLOG?");
  for (int i = 0; i < 20 && reply != "\"\"\n"; ++i) {
    ASSERT_GE(reply.size(), 3u);
    items.push_back(reply.substr(1, reply.size() - 3));
    reply = bus.Query(ud, "ERRLOG:NEXT?");
  }
  EXPECT_EQ(items, StoredLog(1));
  EXPECT_GE(items.size(), 4u);
  EXPECT_LE(items.size(), 6u);
}

} // namespace
