#pragma once

#include <string_view>

namespace skeld {

// The number a text begins with, read the way the program always has: blanks and tabs
// skipped, an optional sign, digits with an optional fraction, the rest ignored. No digits
// give 0; a number too large for a double gives infinity. The decimal point is '.' whatever
// the user's locale.
double LeadingNumber(std::string_view text);

} // namespace skeld
