#include "ui/FontTwins.h"

#include <QFont>
#include <QStringList>

namespace skeld {

void UseCoreFontsForLiberation() {
#ifdef _WIN32
  QFont::insertSubstitutions(QStringLiteral("Liberation Sans"),
                             {QStringLiteral("Arial"), QStringLiteral("MS Sans Serif")});
  QFont::insertSubstitutions(QStringLiteral("Liberation Sans Narrow"),
                             {QStringLiteral("Arial Narrow"), QStringLiteral("Arial")});
  QFont::insertSubstitutions(QStringLiteral("Liberation Serif"), {QStringLiteral("Times New Roman")});
#endif
}

} // namespace skeld
