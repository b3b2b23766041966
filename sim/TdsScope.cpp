#include "sim/TdsScope.h"

#include <algorithm>
#include <cctype>

namespace gpibsim {
namespace {

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(const std::string &item) { return "\"" + item + "\""; }

} // namespace

TdsScope::TdsScope(const ListenerDescription &description)
    : id_(description.id), password_(description.password), log_(description.log),
      errlogItems_(static_cast<std::size_t>(std::max(description.errlogItems, 1))),
      endItem_(description.endItem) {}

std::string TdsScope::Reply(const std::string &header, const std::string &data) const {
  return (head_ ? header + " " : std::string()) + data + "\n";
}

std::optional<std::string> TdsScope::Execute(const std::string &command) {
  // Keywords are case-insensitive like on the instrument; the password word is not.
  const auto headerEnd = std::find_if(command.begin(), command.end(), IsBlank);
  const std::string keyword = Upper(std::string(command.begin(), headerEnd));
  auto argBegin = std::find_if_not(headerEnd, command.end(), IsBlank);
  auto argEnd = command.end();
  while (argEnd != argBegin && IsBlank(*(argEnd - 1)))
    --argEnd;
  const std::string argument(argBegin, argEnd);

  if (keyword == "ID?")
    return Reply("ID", id_);
  if (keyword == "HEAD") {
    const std::string value = Upper(argument);
    if (value == "0" || value == "OFF")
      head_ = false;
    else if (value == "1" || value == "ON")
      head_ = true;
    return std::nullopt;
  }
  if (keyword == "PASSWORD") {
    if (argument == password_)
      unlocked_ = true;
    return std::nullopt;
  }
  if (!unlocked_)
    return std::nullopt;

  if (keyword == "ERRLOG?") {
    const std::size_t count = std::min(errlogItems_, log_.size());
    std::string items;
    for (std::size_t i = 0; i < count; ++i)
      items += (i ? "," : "") + Quoted(log_[i]);
    if (count < errlogItems_)
      items += (count ? "," : "") + Quoted(endItem_);
    next_ = count;
    return Reply("ERRLOG", items);
  }
  if (keyword == "ERRLOG:NEXT?") {
    const std::string item = next_ < log_.size() ? log_[next_++] : endItem_;
    return Reply("ERRLOG:NEXT", Quoted(item));
  }
  if (keyword == "ERRLOG" && Upper(argument) == "CLEAR") {
    log_.clear();
    next_ = 0;
  }
  return std::nullopt;
}

} // namespace gpibsim
