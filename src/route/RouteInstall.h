#pragma once

#include "route/Route.h"

#include <QString>

#include <memory>
#include <optional>

namespace route {

class EmulatedDriver;

// The driver a route needs under the binding: none for the driver library, an emulated one
// for every other route. The one place that knows which class carries which route.
std::unique_ptr<EmulatedDriver> MakeDriver(const Route &where);

// The route chosen at start-up, installed under the binding for as long as this lives: the
// driver library (which then also tells how to start with an adapter when it is missing),
// or a route's emulated driver, whose link is opened on the first driver call.
class RouteInstall {
public:
  explicit RouteInstall(const Route &where);
  ~RouteInstall();
  RouteInstall(const RouteInstall &) = delete;
  RouteInstall &operator=(const RouteInstall &) = delete;

  // Tries the route at once (the driver library loaded and its board usable; the link opened
  // and answering) and installs it when it can be used; otherwise nullptr and why, in the
  // words of the program's reports. A route installed earlier stays installed until this
  // succeeds.
  static std::unique_ptr<RouteInstall> Connect(const Route &where, QString &why);

  const Route &Where() const { return where_; }
  // Narrows the listener search to one address from now on, or widens it again.
  void ChooseAddress(std::optional<int> address);
  // Lets go of the link so that it can be opened again; the next call reopens it.
  void Release();

private:
  RouteInstall(const Route &where, std::unique_ptr<EmulatedDriver> driver);
  void Install();

  Route where_;
  std::unique_ptr<EmulatedDriver> driver_;
};

} // namespace route
