#pragma once

#include "app/ScopeIdentity.h"

#include <cstdint>
#include <functional>
#include <string>

namespace skeld {

// The most entries one reading takes: a scope whose log pointer wraps, or that answers every
// query with a new entry, would otherwise be read for ever.
constexpr int DefaultMaxLogEntries = 10000;
// For every later reading, in the window and without one; returns the previous limit.
int SetMaxLogEntries(int limit);

// What the program says to a TDS scope and how it takes the answers: identification,
// unlocking the error log, reading it entry by entry, clearing it. Failures are reported by
// the connection module as they happen; the caller shows what comes back.
class TdsConversation {
public:
  // handle is the scope's descriptor, kept by the caller (the connection may change it).
  explicit TdsConversation(std::int16_t &handle) : handle_(handle) {}

  ScopeIdentity Identify();
  // Replies without command headers from now on, and the protected log commands unlocked.
  void Unlock();
  // Reads the log from its start; onEntry gets each entry as it arrives, byte for byte.
  // Returns how many entries came. A log that does not end within the limit, or a damaged
  // reply, ends the reading with its report; what came before stays read.
  int ReadLog(std::int16_t zeroEndsLog, const std::function<void(const std::string &)> &onEntry);
  void Clear();

private:
  std::int16_t &handle_;
};

} // namespace skeld
