#pragma once

#include "gpib/GpibDriverApi.h"

// The driver entries of the simulated bus, shared by the in-process table and the C shim.
// Each one serialises on the bus, leaves the calling thread's status and traces the call.
namespace gpibsim::driver {

#define GPIBSIM_DECLARE_ENTRY(ret, name, params, args) ret name params;
GPIB_DRIVER_CALLS(GPIBSIM_DECLARE_ENTRY)
GPIB_DRIVER_STATUS(GPIBSIM_DECLARE_ENTRY)
#undef GPIBSIM_DECLARE_ENTRY

} // namespace gpibsim::driver
