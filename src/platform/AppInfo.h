#pragma once

#include <QString>

namespace skeld {

// The application's title and version numbers, as the build set them.
QString AppTitle();
int AppMajor();
int AppMinor();
int AppRevision();

} // namespace skeld
