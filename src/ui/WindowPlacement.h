#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace skeld {

// Centres a top-level window whose outer size is given on its owner (on the primary screen
// without one) and keeps it stacked above the owner.
void CentreOnOwner(QWidget &window, QWidget *owner, QSize outerSize);

// Moves a top-level window whose outer size is given as little as it takes to lie inside area
// (its top-left corner inside when it is the larger).
void KeepInside(QWidget &window, QSize outerSize, const QRect &area);

// Where a window of the given outer size is centred in area; along a side where it is the
// larger, at the area's left or top edge instead.
QPoint CentredIn(QSize outerSize, const QRect &area);

// Places a top-level window in the middle of its screen (the primary one before it is shown),
// its top-left corner on the screen when the screen is the smaller.
void CentreOnScreen(QWidget &window);

} // namespace skeld
