#include "route/RouteInstall.h"

#include "gpib/Vbib32.h"
#include "route/EmulatedDriver.h"
#include "route/plus/AdapterDriver.h"
#include "route/plus/AdapterPorts.h"
#include "route/rs232/Rs232Driver.h"
#include "route/vxi11/Vxi11Driver.h"
#ifdef __linux__
#include "route/usbtmc/UsbTmcDriver.h"
#endif

#include <vector>

namespace route {
namespace {

// The table holds plain functions: they reach the one emulated driver installed.
EmulatedDriver *gDriver = nullptr;
const RouteInstall *gInstalled = nullptr;

#define ROUTE_ENTRY(ret, name, params, args)                                                                 \
  ret GPIB_CALL name params { return gDriver->name args; }
GPIB_DRIVER_CALLS(ROUTE_ENTRY)
GPIB_DRIVER_STATUS(ROUTE_ENTRY)
#undef ROUTE_ENTRY

const GpibDriverApi &Table() {
  static const GpibDriverApi api = [] {
    GpibDriverApi a;
#define ROUTE_TABLE_ENTRY(ret, name, params, args) a.name = name;
    GPIB_DRIVER_CALLS(ROUTE_TABLE_ENTRY)
    GPIB_DRIVER_STATUS(ROUTE_TABLE_ENTRY)
#undef ROUTE_TABLE_ENTRY
    return a;
  }();
  return api;
}

// The scope chosen by its address: the listener search offers the board and that address
// alone, so that only it is probed.
const GpibDriverApi *gUnfiltered = nullptr;
int gOnlyAddress = 0;

void GPIB_CALL FindOnlyAddress(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
  std::vector<Addr4882_t> offered;
  for (const Addr4882_t *p = pads; p && *p != NOADDR; ++p)
    if ((*p & 0xFF) == 0 || (*p & 0xFF) == gOnlyAddress)
      offered.push_back(*p);
  offered.push_back(NOADDR);
  gUnfiltered->FindLstn(board, pads ? offered.data() : nullptr, results, limit);
}

const GpibDriverApi &OnlyAddress(const GpibDriverApi &api, int address) {
  static GpibDriverApi filtered;
  gUnfiltered = &api;
  gOnlyAddress = address;
  filtered = api;
  filtered.FindLstn = FindOnlyAddress;
  return filtered;
}

} // namespace

std::unique_ptr<EmulatedDriver> MakeDriver(const Route &where) {
  if (const PlusRoute *plus = where.Plus())
    return std::make_unique<gpibadapter::AdapterDriver>(*plus);
  if (const auto *serial = std::get_if<Rs232Route>(&where.way))
    return std::make_unique<Rs232Driver>(*serial);
  if (const auto *lan = std::get_if<Vxi11Route>(&where.way))
    return std::make_unique<vxi11::Vxi11Driver>(*lan);
#ifdef __linux__
  if (const auto *usb = std::get_if<UsbTmcRoute>(&where.way))
    return std::make_unique<usbtmc::UsbTmcDriver>(*usb);
#endif
  return nullptr;
}

RouteInstall::RouteInstall(const Route &where) : RouteInstall(where, MakeDriver(where)) {}

RouteInstall::RouteInstall(const Route &where, std::unique_ptr<EmulatedDriver> driver)
    : where_(where), driver_(std::move(driver)) {
  Install();
}

void RouteInstall::Install() {
  gInstalled = this;
  if (!driver_) {
    VBIB32::UseDriver(nullptr);
    VBIB32::SetLibraryFailureAdvice(gpibadapter::NoDriverAdvice);
    // A library that cannot be loaded fails every call the same way, address or not.
    std::string failure;
    if (where_.address && VBIB32::TryDriverLibrary(failure))
      VBIB32::UseDriver(&OnlyAddress(*VBIB32::LoadedLibrary(), *where_.address));
    return;
  }
  VBIB32::SetLibraryFailureAdvice(nullptr);
  gDriver = driver_.get();
  EmulatedDriver *driver = driver_.get();
  VBIB32::UseDriver(where_.address ? &OnlyAddress(Table(), *where_.address) : &Table(),
                    [driver] { return driver->Failure(); });
}

// Only the route installed last takes itself out: one that a new route replaced leaves the
// binding alone.
RouteInstall::~RouteInstall() {
  if (gInstalled != this)
    return;
  gInstalled = nullptr;
  VBIB32::UseDriver(nullptr);
  VBIB32::SetLibraryFailureAdvice(nullptr);
  gDriver = nullptr;
}

std::unique_ptr<RouteInstall> RouteInstall::Connect(const Route &where, QString &why) {
  std::unique_ptr<EmulatedDriver> driver = MakeDriver(where);
  if (!driver) {
    std::string failure;
    if (!VBIB32::TryDriverBoard(failure)) {
      why = QString::fromStdString(failure);
      return nullptr;
    }
  } else if (!driver->Connect()) {
    why = QString::fromStdString(driver->Failure());
    return nullptr;
  }
  return std::unique_ptr<RouteInstall>(new RouteInstall(where, std::move(driver)));
}

void RouteInstall::ChooseAddress(std::optional<int> address) {
  where_.address = address;
  Install();
}

void RouteInstall::Release() {
  if (driver_)
    driver_->Release();
}

} // namespace route
