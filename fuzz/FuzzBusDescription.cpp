#include "FuzzCheck.h"
#include "sim/SimBus.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const std::string source = "bus.json";
  gpibsim::BusDescription bus;
  std::string error;
  if (!gpibsim::ParseBusDescription(text, source, bus, error)) {
    // One line: the file, then line and column, then what is wrong.
    FUZZ_CHECK(error.compare(0, source.size() + 1, source + ":") == 0);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    const std::size_t lineEnd = error.find(':', source.size() + 1);
    FUZZ_CHECK(lineEnd != std::string::npos && lineEnd > source.size() + 1);
    FUZZ_CHECK(std::stoi(error.substr(source.size() + 1)) >= 1);
    FUZZ_CHECK(std::stoi(error.substr(lineEnd + 1)) >= 1);
    return 0;
  }
  FUZZ_CHECK(bus.timeoutsTakeMs >= 0 && bus.timeoutsTakeMs <= 60000);
  std::set<int> used;
  for (const gpibsim::ListenerDescription &l : bus.listeners) {
    FUZZ_CHECK(l.address >= 1 && l.address <= 30);
    FUZZ_CHECK(used.insert(l.address).second);
    FUZZ_CHECK(l.kind == "tds" || l.kind == "plain");
    FUZZ_CHECK(l.errlogItems >= 1 && l.errlogItems <= 1000);
    FUZZ_CHECK(l.timeoutsTakeMs >= -1 && l.timeoutsTakeMs <= 60000);
    for (const gpibsim::Fault &f : l.faults) {
      FUZZ_CHECK(f.kind == "timeout" || f.kind == "write_error" || f.kind == "no_end" || f.kind == "reply");
      FUZZ_CHECK(f.nth >= 0 && f.nth <= 1000000);
      FUZZ_CHECK(f.iberr >= 0 && f.iberr <= 32767);
    }
  }
  return 0;
}
