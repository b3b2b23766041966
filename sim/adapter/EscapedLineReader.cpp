#include "sim/adapter/EscapedLineReader.h"

namespace gpibsim {
namespace {
constexpr char Esc = '\x1B';
}

void EscapedLineReader::Feed(const QByteArray &bytes, std::vector<Line> &lines) {
  for (const char c : bytes) {
    const bool plain = !escaped_;
    escaped_ = false;
    if (plain && c == Esc) {
      escaped_ = true;
      continue;
    }
    if (plain && (c == '\r' || c == '\n')) {
      if (!line_.isEmpty())
        lines.push_back(Line{line_, plainPluses_ >= 2});
      Reset();
      continue;
    }
    if (plain && c == '+' && plainPluses_ == line_.size())
      ++plainPluses_;
    line_.append(c);
  }
}

void EscapedLineReader::Reset() {
  line_.clear();
  escaped_ = false;
  plainPluses_ = 0;
}

} // namespace gpibsim
