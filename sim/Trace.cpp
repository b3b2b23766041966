#include "sim/Trace.h"

#include <cstdio>

namespace gpibsim {

std::string EscapeBytes(const std::string &bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    default:
      if (byte < 0x20 || byte >= 0x7f) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += hex;
      } else {
        out += c;
      }
    }
  }
  return out;
}

std::string TraceLine(const char *entry, int pad, const std::string *bytes, int ibsta) {
  std::string line = entry;
  if (pad >= 0)
    line += " pad=" + std::to_string(pad);
  if (bytes)
    line += " \"" + EscapeBytes(*bytes) + "\"";
  char status[16];
  std::snprintf(status, sizeof status, " ibsta=0x%04X", static_cast<unsigned>(ibsta) & 0xFFFFu);
  return line + status;
}

} // namespace gpibsim
