#include "route/usbtmc/UsbTmcDriver.h"

#include "gpib/GpibCodes.h"
#include "route/usbtmc/UsbTmcListing.h"

#include <linux/usb/tmc.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/ioctl.h>
#include <unistd.h>

namespace usbtmc {
namespace {

using namespace gpibcodes;

constexpr unsigned MinTimeoutMs = 100; // the kernel driver refuses less

} // namespace

const char *const UsbTmcDriver::PermissionAdvice =
    "The package's udev rule gives the logged-in user and the group plugdev access to USB "
    "instruments; after installing it, unplug the scope and plug it in again.";
const char *const UsbTmcDriver::PortSettingAdvice =
    "A scope that is connected but not found: set its USB port to Computer (not Printer) in its "
    "Utility menu.";

UsbTmcDriver::UsbTmcDriver(const route::UsbTmcRoute &where, const QString &sysfsRoot)
    : where_(where), sysfsRoot_(sysfsRoot) {}

UsbTmcDriver::~UsbTmcDriver() { Close(); }

bool UsbTmcDriver::Find(QString &why) {
  if (!where_.node.isEmpty()) {
    node_ = where_.node;
    return true;
  }
  for (const UsbInstrument &instrument : ListInstruments(sysfsRoot_)) {
    if (Names(where_, instrument)) {
      node_ = instrument.node;
      return true;
    }
  }
  why = QStringLiteral("%1: no such USB instrument is plugged in. %2")
            .arg(route::RouteText(where_), QLatin1String(PortSettingAdvice));
  return false;
}

bool UsbTmcDriver::Open(QString &why) {
  if (!Find(why))
    return false;
  fd_ = ::open(node_.toLocal8Bit().constData(), O_RDWR | O_CLOEXEC);
  if (fd_ < 0) {
    const int error = errno;
    if (error == EACCES || error == EPERM)
      why = QStringLiteral("%1: permission denied. %2").arg(node_, QLatin1String(PermissionAdvice));
    else if (error == ENOENT || error == ENODEV || error == ENXIO)
      why = QStringLiteral("%1: no such device; is the scope plugged in? %2")
                .arg(node_, QLatin1String(PortSettingAdvice));
    else
      why = QStringLiteral("%1: %2").arg(node_, QString::fromLocal8Bit(std::strerror(error)));
    return false;
  }
  // Both are the kernel's defaults; said once so that an older setting left on the node
  // does not stay.
  __u8 eom = 1;
  ::ioctl(fd_, USBTMC_IOCTL_EOM_ENABLE, &eom);
  unsigned char caps = 0;
  statusByte_ = ::ioctl(fd_, USBTMC488_IOCTL_GET_CAPS, &caps) == 0 && (caps & USBTMC488_CAPABILITY_488_DOT_2);
  timeoutSet_ = 0;
  return true;
}

void UsbTmcDriver::Close() {
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
}

QString UsbTmcDriver::LostText(const QString &reason) const {
  return QStringLiteral("%1: the USB instrument %2")
      .arg(node_.isEmpty() ? route::RouteText(where_) : node_, reason);
}

int UsbTmcDriver::Failed(int error, const char *during) {
  if (error == ENODEV || error == ESHUTDOWN || error == ENOENT)
    return Lost(QStringLiteral("was unplugged") + QLatin1String(during));
  return Fail(EDVR);
}

int UsbTmcDriver::TimedOut(unsigned long abort) {
  ::ioctl(fd_, abort);
  return Fail(EABO, TIMO | CMPL);
}

bool UsbTmcDriver::SetTimeout(int tmo) {
  const auto ms = static_cast<unsigned>(
      std::clamp<long long>(HostLimit(tmo).count(), MinTimeoutMs, std::numeric_limits<__u32>::max()));
  if (ms == timeoutSet_)
    return true;
  __u32 value = ms;
  if (::ioctl(fd_, USBTMC_IOCTL_SET_TIMEOUT, &value) != 0)
    return errno != ENODEV;
  timeoutSet_ = ms;
  return true;
}

int UsbTmcDriver::Write(const Device &device, const QByteArray &data) {
  if (!SetTimeout(device.tmo))
    return Failed(ENODEV, " before a write");
  const ssize_t written = ::write(fd_, data.constData(), static_cast<size_t>(data.size()));
  if (written < 0)
    return errno == ETIMEDOUT ? TimedOut(USBTMC_IOCTL_ABORT_BULK_OUT) : Failed(errno, " during a write");
  return Complete();
}

// The kernel reads one transfer of up to wanted bytes; the rest of a longer message comes
// with the next call. The message's end bit is asked for, or taken from a short transfer
// when the kernel cannot tell it.
int UsbTmcDriver::Read(const Device &device, char *buf, int wanted, long &got) {
  if (wanted == 0)
    return Complete();
  if (!SetTimeout(device.tmo))
    return Failed(ENODEV, " before a read");
  const ssize_t n = ::read(fd_, buf, static_cast<size_t>(wanted));
  if (n < 0)
    return errno == ETIMEDOUT ? TimedOut(USBTMC_IOCTL_ABORT_BULK_IN) : Failed(errno, " during a read");
  got = static_cast<long>(n);
  __u8 attributes = 0;
  const bool end =
      ::ioctl(fd_, USBTMC_IOCTL_MSG_IN_ATTR, &attributes) == 0 ? (attributes & 1) != 0 : n < wanted;
  return Complete(end ? END : 0);
}

int UsbTmcDriver::Clear(const Device &) {
  return ::ioctl(fd_, USBTMC_IOCTL_CLEAR) == 0 ? Complete() : Failed(errno, " during a clear");
}

int UsbTmcDriver::Poll(const Device &, int &statusByte) {
  if (!statusByte_)
    return Fail(ECAP);
  unsigned char value = 0;
  if (::ioctl(fd_, USBTMC488_IOCTL_READ_STB, &value) != 0)
    return errno == ETIMEDOUT ? Fail(EABO, TIMO | CMPL) : Failed(errno, " during a serial poll");
  statusByte = value;
  return Complete();
}

} // namespace usbtmc
