#pragma once

#include <QString>
#include <QStringList>

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

// The serial ports present now that look like an adapter: "/dev/ttyUSB0 (FT232R USB UART)".
QStringList AdapterLikePorts();

// Said when the driver library cannot be loaded: how to start with an adapter instead, and
// which ports look like one.
std::string NoDriverAdvice();

} // namespace gpibadapter
