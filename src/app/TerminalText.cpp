#include "app/TerminalText.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace skeld {

namespace {

bool IsControl(char16_t c) { return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F); }

bool StandardOutputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdout)) != 0;
#else
  return isatty(STDOUT_FILENO) != 0;
#endif
}

} // namespace

QString TerminalSafe(const QString &text) {
  QString safe;
  safe.reserve(text.size());
  for (const QChar c : text) {
    if (IsControl(c.unicode()))
      safe += QStringLiteral("\\x") +
              QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
    else
      safe += c;
  }
  return safe;
}

void MakeSafeForTerminal(ErrorLogOutput::LogFormat format, ErrorLogOutput::LogReading &reading) {
  if (format == ErrorLogOutput::LogFormat::Json || !StandardOutputIsTerminal())
    return;
  reading.model = TerminalSafe(reading.model);
  for (QString &entry : reading.entries)
    entry = TerminalSafe(entry);
}

} // namespace skeld
