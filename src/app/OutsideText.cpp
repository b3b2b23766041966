#include "app/OutsideText.h"

#include <QFontMetrics>
#include <QScreen>
#include <QStringList>
#include <QWidget>

namespace {

constexpr qsizetype MostLines = 12;
// Far beyond a screen in any font; measuring more would itself take long.
constexpr qsizetype MostMeasured = 2000;

} // namespace

QString OneScreenWide(const QString &text, const QWidget &widget) {
  const QScreen *screen = widget.screen();
  const int width = screen ? screen->availableGeometry().width() : 1024;
  const QFontMetrics metrics = widget.fontMetrics();
  QStringList lines = text.split(QLatin1Char('\n'));
  const bool cut = lines.size() > MostLines;
  if (cut)
    lines.resize(MostLines);
  for (QString &line : lines)
    line = metrics.elidedText(line.left(MostMeasured), Qt::ElideMiddle, width);
  if (cut)
    lines.append(QStringLiteral("\u2026"));
  return lines.join(QLatin1Char('\n'));
}
