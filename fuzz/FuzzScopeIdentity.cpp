#include "FuzzCheck.h"
#include "app/ScopeIdentity.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char *>(data), size);
  const skeld::ScopeIdentity id = skeld::IdentifyScope(reply);
  FUZZ_CHECK(reply.find(id.model) != std::string::npos);
  FUZZ_CHECK(reply.find("TDS") == std::string::npos || id.model.compare(0, 3, "TDS") == 0);
  FUZZ_CHECK(reply.find("TDS") == std::string::npos || id.model.find(',') == std::string::npos);
  FUZZ_CHECK(id.zeroEndsLog == 0 || id.zeroEndsLog == 1);
  FUZZ_CHECK(id.zeroEndsLog == 0 || (id.modelNumber >= 310 && id.modelNumber <= 380));
  if (id.support != skeld::ScopeSupport::NotSupported)
    FUZZ_CHECK(id.modelNumber == skeld::ModelNumber(id.model) && id.modelNumber >= 210);
  if (id.support == skeld::ScopeSupport::FirmwareRefused)
    FUZZ_CHECK(id.modelNumber >= 3012 && id.modelNumber <= 3064 &&
               reply.find("FV:v3.41") != std::string::npos);
  // Four characters hold at most four digits.
  const int number = skeld::ModelNumber(reply);
  FUZZ_CHECK(number >= -999 && number <= 9999);
  return 0;
}
