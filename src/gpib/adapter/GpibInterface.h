#pragma once

#include <QString>

namespace gpibadapter {

// Which way the bus is reached: the driver library, or a "++" adapter on a serial port or TCP.
struct GpibInterface {
  enum class Kind { Ni, Prologix, Ar488 };
  Kind kind = Kind::Ni;
  bool tcp = false;    // a TCP stream instead of a serial port
  QString port;        // serial port name, or the TCP host
  quint16 tcpPort = 0; // with tcp

  bool IsAdapter() const { return kind != Kind::Ni; }
  bool IsAr488() const { return kind == Kind::Ar488; }
  // The port or host:port, as messages name it.
  QString Place() const;
};

constexpr quint16 DefaultPrologixTcpPort = 1234;

// Parses the text of --interface (or SKELD_GPIB_INTERFACE): "ni", "prologix:PORT",
// "prologix-tcp:HOST[:PORT]", "ar488:PORT". On failure returns false and sets error to one
// line saying what is wrong and which forms are accepted.
bool ParseGpibInterface(const QString &text, GpibInterface &out, QString &error);

// The interface as --interface takes it: "ni", "prologix:/dev/ttyUSB0", "prologix-tcp:gpib.lab"
// (the usual TCP port left out).
QString InterfaceText(const GpibInterface &where);

// The accepted forms, one a line, for --help.
QString InterfaceForms();

} // namespace gpibadapter
