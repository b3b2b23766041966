#include "gpib/adapter/InterfaceChoice.h"

#include "gpib/Vbib32.h"
#include "gpib/adapter/AdapterDriver.h"
#include "gpib/adapter/AdapterPorts.h"

namespace gpibadapter {
namespace {

// The table holds plain functions: they reach the one adapter driver installed.
AdapterDriver *gDriver = nullptr;
const InterfaceChoice *gInstalled = nullptr;

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

InterfaceChoice::InterfaceChoice(const GpibInterface &where)
    : InterfaceChoice(where, where.IsAdapter() ? std::make_unique<AdapterDriver>(where) : nullptr) {}

InterfaceChoice::InterfaceChoice(const GpibInterface &where, std::unique_ptr<AdapterDriver> driver)
    : where_(where), driver_(std::move(driver)) {
  Install();
}

void InterfaceChoice::Install() {
  gInstalled = this;
  if (!driver_) {
    VBIB32::UseDriver(nullptr);
    VBIB32::SetLibraryFailureAdvice(NoDriverAdvice);
    return;
  }
  VBIB32::SetLibraryFailureAdvice(nullptr);
  gDriver = driver_.get();
  AdapterDriver *driver = driver_.get();
  VBIB32::UseDriver(&Table(), [driver] { return driver->Failure(); });
}

// Only the choice installed last takes itself out: one that a new choice replaced leaves
// the binding alone.
InterfaceChoice::~InterfaceChoice() {
  if (gInstalled != this)
    return;
  gInstalled = nullptr;
  if (driver_) {
    VBIB32::UseDriver(nullptr);
    gDriver = nullptr;
  } else {
    VBIB32::SetLibraryFailureAdvice(nullptr);
  }
}

std::unique_ptr<InterfaceChoice> InterfaceChoice::Connect(const GpibInterface &where, QString &why) {
  if (!where.IsAdapter()) {
    std::string failure;
    if (!VBIB32::TryDriverLibrary(failure)) {
      why = QString::fromStdString(failure);
      return nullptr;
    }
    return std::unique_ptr<InterfaceChoice>(new InterfaceChoice(where, nullptr));
  }
  auto driver = std::make_unique<AdapterDriver>(where);
  if (!driver->Connect()) {
    why = QString::fromStdString(driver->Failure());
    return nullptr;
  }
  return std::unique_ptr<InterfaceChoice>(new InterfaceChoice(where, std::move(driver)));
}

void InterfaceChoice::Release() {
  if (driver_)
    driver_->Release();
}

} // namespace gpibadapter
