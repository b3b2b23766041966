#pragma once

#include "gpib/adapter/GpibInterface.h"

#include <QString>

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

  // Tries the interface at once (the driver library loaded; the adapter opened and answering
  // ++ver) and installs it when it can be used; otherwise nullptr and why, in the words of
  // the program's reports. A choice installed earlier stays installed until this succeeds.
  static std::unique_ptr<InterfaceChoice> Connect(const GpibInterface &where, QString &why);

  const GpibInterface &Where() const { return where_; }
  // Lets go of the adapter's port so that it can be opened again; the next call reopens it.
  void Release();

private:
  InterfaceChoice(const GpibInterface &where, std::unique_ptr<AdapterDriver> driver);
  void Install();

  GpibInterface where_;
  std::unique_ptr<AdapterDriver> driver_;
};

} // namespace gpibadapter
