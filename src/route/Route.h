#pragma once

#include <QString>

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// Every way the viewer reaches a scope, one line each. A bus route searches its listeners;
// a route to one instrument answers the search with that instrument alone.
namespace route {

// The NI-488.2 driver library and its board (a bus).
struct LibraryRoute {};

// A "++" adapter, Prologix or AR488, on a serial port or (Prologix) over TCP (a bus).
struct PlusRoute {
  enum class Kind { Prologix, Ar488 };
  Kind kind = Kind::Prologix;
  bool tcp = false;    // a TCP stream instead of a serial port
  QString port;        // serial port name, or the TCP host
  quint16 tcpPort = 0; // with tcp

  bool IsAr488() const { return kind == Kind::Ar488; }
  // The port or host:port, as messages name it.
  QString Place() const;
};

// The scope's own serial port (one instrument; line feed ends a message).
struct Rs232Route {
  enum class Flow { RtsCts, XonXoff, None };
  QString port;
  int baud = 9600;
  Flow flow = Flow::RtsCts;
};

// A USB Test & Measurement Class device: its node, or its USB ids and serial number.
struct UsbTmcRoute {
  QString node; // empty when named by ids
  quint16 vendor = 0;
  quint16 product = 0;
  QString serial;
};

// VXI-11 on the network: "inst0" (one instrument), "gpib0,N" (one address behind a gateway)
// or "gpib0" (the gateway's whole bus).
struct Vxi11Route {
  QString host;
  QString device = QStringLiteral("inst0");
};

using Way = std::variant<LibraryRoute, PlusRoute, Rs232Route, UsbTmcRoute, Vxi11Route>;

constexpr quint16 DefaultPrologixTcpPort = 1234;
constexpr int LowestAddress = 1;
constexpr int HighestAddress = 30;

struct Route {
  Route() = default;
  // Any one way stands for the route along it without an address.
  template <typename Along, typename = std::enable_if_t<std::is_constructible_v<Way, Along>>>
  Route(Along along, std::optional<int> scopeAddress = std::nullopt)
      : way(std::move(along)), address(scopeAddress) {}

  Way way;
  // The scope's GPIB address on a bus route; none: the first TDS found.
  std::optional<int> address;

  bool IsLibrary() const { return std::holds_alternative<LibraryRoute>(way); }
  const PlusRoute *Plus() const { return std::get_if<PlusRoute>(&way); }
  // Whether the route searches a bus for listeners (an address can be chosen there).
  bool IsBus() const;
  bool operator==(const Route &other) const;
  bool operator!=(const Route &other) const { return !(*this == other); }
};

// Reads every form the viewer accepts (ours and the VISA resource names, see RouteForms())
// and those of routes not built yet. On failure returns false and sets error to one line
// saying what is wrong and which forms are accepted.
bool ReadRoute(const QString &text, Route &out, QString &error);
// The same, refusing a route that is not built yet with one line naming it.
bool ParseRoute(const QString &text, Route &out, QString &error);
// Why a route cannot be used by this build; empty when it can.
QString NotBuilt(const Route &where);

// The route as --interface takes it: "ni", "prologix:/dev/ttyUSB0", "prologix-tcp:gpib.lab"
// (the usual TCP port left out); the driver library with an address as "GPIB0::7::INSTR".
// Other routes leave the address to --address.
QString RouteText(const Route &where);
// How the window's caption and the dialog name a route that reaches one instrument
// directly: "RS-232 /dev/ttyUSB0".
QString RouteName(const Route &where);

// The accepted forms, one a line, for --help.
QString RouteForms();

// A GPIB primary address as --address takes it; false with error set otherwise.
bool ParseAddress(const QString &text, int &address, QString &error);

} // namespace route
