#include "platform/GpibText.h"

namespace skeld {

QString FromGpib(const std::string &text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromGpibOneLine(const std::string &text) {
  constexpr char16_t ControlPictures = 0x2400; // U+2400..U+241F picture 0x00..0x1F
  constexpr char16_t DeletePicture = 0x2421;
  constexpr char16_t Replacement = 0xFFFD;
  QString shown;
  shown.reserve(static_cast<qsizetype>(text.size()));
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20)
      shown.append(QChar(static_cast<char16_t>(ControlPictures + u)));
    else if (u == 0x7F)
      shown.append(QChar(DeletePicture));
    else if (u >= 0x80 && u < 0xA0)
      shown.append(QChar(Replacement));
    else
      shown.append(QChar(static_cast<char16_t>(u)));
  }
  return shown;
}

} // namespace skeld
