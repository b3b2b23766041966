#pragma once

#include <cstdint>
#include <string>

namespace skeld {

enum class ScopeSupport { Accepted, FirmwareRefused, NotSupported };

struct ScopeIdentity {
  // The model as cut from the reply ("TDS 3054"); for a reply that cannot be cut, the
  // text from "TDS" to the end, or the whole reply when it holds no "TDS".
  std::string model;
  int modelNumber = 0;
  ScopeSupport support = ScopeSupport::NotSupported;
  std::int16_t zeroEndsLog = 0;
};

// Cuts the model out of a reply to "ID?" and decides from its number whether the scope is
// supported, whether its log ends at an item beginning with "0", and whether its firmware
// still lets the log be read over GPIB.
ScopeIdentity IdentifyScope(const std::string &reply);

// The leading number of characters 5 to 8 of a model text: "TDS 3014B" gives 3014,
// "TDS3054" gives 54, no number gives 0.
int ModelNumber(const std::string &model);

} // namespace skeld
