#pragma once

#include <functional>

namespace skeld {

// Ends the process at once: no close handlers run and the caller's next statement never
// does. Tests install a handler that throws instead; a handler must not return.
void EndProgram(int code);

using EndProgramHandler = std::function<void(int code)>;

// Installs a handler for EndProgram and returns the previous one (empty = the real end).
EndProgramHandler SetEndProgramHandler(EndProgramHandler handler);

} // namespace skeld
