#pragma once

#include "output/ErrorLogFormats.h"

// Where instrument bytes meet a terminal: an entry holding ESC sequences could retitle or
// clear it. To a file or a pipe the bytes stay as they are.
namespace skeld {

// text with the control characters (C0 but TAB, DEL, C1) written as \xHH.
QString TerminalSafe(const QString &text);

// When standard output is a terminal and the format writes text as it is (text, CSV): the
// scope's texts in reading made terminal-safe.
void MakeSafeForTerminal(ErrorLogOutput::LogFormat format, ErrorLogOutput::LogReading &reading);

} // namespace skeld
