#pragma once

#include <QList>
#include <QString>

#include <chrono>

namespace vxi11 {

struct FoundInstrument {
  QString address; // IPv4, dotted
  QString name;    // the host name it resolves to; empty when it does not
};

// Asks the portmapper of every local IPv4 broadcast address (one UDP request an interface)
// for the VXI-11 core program and collects the answers for the time given, in the event loop
// with user input held back. The hosts that serve it, in the order they answered.
QList<FoundInstrument> SearchNetwork(std::chrono::milliseconds listen = std::chrono::milliseconds(2000));

// How the dialog lists one: "scope.lab (192.168.1.20)", or the address alone.
QString FoundText(const FoundInstrument &found);

} // namespace vxi11
