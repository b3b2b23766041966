#pragma once

#include "route/Route.h"
#include "support/BusTrace.h"
#include "support/FakeMessBoxes.h"
#include "support/FormSteps.h"
#include "support/ProgramEnd.h"
#include "support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// The window started on a route, and what it showed: for tests that hold a route's window to
// what the same bus gives through the driver library.
namespace routewindow {

struct Outcome {
  std::string caption;
  std::vector<std::string> list;
  std::vector<std::string> boxes; // title, then the prompt
  int endCode = -1;
  std::vector<std::string> written;
  std::vector<std::string> trace;
  std::string err;
};

inline Outcome Run(ErrorLogForm &form, FakeMessBoxes &boxes, const route::Route &where = {}) {
  form.SetRoute(route::RouteText(where), where.IsBus() ? QString() : route::RouteName(where));
  EndProgramCatcher catcher;
  Outcome outcome;
  testing::internal::CaptureStderr();
  outcome.endCode = EndCode([&] { formsteps::StartUp(form); });
  outcome.err = testing::internal::GetCapturedStderr();
  outcome.caption = form.windowTitle().toStdString();
  outcome.list = formsteps::Items(form.List1);
  for (const Module1::MessBoxRequest &box : boxes.shown)
    outcome.boxes.push_back(box.title.toStdString() + "\n" + box.prompt.toStdString());
  return outcome;
}

inline Outcome OnTheLibrary(const gpibsim::BusDescription &bus) {
  SimulatedBus simulated(bus);
  FakeMessBoxes boxes;
  ErrorLogForm form;
  Outcome outcome = Run(form, boxes);
  outcome.written = bustrace::QuotedOf(simulated.trace, "ibwrt");
  return outcome;
}

} // namespace routewindow
