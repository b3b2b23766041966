#include "platform/OpenUrl.h"

#include <QDesktopServices>
#include <QUrl>

#include <utility>

namespace skeld {

namespace {
UrlOpener &Opener() {
  static UrlOpener opener;
  return opener;
}
} // namespace

void OpenUrl(const QString &url) {
  if (Opener()) {
    Opener()(url);
    return;
  }
  QDesktopServices::openUrl(QUrl(url));
}

UrlOpener SetUrlOpener(UrlOpener opener) { return std::exchange(Opener(), std::move(opener)); }

} // namespace skeld
