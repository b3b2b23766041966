#include "gpib/Vbib32.h"

#include <cctype>
#include <cstdio>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace VBIB32 {

std::int16_t ibsta = 0;
std::int16_t iberr = 0;

namespace {

#ifdef _WIN32
constexpr const char *kDefaultLibrary = "Gpib-32.dll";
#else
constexpr const char *kDefaultLibrary = "libgpib.so.0";
#endif

#ifdef _WIN32
constexpr const char *kBoardAdvice = "Check that the GPIB board is installed and configured as GPIB0.";
#else
constexpr const char *kBoardAdvice =
    "Check the board's entry in /etc/gpib.conf, that gpib_config has been run for "
    "it, and that its kernel module is loaded.";
#endif

struct LoadedDriver {
  std::string libraryName = kDefaultLibrary;
  bool tried = false;
  bool usable = false;
  bool failureReported = false;
  // Its board answered the bus set-up once: opening the Connect dialog leaves the bus alone.
  bool boardUsable = false;
  std::string failure;
  GpibDriverApi api;
};

struct StatusVariables {
  int sta = 0;
  int err = 0;
  int cnt = 0;
  long cntl = 0;
};

const GpibDriverApi *gInjected = nullptr;
std::function<std::string()> gInjectedFailure;
std::function<std::string()> gLibraryAdvice;
LoadedDriver gLoaded;
StatusVariables gStatus;
bool gRegistered = false;
bool gFailuresToldWhereTheyHappen = false;

#ifdef _WIN32
using LibraryHandle = HMODULE;
// The system's own words for the error, then its number, which a driver vendor's notes use.
std::string LoaderReason(DWORD code) {
  char *text = nullptr;
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string words = length ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!words.empty() && std::isspace(static_cast<unsigned char>(words.back())))
    words.pop_back();
  const std::string number = "LoadLibrary error " + std::to_string(code);
  return words.empty() ? number : words + " (" + number + ")";
}
LibraryHandle OpenLibrary(const std::string &name, std::string &reason) {
  LibraryHandle handle = LoadLibraryA(name.c_str());
  if (!handle)
    reason = LoaderReason(GetLastError());
  return handle;
}
void (*FindEntry(LibraryHandle handle, const char *name))() {
  return reinterpret_cast<void (*)()>(GetProcAddress(handle, name));
}
#else
using LibraryHandle = void *;
LibraryHandle OpenLibrary(const std::string &name, std::string &reason) {
  LibraryHandle handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char *error = dlerror();
    reason = error ? error : "unknown loader error";
  }
  return handle;
}
void (*FindEntry(LibraryHandle handle, const char *name))() {
  return reinterpret_cast<void (*)()>(dlsym(handle, name));
}
#endif

template <typename Entry>
bool Resolve(LibraryHandle handle, Entry &slot, const char *name, std::string &missing) {
  slot = reinterpret_cast<Entry>(FindEntry(handle, name));
  if (!slot && missing.empty())
    missing = name;
  return slot != nullptr;
}

bool UsesRegistration(const GpibDriverApi &api) {
  return api.RegisterGpibGlobalsForThread && api.UnregisterGpibGlobalsForThread;
}

// The library stays loaded for the rest of the run once its entries are resolved.
void LoadLibraryOnce() {
  if (gLoaded.tried)
    return;
  gLoaded.tried = true;
  std::string reason;
  LibraryHandle handle = OpenLibrary(gLoaded.libraryName, reason);
  if (!handle) {
    // The loader names the library in its own text; Windows gives only an error number.
    gLoaded.failure =
        reason.find(gLoaded.libraryName) == std::string::npos ? gLoaded.libraryName + ": " + reason : reason;
    return;
  }
  GpibDriverApi &api = gLoaded.api;
  std::string missing;
#define VBIB32_RESOLVE(ret, name, params, args) Resolve(handle, api.name, #name, missing);
  GPIB_DRIVER_CALLS(VBIB32_RESOLVE) {
    std::string optional;
#define VBIB32_RESOLVE_OPTIONAL(ret, name, params, args) Resolve(handle, api.name, #name, optional);
    GPIB_DRIVER_REGISTRATION(VBIB32_RESOLVE_OPTIONAL)
#undef VBIB32_RESOLVE_OPTIONAL
  }
  // Without registration the status comes from the per-thread status functions.
  if (!UsesRegistration(api)) {
    GPIB_DRIVER_STATUS(VBIB32_RESOLVE)
  }
#undef VBIB32_RESOLVE
  if (!missing.empty()) {
    gLoaded.failure = gLoaded.libraryName + ": entry " + missing + " not found";
    return;
  }
  gLoaded.usable = true;
}

const GpibDriverApi *CurrentDriver() {
  if (gInjected)
    return gInjected;
  LoadLibraryOnce();
  if (gLoaded.usable)
    return &gLoaded.api;
  if (!gLoaded.failureReported) {
    gLoaded.failureReported = true;
    std::fprintf(stderr, "GPIB driver library could not be used: %s\n", gLoaded.failure.c_str());
  }
  return nullptr;
}

// Registers the status variables when not yet done; false means the call must fail.
bool EnsureRegistered(const GpibDriverApi &api) {
  if (!UsesRegistration(api) || gRegistered)
    return true;
  const int result =
      api.RegisterGpibGlobalsForThread(&gStatus.sta, &gStatus.err, &gStatus.cnt, &gStatus.cntl);
  if (result == 0) {
    gRegistered = true;
  } else if (result == 1) {
    // Registered before with other variables: take them back and register ours.
    api.UnregisterGpibGlobalsForThread();
    api.RegisterGpibGlobalsForThread(&gStatus.sta, &gStatus.err, &gStatus.cnt, &gStatus.cntl);
    gRegistered = true;
  } else if (result == 2 || result == 3) {
    api.UnregisterGpibGlobalsForThread();
  }
  return gRegistered;
}

void CopyStatus(const GpibDriverApi &api) {
  if (UsesRegistration(api)) {
    ibsta = static_cast<std::int16_t>(gStatus.sta & 0xFFFF);
    iberr = static_cast<std::int16_t>(gStatus.err);
  } else {
    ibsta = static_cast<std::int16_t>(api.ThreadIbsta() & 0xFFFF);
    iberr = static_cast<std::int16_t>(api.ThreadIberr());
  }
}

template <typename Call> void CallOn(const GpibDriverApi *api, Call &&call) {
  if (!api || !EnsureRegistered(*api)) {
    ibsta = ERR;
    iberr = EDVR;
    return;
  }
  call(*api);
  CopyStatus(*api);
}

// Every entry goes through here: find the driver, register, call, keep the status.
template <typename Call> void Wrapped(Call &&call) { CallOn(CurrentDriver(), std::forward<Call>(call)); }

// The answers to the bus set-up that leave no board to use: none configured, no such board,
// no kernel driver behind the library.
const char *BoardErrorName(int error) {
  switch (error) {
  case gpibcodes::EDVR:
    return "EDVR";
  case gpibcodes::ENEB:
    return "ENEB";
  case gpibcodes::EARG:
    return "EARG";
  default:
    return nullptr;
  }
}

} // namespace

void SendIFC(std::int16_t board) {
  Wrapped([&](const GpibDriverApi &api) { api.SendIFC(board); });
}

void ibsre(std::int16_t board, std::int16_t v) {
  Wrapped([&](const GpibDriverApi &api) { api.ibsre(board, v); });
}

void FindLstn(std::int16_t board, const std::int16_t *pads, std::int16_t *results, std::int16_t limit) {
  std::vector<Addr4882_t> padList;
  for (const std::int16_t *pad = pads;; ++pad) {
    padList.push_back(static_cast<Addr4882_t>(*pad));
    if (static_cast<Addr4882_t>(*pad) == NOADDR)
      break;
  }
  const int count = limit > 0 ? limit : 0;
  std::vector<Addr4882_t> found(results, results + count);
  Wrapped([&](const GpibDriverApi &api) { api.FindLstn(board, padList.data(), found.data(), limit); });
  for (int i = 0; i < count; ++i)
    results[i] = static_cast<std::int16_t>(found[i]);
}

std::int16_t ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo, std::int16_t eot,
                   std::int16_t eos) {
  int descriptor = 0;
  Wrapped([&](const GpibDriverApi &api) { descriptor = api.ibdev(board, pad, sad, tmo, eot, eos); });
  return static_cast<std::int16_t>(descriptor & 0xFFFF);
}

void ibpad(std::int16_t ud, std::int16_t pad) {
  Wrapped([&](const GpibDriverApi &api) { api.ibpad(ud, pad); });
}

void ibclr(std::int16_t ud) {
  Wrapped([&](const GpibDriverApi &api) { api.ibclr(ud); });
}

void ibtmo(std::int16_t ud, std::int16_t tmo) {
  Wrapped([&](const GpibDriverApi &api) { api.ibtmo(ud, tmo); });
}

void ibrsp(std::int16_t ud, char *spr) {
  Wrapped([&](const GpibDriverApi &api) { api.ibrsp(ud, spr); });
}

void ibwrt(std::int16_t ud, const std::string &text) {
  Wrapped([&](const GpibDriverApi &api) { api.ibwrt(ud, text.data(), static_cast<long>(text.size())); });
}

void ibwait(std::int16_t ud, std::int16_t mask) {
  Wrapped([&](const GpibDriverApi &api) { api.ibwait(ud, static_cast<std::uint16_t>(mask)); });
}

void ibrd(std::int16_t ud, std::string &buffer) {
  Wrapped([&](const GpibDriverApi &api) { api.ibrd(ud, buffer.data(), static_cast<long>(buffer.size())); });
}

void ibask(std::int16_t ud, std::int16_t option, std::int16_t &value) {
  int result = 0;
  Wrapped([&](const GpibDriverApi &api) { api.ibask(ud, option, &result); });
  value = static_cast<std::int16_t>(result & 0xFFFF);
}

void UseDriver(const GpibDriverApi *api) { UseDriver(api, nullptr); }

void UseDriver(const GpibDriverApi *api, std::function<std::string()> failure) {
  gInjected = api;
  gInjectedFailure = api ? std::move(failure) : nullptr;
  gRegistered = false;
  gStatus = StatusVariables{};
  ibsta = 0;
  iberr = 0;
}

void UseDriverLibrary(const std::string &libraryName) {
  gLoaded = LoadedDriver{};
  gLoaded.libraryName = libraryName;
  UseDriver(nullptr);
}

const char *DefaultDriverLibrary() { return kDefaultLibrary; }

const GpibDriverApi *LoadedLibrary() { return gLoaded.usable ? &gLoaded.api : nullptr; }

bool TryDriverLibrary(std::string &failure) {
  if (gLoaded.tried && !gLoaded.usable) {
    const std::string name = gLoaded.libraryName;
    gLoaded = LoadedDriver{};
    gLoaded.libraryName = name;
  }
  LoadLibraryOnce();
  failure = gLoaded.usable ? std::string() : gLoaded.failure;
  return gLoaded.usable;
}

bool TryDriverBoard(std::string &failure) {
  if (!TryDriverLibrary(failure))
    return false;
  if (gLoaded.boardUsable)
    return true;
  CallOn(&gLoaded.api, [](const GpibDriverApi &api) { api.SendIFC(0); });
  const char *name = (ibsta & ERR) ? BoardErrorName(iberr) : nullptr;
  gLoaded.boardUsable = !name;
  if (!name)
    return true;
  failure = gLoaded.libraryName + " answered " + name +
            " to the bus set-up (SendIFC, board 0): no GPIB board can be used through it.\n" + kBoardAdvice;
  return false;
}

void SetLibraryFailureAdvice(std::function<std::string()> advice) { gLibraryAdvice = std::move(advice); }

std::string DriverFailure() {
  if (gFailuresToldWhereTheyHappen)
    return std::string();
  if (gInjected)
    return gInjectedFailure ? gInjectedFailure() : std::string();
  if (gLoaded.usable || gLoaded.failure.empty())
    return std::string();
  const std::string advice = gLibraryAdvice ? gLibraryAdvice() : std::string();
  return advice.empty() ? gLoaded.failure : gLoaded.failure + "\n\n" + advice;
}

void SetFailuresToldWhereTheyHappen(bool told) { gFailuresToldWhereTheyHappen = told; }

bool Registered() { return gRegistered; }

} // namespace VBIB32
