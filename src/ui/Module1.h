#pragma once

#include <QString>

#include <cstdint>
#include <functional>

// The program's one way to tell the user something or ask a question: a modal box with
// the standard message-box style word and button codes.
namespace Module1 {

// Style words: one button set, plus one icon, plus the default button.
namespace Style {
constexpr std::int16_t OkOnly = 0;
constexpr std::int16_t OkCancel = 1;
constexpr std::int16_t YesNo = 4;
constexpr std::int16_t Critical = 16;
constexpr std::int16_t Exclamation = 48;
} // namespace Style

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

// Shows the box modally and returns the code of the chosen button. The box is shown by the
// responder: the message window registers itself as one when the program starts, tests
// answer in its place. With none, the text goes to standard error and the answer is the one
// closing the box gives.
std::int16_t ShowMessBox(const QString &prompt, std::int16_t style, const QString &title);

// Writes the box as one block on standard error (title, then text) and gives the answer
// closing the box would give; what happens when no responder is set.
std::int16_t AnswerOnStandardError(const MessBoxRequest &request);

// Request and result of the box being shown (or last shown).
const MessBoxRequest &CurrentRequest();
void SetButtonCode(std::int16_t code);
std::int16_t ButtonCode();

// Sets the responder that shows (or answers) every box. Returns the previous one.
using MessBoxResponder = std::function<std::int16_t(const MessBoxRequest &)>;
MessBoxResponder SetMessBoxResponder(MessBoxResponder responder);

} // namespace Module1
