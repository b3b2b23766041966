#pragma once

#include "platform/Download.h"

#include <string>

namespace skeld {

// One transfer of url into the file at path under the limits, on the calling thread. Built
// from libcurl or from Qt Network; Download.cpp puts it on a thread of its own.
bool TransferToFile(const std::string &url, const std::string &path, const DownloadLimits &limits);

} // namespace skeld
