#pragma once

#include "support/SimulatedBus.h"

#include <string>
#include <vector>

// Bus descriptions with one TDS scope, for tests of the conversation and the window.
namespace scopebus {

constexpr char Tds3054[] = "TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00";

// A bus with one scope at address 1; more keys of the listener go in extra (",\"key\":...").
inline std::string ScopeBus(const std::string &id, const std::vector<std::string> &log,
                            const std::string &extra = std::string()) {
  std::string json = R"({"listeners":[{"address":1,"id":)" + SimulatedBus::JsonString(id) + R"(,"log":[)";
  for (std::size_t i = 0; i < log.size(); ++i)
    json += (i ? "," : "") + SimulatedBus::JsonString(log[i]);
  return json + "]" + extra + "}]}";
}

// Log entries the way a scope words them: blanks and commas inside are part of the text.
inline std::vector<std::string> Entries(int count) {
  std::vector<std::string> entries;
  for (int i = 1; i <= count; ++i)
    entries.push_back(" Entry " + std::to_string(i) + ", acq fault 0x1" + std::to_string(i) + " ");
  return entries;
}

} // namespace scopebus
