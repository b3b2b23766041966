#include "sim/JsonPositions.h"

#include <map>

namespace gpibsim {
namespace {

// Walks a well-formed document and notes where each value starts, by JSON pointer. Keys
// are taken as written (escapes are not undone); deep values are skipped, since no key
// of a bus description lies deeper than a few levels.
class OffsetScanner {
public:
  explicit OffsetScanner(const std::string &text) : t_(text) {}

  std::map<std::string, std::size_t> Scan() {
    Value("", 0);
    return offsets_;
  }

private:
  static constexpr int MaxDepth = 8;

  void SkipBlanks() {
    while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\n' || t_[i_] == '\r'))
      ++i_;
  }
  bool At(char c) {
    SkipBlanks();
    return i_ < t_.size() && t_[i_] == c;
  }

  std::string String() {
    const std::size_t start = ++i_;
    while (i_ < t_.size() && t_[i_] != '"')
      i_ += t_[i_] == '\\' ? 2 : 1;
    const std::string s = t_.substr(start, std::min(i_, t_.size()) - start);
    ++i_;
    return s;
  }

  // Skips a whole value without recursion.
  void Skip() {
    int depth = 0;
    do {
      SkipBlanks();
      if (i_ >= t_.size())
        return;
      const char c = t_[i_];
      if (c == '"') {
        String();
      } else if (c == '{' || c == '[') {
        ++depth;
        ++i_;
      } else if (c == '}' || c == ']') {
        --depth;
        ++i_;
      } else if (c == ',' || c == ':') {
        ++i_;
      } else {
        while (i_ < t_.size() && t_[i_] != ',' && t_[i_] != ']' && t_[i_] != '}' && t_[i_] != ' ' &&
               t_[i_] != '\n' && t_[i_] != '\r' && t_[i_] != '\t')
          ++i_;
      }
    } while (depth > 0);
  }

  void Value(const std::string &path, int depth) {
    SkipBlanks();
    offsets_[path] = i_;
    if (depth >= MaxDepth || i_ >= t_.size() || (t_[i_] != '{' && t_[i_] != '[')) {
      Skip();
      return;
    }
    const bool object = t_[i_] == '{';
    const char close = object ? '}' : ']';
    ++i_;
    for (int index = 0; i_ < t_.size() && !At(close); ++index) {
      std::string key = std::to_string(index);
      if (object) {
        if (!At('"'))
          return;
        key = String();
        if (!At(':'))
          return;
        ++i_;
      }
      Value(path + "/" + key, depth + 1);
      if (At(','))
        ++i_;
    }
    ++i_;
  }

  const std::string &t_;
  std::size_t i_ = 0;
  std::map<std::string, std::size_t> offsets_;
};

} // namespace

TextPosition PositionOf(const std::string &text, std::size_t offset) {
  TextPosition p;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i)
    if (text[i] == '\n') {
      ++p.line;
      lineStart = i + 1;
    }
  p.column = static_cast<int>(offset - lineStart) + 1;
  return p;
}

std::size_t OffsetOfPath(const std::string &text, const std::string &pointer) {
  const std::map<std::string, std::size_t> offsets = OffsetScanner(text).Scan();
  std::string path = pointer;
  for (;;) {
    const auto it = offsets.find(path);
    if (it != offsets.end())
      return it->second;
    if (path.empty())
      return 0;
    const std::size_t slash = path.rfind('/');
    path.erase(slash == std::string::npos ? 0 : slash);
  }
}

std::size_t OffsetPastDepth(const std::string &text, int maxDepth) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > maxDepth)
        return i;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return std::string::npos;
}

} // namespace gpibsim
