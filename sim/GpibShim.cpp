// The simulated bus as a drop-in driver library: the C entries of an NI-488.2 driver.
// GPIBSIM_BUS names the bus description, GPIBSIM_TRACE a file that gets one line per call.
#include "sim/DriverEntries.h"
#include "sim/SimBus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#define GPIBSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct TraceFile {
  std::FILE *file = nullptr;
  ~TraceFile() {
    if (file)
      std::fclose(file);
  }
};

TraceFile traceFile;

void OpenTrace(const char *path) {
  traceFile.file = std::fopen(path, "a");
  if (!traceFile.file) {
    std::fprintf(stderr, "gpibsim: cannot open the trace file %s: %s\n", path, std::strerror(errno));
    return;
  }
  // Flushed line by line: a process that ends with _Exit keeps every line.
  gpibsim::SetTraceSink([](const std::string &line) {
    std::fputs(line.c_str(), traceFile.file);
    std::fputc('\n', traceFile.file);
    std::fflush(traceFile.file);
  });
}

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char *bus = std::getenv("GPIBSIM_BUS");
    std::string error;
    if (!bus || !*bus)
      gpibsim::Configure(gpibsim::DefaultBus());
    else if (!gpibsim::ConfigureFromFile(bus, error))
      std::fprintf(stderr, "gpibsim: %s (the bus has no listeners)\n", error.c_str());
    const char *trace = std::getenv("GPIBSIM_TRACE");
    if (trace && *trace)
      OpenTrace(trace);
  });
}

} // namespace

namespace driver = gpibsim::driver;

// Every entry makes sure the bus is set up, then hands the call on.
#define GPIBSIM_EXPORT_ENTRY(ret, name, params, args)                                                        \
  GPIBSIM_EXPORT ret name params {                                                                           \
    Initialize();                                                                                            \
    return driver::name args;                                                                                \
  }
GPIB_DRIVER_CALLS(GPIBSIM_EXPORT_ENTRY)
GPIB_DRIVER_STATUS(GPIBSIM_EXPORT_ENTRY)
#undef GPIBSIM_EXPORT_ENTRY
