#pragma once

#include "sim/SimBus.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace gpibsim {

// The command set of a TDS scope as far as the viewer uses it: identification, reply
// headers, the password lock and the error log.
class TdsScope {
public:
  explicit TdsScope(const ListenerDescription &description);

  // Acts on one command (terminator already removed); returns the reply it queues, if any.
  std::optional<std::string> Execute(const std::string &command);

  const std::vector<std::string> &Log() const { return log_; }

private:
  std::string Reply(const std::string &header, const std::string &data) const;

  std::string id_;
  std::string password_;
  std::vector<std::string> log_;
  std::size_t errlogItems_;
  std::string endItem_;
  bool head_ = true;
  bool unlocked_ = false;
  std::size_t next_ = 0; // the entry ERRLOG:NEXT? answers
};

} // namespace gpibsim
