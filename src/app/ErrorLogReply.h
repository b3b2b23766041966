#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QString;

// Replies to the scope's error-log queries: double-quoted items, taken literally.
namespace skeld {

// An empty item ends the log; with zeroEndsLog 1 so does an item beginning with "0".
bool IsEndMarker(const std::string &item, std::int16_t zeroEndsLog);

// The entries of a reply to "ERRLOG?", up to its first end marker. Text before the first
// quote is passed over; an item without its closing quote ends the reply like an end marker,
// and sets unclosed when given.
std::vector<std::string> FirstLogItems(const std::string &reply, std::int16_t zeroEndsLog,
                                       bool *unclosed = nullptr);

// The entry of a reply to "ERRLOG:NEXT?", or nothing when the reply ends the log: an end
// marker, no quote at all (the empty reply after a GPIB error) or an unclosed item (which
// sets unclosed when given).
std::optional<std::string> NextLogItem(const std::string &reply, std::int16_t zeroEndsLog,
                                       bool *unclosed = nullptr);

// The line under the list: " 1 logged error found.", " No logged errors found." ...
QString CountLine(int entries);

} // namespace skeld
