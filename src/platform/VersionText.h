#pragma once

#include <QString>

namespace skeld {

// Major, ".", minor and revision with no separator between the last two; one trailing "0"
// is dropped: 1.3.0 gives 1.3, 1.3.5 gives 1.35, 1.3.10 gives 1.31, 2.0.0 gives 2.0.
QString MakeVersionText(int major, int minor, int revision);

// Program-wide, set while the main window loads; the splash and the About window show them.
extern QString VersionText;
extern QString BuildDate;

} // namespace skeld
