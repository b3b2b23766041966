#include "platform/EndProgram.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace skeld {

namespace {
EndProgramHandler &Handler() {
  static EndProgramHandler handler;
  return handler;
}
} // namespace

void EndProgram(int code) {
  if (Handler()) {
    Handler()(code);
    // A handler that returns would let the caller run on; that must never happen.
    std::fputs("EndProgram handler returned\n", stderr);
    std::abort();
  }
  std::fflush(nullptr);
  std::_Exit(code);
}

EndProgramHandler SetEndProgramHandler(EndProgramHandler handler) {
  return std::exchange(Handler(), std::move(handler));
}

} // namespace skeld
