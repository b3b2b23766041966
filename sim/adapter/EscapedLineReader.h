#pragma once

#include <QByteArray>

#include <vector>

namespace gpibsim {

// Splits what the host sends into lines. An unescaped CR or LF ends a line; ESC makes the
// byte after it plain data, so CR, LF, ESC and '+' can reach an instrument. A line is meant
// for the adapter when it starts with two unescaped '+'.
class EscapedLineReader {
public:
  struct Line {
    QByteArray bytes;
    bool command = false;
  };

  // Appends every line the bytes complete; empty lines are dropped.
  void Feed(const QByteArray &bytes, std::vector<Line> &lines);
  // Forgets a line in progress.
  void Reset();

private:
  QByteArray line_;
  bool escaped_ = false;
  int plainPluses_ = 0; // the '+' that open the line unescaped
};

} // namespace gpibsim
