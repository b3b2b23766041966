#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

class PrintSurface;

// Placement and colour of printed text, positions in millimetres.
namespace PrintModule {

// Millimetres to twips, as the printed layout was measured.
constexpr double kTwipsPerMillimetre = 56.7;

// The standard 16-colour palette; an index outside 0..15 gives black.
QColor PaletteColour(std::int16_t index);

// Each coordinate: above 0 sets the position, 0 keeps it, below 0 moves right or down by
// its size. An empty text prints nothing but still moves.
void PrintText(PrintSurface &surface, const QString &text, float x, float y, std::int16_t colour);

// Column |x|, then |y| further down: the signs are ignored.
void MovePrintPos(PrintSurface &surface, float x, float y);

} // namespace PrintModule
