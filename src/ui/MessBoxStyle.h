#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The style word of a message box split into its fields, and the fixed texts that go with
// them. None of this needs a window.

// Binary digits of DeciValue, most significant first. NoOfBits is the minimum number of
// digits on entry; it is raised to as many as the value needs and handed back.
QString DecToBin(std::int16_t DeciValue, std::int16_t &NoOfBits);

// Decimal text of a string of binary digits. Spaces are dropped; a digit 2 to 9 counts with
// its value at its place, any other character counts 0.
QString BinToDec(const QString &Bin);

struct MessBoxStyle {
  std::int16_t buttonSet = 0;
  std::int16_t icon = 0;
  std::int16_t defaultButton = 0;
};

// Splits the style word the way the box always has: through its binary digits.
MessBoxStyle DecodeStyle(std::int16_t style);

constexpr int MessBoxButtonCount = 3;

// Captions of Button 0 (rightmost) to Button 2 for a button set; an empty caption is a
// hidden button. An unknown set gets the OK box, so every box can be answered.
std::array<QString, MessBoxButtonCount> ButtonCaptions(int buttonSet);

// The narrowest the message label may be for a button set, in twips.
int MinLabelWidth(int buttonSet);

// Text put behind the title for an icon; empty for none (or an unknown icon).
QString IconTag(int icon);

// Code of a button by its caption (exact, case-sensitive); 0 for a caption not in the table.
std::int16_t ButtonCodeForCaption(const QString &caption);
