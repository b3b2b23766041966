// The simulated bus as a drop-in driver library: the C entries of an NI-488.2 driver.
// GPIBSIM_BUS names the bus description, GPIBSIM_TRACE a file that gets one line per call.
#include "sim/DriverEntries.h"
#include "sim/SimBus.h"

#include <mutex>

#define GPIBSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void Initialize() {
  static std::once_flag once;
  std::call_once(once, [] { gpibsim::ConfigureFromEnvironment(); });
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
