#pragma once

#include "support/BusDescriptions.h"

#include <string>
#include <vector>

// Bus descriptions with one TDS scope, and the commands the scope is sent, for tests of the
// conversation and the window.
namespace scopebus {

using namespace busdesc;

constexpr char Tds3054[] = "TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00";

// A bus with one scope at address 1; more keys of the scope by chained calls (.Items(3) ...).
inline Listener ScopeBus(const std::string &id, const std::vector<std::string> &log) {
  return Scope(id, log);
}

// Log entries the way a scope words them: blanks and commas inside are part of the text.
inline std::vector<std::string> Entries(int count) {
  std::vector<std::string> entries;
  for (int i = 1; i <= count; ++i)
    entries.push_back(" Entry " + std::to_string(i) + ", acq fault 0x1" + std::to_string(i) + " ");
  return entries;
}

inline std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Reading the log: "ERRLOG?", then nextQueries times "ERRLOG:NEXT?".
inline std::vector<std::string> ReadCommands(int nextQueries) {
  return Concat({"ERRLOG?"}, std::vector<std::string>(static_cast<std::size_t>(nextQueries), "ERRLOG:NEXT?"));
}

// Everything the program writes from start-up to a log of entries read: the search's and
// the identification's "ID?", the unlocking, the reading.
inline std::vector<std::string> StartUpCommands(int entries) {
  return Concat({"ID?", "ID?", "HEAD 0", "PASSWORD BRAMBLE"}, ReadCommands(entries));
}

// A rack: three TDS scopes at 4, 9 and 17, each with a log of its own, and a multimeter at 12
// that answers "ID?" with no TDS in it.
inline gpibsim::BusDescription Rack() {
  const auto scope = [](int address, const char *model, int entries) {
    std::vector<std::string> log;
    for (int i = 1; i <= entries; ++i)
      log.push_back("Scope at " + std::to_string(address) + ", entry " + std::to_string(i));
    return Scope(std::string("TEK/TDS ") + model + ",CF:91.1CT,FV:v3.39", log).At(address);
  };
  return Bus({scope(4, "3012", 2), scope(9, "3054", 3), Plain(12, {{"ID?", "FLUKE,8846A,0,1.0\n"}}),
              scope(17, "3034", 1)});
}

} // namespace scopebus
