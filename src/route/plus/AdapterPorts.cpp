#include "route/plus/AdapterPorts.h"

#include <algorithm>
#include <iterator>
#include <utility>

#ifdef SKELD_SERIAL_ADAPTERS
#include <QSerialPortInfo>
#endif

namespace gpibadapter {
namespace {

constexpr quint16 FtdiVendor = 0x0403;
constexpr quint16 FtdiFt232r = 0x6001;
constexpr quint16 ArduinoVendors[] = {0x2341, 0x2A03};
constexpr quint16 Ch340Vendor = 0x1A86;
constexpr quint16 Ch340Product = 0x7523;

bool Names(const QString &text) {
  return text.contains(QLatin1String("prologix"), Qt::CaseInsensitive) ||
         text.contains(QLatin1String("ar488"), Qt::CaseInsensitive) ||
         text.contains(QLatin1String("arduino"), Qt::CaseInsensitive);
}

PortLister &Lister() {
  static PortLister lister;
  return lister;
}

QList<PortFacts> SystemPorts() {
  QList<PortFacts> ports;
#ifdef SKELD_SERIAL_ADAPTERS
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
    ports.append(PortFacts{info.systemLocation(), info.description(), info.manufacturer(),
                           info.hasVendorIdentifier() && info.hasProductIdentifier(), info.vendorIdentifier(),
                           info.productIdentifier()});
#endif
  return ports;
}

} // namespace

PortLister SetPortLister(PortLister lister) { return std::exchange(Lister(), std::move(lister)); }

route::PlusRoute::Kind LikelyDialect(const PortFacts &port) {
  for (const QString &text : {port.description, port.manufacturer}) {
    if (text.contains(QLatin1String("prologix"), Qt::CaseInsensitive))
      return route::PlusRoute::Kind::Prologix;
    if (text.contains(QLatin1String("ar488"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("arduino"), Qt::CaseInsensitive))
      return route::PlusRoute::Kind::Ar488;
  }
  if (port.hasIds &&
      (port.vendor == Ch340Vendor || std::find(std::begin(ArduinoVendors), std::end(ArduinoVendors),
                                               port.vendor) != std::end(ArduinoVendors)))
    return route::PlusRoute::Kind::Ar488;
  return route::PlusRoute::Kind::Prologix;
}

QList<PortFacts> AdapterLikePortFacts() {
  QList<PortFacts> found;
  for (const PortFacts &port : Lister() ? Lister()() : SystemPorts())
    if (LooksLikeAdapter(port))
      found.append(port);
  return found;
}

QList<PortFacts> ScopeLikePortFacts() {
  QList<PortFacts> found;
  for (const PortFacts &port : Lister() ? Lister()() : SystemPorts())
    if (!Names(port.description) && !Names(port.manufacturer))
      found.append(port);
  return found;
}

bool LooksLikeAdapter(const PortFacts &port) {
  if (Names(port.description) || Names(port.manufacturer))
    return true;
  if (!port.hasIds)
    return false;
  if (port.vendor == FtdiVendor && port.product == FtdiFt232r)
    return true;
  if (port.vendor == Ch340Vendor && port.product == Ch340Product)
    return true;
  for (const quint16 vendor : ArduinoVendors)
    if (port.vendor == vendor)
      return true;
  return false;
}

QStringList AdapterLikePorts() {
  QStringList found;
  for (const PortFacts &port : AdapterLikePortFacts()) {
    const QString about = port.description.isEmpty() ? port.manufacturer : port.description;
    found << (about.isEmpty() ? port.name : port.name + QStringLiteral(" (") + about + QLatin1Char(')'));
  }
  return found;
}

std::string NoDriverAdvice() {
  const QStringList ports = AdapterLikePorts();
  QString text = QStringLiteral("With a Prologix or AR488 adapter, start the viewer with --interface "
                                "prologix:PORT, prologix-tcp:HOST[:PORT] or ar488:PORT.");
  text += ports.isEmpty()
              ? QStringLiteral("\nNo serial port here looks like such an adapter.")
              : QStringLiteral("\nSerial ports that look like one: ") + ports.join(QStringLiteral(", "));
  return text.toStdString();
}

} // namespace gpibadapter
