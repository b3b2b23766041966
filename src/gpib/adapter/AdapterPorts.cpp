#include "gpib/adapter/AdapterPorts.h"

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

} // namespace

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
#ifdef SKELD_SERIAL_ADAPTERS
  for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
    PortFacts port{info.systemLocation(),   info.description(),
                   info.manufacturer(),     info.hasVendorIdentifier() && info.hasProductIdentifier(),
                   info.vendorIdentifier(), info.productIdentifier()};
    if (!LooksLikeAdapter(port))
      continue;
    const QString about = port.description.isEmpty() ? port.manufacturer : port.description;
    found << (about.isEmpty() ? port.name : port.name + QStringLiteral(" (") + about + QLatin1Char(')'));
  }
#endif
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
