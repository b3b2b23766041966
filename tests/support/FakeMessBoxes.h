#pragma once

#include "support/ScopedSeam.h"
#include "ui/Module1.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// Answers ShowMessBox without a window: each box takes the next queued answer, or, with
// none queued, the code of its rightmost button (what closing the box gives).
class FakeMessBoxes {
public:
  void AnswerNext(std::int16_t code) { answers_.push_back(code); }

  static std::int16_t DismissalCode(std::int16_t style) {
    static const std::int16_t rightmost[] = {Module1::IdOk,     Module1::IdCancel, Module1::IdIgnore,
                                             Module1::IdCancel, Module1::IdNo,     Module1::IdCancel};
    const int set = style & 0xF;
    return set < 6 ? rightmost[set] : static_cast<std::int16_t>(Module1::IdOk);
  }

  std::vector<Module1::MessBoxRequest> shown;
  // Called as each box is shown, before it is answered (e.g. to click something meanwhile).
  std::function<void(const Module1::MessBoxRequest &)> onShow;

private:
  std::int16_t Answer(const Module1::MessBoxRequest &request) {
    shown.push_back(request);
    if (onShow)
      onShow(request);
    if (answers_.empty())
      return DismissalCode(request.style);
    const std::int16_t code = answers_.front();
    answers_.pop_front();
    return code;
  }

  std::deque<std::int16_t> answers_;
  ScopedSeam<Module1::MessBoxResponder> responder_{
      Module1::SetMessBoxResponder,
      [this](const Module1::MessBoxRequest &request) { return Answer(request); }};
};
