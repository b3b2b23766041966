#pragma once

#include "sim/SimBus.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

// Bus descriptions built as values: a listener from one call, more keys by chained calls.
// It converts to a bus holding it alone; Bus() puts several on one bus.
namespace busdesc {

class Listener {
public:
  explicit Listener(gpibsim::ListenerDescription description) : description_(std::move(description)) {}

  Listener &At(int address) { return Set(description_.address, address); }
  Listener &Items(int errlogItems) { return Set(description_.errlogItems, errlogItems); }
  Listener &EndItem(const std::string &item) { return Set(description_.endItem, item); }
  Listener &Faults(std::vector<gpibsim::Fault> faults) { return Set(description_.faults, std::move(faults)); }
  Listener &TimeoutsTakeMs(int ms) { return Set(description_.timeoutsTakeMs, ms); }
  Listener &Replies(std::map<std::string, std::string> replies) {
    return Set(description_.replies, std::move(replies));
  }

  operator gpibsim::ListenerDescription() const { return description_; }
  operator gpibsim::BusDescription() const {
    gpibsim::BusDescription bus;
    bus.listeners.push_back(description_);
    return bus;
  }

private:
  template <typename T, typename V> Listener &Set(T &field, V &&value) {
    field = std::forward<V>(value);
    return *this;
  }

  gpibsim::ListenerDescription description_;
};

// A TDS scope at address 1 identifying itself with id, its error log holding log.
inline Listener Scope(const std::string &id = gpibsim::ListenerDescription().id,
                      std::vector<std::string> log = {}) {
  gpibsim::ListenerDescription scope;
  scope.address = 1;
  scope.id = id;
  scope.log = std::move(log);
  return Listener(scope);
}

// An instrument with fixed replies to whole commands; anything else times out.
inline Listener Plain(int address, std::map<std::string, std::string> replies = {}) {
  gpibsim::ListenerDescription plain;
  plain.address = address;
  plain.kind = "plain";
  plain.replies = std::move(replies);
  return Listener(plain);
}

inline gpibsim::BusDescription Bus(std::vector<gpibsim::ListenerDescription> listeners) {
  gpibsim::BusDescription bus;
  bus.listeners = std::move(listeners);
  return bus;
}

// A bus whose listener search fails with iberr.
inline gpibsim::BusDescription SearchFails(int iberr) {
  gpibsim::BusDescription bus;
  bus.findlstnError = iberr;
  return bus;
}

// Faults strike the nth occurrence of their command, or every one with nth 0.
inline gpibsim::Fault Strikes(const std::string &command, int nth, const std::string &kind) {
  gpibsim::Fault fault;
  fault.command = command;
  fault.nth = nth;
  fault.kind = kind;
  return fault;
}
inline gpibsim::Fault Timeout(const std::string &command, int nth = 0) {
  return Strikes(command, nth, "timeout");
}
inline gpibsim::Fault NoEnd(const std::string &command, int nth = 0) {
  return Strikes(command, nth, "no_end");
}
inline gpibsim::Fault WriteError(const std::string &command, int nth = 0, int iberr = 2) {
  gpibsim::Fault fault = Strikes(command, nth, "write_error");
  fault.iberr = iberr;
  return fault;
}
inline gpibsim::Fault RawReply(const std::string &command, int nth, const std::string &raw) {
  gpibsim::Fault fault = Strikes(command, nth, "reply");
  fault.raw = raw;
  return fault;
}

// text as a JSON string: bytes below 0x20 escaped, every other byte as it is.
inline std::string JsonString(const std::string &text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += "\\u00";
      out += hex[u >> 4];
      out += hex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The description as a bus file holds it, for a simulator running in another process.
inline std::string BusJson(const gpibsim::BusDescription &bus) {
  const auto list = [](const auto &items, const auto &each) {
    std::string out = "[";
    for (const auto &item : items)
      out += (out.size() > 1 ? "," : "") + each(item);
    return out + "]";
  };
  const auto fault = [](const gpibsim::Fault &f) {
    return "{\"command\":" + JsonString(f.command) + ",\"nth\":" + std::to_string(f.nth) +
           ",\"fault\":" + JsonString(f.kind) + ",\"iberr\":" + std::to_string(f.iberr) +
           (f.kind == "reply" ? ",\"raw\":" + JsonString(f.raw) : std::string()) + "}";
  };
  const auto listener = [&](const gpibsim::ListenerDescription &l) {
    std::string replies = "{";
    for (const auto &[command, reply] : l.replies)
      replies += (replies.size() > 1 ? "," : "") + JsonString(command) + ":" + JsonString(reply);
    std::string out = "{\"address\":" + std::to_string(l.address) + ",\"kind\":" + JsonString(l.kind) +
                      ",\"id\":" + JsonString(l.id) + ",\"password\":" + JsonString(l.password) +
                      ",\"log\":" + list(l.log, JsonString) +
                      ",\"errlog_items\":" + std::to_string(l.errlogItems) +
                      ",\"end_item\":" + JsonString(l.endItem) + ",\"replies\":" + replies + "}" +
                      ",\"faults\":" + list(l.faults, fault);
    if (l.timeoutsTakeMs >= 0)
      out += ",\"timeouts_take_ms\":" + std::to_string(l.timeoutsTakeMs);
    return out + "}";
  };
  return "{\"findlstn_error\":" + std::to_string(bus.findlstnError) +
         ",\"timeouts_take_ms\":" + std::to_string(bus.timeoutsTakeMs) +
         ",\"listeners\":" + list(bus.listeners, listener) + "}";
}

} // namespace busdesc
