#include "platform/LeadingNumber.h"

#include <charconv>
#include <limits>
#include <system_error>

namespace skeld {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  const std::size_t from = i;
  bool wholeDigits = false;
  bool nonZero = false;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    wholeDigits = true;
    nonZero = nonZero || text[i] != '0';
  }
  bool fractionDigits = false;
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && IsDigit(text[i]); ++i)
      fractionDigits = true;
  if (!wholeDigits && !fractionDigits)
    return 0.0;

  double value = 0.0;
  const std::from_chars_result result =
      std::from_chars(text.data() + from, text.data() + i, value, std::chars_format::fixed);
  if (result.ec == std::errc::result_out_of_range)
    // Without an exponent only a huge whole part overflows; a long run of zeros after the
    // point is merely too small to tell from nothing.
    value = nonZero ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -value : value;
}

} // namespace skeld
