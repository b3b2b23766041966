#pragma once

#include <QString>

#include <cstdint>
#include <functional>

// The program's one way to tell the user something or ask a question: a modal box with
// the standard message-box style word and button codes.
namespace Module1 {

enum ButtonCode : std::int16_t {
  IdOk = 1,
  IdCancel = 2,
  IdAbort = 3,
  IdRetry = 4,
  IdIgnore = 5,
  IdYes = 6,
  IdNo = 7,
};

struct MessBoxRequest {
  QString prompt;
  std::int16_t style = 0;
  QString title;
};

// Shows the box modally and returns the code of the chosen button.
std::int16_t ShowMessBox(const QString &prompt, std::int16_t style, const QString &title);

// Request and result of the box being shown (or last shown).
const MessBoxRequest &CurrentRequest();
void SetButtonCode(std::int16_t code);

// A responder answers ShowMessBox without a window (tests). Returns the previous one.
using MessBoxResponder = std::function<std::int16_t(const MessBoxRequest &)>;
MessBoxResponder SetMessBoxResponder(MessBoxResponder responder);

} // namespace Module1
