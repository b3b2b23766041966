#include "route/usbtmc/UsbTmcListing.h"

#include <QByteArray>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace usbtmc {
namespace {

// Plain system calls, not QFile: an attribute file reports its size as 4096 whatever it holds.
QString Attribute(const QByteArray &dir, const char *name) {
  const int fd = ::open((dir + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return QString();
  char buffer[256];
  const ssize_t got = ::read(fd, buffer, sizeof buffer);
  ::close(fd);
  return got > 0 ? QString::fromUtf8(buffer, static_cast<int>(got)).trimmed() : QString();
}

quint16 HexId(const QString &text) { return static_cast<quint16>(text.toUInt(nullptr, 16)); }

// "usbtmc12" sorts after "usbtmc2".
bool NodeOrder(const UsbInstrument &a, const UsbInstrument &b) {
  return a.node.size() != b.node.size() ? a.node.size() < b.node.size() : a.node < b.node;
}

} // namespace

QList<UsbInstrument> ListInstruments(const QString &sysfsRoot) {
  QList<UsbInstrument> found;
  const QByteArray classDir = sysfsRoot.toLocal8Bit() + "/class/usbmisc";
  DIR *dir = ::opendir(classDir.constData());
  if (!dir)
    return found;
  while (const dirent *entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (!name.startsWith("usbtmc"))
      continue;
    // device is the USB interface; the USB device that holds the strings is its parent.
    char resolved[PATH_MAX];
    if (!::realpath((classDir + '/' + name + "/device").constData(), resolved))
      continue;
    QByteArray device(resolved);
    device.truncate(std::max<qsizetype>(device.lastIndexOf('/'), 0));
    UsbInstrument instrument;
    instrument.node = QStringLiteral("/dev/") + QString::fromLocal8Bit(name);
    instrument.vendor = HexId(Attribute(device, "idVendor"));
    instrument.product = HexId(Attribute(device, "idProduct"));
    instrument.manufacturer = Attribute(device, "manufacturer");
    instrument.productName = Attribute(device, "product");
    instrument.serial = Attribute(device, "serial");
    found.append(instrument);
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), NodeOrder);
  return found;
}

QString RowText(const UsbInstrument &instrument) {
  QStringList parts;
  parts << (instrument.productName.isEmpty() ? QStringLiteral("USB %1:%2")
                                                   .arg(instrument.vendor, 4, 16, QLatin1Char('0'))
                                                   .arg(instrument.product, 4, 16, QLatin1Char('0'))
                                             : instrument.productName);
  if (!instrument.serial.isEmpty())
    parts << QStringLiteral("serial ") + instrument.serial;
  parts << instrument.node;
  return parts.join(QStringLiteral(", "));
}

route::Route RouteTo(const UsbInstrument &instrument) {
  if (instrument.serial.isEmpty())
    return route::UsbTmcRoute{instrument.node, 0, 0, QString()};
  return route::UsbTmcRoute{QString(), instrument.vendor, instrument.product, instrument.serial};
}

bool Names(const route::UsbTmcRoute &route, const UsbInstrument &instrument) {
  if (!route.node.isEmpty())
    return route.node == instrument.node;
  return route.vendor == instrument.vendor && route.product == instrument.product &&
         route.serial == instrument.serial;
}

std::optional<UsbInstrument> OnlyScope(const QList<UsbInstrument> &instruments) {
  std::optional<UsbInstrument> only;
  for (const UsbInstrument &instrument : instruments) {
    if (!instrument.productName.contains(QLatin1String("TDS"), Qt::CaseInsensitive))
      continue;
    if (only)
      return std::nullopt;
    only = instrument;
  }
  return only;
}

} // namespace usbtmc
