#pragma once

#include "sim/SimBus.h"
#include "sim/TdsScope.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gpibsim {

// One instrument on the bus as the bus sees it: what it does with the bytes written to it,
// the reply waiting in its output queue, and the faults its description injects.
class Listener {
public:
  explicit Listener(const ListenerDescription &description);

  struct WriteResult {
    bool ok = true;
    int iberr = 0;
  };
  WriteResult Write(const std::string &bytes);

  struct ReadResult {
    bool timedOut = false;
    std::string chunk;
    bool end = false;       // the chunk ends the reply
    bool noEnd = false;     // the reply carries ERR instead of END
    bool unplugged = false; // the instrument went away instead of replying (also timedOut)
  };
  ReadResult Read(std::size_t maxBytes);

  // Device clear: drops the reply waiting to be read.
  void Clear();

  std::vector<std::string> StoredLog() const;
  // Cut off by a "disconnect" fault: the line to it is dead.
  bool Gone() const { return gone_; }
  const ListenerDescription &Description() const { return description_; }

private:
  struct Output {
    std::string text;
    std::size_t sent = 0;
    bool noEnd = false;
  };

  const Fault *FaultFor(const std::string &command);

  ListenerDescription description_;
  std::optional<TdsScope> scope_;
  std::map<std::string, int> occurrences_;
  std::optional<Output> output_;
  bool timeoutNext_ = false;
  bool gone_ = false;
  bool unplugNext_ = false;
};

} // namespace gpibsim
