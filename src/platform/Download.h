#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace skeld {

// Fetches url into the file at path and returns once the transfer has ended. Redirects are
// followed; a refused or timed-out connection and an HTTP status of 400 or above are
// failures. The file at path is replaced only by a complete transfer: after a failure it
// is left as it was. Called on the application's thread, the transfer runs on a thread of
// its own while window events go on being handled.
bool DownloadToFile(const std::string &url, const std::string &path);

// Tests answer DownloadToFile without the network. Returns the previous one (empty = real).
using Downloader = std::function<bool(const std::string &url, const std::string &path)>;
Downloader SetDownloader(Downloader downloader);

// How long a transfer may take and how large its reply may be.
struct DownloadLimits {
  std::chrono::milliseconds connect{std::chrono::seconds(10)};
  std::chrono::milliseconds total{std::chrono::seconds(30)};
  std::int64_t maxBytes = 1 << 20; // a few lines of text are expected
};

// Tests shorten the limits. Returns the previous ones.
DownloadLimits SetDownloadLimits(const DownloadLimits &limits);

} // namespace skeld
