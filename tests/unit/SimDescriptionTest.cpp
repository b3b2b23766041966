#include "sim/GpibCodes.h"
#include "sim/SimBus.h"
#include "support/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace gpibsim;

namespace {

std::string ParseError(const std::string &json) {
  BusDescription description;
  std::string error;
  EXPECT_FALSE(ParseBusDescription(json, "bus.json", description, error)) << json.substr(0, 80);
  return error;
}

std::string Nested(int levels) { return std::string(levels, '[') + std::string(levels, ']'); }

// Reads the file on a thread of its own, so that a read without end fails the test instead
// of hanging it. Nothing when it took longer than the limit.
std::optional<std::pair<bool, std::string>> ConfigureWithin(const std::string &path,
                                                            std::chrono::seconds limit) {
  auto result = std::make_shared<std::promise<std::pair<bool, std::string>>>();
  std::future<std::pair<bool, std::string>> done = result->get_future();
  std::thread([path, result] {
    std::string error;
    const bool ok = ConfigureFromFile(path, error);
    result->set_value({ok, error});
  }).detach();
  if (done.wait_for(limit) != std::future_status::ready)
    return std::nullopt;
  return done.get();
}

TEST(SimDescription, KeysReachTheListeners) {
  BusDescription bus;
  std::string error;
  ASSERT_TRUE(ParseBusDescription(R"({"findlstn_error": 20, "timeouts_take_ms": 5, "listeners": [
      {"address": 30, "kind": "plain", "id": "X", "password": "P", "log": ["a"], "errlog_items": 3,
       "end_item": "0", "replies": {"A?": "b"},
       "faults": [{"command": "A?", "fault": "write_error"}, {"command": "B?", "nth": 2, "fault": "reply", "raw": "r"}]},
      {"address": 1}]})",
                                  "bus.json", bus, error))
      << error;
  EXPECT_EQ(bus.findlstnError, 20);
  EXPECT_EQ(bus.timeoutsTakeMs, 5);
  ASSERT_EQ(bus.listeners.size(), 2u);
  const ListenerDescription &l = bus.listeners[0];
  EXPECT_EQ(l.address, 30);
  EXPECT_EQ(l.kind, "plain");
  EXPECT_EQ(l.id, "X");
  EXPECT_EQ(l.password, "P");
  EXPECT_EQ(l.log, std::vector<std::string>{"a"});
  EXPECT_EQ(l.errlogItems, 3);
  EXPECT_EQ(l.endItem, "0");
  EXPECT_EQ(l.replies.at("A?"), "b");
  ASSERT_EQ(l.faults.size(), 2u);
  EXPECT_EQ(l.faults[0].nth, 0);
  EXPECT_EQ(l.faults[0].iberr, 2);
  EXPECT_EQ(l.faults[1].kind, "reply");
  EXPECT_EQ(l.faults[1].raw, "r");
  // Defaults: a TDS 3054 with the usual password and an empty log.
  const ListenerDescription &d = bus.listeners[1];
  EXPECT_EQ(d.kind, "tds");
  EXPECT_EQ(d.password, "BRAMBLE");
  EXPECT_EQ(d.id, DefaultBus().listeners[0].id);
  EXPECT_TRUE(d.log.empty());
  EXPECT_EQ(d.errlogItems, 1);
  EXPECT_EQ(d.endItem, "");
}

TEST(SimDescription, UnparsableTextNamesFileLineAndColumn) {
  struct Case {
    std::string json;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"{\n  \"listeners\": [,]\n}",
       "bus.json:2:17: syntax error while parsing value - unexpected ','; expected '[', '{', or a literal"},
      {"{\"listeners\": []",
       "bus.json:1:17: syntax error while parsing object - unexpected end of input; expected '}'"},
      {"", "bus.json:1:1: syntax error while parsing value - unexpected end of input; expected '[', "
           "'{', or a literal"},
      // Numbers beyond a double, located at their start.
      {"4e55555", "bus.json:1:1: number overflow parsing '4e55555'"},
      {"{\"listeners\": [\n  {\"address\": -1e999}]}", "bus.json:2:15: number overflow parsing '-1e999'"},
      // Refused before parsing, at the bracket that goes too deep or the byte past the limit.
      {Nested(100000), "bus.json:1:33: arrays and objects nested deeper than 32 levels, the most allowed"},
      {"{\"listeners\": " + Nested(32) + "}",
       "bus.json:1:46: arrays and objects nested deeper than 32 levels, the most allowed"},
      {std::string(4 * 1024 * 1024 + 1, ' '),
       "bus.json:1:4194305: bus description longer than 4 MiB (4194304 bytes), the most allowed"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ParseError(c.json), c.error) << c.json.substr(0, 80);
}

TEST(SimDescription, SchemaErrorsPointAtTheValue) {
  struct Case {
    std::string json;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"[]", "bus.json:1:1: the bus description must be an object, not []"},
      {R"({"listeners": [{"kind": "tds"}]})", R"(bus.json:1:16: listener without "address")"},
      {"{\"listeners\": [\n  {\"address\": 31}]}",
       R"(bus.json:2:15: "address" must be from 1 to 30, not 31)"},
      {R"({"listeners": [{"address": 0}]})", R"(bus.json:1:28: "address" must be from 1 to 30, not 0)"},
      {R"({"listeners": [{"address": "1"}]})", R"(bus.json:1:28: "address" must be an integer, not "1")"},
      {R"({"listeners": [{"address": 1.5}]})", R"(bus.json:1:28: "address" must be an integer, not 1.5)"},
      {R"({"listeners": [{"address": 1, "kind": "scope"}]})",
       R"(bus.json:1:39: "kind" must be "tds" or "plain", not "scope")"},
      {R"({"listeners": [{"address": 1, "adress": 2}]})", R"(bus.json:1:41: unknown key "adress")"},
      {R"({"listeners": [{"address": 1, "log": ["a", 7]}]})",
       "bus.json:1:44: log entries must be strings, not 7"},
      {R"({"listeners": [{"address": 1, "errlog_items": 0}]})",
       R"(bus.json:1:47: "errlog_items" must be from 1 to 1000, not 0)"},
      {R"({"listeners": [{"address": 1, "faults": [{"command": "ID?", "fault": "slow"}]}]})",
       R"(bus.json:1:70: "fault" must be "timeout", "write_error", "no_end", "reply", "disconnect" or "unplug", not "slow")"},
      {R"({"listeners": [{"address": 1, "faults": [{"fault": "timeout"}]}]})",
       R"(bus.json:1:42: fault without "command")"},
      {R"({"listeners": [{"address": 1, "replies": {"A?": 5}}]})",
       R"(bus.json:1:49: "A?" must be a string, not 5)"},
      {R"({"listeners": [{"address": 2}, {"address": 2}]})",
       "bus.json:1:44: address 2 belongs to an earlier listener already"},
      {R"({"listeners": {}})", R"(bus.json:1:15: "listeners" must be an array, not {})"},
      // Text from the description stays escaped, so the message stays one line. A key written
      // with an escape is located at its object.
      {R"({"listeners": [{"address": 1, "a\nb": 2}]})", R"(bus.json:1:16: unknown key "a\nb")"},
      {R"({"listeners": [{"address": 1, "kind": "tds\r\n"}]})",
       R"(bus.json:1:39: "kind" must be "tds" or "plain", not "tds\r\n")"},
      {R"({"listeners": [{"address": 1, "faults": [{"command": "ID?", "fault": "a\"b"}]}]})",
       R"(bus.json:1:70: "fault" must be "timeout", "write_error", "no_end", "reply", "disconnect" or "unplug", not "a\"b")"},
      {R"({"listeners": [{"address": 1, "replies": {"A?\n": 5}}]})",
       R"(bus.json:1:42: "A?\n" must be a string, not 5)"},
      // At the limits the description is read as usual; brackets in strings do not nest.
      {"{\"listeners\": " + Nested(31) + "}",
       "bus.json:1:16: a listener must be an object, not " + std::string(30, '[') + "]]]]]]]..."},
      {"[]" + std::string(4 * 1024 * 1024 - 2, ' '),
       "bus.json:1:1: the bus description must be an object, not []"},
      {R"({"id": "\")" + std::string(40, '[') + R"("})", R"(bus.json:1:8: unknown key "id")"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ParseError(c.json), c.error) << c.json.substr(0, 80);
}

TEST(SimDescription, UnusableFileLeavesTheBusWithoutListeners) {
  struct Case {
    std::string path;
    std::string errorStart;
  };
  const std::vector<Case> cases = {
      {SimDataFile("malformed.json"),
       SimDataFile("malformed.json") + ":3:56: syntax error while parsing array"},
      {SimDataFile("no-such-file.json"),
       SimDataFile("no-such-file.json") + ": cannot read the bus description: No such file or directory"},
      // A folder is told as one on every system, before it is opened.
      {SimDataFile(""), SimDataFile("") + ": cannot read the bus description: Is a directory"},
#ifndef _WIN32
      // A device or FIFO is never opened: it may never end, or never begin.
      {"/dev/zero", "/dev/zero: cannot read the bus description: not a regular file"},
#endif
  };
  for (const Case &c : cases) {
    Configure(DefaultBus());
    const auto result = ConfigureWithin(c.path, std::chrono::seconds(30));
    ASSERT_TRUE(result) << c.path << " is still being read";
    const auto &[configured, error] = *result;
    EXPECT_FALSE(configured);
    EXPECT_EQ(error.rfind(c.errorStart, 0), 0u) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);

    const Addr4882_t pads[] = {0, 1, NOADDR};
    Addr4882_t found[15] = {};
    InProcessDriver().FindLstn(0, pads, found, 15);
    EXPECT_EQ(InProcessDriver().ThreadIbsta() & ERR, ERR);
    EXPECT_EQ(InProcessDriver().ThreadIberr(), EBUS);
  }
}

} // namespace
