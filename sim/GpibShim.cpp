// The simulated bus as a drop-in driver library: the C entries of an NI-488.2 driver.
// GPIBSIM_BUS names the bus description, GPIBSIM_TRACE a file that gets one line per call.
#include "sim/DriverEntries.h"
#include "sim/SimBus.h"

#include <mutex>

#ifdef _WIN32
#define GPIBSIM_EXPORT extern "C" __declspec(dllexport)
#else
#define GPIBSIM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace driver = gpibsim::driver;

namespace {

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] { gpibsim::ConfigureFromEnvironment(); });
}

// The status variables a thread registered; the Windows driver fills them after every call.
struct StatusVariables {
  int *sta = nullptr;
  int *err = nullptr;
  int *cnt = nullptr;
  long *cntl = nullptr;
};
thread_local StatusVariables registered;

// Runs when the entry returns, after the call has left its status.
struct PublishStatus {
  PublishStatus() = default;
  PublishStatus(const PublishStatus &) = delete;
  PublishStatus &operator=(const PublishStatus &) = delete;
  ~PublishStatus() {
    if (!registered.sta)
      return;
    *registered.sta = driver::ThreadIbsta();
    *registered.err = driver::ThreadIberr();
    *registered.cnt = driver::ThreadIbcnt();
    *registered.cntl = driver::ThreadIbcntl();
  }
};

} // namespace

// Every entry makes sure the bus is set up, then hands the call on.
#define GPIBSIM_EXPORT_ENTRY(ret, name, params, args)                                                        \
  GPIBSIM_EXPORT ret GPIB_CALL name params {                                                                 \
    Initialize();                                                                                            \
    const PublishStatus publish;                                                                             \
    return driver::name args;                                                                                \
  }
GPIB_DRIVER_CALLS(GPIBSIM_EXPORT_ENTRY)
GPIB_DRIVER_STATUS(GPIBSIM_EXPORT_ENTRY)
#undef GPIBSIM_EXPORT_ENTRY

#ifdef _WIN32
// 0: registered (again, for the same variables); 1: the thread has other variables
// registered, which stay; 2: a variable is missing.
GPIBSIM_EXPORT int GPIB_CALL RegisterGpibGlobalsForThread(int *sta, int *err, int *cnt, long *cntl) {
  if (!sta || !err || !cnt || !cntl)
    return 2;
  if (registered.sta &&
      (registered.sta != sta || registered.err != err || registered.cnt != cnt || registered.cntl != cntl))
    return 1;
  registered = StatusVariables{sta, err, cnt, cntl};
  return 0;
}

GPIBSIM_EXPORT int GPIB_CALL UnregisterGpibGlobalsForThread() {
  registered = StatusVariables{};
  return 0;
}
#endif
