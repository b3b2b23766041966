#include "output/PrintModule.h"

#include "output/PrintSurface.h"

#include <cmath>

namespace PrintModule {

namespace {
constexpr QRgb kPalette[16] = {
    qRgb(0, 0, 0),       qRgb(0, 0, 128),   qRgb(0, 128, 0),   qRgb(0, 128, 128),
    qRgb(128, 0, 0),     qRgb(128, 0, 128), qRgb(128, 128, 0), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(0, 0, 255),   qRgb(0, 255, 0),   qRgb(0, 255, 255),
    qRgb(255, 0, 0),     qRgb(255, 0, 255), qRgb(255, 255, 0), qRgb(255, 255, 255),
};

float Placed(float current, float millimetres) {
  const double twips = millimetres * kTwipsPerMillimetre;
  if (millimetres > 0)
    return static_cast<float>(twips);
  if (millimetres < 0)
    return static_cast<float>(current + std::fabs(twips));
  return current;
}
} // namespace

QColor PaletteColour(std::int16_t index) { return QColor(kPalette[index >= 0 && index <= 15 ? index : 0]); }

void PrintText(PrintSurface &surface, const QString &text, float x, float y, std::int16_t colour) {
  surface.SetCurrentX(Placed(surface.CurrentX(), x));
  surface.SetCurrentY(Placed(surface.CurrentY(), y));
  if (text.isEmpty())
    return;
  surface.SetTextColor(PaletteColour(colour));
  surface.PrintWithoutLineEnd(text);
}

void MovePrintPos(PrintSurface &surface, float x, float y) {
  surface.SetCurrentX(static_cast<float>(std::fabs(x * kTwipsPerMillimetre)));
  surface.SetCurrentY(static_cast<float>(surface.CurrentY() + std::fabs(y * kTwipsPerMillimetre)));
}

} // namespace PrintModule
