#include "app/ErrorLogReply.h"

#include <QString>

namespace skeld {

namespace {

constexpr char Quote = '"';

// The item whose opening quote is the first one at or after from; nothing when there is
// no opening quote or no closing one after it (which sets unclosed). next is set just after
// the closing quote.
std::optional<std::string> ItemAt(const std::string &reply, std::size_t from, std::size_t &next,
                                  bool *unclosed) {
  if (unclosed)
    *unclosed = false;
  const std::size_t open = reply.find(Quote, from);
  if (open == std::string::npos)
    return std::nullopt;
  const std::size_t close = reply.find(Quote, open + 1);
  if (close == std::string::npos) {
    if (unclosed)
      *unclosed = true;
    return std::nullopt;
  }
  next = close + 1;
  return reply.substr(open + 1, close - open - 1);
}

} // namespace

bool IsEndMarker(const std::string &item, std::int16_t zeroEndsLog) {
  return item.empty() || (zeroEndsLog == 1 && item.front() == '0');
}

std::vector<std::string> FirstLogItems(const std::string &reply, std::int16_t zeroEndsLog, bool *unclosed) {
  std::vector<std::string> items;
  std::size_t pos = 0;
  for (;;) {
    std::optional<std::string> item = ItemAt(reply, pos, pos, unclosed);
    if (!item || IsEndMarker(*item, zeroEndsLog))
      return items;
    items.push_back(std::move(*item));
  }
}

std::optional<std::string> NextLogItem(const std::string &reply, std::int16_t zeroEndsLog, bool *unclosed) {
  std::size_t next = 0;
  std::optional<std::string> item = ItemAt(reply, 0, next, unclosed);
  if (!item || IsEndMarker(*item, zeroEndsLog))
    return std::nullopt;
  return item;
}

QString CountLine(int entries) {
  if (entries <= 0)
    return QStringLiteral(" No logged errors found.");
  return QStringLiteral(" %1 logged %2 found.")
      .arg(entries)
      .arg(entries > 1 ? QStringLiteral("errors") : QStringLiteral("error"));
}

} // namespace skeld
