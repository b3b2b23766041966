#pragma once

#include "platform/EndProgram.h"
#include "support/ScopedSeam.h"

// While alive, EndProgram throws ProgramEnded instead of ending the test process, so a
// test sees where the program would have stopped and that nothing ran after it.
struct ProgramEnded {
  int code;
};

class EndProgramCatcher : public ScopedSeam<skeld::EndProgramHandler> {
public:
  EndProgramCatcher() : ScopedSeam(skeld::SetEndProgramHandler, [](int code) { throw ProgramEnded{code}; }) {}
};
