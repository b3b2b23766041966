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

GPIBSIM_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
  Initialize();
  return driver::ibdev(board, pad, sad, tmo, eot, eos);
}
GPIBSIM_EXPORT int ibwrt(int ud, const void *buf, long cnt) {
  Initialize();
  return driver::ibwrt(ud, buf, cnt);
}
GPIBSIM_EXPORT int ibrd(int ud, void *buf, long cnt) {
  Initialize();
  return driver::ibrd(ud, buf, cnt);
}
GPIBSIM_EXPORT int ibclr(int ud) {
  Initialize();
  return driver::ibclr(ud);
}
GPIBSIM_EXPORT int ibrsp(int ud, char *spr) {
  Initialize();
  return driver::ibrsp(ud, spr);
}
GPIBSIM_EXPORT int ibpad(int ud, int pad) {
  Initialize();
  return driver::ibpad(ud, pad);
}
GPIBSIM_EXPORT int ibtmo(int ud, int tmo) {
  Initialize();
  return driver::ibtmo(ud, tmo);
}
GPIBSIM_EXPORT int ibask(int ud, int option, int *value) {
  Initialize();
  return driver::ibask(ud, option, value);
}
GPIBSIM_EXPORT int ibwait(int ud, int mask) {
  Initialize();
  return driver::ibwait(ud, mask);
}
GPIBSIM_EXPORT int ibsre(int board, int v) {
  Initialize();
  return driver::ibsre(board, v);
}
GPIBSIM_EXPORT void SendIFC(int board) {
  Initialize();
  driver::SendIFC(board);
}
GPIBSIM_EXPORT void FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
  Initialize();
  driver::FindLstn(board, pads, results, limit);
}
GPIBSIM_EXPORT int ThreadIbsta() {
  Initialize();
  return driver::ThreadIbsta();
}
GPIBSIM_EXPORT int ThreadIberr() {
  Initialize();
  return driver::ThreadIberr();
}
GPIBSIM_EXPORT int ThreadIbcnt() {
  Initialize();
  return driver::ThreadIbcnt();
}
GPIBSIM_EXPORT long ThreadIbcntl() {
  Initialize();
  return driver::ThreadIbcntl();
}
