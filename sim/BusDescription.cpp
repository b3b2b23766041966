#include "sim/JsonPositions.h"
#include "sim/SimBus.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <type_traits>

namespace gpibsim {
namespace {

using nlohmann::json;

// A description that parsed as JSON but does not describe a bus: where, and what.
struct Problem {
  std::string pointer;
  std::string message;
};

[[noreturn]] void Fail(const std::string &pointer, const std::string &message) {
  throw Problem{pointer, message};
}

std::string Shown(const json &value) {
  std::string text = value.dump();
  if (text.size() > 40)
    text = text.substr(0, 37) + "...";
  return text;
}

// Text from the description, quoted and escaped as JSON so that a key or value holding a
// line end or a quote keeps the message on one line.
std::string Quoted(const std::string &text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

void OnlyKeys(const json &object, const std::string &pointer, std::initializer_list<const char *> keys) {
  for (const auto &item : object.items()) {
    bool known = false;
    for (const char *key : keys)
      known = known || item.key() == key;
    if (!known)
      Fail(pointer + "/" + item.key(), "unknown key " + Quoted(item.key()));
  }
}

int Integer(const json &object, const std::string &pointer, const char *key, long min, long max,
            int fallback) {
  const auto it = object.find(key);
  if (it == object.end())
    return fallback;
  const std::string where = pointer + "/" + key;
  if (!it->is_number_integer())
    Fail(where, "\"" + std::string(key) + "\" must be an integer, not " + Shown(*it));
  const long long value =
      it->is_number_unsigned()
          ? static_cast<long long>(std::min<unsigned long long>(it->get<unsigned long long>(), LLONG_MAX))
          : it->get<long long>();
  if (value < min || value > max)
    Fail(where, "\"" + std::string(key) + "\" must be from " + std::to_string(min) + " to " +
                    std::to_string(max) + ", not " + Shown(*it));
  return static_cast<int>(value);
}

std::string Text(const json &object, const std::string &pointer, const char *key,
                 const std::string &fallback) {
  const auto it = object.find(key);
  if (it == object.end())
    return fallback;
  if (!it->is_string())
    Fail(pointer + "/" + key, Quoted(key) + " must be a string, not " + Shown(*it));
  return it->get<std::string>();
}

const json &Array(const json &object, const std::string &pointer, const char *key) {
  static const json empty = json::array();
  const auto it = object.find(key);
  if (it == object.end())
    return empty;
  if (!it->is_array())
    Fail(pointer + "/" + key, "\"" + std::string(key) + "\" must be an array, not " + Shown(*it));
  return *it;
}

void ExpectObject(const json &value, const std::string &pointer, const char *what) {
  if (!value.is_object())
    Fail(pointer, std::string(what) + " must be an object, not " + Shown(value));
}

Fault ReadFault(const json &j, const std::string &pointer) {
  ExpectObject(j, pointer, "a fault");
  OnlyKeys(j, pointer, {"command", "nth", "fault", "iberr", "raw"});
  Fault f;
  if (!j.contains("command"))
    Fail(pointer, "fault without \"command\"");
  if (!j.contains("fault"))
    Fail(pointer, "fault without \"fault\"");
  f.command = Text(j, pointer, "command", "");
  f.nth = Integer(j, pointer, "nth", 0, 1000000, 0);
  f.kind = Text(j, pointer, "fault", "");
  if (f.kind != "timeout" && f.kind != "write_error" && f.kind != "no_end" && f.kind != "reply" &&
      f.kind != "disconnect" && f.kind != "unplug")
    Fail(pointer + "/fault", "\"fault\" must be \"timeout\", \"write_error\", \"no_end\", \"reply\", "
                             "\"disconnect\" or \"unplug\", not " +
                                 Quoted(f.kind));
  f.iberr = Integer(j, pointer, "iberr", 0, 32767, 2);
  f.raw = Text(j, pointer, "raw", "");
  return f;
}

ListenerDescription ReadListener(const json &j, const std::string &pointer) {
  ExpectObject(j, pointer, "a listener");
  OnlyKeys(j, pointer,
           {"address", "kind", "id", "password", "log", "errlog_items", "end_item", "replies", "faults",
            "timeouts_take_ms"});
  ListenerDescription l;
  if (!j.contains("address"))
    Fail(pointer, "listener without \"address\"");
  l.address = Integer(j, pointer, "address", 1, 30, 0);
  l.kind = Text(j, pointer, "kind", l.kind);
  if (l.kind != "tds" && l.kind != "plain")
    Fail(pointer + "/kind", "\"kind\" must be \"tds\" or \"plain\", not " + Quoted(l.kind));
  l.id = Text(j, pointer, "id", l.id);
  l.password = Text(j, pointer, "password", l.password);
  const json &log = Array(j, pointer, "log");
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (!log[i].is_string())
      Fail(pointer + "/log/" + std::to_string(i), "log entries must be strings, not " + Shown(log[i]));
    l.log.push_back(log[i].get<std::string>());
  }
  l.errlogItems = Integer(j, pointer, "errlog_items", 1, 1000, 1);
  l.endItem = Text(j, pointer, "end_item", l.endItem);
  l.timeoutsTakeMs = Integer(j, pointer, "timeouts_take_ms", 0, 60000, -1);
  if (j.contains("replies")) {
    const json &replies = j.at("replies");
    ExpectObject(replies, pointer + "/replies", "\"replies\"");
    for (const auto &item : replies.items())
      l.replies[item.key()] = Text(replies, pointer + "/replies", item.key().c_str(), "");
  }
  const json &faults = Array(j, pointer, "faults");
  for (std::size_t i = 0; i < faults.size(); ++i)
    l.faults.push_back(ReadFault(faults[i], pointer + "/faults/" + std::to_string(i)));
  return l;
}

BusDescription ReadBus(const json &j) {
  ExpectObject(j, "", "the bus description");
  OnlyKeys(j, "", {"findlstn_error", "timeouts_take_ms", "listeners"});
  BusDescription bus;
  bus.findlstnError = Integer(j, "", "findlstn_error", -32768, 32767, 0);
  bus.timeoutsTakeMs = Integer(j, "", "timeouts_take_ms", 0, 60000, 0);
  const json &listeners = Array(j, "", "listeners");
  std::set<int> used;
  for (std::size_t i = 0; i < listeners.size(); ++i) {
    const std::string pointer = "/listeners/" + std::to_string(i);
    bus.listeners.push_back(ReadListener(listeners[i], pointer));
    if (!used.insert(bus.listeners.back().address).second)
      Fail(pointer + "/address", "address " + std::to_string(bus.listeners.back().address) +
                                     " belongs to an earlier listener already");
  }
  return bus;
}

std::string Located(const std::string &sourceName, const std::string &text, std::size_t offset,
                    const std::string &message) {
  const TextPosition p = PositionOf(text, offset);
  return sourceName + ":" + std::to_string(p.line) + ":" + std::to_string(p.column) + ": " + message;
}

// nlohmann's message without its own prefix and position.
std::string ParserMessage(const std::string &what) {
  const std::size_t column = what.find("column ");
  const std::size_t colon = column == std::string::npos ? what.find("] ") : what.find(": ", column);
  return colon == std::string::npos ? what : what.substr(colon + 2);
}

// nlohmann's own tree builder, made to keep where parsing stopped: a number too large for a
// double is otherwise thrown as an exception that carries no position.
class TreeBuilder : public nlohmann::detail::json_sax_dom_parser<json> {
public:
  explicit TreeBuilder(json &root) : json_sax_dom_parser(root, false) {}

  // Hides the base's; sax_parse calls it on this type. The position is one past the
  // character a syntax error was found at, and just past a number that overflowed.
  template <class Exception>
  bool parse_error(std::size_t position, const std::string &lastToken, const Exception &e) {
    offset = std::is_same_v<Exception, json::out_of_range> ? position - std::min(position, lastToken.size())
                                                           : (position > 0 ? position - 1 : 0);
    message = ParserMessage(e.what());
    return false;
  }

  std::size_t offset = 0;
  std::string message;
};

} // namespace

BusDescription DefaultBus() {
  ListenerDescription scope;
  scope.address = 1;
  scope.log = {
      "2024-03-11 08:14:31 E2140 CH2 input protection relay tripped",
      "2024-03-11 08:15:02 E0512 Acquisition timeout, record length 10000",
      "2024-05-02 13:47:55 E3301 Fan speed below limit",
      "2024-05-27 09:02:10 E1107 Self-cal: CH3 offset DAC out of range",
      "2024-06-18 16:21:44 E0410 Front panel key stuck: RUN/STOP",
  };
  BusDescription bus;
  bus.listeners.push_back(scope);
  return bus;
}

bool ParseBusDescription(const std::string &text, const std::string &sourceName, BusDescription &out,
                         std::string &error) {
  if (text.size() > MaxDescriptionBytes) {
    error = Located(sourceName, text, MaxDescriptionBytes,
                    "bus description longer than " + std::to_string(MaxDescriptionBytes >> 20) + " MiB (" +
                        std::to_string(MaxDescriptionBytes) + " bytes), the most allowed");
    return false;
  }
  // Checked ahead of parsing: printing a deeper value in an error message recurses level by level.
  const std::size_t tooDeep = OffsetPastDepth(text, MaxDescriptionDepth);
  if (tooDeep != std::string::npos) {
    error = Located(sourceName, text, tooDeep,
                    "arrays and objects nested deeper than " + std::to_string(MaxDescriptionDepth) +
                        " levels, the most allowed");
    return false;
  }
  json document;
  TreeBuilder builder(document);
  if (!json::sax_parse(text, &builder)) {
    error = Located(sourceName, text, builder.offset, builder.message);
    return false;
  }
  try {
    out = ReadBus(document);
  } catch (const Problem &problem) {
    error = Located(sourceName, text, OffsetOfPath(text, problem.pointer), problem.message);
    return false;
  }
  return true;
}

bool ConfigureFromFile(const std::string &path, std::string &error) {
  // Opening a FIFO would wait for a writer for ever, before any window or message.
  std::error_code status;
  if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status)) {
    error = path + ": cannot read the bus description: " +
            (std::filesystem::is_directory(path, status) ? std::strerror(EISDIR) : "not a regular file");
    ConfigureBroken();
    return false;
  }
  std::string text;
  std::FILE *file = std::fopen(path.c_str(), "rb");
  int reason = file ? 0 : errno;
  if (file) {
    // One byte past the limit is enough to refuse an endless or huge file.
    char buffer[4096];
    while (text.size() <= MaxDescriptionBytes) {
      const std::size_t n =
          std::fread(buffer, 1, std::min(sizeof buffer, MaxDescriptionBytes + 1 - text.size()), file);
      if (n == 0)
        break;
      text.append(buffer, n);
    }
    if (std::ferror(file))
      reason = errno ? errno : EIO;
    std::fclose(file);
  }
  if (reason != 0) {
    error = path + ": cannot read the bus description: " + std::strerror(reason);
    ConfigureBroken();
    return false;
  }
  BusDescription description;
  if (!ParseBusDescription(text, path, description, error)) {
    ConfigureBroken();
    return false;
  }
  Configure(description);
  return true;
}

} // namespace gpibsim
