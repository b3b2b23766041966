#pragma once

#include <functional>
#include <string>

namespace skeld {

// Fetches url into the file at path and blocks until the transfer has ended. Redirects are
// followed; a refused or timed-out connection and an HTTP status of 400 or above are
// failures. The file at path is replaced only by a complete transfer: after a failure it
// is left as it was.
bool DownloadToFile(const std::string &url, const std::string &path);

// Tests answer DownloadToFile without the network. Returns the previous one (empty = real).
using Downloader = std::function<bool(const std::string &url, const std::string &path)>;
Downloader SetDownloader(Downloader downloader);

} // namespace skeld
