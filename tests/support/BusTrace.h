#pragma once

#include <cctype>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

// Reading the simulated bus's trace: one line a driver call ("ibwrt pad=1 \"ID?\" ibsta=0x0100"),
// its data quoted with C escapes.
namespace bustrace {

// Undoes the trace's C escapes of one quoted field; pos is just after the opening quote.
inline std::string Unquote(const std::string &line, std::size_t pos) {
  static const std::string named = "nrt0", meant("\n\r\t\0", 4);
  std::string out;
  while (pos < line.size() && line[pos] != '"') {
    char c = line[pos++];
    if (c == '\\' && pos < line.size()) {
      c = line[pos++];
      if (c == 'x') {
        std::size_t digits = 0;
        while (digits < 2 && pos + digits < line.size() &&
               std::isxdigit(static_cast<unsigned char>(line[pos + digits])))
          ++digits;
        c = static_cast<char>(digits ? std::stoi(line.substr(pos, digits), nullptr, 16) : 0);
        pos += digits;
      } else if (named.find(c) != std::string::npos) {
        c = meant[named.find(c)];
      }
    }
    out.push_back(c);
  }
  return out;
}

// The data of every call of one entry ("ibwrt", "ibrd") from line `from` on, unescaped.
inline std::vector<std::string> QuotedOf(const std::vector<std::string> &trace, const std::string &entry,
                                         std::size_t from = 0) {
  std::vector<std::string> out;
  for (std::size_t i = from; i < trace.size(); ++i) {
    const std::string &line = trace[i];
    const std::size_t quote = line.find('"');
    if (line.rfind(entry + " ", 0) == 0 && quote != std::string::npos)
      out.push_back(Unquote(line, quote + 1));
  }
  return out;
}

// The lines of a text, without their line ends; no empty last line.
inline std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size())
    lines.push_back(text.substr(start));
  return lines;
}

// The addresses the ibwrt calls went to, from a trace line on: {"9"} when only 9 was written to.
inline std::set<std::string> WrittenTo(const std::vector<std::string> &trace, std::size_t fromLine = 0) {
  std::set<std::string> pads;
  for (std::size_t i = fromLine; i < trace.size(); ++i)
    if (trace[i].rfind("ibwrt pad=", 0) == 0)
      pads.insert(trace[i].substr(10, trace[i].find(' ', 10) - 10));
  return pads;
}

} // namespace bustrace
