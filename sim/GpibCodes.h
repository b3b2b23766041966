#pragma once

#include "gpib/GpibCodes.h"

// The simulated driver reports the codes every such driver does.
namespace gpibsim {
using namespace gpibcodes;
constexpr int MaxTimeoutCode = T1000s;
} // namespace gpibsim
