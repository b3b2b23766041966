#include "gpib/Vbib32Qx.h"

#include "support/BusDescriptions.h"
#include "support/FakeMessBoxes.h"
#include "support/ProgramEnd.h"
#include "support/SimulatedBus.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using namespace VBIB32QX;
using namespace busdesc;

namespace {

const std::string IdNotFoundTitle = "Expected Id-response from device not found" + std::string(40, ' ');

// Plain listeners, each answering "ID?" with the given raw reply.
gpibsim::BusDescription PlainBus(const std::map<int, std::string> &idReplies) {
  gpibsim::BusDescription bus;
  for (const auto &[address, reply] : idReplies)
    bus.listeners.push_back(Plain(address, {{"ID?", reply}}));
  return bus;
}

gpibsim::BusDescription Instruments(int first, int last) {
  gpibsim::BusDescription bus;
  for (int a = first; a <= last; ++a)
    bus.listeners.push_back(Plain(a));
  return bus;
}

// The bus set up as the program does it, with the set-up calls left out of the trace.
void InitForOpen(SimulatedBus &bus) {
  DevTimeout = VBIB32::T3s;
  std::int16_t mode = 1;
  InitGpibBus(mode);
  bus.trace.clear();
}

std::vector<std::int16_t> Table(const std::int16_t (&table)[ListenerSlots], int entries) {
  return std::vector<std::int16_t>(table, table + entries);
}

struct InitCase {
  const char *name;
  gpibsim::BusDescription bus;
  std::int16_t mode;
  std::string prompt; // empty: nothing shown
  const char *title;
  bool ends;
};
void PrintTo(const InitCase &c, std::ostream *os) { *os << c.name; }

const gpibsim::BusDescription TwoListeners = Bus({Plain(3), Plain(7)});
const gpibsim::BusDescription NoListeners = SearchFails(14);
const gpibsim::BusDescription TooMany = Instruments(1, 15);
const gpibsim::BusDescription Aborted = SearchFails(6);
const std::string TooManyPrompt =
    "Too many listeners found.\nMax 14 listeners allowed.\n\nCorrect problem and restart.";

class InitGpibBusOutcome : public ::testing::TestWithParam<InitCase> {};

TEST_P(InitGpibBusOutcome, ShowsEndsAndFillsAsTheModeSays) {
  const InitCase &c = GetParam();
  SimulatedBus bus(c.bus);
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  std::int16_t mode = c.mode;

  EXPECT_EQ(EndCode([&] { InitGpibBus(mode); }), c.ends ? 1 : -1);
  if (c.prompt.empty()) {
    EXPECT_TRUE(boxes.shown.empty());
  } else {
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].prompt.toStdString(), c.prompt);
    EXPECT_EQ(boxes.shown[0].style, 16);
    EXPECT_EQ(boxes.shown[0].title.toStdString(), c.title);
  }
  const std::vector<std::string> entries = bus.Entries();
  ASSERT_GE(entries.size(), 3u);
  EXPECT_EQ(entries[0].substr(0, 7), "SendIFC");
  EXPECT_EQ(entries[1].substr(0, 5), "ibsre");
  EXPECT_EQ(entries[2].substr(0, 8), "FindLstn");

  // Only the two listeners are found. A failed search leaves no listener; going on, it leaves
  // no stale address either.
  const std::vector<std::int16_t> filled =
      c.bus.listeners.size() == 2 ? std::vector<std::int16_t>{2, 3, 7, 0} : std::vector<std::int16_t>(4, 0);
  EXPECT_EQ(Table(FreeListener, 4), filled);
  if (!c.ends) {
    EXPECT_EQ(Table(ListenerAddr, 4), filled);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, InitGpibBusOutcome,
    ::testing::Values(
        InitCase{"FoundMode1", TwoListeners, 1, "", "", false},
        InitCase{"FoundModeMinus1", TwoListeners, -1, "", "", false},
        InitCase{"FoundMode0", TwoListeners, 0, "", "", false},
        InitCase{"EbusMode1", NoListeners, 1, "No listeners found.\n\nCorrect problem and restart.",
                 "Initialization Error 14", true},
        InitCase{"EbusModeMinus1", NoListeners, -1, "", "", false},
        InitCase{"EbusMode0", NoListeners, 0, "No listeners found.", "Initialization Error 14", false},
        InitCase{"EtabMode1", TooMany, 1, TooManyPrompt, "Initialization Error 20", true},
        InitCase{"EtabModeMinus1", TooMany, -1, TooManyPrompt, "Initialization Error 20", false},
        InitCase{"EtabMode0", TooMany, 0, TooManyPrompt, "Initialization Error 20", false},
        InitCase{"EaboMode1", Aborted, 1, "\n\nCorrect problem and restart.", "Initialization Error 6", true},
        InitCase{"EaboModeMinus1", Aborted, -1, "\n\nCorrect problem and restart.", "Initialization Error 6",
                 false},
        InitCase{"EaboMode0", Aborted, 0, "\n\nCorrect problem and restart.", "Initialization Error 6",
                 false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(InitGpibBus, FifteenAddressesGiveFourteenListenersAndNoEndMark) {
  // The board at 0 is the driver's first entry, so fourteen instruments fill all fifteen.
  SimulatedBus bus(Instruments(17, 30));
  FakeMessBoxes boxes;
  std::int16_t mode = 1;
  InitGpibBus(mode);

  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(ListenerAddr[0], 14);
  EXPECT_EQ(FreeListener[0], 14);
  for (int i = 1; i <= 14; ++i) {
    EXPECT_EQ(ListenerAddr[i], 16 + i) << i;
    EXPECT_EQ(FreeListener[i], 16 + i) << i;
  }
}

struct MarkerCase {
  const char *name;
  std::string query, expected;
  std::string sentQuery, leftExpected;
  bool opened, cleared, paused;
  std::string ending; // empty: nothing shown
  bool ends;
};
void PrintTo(const MarkerCase &c, std::ostream *os) { *os << c.name; }

class OpenGpibDeviceMarkers : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(OpenGpibDeviceMarkers, AreReadAndRemoved) {
  const MarkerCase &c = GetParam();
  SimulatedBus bus(PlainBus({{5, "TEK/TDS 3054\n"}}));
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  InitForOpen(bus);

  // Events run only while the pause of the "?" marker lets them.
  std::optional<std::size_t> eventAtTraceLine;
  QTimer::singleShot(0, [&] { eventAtTraceLine = bus.trace.size(); });
  std::string query = c.query, expected = c.expected;
  std::int16_t handle = -1;
  const int ended = EndCode([&] { handle = OpenGpibDevice(query, expected); });

  EXPECT_EQ(query, c.sentQuery);
  EXPECT_EQ(expected, c.leftExpected);
  EXPECT_EQ(bus.Written(), std::vector<std::string>{c.sentQuery});
  EXPECT_EQ(bus.Calls("ibclr") > 0, c.cleared);
  ASSERT_EQ(eventAtTraceLine.has_value(), c.paused);
  if (c.paused) {
    const std::vector<std::string> entries = bus.Entries();
    EXPECT_EQ(entries.at(*eventAtTraceLine - 1).substr(0, 5), "ibrsp");
    EXPECT_EQ(entries.at(*eventAtTraceLine).substr(0, 5), "ibwrt");
  }
  EXPECT_EQ(ended, c.ends ? 1 : -1);
  if (!c.ends) {
    EXPECT_EQ(handle != 0, c.opened);
  }
  if (c.ending.empty()) {
    EXPECT_TRUE(boxes.shown.empty());
  } else {
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
              "ID Query: " + c.sentQuery + "\n\nExpected Response: " + c.leftExpected +
                  "\n\nReceived Response(s):\nTEK/TDS 3054\n\n" + c.ending);
    EXPECT_EQ(boxes.shown[0].style, 16);
    EXPECT_EQ(boxes.shown[0].title.toStdString(), IdNotFoundTitle);
  }
}

const char *const GoOn = "Correct the problem and retry. Program will continue.";
const char *const Ends = "Correct the problem and restart. Program will end.";

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenGpibDeviceMarkers,
    ::testing::Values(
        MarkerCase{"None", "ID?", "TDS", "ID?", "TDS", true, true, false, "", false},
        MarkerCase{"NoClear", "!ID?", "TDS", "ID?", "TDS", true, false, false, "", false},
        MarkerCase{"Pause", "ID?", "?TDS", "ID?", "TDS", true, true, true, "", false},
        MarkerCase{"SilentThenPause", "ID?", "!?TDS", "ID?", "TDS", true, true, true, "", false},
        MarkerCase{"PauseLeavesBang", "ID?", "?!TDS", "ID?", "!TDS", false, true, true, Ends, true},
        MarkerCase{"GoOn", "ID?!", "SCOPE", "ID?", "SCOPE", false, true, false, GoOn, false},
        MarkerCase{"Silent", "ID?", "!SCOPE", "ID?", "SCOPE", false, true, false, "", false},
        MarkerCase{"AllMarkers", "!ID?!", "!?TEK/TDS 3054!", "ID?", "TEK/TDS 3054", true, false, true, "",
                   false},
        MarkerCase{"ExactIsCaseSensitive", "ID?", "tek/tds 3054!", "ID?", "tek/tds 3054", false, true, false,
                   Ends, true}),
    [](const auto &info) { return std::string(info.param.name); });

struct MatchCase {
  const char *name;
  std::string reply, expected;
  bool match;
};
void PrintTo(const MatchCase &c, std::ostream *os) { *os << c.name; }

class OpenGpibDeviceMatching : public ::testing::TestWithParam<MatchCase> {};

TEST_P(OpenGpibDeviceMatching, ContainsIgnoringCaseOrEqualsExactly) {
  const MatchCase &c = GetParam();
  SimulatedBus bus(PlainBus({{5, c.reply}}));
  FakeMessBoxes boxes;
  InitForOpen(bus);
  std::string query = "ID?!", expected = c.expected;
  EXPECT_EQ(OpenGpibDevice(query, expected) != 0, c.match);
  EXPECT_EQ(boxes.shown.size(), c.match ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenGpibDeviceMatching,
                         ::testing::Values(MatchCase{"LowerCaseInside", "a scope: tds 210\n", "TDS", true},
                                           MatchCase{"LowerCaseExact", "a scope: tds 210\n", "TDS!", false},
                                           MatchCase{"ExactAfterCrLf", "TDS\r\n", "TDS!", true},
                                           MatchCase{"ExactOtherCase", "tds\n", "TDS!", false},
                                           MatchCase{"ExactLonger", "TDS 3054\n", "TDS!", false},
                                           MatchCase{"EmptyExpected", "whatever\n", "", true},
                                           MatchCase{"NotContained", "TEK/MSO 4104\n", "TDS", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(OpenGpibDevice, ClaimsMatchingListenersInIndexOrderThenReportsNotEnough) {
  SimulatedBus bus(PlainBus({{4, "TEK/TDS 340\n"}, {9, "TEK/TDS 3054\n"}}));
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  InitForOpen(bus);
  std::string query = "ID?", expected = "TDS";

  std::int16_t first = OpenGpibDevice(query, expected);
  ASSERT_NE(first, 0);
  EXPECT_EQ(ListenerDev[1], first);
  EXPECT_EQ(Table(FreeListener, 3), (std::vector<std::int16_t>{1, 0, 9}));
  std::int16_t second = OpenGpibDevice(query, expected);
  ASSERT_NE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(ListenerDev[2], second);
  EXPECT_EQ(Table(FreeListener, 3), (std::vector<std::int16_t>{0, 0, 0}));
  EXPECT_EQ(bus.Calls("ibdev"), 2u);
  EXPECT_EQ(bus.Written(), (std::vector<std::string>{"ID?", "ID?"}));
  EXPECT_TRUE(boxes.shown.empty());

  std::int16_t timeout = 0;
  VBIB32::ibask(first, VBIB32::IbaTMO, timeout);
  EXPECT_EQ(timeout, VBIB32::T3s);
  EXPECT_EQ(GpibQuery(first, "ID?"), "TEK/TDS 340");
  EXPECT_EQ(GpibQuery(second, "ID?"), "TEK/TDS 3054");

  bus.trace.clear();
  EXPECT_THROW(OpenGpibDevice(query, expected), ProgramEnded);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
            "Can't find more than 2 device(s).\n\nCorrect problem and restart.");
  EXPECT_EQ(boxes.shown[0].style, 16);
  EXPECT_EQ(boxes.shown[0].title.toStdString(), "Not enough devices on the bus");
  EXPECT_TRUE(bus.Written().empty());
}

TEST(OpenGpibDevice, BusWithBoardAloneHasNoDeviceToOpen) {
  SimulatedBus bus(Bus({}));
  FakeMessBoxes boxes;
  EndProgramCatcher catcher;
  InitForOpen(bus);
  EXPECT_EQ(ListenerAddr[0], 0);
  EXPECT_EQ(FreeListener[0], 0);

  std::string query = "ID?", expected = "!TDS";
  EXPECT_EQ(OpenGpibDevice(query, expected), 0);
  EXPECT_TRUE(boxes.shown.empty());

  expected = "TDS";
  EXPECT_THROW(OpenGpibDevice(query, expected), ProgramEnded);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
            "Can't find more than 0 device(s).\n\nCorrect problem and restart.");
}

TEST(OpenGpibDevice, FailedSearchListsRepliesNewestFirstAndKeepsItsDescriptor) {
  SimulatedBus bus(PlainBus({{4, "R1\n"}, {9, "R2\n"}}));
  FakeMessBoxes boxes;
  InitForOpen(bus);
  std::string query = "ID?!", expected = "TDS";

  EXPECT_EQ(OpenGpibDevice(query, expected), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
            "ID Query: ID?\n\nExpected Response: TDS\n\nReceived Response(s):\nR2\nR1"
            "\n\nCorrect the problem and retry. Program will continue.");
  EXPECT_EQ(SpareDevHeld, -1);
  const std::int16_t held = SpareDev;

  query = "ID?";
  expected = "r2";
  EXPECT_EQ(OpenGpibDevice(query, expected), held);
  EXPECT_EQ(bus.Calls("ibdev"), 1u);
  EXPECT_EQ(ListenerDev[2], held);
  EXPECT_EQ(SpareDevHeld, 0);
}

// A NUL would cut the box's text short and ESC or BS would vanish from it.
TEST(OpenGpibDevice, ControlBytesOfARejectedReplyShowAsStandIns) {
  SimulatedBus bus(PlainBus({{4, std::string("A\0B\x1b"
                                             "C\bD\x7f\n",
                                             9)}}));
  FakeMessBoxes boxes;
  InitForOpen(bus);
  std::string query = "ID?!", expected = "TDS";

  EXPECT_EQ(OpenGpibDevice(query, expected), 0);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt,
            QStringLiteral("ID Query: ID?\n\nExpected Response: TDS\n\nReceived Response(s):\n"
                           "A\u2400B\u241bC\u2408D\u2421\n\nCorrect the problem and retry. "
                           "Program will continue."));
}

TEST(OpenGpibDevice, EmptyQueryTakesTheFirstListenerWithoutIdentifying) {
  SimulatedBus bus(Bus({Plain(4), Plain(9)}));
  FakeMessBoxes boxes;
  InitForOpen(bus);
  std::string query, expected = "!TDS";

  const std::int16_t handle = OpenGpibDevice(query, expected);
  ASSERT_NE(handle, 0);
  EXPECT_EQ(expected, "!TDS");
  EXPECT_EQ(ListenerDev[1], handle);
  EXPECT_EQ(Table(FreeListener, 3), (std::vector<std::int16_t>{2, 4, 9}));
  EXPECT_TRUE(bus.Written().empty());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(bus.Entries(),
            (std::vector<std::string>{"ibdev pad=1", "ibpad pad=4", "ibrsp pad=4", "ibpad pad=9",
                                      "ibrsp pad=9", "ibpad pad=4", "ibtmo pad=4"}));
}

} // namespace
