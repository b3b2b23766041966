#include "sim/adapter/PtyLink.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace gpibsim {

PtyLink::~PtyLink() { Close(); }

bool PtyLink::Open(QString &error) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  const char *name = nullptr;
  if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0)
    name = ptsname(master_);
  if (name)
    slave_ = open(name, O_RDWR | O_NOCTTY);
  termios mode{};
  if (slave_ < 0 || tcgetattr(slave_, &mode) != 0) {
    error = QStringLiteral("cannot open a pseudo-terminal: ") + QString::fromLocal8Bit(std::strerror(errno));
    Close();
    return false;
  }
  cfmakeraw(&mode);
  tcsetattr(slave_, TCSANOW, &mode);
  path_ = QString::fromLocal8Bit(name);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

  readable_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
  connect(readable_.get(), &QSocketNotifier::activated, this, &PtyLink::ReadMaster);
  writable_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
  writable_->setEnabled(false);
  connect(writable_.get(), &QSocketNotifier::activated, this, &PtyLink::Flush);
  return true;
}

QString PtyLink::Endpoint() const { return QStringLiteral("pty ") + path_; }

void PtyLink::ReadMaster() {
  char buffer[4096];
  // What was read may unplug the adapter: the master is closed then.
  while (master_ >= 0) {
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n > 0) {
      emit received(QByteArray(buffer, static_cast<int>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR)
      continue;
    // A master that fails for good would wake the loop forever.
    if (n == 0 || errno != EAGAIN)
      readable_->setEnabled(false);
    return;
  }
}

void PtyLink::Send(const QByteArray &bytes) {
  if (master_ < 0)
    return;
  unsent_ += bytes;
  Flush();
}

void PtyLink::Flush() {
  while (!unsent_.isEmpty()) {
    const ssize_t n = write(master_, unsent_.constData(), static_cast<std::size_t>(unsent_.size()));
    if (n > 0) {
      unsent_.remove(0, static_cast<int>(n));
    } else if (n < 0 && errno == EAGAIN) {
      writable_->setEnabled(true); // the host has not read what came before
      return;
    } else if (!(n < 0 && errno == EINTR)) {
      unsent_.clear();
    }
  }
  writable_->setEnabled(false);
}

void PtyLink::Close() {
  // Close may come from inside a notifier's own signal.
  for (std::unique_ptr<QSocketNotifier> *notifier : {&readable_, &writable_}) {
    if (*notifier) {
      (*notifier)->setEnabled(false);
      notifier->release()->deleteLater();
    }
  }
  unsent_.clear();
  for (int *fd : {&slave_, &master_}) {
    if (*fd >= 0)
      close(*fd);
    *fd = -1;
  }
}

} // namespace gpibsim
