#include "ui/MessBoxStyle.h"
#include "support/ScopedSeam.h"
#include "ui/MessBoxLayout.h"
#include "ui/Module1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

TEST(DecToBin, WritesDigitsAndRaisesTheBitCount) {
  const struct {
    std::int16_t value;
    std::int16_t bitsIn;
    const char *digits;
    std::int16_t bitsOut;
  } cases[] = {
      {68, 1, "1000100", 7},
      {48, 1, "110000", 6},
      {0, 1, "0", 1},
      {1, 1, "1", 1},
      {2, 1, "10", 2},
      {5, 8, "00000101", 8},
      {4095, 1, "111111111111", 12},
      {32767, 1, "111111111111111", 15},
      {0, 0, "", 0},
      {1, 0, "1", 1},
  };
  for (const auto &c : cases) {
    std::int16_t bits = c.bitsIn;
    EXPECT_EQ(DecToBin(c.value, bits), QString::fromLatin1(c.digits)) << c.value << " from " << c.bitsIn;
    EXPECT_EQ(bits, c.bitsOut) << c.value << " from " << c.bitsIn;
  }
}

TEST(BinToDec, SumsDigitsByPlace) {
  const struct {
    const char *bin;
    const char *dec;
  } cases[] = {
      {"0011", "3"},
      {"", "0"},
      {"12", "4"},
      {"0 1 1", "3"},
      {"   ", "0"},
      {"1x1", "5"},
      {"-1", "1"},
      {"9", "9"},
      {"1111", "15"},
      {"0000", "0"},
      {"111111111111111", "32767"},
      {"1111111111111111", "65535"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(BinToDec(QString::fromLatin1(c.bin)), QString::fromLatin1(c.dec)) << '"' << c.bin << '"';
}

int BitLength(int value) {
  int n = 0;
  while (value >> n)
    ++n;
  return n;
}

// Every style word the box can be given without its undefined sign bit.
TEST(DecodeStyle, EqualsBitArithmeticForEveryStyle) {
  for (int style = 0; style <= 32767; ++style) {
    const auto word = static_cast<std::int16_t>(style);
    std::int16_t bits = 1;
    const QString digits = DecToBin(word, bits);
    ASSERT_EQ(bits, std::max(1, BitLength(style))) << style;
    ASSERT_EQ(BinToDec(digits), QString::number(style)) << style;

    const MessBoxStyle decoded = DecodeStyle(word);
    ASSERT_EQ(decoded.buttonSet, style & 0xF) << style;
    ASSERT_EQ(decoded.icon, (style >> 4) & 0xF) << style;
    ASSERT_EQ(decoded.defaultButton, (style >> 8) & 0xF) << style;
  }
}

// Without anything to show it, a box still says its text and answers as closing it would.
TEST(ShowMessBox, WithNoResponderWritesToStandardErrorAndAnswersLikeClosing) {
  const ScopedSeam noResponder(Module1::SetMessBoxResponder, nullptr);
  const std::pair<std::int16_t, std::int16_t> rows[] = {
      {Module1::Style::OkOnly, Module1::IdOk},
      {Module1::Style::Exclamation | Module1::Style::OkCancel, Module1::IdCancel},
      {Module1::Style::YesNo, Module1::IdNo}};
  for (const auto &[style, answer] : rows) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(Module1::ShowMessBox(QStringLiteral("Read cycle failed"), style, QStringLiteral("I/O Error")),
              answer);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "I/O Error\nRead cycle failed\n");
  }
}

TEST(ButtonCodeForCaption, MatchesCaptionsExactly) {
  const struct {
    const char *caption;
    std::int16_t code;
  } cases[] = {
      {"OK", 1}, {"Cancel", 2}, {"Abort", 3}, {"Retry", 4}, {"Ignore", 5}, {"Yes", 6},
      {"No", 7}, {"ok", 0},     {"OK ", 0},   {"&OK", 0},   {"", 0},       {"YES", 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ButtonCodeForCaption(QString::fromLatin1(c.caption)), c.code) << '"' << c.caption << '"';
}

// Undefined button sets still give a box that can be answered.
TEST(ButtonCaptions, UnknownSetsShowTheOkBox) {
  for (int set : {-1, 6, 15}) {
    EXPECT_EQ(ButtonCaptions(set), ButtonCaptions(0)) << set;
    EXPECT_EQ(MinLabelWidth(set), 1115) << set;
  }
}

TEST(LayOutMessBox, HeightGrowsOnlyPastOneLine) {
  const struct {
    int labelHeight;
    int panelHeight;
    int buttonTop;
    int windowHeight;
  } cases[] = {
      {0, 495, 600, 1500},   {195, 495, 600, 1500}, {255, 495, 600, 1500},
      {256, 496, 601, 1531}, {390, 630, 735, 1665}, {780, 1020, 1125, 2055},
  };
  for (const auto &c : cases) {
    const MessBoxLayout layout = LayOutMessBox(1000, c.labelHeight, 0);
    EXPECT_EQ(layout.labelHeight, c.labelHeight);
    EXPECT_EQ(layout.panelHeight, c.panelHeight) << c.labelHeight;
    EXPECT_EQ(layout.buttonTop, c.buttonTop) << c.labelHeight;
    EXPECT_EQ(layout.windowHeight, c.windowHeight) << c.labelHeight;
    EXPECT_EQ(layout.ClientHeight(), c.windowHeight - 375) << c.labelHeight;
  }
}

TEST(LayOutMessBox, WidthFromTheLabelOrTheSetsMinimum) {
  const struct {
    int set;
    int labelWidth;
    int finalLabelWidth;
    int windowWidth;
    int left0, left1, left2;
  } cases[] = {
      {0, 500, 1115, 1425, 120, -1080, -2280},  {0, 1115, 1115, 1425, 120, -1080, -2280},
      {0, 1116, 1116, 1426, 121, -1079, -2279}, {1, 2000, 2315, 2625, 1320, 120, -1080},
      {4, 2315, 2315, 2625, 1320, 120, -1080},  {5, 4000, 4000, 4310, 3005, 1805, 605},
      {2, 3515, 3515, 3825, 2520, 1320, 120},   {3, 100, 3515, 3825, 2520, 1320, 120},
      {3, 3516, 3516, 3826, 2521, 1321, 121},
  };
  for (const auto &c : cases) {
    const MessBoxLayout layout = LayOutMessBox(c.labelWidth, 195, c.set);
    EXPECT_EQ(layout.labelWidth, c.finalLabelWidth) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.windowWidth, c.windowWidth) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.ClientWidth(), c.windowWidth - 90) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.panelWidth, c.windowWidth) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.lineX2, c.windowWidth) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.buttonLeft[0], c.left0) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.buttonLeft[1], c.left1) << c.set << '/' << c.labelWidth;
    EXPECT_EQ(layout.buttonLeft[2], c.left2) << c.set << '/' << c.labelWidth;
  }
}

} // namespace
