#pragma once

#include <cstddef>
#include <string>

namespace gpibsim {

struct TextPosition {
  int line = 1;   // from 1
  int column = 1; // from 1, in bytes
};

TextPosition PositionOf(const std::string &text, std::size_t offset);

// Where the value at a JSON pointer ("/listeners/0/address") starts in a document that
// parsed without error. A path that is not there gives the start of its nearest parent.
std::size_t OffsetOfPath(const std::string &text, const std::string &pointer);

// Where the first array or object opens that lies more than maxDepth levels deep, or npos.
// Brackets inside strings do not count. On any text that a JSON parser accepts up to that
// point the count is the parser's own nesting, so a parser never gets deeper.
std::size_t OffsetPastDepth(const std::string &text, int maxDepth);

} // namespace gpibsim
