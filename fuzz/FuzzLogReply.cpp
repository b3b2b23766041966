#include "FuzzCheck.h"
#include "app/ErrorLogReply.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char *>(data), size);
  for (const std::int16_t zeroEndsLog : {std::int16_t{0}, std::int16_t{1}}) {
    const std::vector<std::string> items = skeld::FirstLogItems(reply, zeroEndsLog);
    // Each item stands quoted in the reply, after the one before it.
    std::size_t from = 0;
    for (const std::string &item : items) {
      FUZZ_CHECK(item.find('"') == std::string::npos);
      FUZZ_CHECK(!skeld::IsEndMarker(item, zeroEndsLog));
      const std::size_t at = reply.find('"' + item + '"', from);
      FUZZ_CHECK(at != std::string::npos);
      from = at + item.size() + 2;
    }
    // The next-item query reads the same first item the first query does.
    const std::optional<std::string> next = skeld::NextLogItem(reply, zeroEndsLog);
    FUZZ_CHECK(next.has_value() == !items.empty());
    FUZZ_CHECK(!next || *next == items.front());
    FUZZ_CHECK(!skeld::CountLine(static_cast<int>(items.size())).isEmpty());
  }
  return 0;
}
