#include "gpib/adapter/InterfaceChoice.h"

#include "gpib/Vbib32.h"
#include "gpib/adapter/AdapterDriver.h"
#include "gpib/adapter/AdapterPorts.h"

namespace gpibadapter {
namespace {

// The table holds plain functions: they reach the one adapter driver installed.
AdapterDriver *gDriver = nullptr;

#define GPIBADAPTER_ENTRY(ret, name, params, args)                                                           \
  ret GPIB_CALL name params { return gDriver->name args; }
GPIB_DRIVER_CALLS(GPIBADAPTER_ENTRY)
GPIB_DRIVER_STATUS(GPIBADAPTER_ENTRY)
#undef GPIBADAPTER_ENTRY

const GpibDriverApi &Table() {
  static const GpibDriverApi api = [] {
    GpibDriverApi a;
#define GPIBADAPTER_TABLE_ENTRY(ret, name, params, args) a.name = name;
    GPIB_DRIVER_CALLS(GPIBADAPTER_TABLE_ENTRY)
    GPIB_DRIVER_STATUS(GPIBADAPTER_TABLE_ENTRY)
#undef GPIBADAPTER_TABLE_ENTRY
    return a;
  }();
  return api;
}

} // namespace

InterfaceChoice::InterfaceChoice(const GpibInterface &where) {
  if (!where.IsAdapter()) {
    VBIB32::SetLibraryFailureAdvice(NoDriverAdvice);
    return;
  }
  driver_ = std::make_unique<AdapterDriver>(where);
  gDriver = driver_.get();
  AdapterDriver *driver = driver_.get();
  VBIB32::UseDriver(&Table(), [driver] { return driver->Failure(); });
}

InterfaceChoice::~InterfaceChoice() {
  if (driver_) {
    VBIB32::UseDriver(nullptr);
    gDriver = nullptr;
  } else {
    VBIB32::SetLibraryFailureAdvice(nullptr);
  }
}

} // namespace gpibadapter
