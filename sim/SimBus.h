#pragma once

#include "gpib/GpibDriverApi.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A simulated GPIB bus: the interface board at address 0 and the instruments of a bus
// description. The same core answers the in-process driver table and libgpib.so.0.
namespace gpibsim {

struct Fault {
  std::string command; // the command whose occurrences are counted
  int nth = 0;         // 1-based occurrence; 0 = every occurrence
  std::string kind;    // "timeout", "write_error", "no_end", "reply", "disconnect" (the line goes dead),
                       // "unplug" (USB: gone before the reply)
  int iberr = 2;       // for "write_error"
  std::string raw;     // for "reply"
};

struct ListenerDescription {
  int address = 0;
  std::string kind = "tds"; // "tds" or "plain"
  std::string id = "TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00";
  std::string password = "BRAMBLE";
  std::vector<std::string> log;
  int errlogItems = 1;
  std::string endItem;
  std::map<std::string, std::string> replies;
  std::vector<Fault> faults;
  int timeoutsTakeMs = -1; // -1: as the bus says
};

struct BusDescription {
  int findlstnError = 0;
  int timeoutsTakeMs = 0;
  std::vector<ListenerDescription> listeners;
};

// The bus a new user meets: one TDS 3054 at address 1 with a short error log.
BusDescription DefaultBus();

// Limits of a description, checked before it is parsed; a file is read no further than one
// byte past the size. A real bus needs a few KiB and five levels of nesting.
constexpr std::size_t MaxDescriptionBytes = 4 * 1024 * 1024;
constexpr int MaxDescriptionDepth = 32;

// Parses a bus description. On failure returns false and sets error to one line naming
// sourceName, the line and column, and what is wrong.
bool ParseBusDescription(const std::string &text, const std::string &sourceName, BusDescription &out,
                         std::string &error);

// Replaces the whole bus (instruments, descriptors, counters) with a fresh one.
void Configure(const BusDescription &description);
// A bus with no listeners whose search fails with EBUS: what a broken description gives.
void ConfigureBroken();
// Configures the bus from a description file. An unreadable or invalid file leaves the bus
// broken and sets error to one line naming the file (with line and column when it parsed
// that far) and what is wrong.
bool ConfigureFromFile(const std::string &path, std::string &error);

// Configures the bus from the file GPIBSIM_BUS names (the default bus without it) and appends
// every driver call to the file GPIBSIM_TRACE names. Problems go to standard error, one line
// each, starting "gpibsim: ".
void ConfigureFromEnvironment();

// Every driver call is passed to the sink as one trace line (no line end). The sink runs
// inside the call and must not call the driver itself.
void SetTraceSink(std::function<void(const std::string &)> sink);

// The driver entries, for use in-process.
const GpibDriverApi &InProcessDriver();

// The stored log of the instrument at address (tests look at what a clear did).
std::vector<std::string> StoredLog(int address);

// The TDS at the lowest address, as described; none on a bus without one.
std::optional<ListenerDescription> FirstScope();

} // namespace gpibsim
