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

} // namespace gpibsim
