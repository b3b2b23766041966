#pragma once

#include "route/EmulatedDriver.h"
#include "route/Route.h"

#include <QString>

namespace usbtmc {

// The driver entries carried out on a USB Test & Measurement Class device through the Linux
// kernel's usbtmc driver: one write per command with the end-of-message bit, replies read to
// the end of the message, the device clear and the 488 status byte as the driver's ioctls.
// The one instrument on the node is the only listener.
class UsbTmcDriver : public route::EmulatedDriver {
public:
  // A route by ids and serial is looked up under sysfsRoot when the node is opened.
  explicit UsbTmcDriver(const route::UsbTmcRoute &where, const QString &sysfsRoot = QStringLiteral("/sys"));
  ~UsbTmcDriver() override;

  // What a node that cannot be opened for lack of permission is told with.
  static const char *const PermissionAdvice;
  // What a scope that is plugged in but not listed is told with.
  static const char *const PortSettingAdvice;

protected:
  bool Open(QString &why) override;
  void Close() override;
  int Write(const Device &device, const QByteArray &data) override;
  int Read(const Device &device, char *buf, int wanted, long &got) override;
  int Clear(const Device &device) override;
  int Poll(const Device &device, int &statusByte) override;
  QString LostText(const QString &reason) const override;
  const char *Noun() const override { return "USB instrument"; }

private:
  bool Find(QString &why);
  bool SetTimeout(int tmo);
  // A call that failed on the node: unplugged ends the link, anything else this call.
  int Failed(int error, const char *during);
  // After a time-out the kernel leaves the transfer to the caller to abort.
  int TimedOut(unsigned long abort);

  route::UsbTmcRoute where_;
  QString sysfsRoot_;
  QString node_;
  int fd_ = -1;
  unsigned timeoutSet_ = 0;
  bool statusByte_ = false;
};

} // namespace usbtmc
