#include "ui/Module1.h"

#include "ui/MessBox.h"

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
  MessBox::Instance().ShowModal();
  return gButtonCode;
}

const MessBoxRequest &CurrentRequest() { return gRequest; }

void SetButtonCode(std::int16_t code) { gButtonCode = code; }

MessBoxResponder SetMessBoxResponder(MessBoxResponder responder) {
  return std::exchange(Responder(), std::move(responder));
}

} // namespace Module1
