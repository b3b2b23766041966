#pragma once

#include <QString>

#include <functional>

namespace skeld {

// Hands a web or mailto address to the user's browser or mail program; does not wait and
// reports nothing.
void OpenUrl(const QString &url);

// Tests record the addresses instead. Returns the previous opener (empty = the real one).
using UrlOpener = std::function<void(const QString &url)>;
UrlOpener SetUrlOpener(UrlOpener opener);

} // namespace skeld
