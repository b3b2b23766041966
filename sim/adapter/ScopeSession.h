#pragma once

#include "gpib/GpibDriverApi.h"
#include "sim/SimBus.h"

#include <QByteArray>
#include <QObject>

#include <map>
#include <optional>
#include <string>

namespace gpibsim {

// The first TDS of the simulated bus on its own serial port: every line the host sends is one
// command, a query's reply goes back ended by a line feed, and a break (which the scope's UART
// reads as a NUL) is a device clear, answered with "DCL" by the TDS 3000 models. The bus is
// reached through the simulated driver's own entries, so the trace shows each command.
class ScopeSession : public QObject {
  Q_OBJECT
public:
  explicit ScopeSession(QObject *parent = nullptr);

  void Receive(const QByteArray &bytes);
  // The host went away: its unfinished line is dropped.
  void Reset();

signals:
  void send(const QByteArray &bytes);
  // A "disconnect" fault struck: the line is to close.
  void vanish();

private:
  void Execute(const std::string &command);
  void Break();
  bool Disconnects(const std::string &command);

  const GpibDriverApi &driver_;
  std::optional<ListenerDescription> scope_;
  int ud_ = -1;
  QByteArray line_;
  std::map<std::string, int> occurrences_;
  bool vanished_ = false;
};

} // namespace gpibsim
