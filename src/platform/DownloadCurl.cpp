// The transfer through libcurl, which honours the proxy variables like every curl program.
#include "platform/DownloadTransfer.h"

#include <QFile>
#include <QSaveFile>

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace skeld {

namespace {

constexpr long MaxRedirects = 10;

struct Sink {
  QSaveFile *file;
  qint64 maxBytes;
  qint64 written = 0;
};

std::size_t WriteBody(char *data, std::size_t size, std::size_t count, void *user) {
  auto *sink = static_cast<Sink *>(user);
  const auto bytes = static_cast<qint64>(size * count);
  // Returning less than was handed over makes libcurl end the transfer as failed.
  if (sink->written + bytes > sink->maxBytes || sink->file->write(data, bytes) != bytes)
    return 0;
  sink->written += bytes;
  return static_cast<std::size_t>(bytes);
}

} // namespace

bool TransferToFile(const std::string &url, const std::string &path, const DownloadLimits &limits) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  // The body goes to a temporary file beside the target, which is renamed over it only
  // once the transfer is complete: a failed transfer never leaves a cut-off file behind.
  QSaveFile file(QFile::decodeName(path.c_str()));
  if (!file.open(QIODevice::WriteOnly))
    return false;

  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl)
    return false;
  Sink sink{&file, limits.maxBytes};
  CURL *handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, MaxRedirects);
  curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
  // Time limits without SIGALRM: the program's other threads (Qt's) must not see it.
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &WriteBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);

  if (curl_easy_perform(handle) != CURLE_OK) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

} // namespace skeld
