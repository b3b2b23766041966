#include "ui/MessBoxStyle.h"

#include "ui/Module1.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {

bool BitOf(std::int16_t value, int j) {
  // Past the 16 bits of the word every place repeats its sign, as a wider integer would.
  return j < 31 ? ((static_cast<std::int32_t>(value) >> j) & 1) != 0 : value < 0;
}

// 2^bits - 1 < value, for any bit count.
bool NeedsMoreBits(std::int16_t bits, std::int16_t value) {
  if (bits < 0)
    return value >= 0; // 2^bits - 1 lies between -1 and 0
  if (bits >= 31)
    return false;
  return (std::int64_t{1} << bits) - 1 < value;
}

struct ButtonSetRow {
  const char *captions[MessBoxButtonCount]; // Button 0 (rightmost) first
  int minLabelWidth;
};

constexpr ButtonSetRow ButtonSets[] = {
    {{"OK", "", ""}, 1115},          {{"Cancel", "OK", ""}, 2315}, {{"Ignore", "Retry", "Abort"}, 3515},
    {{"Cancel", "No", "Yes"}, 3515}, {{"No", "Yes", ""}, 2315},    {{"Cancel", "Retry", ""}, 2315},
};

const ButtonSetRow &RowFor(int buttonSet) {
  constexpr int count = static_cast<int>(sizeof ButtonSets / sizeof ButtonSets[0]);
  return buttonSet >= 0 && buttonSet < count ? ButtonSets[buttonSet] : ButtonSets[0];
}

} // namespace

QString DecToBin(std::int16_t DeciValue, std::int16_t &NoOfBits) {
  while (NeedsMoreBits(NoOfBits, DeciValue) && NoOfBits < std::numeric_limits<std::int16_t>::max())
    ++NoOfBits;
  // Filled from the right in place: prepending digit by digit costs the square of the count.
  QString result(std::max<int>(NoOfBits, 0), QLatin1Char('0'));
  for (int j = 0; j < NoOfBits; ++j)
    if (BitOf(DeciValue, j))
      result[NoOfBits - 1 - j] = QLatin1Char('1');
  return result;
}

QString BinToDec(const QString &Bin) {
  QString digits = Bin;
  digits.remove(QLatin1Char(' '));
  // Kept wider than the box needs (it passes four characters), so a long string gives its
  // true value instead of overflowing; beyond 64 bits the sum stops at the largest value.
  std::int64_t sum = 0;
  const int count = digits.size();
  for (int i = count - 1; i >= 0; --i) {
    const QChar c = digits.at(i);
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
      continue;
    const int value = c.unicode() - '0';
    const int place = count - 1 - i;
    std::int64_t term = 0;
    if (value != 0 &&
        (place >= 62 || __builtin_mul_overflow(std::int64_t{value}, std::int64_t{1} << place, &term))) {
      sum = std::numeric_limits<std::int64_t>::max();
      break;
    }
    if (__builtin_add_overflow(sum, term, &sum)) {
      sum = std::numeric_limits<std::int64_t>::max();
      break;
    }
  }
  return QString::number(sum);
}

MessBoxStyle DecodeStyle(std::int16_t style) {
  MessBoxStyle decoded;
  if (style < 16) {
    decoded.buttonSet = style;
    return decoded;
  }
  std::int16_t bits = 1;
  const QString digits = (QStringLiteral("0000000") + DecToBin(style, bits)).right(12);
  decoded.defaultButton = static_cast<std::int16_t>(BinToDec(digits.mid(0, 4)).toInt());
  decoded.icon = static_cast<std::int16_t>(BinToDec(digits.mid(4, 4)).toInt());
  decoded.buttonSet = static_cast<std::int16_t>(BinToDec(digits.mid(8, 4)).toInt());
  return decoded;
}

std::array<QString, MessBoxButtonCount> ButtonCaptions(int buttonSet) {
  const ButtonSetRow &row = RowFor(buttonSet);
  std::array<QString, MessBoxButtonCount> captions;
  for (int i = 0; i < MessBoxButtonCount; ++i)
    captions[i] = QString::fromLatin1(row.captions[i]);
  return captions;
}

int MinLabelWidth(int buttonSet) { return RowFor(buttonSet).minLabelWidth; }

QString IconTag(int icon) {
  switch (icon) {
  case 1:
    return QStringLiteral("  <Critical>");
  case 2:
    return QStringLiteral("  < ? >");
  case 3:
    return QStringLiteral("  < ! >");
  case 4:
    return QStringLiteral("  <Info>");
  default:
    return QString();
  }
}

std::int16_t ButtonCodeForCaption(const QString &caption) {
  static const struct {
    const char *caption;
    std::int16_t code;
  } codes[] = {
      {"OK", Module1::IdOk},       {"Cancel", Module1::IdCancel}, {"Abort", Module1::IdAbort},
      {"Retry", Module1::IdRetry}, {"Ignore", Module1::IdIgnore}, {"Yes", Module1::IdYes},
      {"No", Module1::IdNo},
  };
  for (const auto &entry : codes)
    if (caption == QLatin1String(entry.caption))
      return entry.code;
  return 0;
}
