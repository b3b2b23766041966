#include "app/ScopeIdentity.h"

#include "platform/LeadingNumber.h"

#include <cmath>
#include <string_view>

namespace skeld {

namespace {

struct ModelRange {
  int low;
  int high;
  std::int16_t zeroEndsLog;
  bool firmwareCheck;
};

// Tested in this order, the first range that holds wins: 310..380 lies inside 210..820.
constexpr ModelRange SupportedModels[] = {
    {310, 380, 1, false},   {210, 820, 0, false},  {1002, 1012, 0, false},
    {2002, 2024, 0, false}, {3012, 3064, 0, true},
};

// The one firmware that no longer lets the log be read over GPIB.
constexpr char RefusedFirmware[] = "FV:v3.41";

} // namespace

int ModelNumber(const std::string &model) {
  if (model.size() < 5)
    return 0;
  // Four characters hold no number beyond 16 bits; halves round to even.
  return static_cast<int>(std::nearbyint(LeadingNumber(std::string_view(model).substr(4, 4))));
}

ScopeIdentity IdentifyScope(const std::string &reply) {
  ScopeIdentity id;
  const std::size_t p = reply.find("TDS");
  if (p == std::string::npos) {
    id.model = reply;
    return id;
  }
  const std::size_t k = reply.find(',', p);
  if (k == std::string::npos) {
    id.model = reply.substr(p);
    return id;
  }
  id.model = reply.substr(p, k - p);
  id.modelNumber = ModelNumber(id.model);
  for (const ModelRange &range : SupportedModels) {
    if (id.modelNumber < range.low || id.modelNumber > range.high)
      continue;
    id.zeroEndsLog = range.zeroEndsLog;
    id.support = range.firmwareCheck && reply.find(RefusedFirmware) != std::string::npos
                     ? ScopeSupport::FirmwareRefused
                     : ScopeSupport::Accepted;
    break;
  }
  return id;
}

} // namespace skeld
