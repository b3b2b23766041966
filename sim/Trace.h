#pragma once

#include <cstddef>
#include <string>

namespace gpibsim {

// The bytes with C escapes (\" \\ \n \r \xHH), ready to stand between double quotes.
std::string EscapeBytes(const std::string &bytes);

// One trace line: "ibwrt pad=1 \"ID?\" ibsta=0x0100". pad < 0 leaves the pad out, a null
// bytes pointer the quoted data.
std::string TraceLine(const char *entry, int pad, const std::string *bytes, int ibsta);

} // namespace gpibsim
