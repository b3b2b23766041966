#include "output/Spooler.h"

#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include <cstring>

namespace DefaultPrinter {

namespace {

static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA size");
static_assert(sizeof(PrinterInfo5) == sizeof(PRINTER_INFO_5A), "PRINTER_INFO_5A layout");
static_assert(offsetof(PrinterInfo5, pPortName) == offsetof(PRINTER_INFO_5A, pPortName),
              "PRINTER_INFO_5A layout");
static_assert(offsetof(PrinterInfo5, Attributes) == offsetof(PRINTER_INFO_5A, Attributes),
              "PRINTER_INFO_5A layout");
static_assert(offsetof(PrinterInfo5, TransmissionRetryTimeout) ==
                  offsetof(PRINTER_INFO_5A, TransmissionRetryTimeout),
              "PRINTER_INFO_5A layout");
static_assert(kPrinterAttributeDefault == PRINTER_ATTRIBUTE_DEFAULT, "attribute bit");

// A window that does not answer the profile-change broadcast must not hold printing up.
constexpr UINT kBroadcastTimeoutMs = 500;

class Win32Spooler final : public Spooler {
public:
  std::uint32_t PlatformId() override {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    return info.dwPlatformId;
  }

  void ReadProfileText(const char *section, const char *key, const char *defaultValue, char *buffer,
                       std::uint32_t size) override {
    GetProfileStringA(section, key, defaultValue, buffer, size);
  }

  void WriteProfileText(const char *section, const char *key, const char *value) override {
    WriteProfileStringA(section, key, value);
  }

  void BroadcastIniChange(const char *section) override {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(section),
                        SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, &result);
  }

  bool Open(const char *name, PrinterHandle *handle) override {
    PRINTER_DEFAULTSA defaults;
    defaults.pDatatype = nullptr;
    defaults.pDevMode = nullptr;
    defaults.DesiredAccess = PRINTER_ALL_ACCESS;
    HANDLE opened = nullptr;
    if (!OpenPrinterA(const_cast<LPSTR>(name), &opened, &defaults))
      return false;
    *handle = opened;
    return true;
  }

  bool GetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *buffer, std::uint32_t size,
               std::uint32_t *needed) override {
    DWORD bytesNeeded = 0;
    const BOOL filled = GetPrinterA(static_cast<HANDLE>(handle), level, buffer, size, &bytesNeeded);
    *needed = bytesNeeded;
    return filled != FALSE;
  }

  bool SetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *info,
               std::uint32_t command) override {
    return SetPrinterA(static_cast<HANDLE>(handle), level, info, command) != FALSE;
  }

  std::uint32_t LastError() override { return GetLastError(); }

  void Close(PrinterHandle handle) override { ClosePrinter(static_cast<HANDLE>(handle)); }

  // A refusal shows as a failed StartDoc, which fails the painter's begin.
  // A refusal shows as a failed StartDoc, which fails the painter's begin.
  std::string LastJobRefusal() override { return std::string(); }

  bool AnyPrinterInstalled() override {
    DWORD needed = 0;
    DWORD count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, nullptr, 0, &needed, &count);
    return needed > 0;
  }

  std::string DefaultPrinterName() override {
    DWORD size = 0;
    GetDefaultPrinterA(nullptr, &size);
    if (size == 0)
      return std::string();
    std::string name(size, '\0');
    if (!GetDefaultPrinterA(&name[0], &size))
      return std::string();
    name.resize(strnlen(name.c_str(), name.size()));
    return name;
  }
};

} // namespace

Spooler &SystemSpooler() {
  static Win32Spooler spooler;
  return spooler;
}

} // namespace DefaultPrinter
