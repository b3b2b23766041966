#pragma once

#include "gpib/adapter/GpibInterface.h"

#include <memory>

namespace gpibadapter {

class AdapterDriver;

// The interface chosen at start-up, installed under the binding for as long as this lives:
// the driver library (which then also tells how to start with an adapter when it is
// missing), or an adapter driver. The adapter is opened on the first driver call.
class InterfaceChoice {
public:
  explicit InterfaceChoice(const GpibInterface &where);
  ~InterfaceChoice();
  InterfaceChoice(const InterfaceChoice &) = delete;
  InterfaceChoice &operator=(const InterfaceChoice &) = delete;

private:
  std::unique_ptr<AdapterDriver> driver_;
};

} // namespace gpibadapter
