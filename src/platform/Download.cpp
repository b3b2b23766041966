#include "platform/Download.h"
#include "platform/DownloadTransfer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <memory>
#include <utility>

namespace skeld {

namespace {

Downloader &Replacement() {
  static Downloader downloader;
  return downloader;
}

DownloadLimits &Limits() {
  static DownloadLimits limits;
  return limits;
}

} // namespace

bool DownloadToFile(const std::string &url, const std::string &path) {
  if (Replacement())
    return Replacement()(url, path);
  const DownloadLimits limits = Limits();
  const QCoreApplication *app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread())
    return TransferToFile(url, path, limits);

  // The transfer may wait up to its time limit on a silent server; the windows must not
  // freeze that long, so it runs apart and this thread sleeps in an event loop meanwhile.
  bool done = false;
  std::unique_ptr<QThread> transfer(QThread::create([&] { done = TransferToFile(url, path, limits); }));
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
