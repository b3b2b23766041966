#pragma once

namespace skeld {

// The windows ask for the Liberation faces, which have the widths of the Windows core fonts.
// Where Liberation is not installed (Windows), Qt is told to draw the core fonts in their place.
void UseCoreFontsForLiberation();

} // namespace skeld
