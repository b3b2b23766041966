// The bus and trace named by the environment: what the drop-in library and the simulated
// adapter both serve.
#include "sim/SimBus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace gpibsim {
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
  // Binary: one line feed per line on every platform.
  traceFile.file = std::fopen(path, "ab");
  if (!traceFile.file) {
    std::fprintf(stderr, "gpibsim: cannot open the trace file %s: %s\n", path, std::strerror(errno));
    return;
  }
  // Flushed line by line: a process that ends with _Exit keeps every line.
  SetTraceSink([](const std::string &line) {
    std::fputs(line.c_str(), traceFile.file);
    std::fputc('\n', traceFile.file);
    std::fflush(traceFile.file);
  });
}

} // namespace

void ConfigureFromEnvironment() {
  const char *bus = std::getenv("GPIBSIM_BUS");
  std::string error;
  if (!bus || !*bus)
    Configure(DefaultBus());
  else if (!ConfigureFromFile(bus, error))
    std::fprintf(stderr, "gpibsim: %s (the bus has no listeners)\n", error.c_str());
  const char *trace = std::getenv("GPIBSIM_TRACE");
  if (trace && *trace)
    OpenTrace(trace);
}

} // namespace gpibsim
