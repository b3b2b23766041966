#include "platform/Download.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <utility>

namespace skeld {

namespace {

constexpr long MaxRedirects = 10;

Downloader &Replacement() {
  static Downloader downloader;
  return downloader;
}

DownloadLimits &Limits() {
  static DownloadLimits limits;
  return limits;
}

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

bool CurlDownload(const std::string &url, const std::string &path, const DownloadLimits &limits) {
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

} // namespace

bool DownloadToFile(const std::string &url, const std::string &path) {
  if (Replacement())
    return Replacement()(url, path);
  const DownloadLimits limits = Limits();
  const QCoreApplication *app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread())
    return CurlDownload(url, path, limits);

  // The transfer may wait up to its time limit on a silent server; the windows must not
  // freeze that long, so it runs apart and this thread sleeps in an event loop meanwhile.
  bool done = false;
  std::unique_ptr<QThread> transfer(QThread::create([&] { done = CurlDownload(url, path, limits); }));
  QEventLoop loop;
  QObject::connect(transfer.get(), &QThread::finished, &loop, &QEventLoop::quit);
  transfer->start();
  loop.exec();
  // Only a program on its way out leaves the loop early; it then waits here for the rest.
  transfer->wait();
  return done;
}

Downloader SetDownloader(Downloader downloader) {
  return std::exchange(Replacement(), std::move(downloader));
}

DownloadLimits SetDownloadLimits(const DownloadLimits &limits) { return std::exchange(Limits(), limits); }

} // namespace skeld
