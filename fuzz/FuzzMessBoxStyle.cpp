#include "FuzzCheck.h"
#include "ui/MessBoxStyle.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {

std::int16_t Int16At(const std::uint8_t *data) { return static_cast<std::int16_t>(data[0] | data[1] << 8); }

bool OnlyBinaryDigits(const QString &text) {
  for (const QChar c : text)
    if (c != QLatin1Char('0') && c != QLatin1Char('1'))
      return false;
  return true;
}

} // namespace

// Input: a style word (two bytes, the low one first), a starting bit count (one signed byte:
// enough to pass every width that matters, from below zero to past 64), then text for the
// digit and caption readers.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 3)
    return 0;
  const std::int16_t style = Int16At(data);
  const std::int16_t bitsIn = static_cast<std::int8_t>(data[2]);
  const QString text =
      QString::fromLatin1(reinterpret_cast<const char *>(data + 3), static_cast<qsizetype>(size - 3));

  std::int16_t bits = bitsIn;
  const QString digits = DecToBin(style, bits);
  FUZZ_CHECK(bits >= bitsIn);
  FUZZ_CHECK(digits.size() == (bits > 0 ? bits : 0));
  FUZZ_CHECK(OnlyBinaryDigits(digits));
  if (style >= 0) {
    // As many digits as asked for or as the value needs, whichever is more, and no more.
    FUZZ_CHECK(bits < 0 || bits >= 31 || (std::int64_t{1} << bits) - 1 >= style);
    if (bits > bitsIn && bits > 0)
      FUZZ_CHECK(bits <= 31 && (std::int64_t{1} << (bits - 1)) - 1 < style);
    FUZZ_CHECK(BinToDec(digits) == QString::number(style));
  }

  const MessBoxStyle decoded = DecodeStyle(style);
  if (style >= 0) {
    FUZZ_CHECK(decoded.buttonSet == (style & 0xF));
    FUZZ_CHECK(decoded.icon == ((style >> 4) & 0xF));
    FUZZ_CHECK(decoded.defaultButton == ((style >> 8) & 0xF));
  }
  // Whatever the word, the box has a button to answer with, and its caption has a code.
  const auto captions = ButtonCaptions(decoded.buttonSet);
  FUZZ_CHECK(!captions[0].isEmpty());
  for (const QString &caption : captions)
    FUZZ_CHECK(caption.isEmpty() || ButtonCodeForCaption(caption) != 0);
  const int minimum = MinLabelWidth(decoded.buttonSet);
  FUZZ_CHECK(minimum == 1115 || minimum == 2315 || minimum == 3515);
  FUZZ_CHECK(IconTag(decoded.icon).isEmpty() == (decoded.icon < 1 || decoded.icon > 4));

  // The sum of the digits' values by place: never negative, and blanks change nothing.
  const QString sum = BinToDec(text);
  bool isNumber = false;
  FUZZ_CHECK(sum.toLongLong(&isNumber) >= 0 && isNumber);
  QString withoutBlanks = text;
  withoutBlanks.remove(QLatin1Char(' '));
  FUZZ_CHECK(BinToDec(withoutBlanks) == sum);
  if (OnlyBinaryDigits(withoutBlanks) && withoutBlanks.size() <= 62)
    FUZZ_CHECK(sum.toLongLong() == (withoutBlanks.isEmpty() ? 0 : withoutBlanks.toLongLong(nullptr, 2)));

  const std::int16_t code = ButtonCodeForCaption(text);
  FUZZ_CHECK(code >= 0 && code <= 7);
  return 0;
}
