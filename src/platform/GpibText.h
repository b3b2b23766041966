#pragma once

#include <QString>

#include <string>

namespace skeld {

// Instrument text maps byte for byte onto the first 256 characters.
QString FromGpib(const std::string &text);

// The same text for a place that shows one line (a caption, a line of a message box): a
// control byte would cut it (NUL), break it (CR, LF) or vanish (ESC, BS), so each shows as
// a visible stand-in instead.
QString FromGpibOneLine(const std::string &text);

} // namespace skeld
