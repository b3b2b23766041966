#pragma once

#include <QString>

class QWidget;

// Text that comes from outside the program (a port's description, a failure in the system's
// words) cut to what one screen width of widget shows: a label lays out all it is given.
QString OneScreenWide(const QString &text, const QWidget &widget);
