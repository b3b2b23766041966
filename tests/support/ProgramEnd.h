#pragma once

#include "platform/EndProgram.h"
#include "support/ScopedSeam.h"

#include <functional>

// While alive, EndProgram throws ProgramEnded instead of ending the test process, so a
// test sees where the program would have stopped and that nothing ran after it.
struct ProgramEnded {
  int code;
};

class EndProgramCatcher : public ScopedSeam<skeld::EndProgramHandler> {
public:
  EndProgramCatcher() : ScopedSeam(skeld::SetEndProgramHandler, [](int code) { throw ProgramEnded{code}; }) {}
};

// The status code the program ended with while running action, or -1 when it did not end.
inline int EndCode(const std::function<void()> &action) {
  try {
    action();
  } catch (const ProgramEnded &end) {
    return end.code;
  }
  return -1;
}
