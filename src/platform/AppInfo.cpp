#include "platform/AppInfo.h"

#include "AppInfoConfig.h"

namespace skeld {

QString AppTitle() { return QStringLiteral(SKELD_APP_TITLE); }
int AppMajor() { return SKELD_VERSION_MAJOR; }
int AppMinor() { return SKELD_VERSION_MINOR; }
int AppRevision() { return SKELD_VERSION_REVISION; }

} // namespace skeld
