#pragma once

#include <QSize>

class QWidget;

namespace skeld {

// Centres a top-level window whose outer size is given on its owner (on the primary screen
// without one) and keeps it stacked above the owner.
void CentreOnOwner(QWidget &window, QWidget *owner, QSize outerSize);

// Places a top-level window in the middle of its screen (the primary one before it is shown).
void CentreOnScreen(QWidget &window);

} // namespace skeld
