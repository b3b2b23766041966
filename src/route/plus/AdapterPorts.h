#pragma once

#include "route/Route.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

namespace gpibadapter {

// What the system tells about one serial port.
struct PortFacts {
  QString name;
  QString description;
  QString manufacturer;
  bool hasIds = false;
  quint16 vendor = 0;
  quint16 product = 0;
};

// A Prologix GPIB-USB (FTDI 0403:6001), an Arduino or CH340 board, or a port whose
// description names Prologix or AR488.
bool LooksLikeAdapter(const PortFacts &port);

// The dialect such a port most likely speaks: AR488 on an Arduino or CH340 board or when its
// description says so, Prologix otherwise.
route::PlusRoute::Kind LikelyDialect(const PortFacts &port);

// The serial ports present now that look like an adapter, as the system lists them.
QList<PortFacts> AdapterLikePortFacts();
// The serial ports present now that do not name themselves a Prologix, AR488 or Arduino: the
// ones that may be a cable to a scope's own serial port (a plain FTDI cable is one).
QList<PortFacts> ScopeLikePortFacts();
// The same as text: "/dev/ttyUSB0 (FT232R USB UART)".
QStringList AdapterLikePorts();

// Where the serial ports come from: the system's list unless a test gives its own.
using PortLister = std::function<QList<PortFacts>()>;
PortLister SetPortLister(PortLister lister);

// Said when the driver library cannot be loaded: how to start with an adapter instead, and
// which ports look like one.
std::string NoDriverAdvice();

} // namespace gpibadapter
