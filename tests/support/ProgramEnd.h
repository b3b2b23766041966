#pragma once

#include "platform/EndProgram.h"

// While alive, EndProgram throws ProgramEnded instead of ending the test process, so a
// test sees where the program would have stopped and that nothing ran after it.
struct ProgramEnded {
  int code;
};

class EndProgramCatcher {
public:
  EndProgramCatcher() : previous_(skeld::SetEndProgramHandler([](int code) { throw ProgramEnded{code}; })) {}
  ~EndProgramCatcher() { skeld::SetEndProgramHandler(previous_); }
  EndProgramCatcher(const EndProgramCatcher &) = delete;
  EndProgramCatcher &operator=(const EndProgramCatcher &) = delete;

private:
  skeld::EndProgramHandler previous_;
};
