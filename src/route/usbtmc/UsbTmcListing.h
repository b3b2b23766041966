#pragma once

#include "route/Route.h"

#include <QList>
#include <QString>

#include <optional>

namespace usbtmc {

// One node of the kernel's usbtmc driver, as sysfs tells of it.
struct UsbInstrument {
  QString node; // /dev/usbtmc0
  quint16 vendor = 0;
  quint16 product = 0;
  QString manufacturer;
  QString productName; // "TDS 2024B"
  QString serial;      // empty when the device has no serial string
};

// Every usbtmc node under sysfsRoot (class/usbmisc), in node order.
QList<UsbInstrument> ListInstruments(const QString &sysfsRoot = QStringLiteral("/sys"));

// How the Connect dialog shows it: "TDS 2024B, serial C012345, /dev/usbtmc0".
QString RowText(const UsbInstrument &instrument);
// The route to it: by ids and serial (it keeps its name when the node number changes), by
// node without a serial.
route::Route RouteTo(const UsbInstrument &instrument);
// Whether the route names this instrument.
bool Names(const route::UsbTmcRoute &route, const UsbInstrument &instrument);
// The one instrument whose product string holds "TDS"; none when there is none or more.
std::optional<UsbInstrument> OnlyScope(const QList<UsbInstrument> &instruments);

} // namespace usbtmc
