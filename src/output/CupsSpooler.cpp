#include "output/Spooler.h"

#include <cups/cups.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace DefaultPrinter {

namespace {

// The destinations as the user sees them (server queues and the user's lpoptions).
class Destinations {
public:
  Destinations() : count_(cupsGetDests2(CUPS_HTTP_DEFAULT, &dests_)) {}
  ~Destinations() { cupsFreeDests(count_, dests_); }
  Destinations(const Destinations &) = delete;
  Destinations &operator=(const Destinations &) = delete;

  // A name as the print dialog gives it: "queue" or "queue/instance".
  cups_dest_t *Find(const std::string &name) const {
    const std::size_t slash = name.find('/');
    const std::string queue = name.substr(0, slash);
    const std::string instance = slash == std::string::npos ? std::string() : name.substr(slash + 1);
    return cupsGetDest(queue.c_str(), instance.empty() ? nullptr : instance.c_str(), count_, dests_);
  }
  cups_dest_t *Default() const { return cupsGetDest(nullptr, nullptr, count_, dests_); }
  int count() const { return count_; }
  cups_dest_t *dests() const { return dests_; }

private:
  cups_dest_t *dests_ = nullptr;
  int count_ = 0;
};

std::string FullName(const cups_dest_t &dest) {
  std::string name = dest.name;
  if (dest.instance)
    name += std::string("/") + dest.instance;
  return name;
}

// CUPS has no per-printer default attribute and no win.ini; the platform id of the Windows
// 95 family sends the switch down the printer route, where "make this the default" becomes
// the user's default destination.
class CupsSpooler final : public Spooler {
public:
  std::uint32_t PlatformId() override { return kPlatformWin32Windows; }

  // No profile: every key reads as missing and writes go nowhere.
  void ReadProfileText(const char *, const char *, const char *defaultValue, char *buffer,
                       std::uint32_t size) override {
    if (size > 0) {
      std::strncpy(buffer, defaultValue, size - 1);
      buffer[size - 1] = '\0';
    }
  }
  void WriteProfileText(const char *, const char *, const char *) override {}
  void BroadcastIniChange(const char *) override {}

  bool Open(const char *name, PrinterHandle *handle) override {
    Destinations dests;
    if (!dests.Find(name)) {
      lastError_ = kErrorInvalidPrinterName;
      return false;
    }
    *handle = new std::string(name);
    return true;
  }

  bool GetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *buffer, std::uint32_t size,
               std::uint32_t *needed) override {
    if (level != 5) {
      lastError_ = kErrorInvalidLevel;
      return false;
    }
    Destinations dests;
    const cups_dest_t *dest = dests.Find(*static_cast<std::string *>(handle));
    if (!dest) {
      lastError_ = kErrorInvalidPrinterName;
      return false;
    }
    const std::string name = FullName(*dest);
    const char *uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    const std::string port = uri ? uri : "";
    const std::size_t total = sizeof(PrinterInfo5) + name.size() + 1 + port.size() + 1;
    *needed = static_cast<std::uint32_t>(total);
    if (!buffer || size < total) {
      lastError_ = kErrorInsufficientBuffer;
      return false;
    }
    // The texts follow the record in the same buffer, as the Windows spooler lays them out.
    char *names = reinterpret_cast<char *>(buffer) + sizeof(PrinterInfo5);
    std::memcpy(names, name.c_str(), name.size() + 1);
    std::memcpy(names + name.size() + 1, port.c_str(), port.size() + 1);
    const char *shared = cupsGetOption("printer-is-shared", dest->num_options, dest->options);
    PrinterInfo5 info{names, names + name.size() + 1,
                      (dest->is_default ? kPrinterAttributeDefault : 0u) |
                          (shared && std::strcmp(shared, "true") == 0 ? kPrinterAttributeShared : 0u),
                      0, 0};
    std::memcpy(buffer, &info, sizeof info);
    return true;
  }

  bool SetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *info, std::uint32_t) override {
    if (level != 5) {
      lastError_ = kErrorInvalidLevel;
      return false;
    }
    PrinterInfo5 wanted;
    std::memcpy(&wanted, info, sizeof wanted);
    if (!(wanted.Attributes & kPrinterAttributeDefault))
      return true;
    Destinations dests;
    const cups_dest_t *dest = dests.Find(*static_cast<std::string *>(handle));
    if (!dest) {
      lastError_ = kErrorInvalidPrinterName;
      return false;
    }
    for (int i = 0; i < dests.count(); ++i)
      dests.dests()[i].is_default = &dests.dests()[i] == dest;
    errno = 0;
    if (cupsSetDests2(CUPS_HTTP_DEFAULT, dests.count(), dests.dests()) != 0) {
      const int cause = errno;
      lastError_ =
          cause != 0 ? static_cast<std::uint32_t>(cause) : static_cast<std::uint32_t>(cupsLastError());
      if (lastError_ == 0)
        lastError_ = 1;
      return false;
    }
    return true;
  }

  std::uint32_t LastError() override { return lastError_; }

  void Close(PrinterHandle handle) override { delete static_cast<std::string *>(handle); }

  // The print engine submits the job with cupsPrintFile on this thread and drops the
  // answer; the status it leaves behind is the only word on it (a queue that rejects jobs).
  std::string LastJobRefusal() override {
    if (cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE)
      return std::string();
    const char *said = cupsLastErrorString();
    return said && *said ? said : ippErrorString(cupsLastError());
  }

  bool AnyPrinterInstalled() override { return Destinations().count() > 0; }

  std::string DefaultPrinterName() override {
    Destinations dests;
    const cups_dest_t *dest = dests.Default();
    return dest ? FullName(*dest) : std::string();
  }

private:
  std::uint32_t lastError_ = 0;
};

} // namespace

Spooler &SystemSpooler() {
  static CupsSpooler spooler;
  return spooler;
}

} // namespace DefaultPrinter
