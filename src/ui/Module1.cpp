#include "ui/Module1.h"

#include "ui/MessBoxStyle.h"

#include <cstdio>
#include <utility>

namespace Module1 {

namespace {
MessBoxRequest gRequest;
std::int16_t gButtonCode = 0;

MessBoxResponder &Responder() {
  static MessBoxResponder responder;
  return responder;
}
} // namespace

std::int16_t ShowMessBox(const QString &prompt, std::int16_t style, const QString &title) {
  gRequest = MessBoxRequest{prompt, style, title};
  gButtonCode = 0;
  if (Responder()) {
    gButtonCode = Responder()(gRequest);
    return gButtonCode;
  }
  // Nothing can show the box: the message must still reach someone.
  gButtonCode = AnswerOnStandardError(gRequest);
  return gButtonCode;
}

std::int16_t AnswerOnStandardError(const MessBoxRequest &request) {
  std::fprintf(stderr, "%s\n%s\n", qPrintable(request.title), qPrintable(request.prompt));
  std::fflush(stderr);
  return ButtonCodeForCaption(ButtonCaptions(DecodeStyle(request.style).buttonSet)[0]);
}

const MessBoxRequest &CurrentRequest() { return gRequest; }

void SetButtonCode(std::int16_t code) { gButtonCode = code; }

std::int16_t ButtonCode() { return gButtonCode; }

MessBoxResponder SetMessBoxResponder(MessBoxResponder responder) {
  return std::exchange(Responder(), std::move(responder));
}

} // namespace Module1
