#pragma once

// The printer spooler and user profile as the default-printer routines use them: the Win32
// calls' shapes, with a Win32 and a CUPS implementation. Kept free of Qt so the Win32 one
// can be checked with a Windows compiler alone.

#include <cstdint>
#include <string>

namespace DefaultPrinter {

// The spooler's printer information at level 5, laid out as PRINTER_INFO_5A.
struct PrinterInfo5 {
  char *pPrinterName;
  char *pPortName;
  std::uint32_t Attributes;
  std::uint32_t DeviceNotSelectedTimeout;
  std::uint32_t TransmissionRetryTimeout;
};

constexpr std::uint32_t kPlatformWin32Windows = 1;
constexpr std::uint32_t kPrinterAttributeDefault = 0x00000004;
constexpr std::uint32_t kPrinterAttributeShared = 0x00000008;

// Win32 error codes the CUPS implementation reports in the same terms.
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorInvalidLevel = 124;
constexpr std::uint32_t kErrorInvalidPrinterName = 1801;

using PrinterHandle = void *;

class Spooler {
public:
  virtual ~Spooler() = default;

  // GetVersionExA's platform id.
  virtual std::uint32_t PlatformId() = 0;
  // GetProfileStringA / WriteProfileStringA on the user's profile.
  virtual void ReadProfileText(const char *section, const char *key, const char *defaultValue, char *buffer,
                               std::uint32_t size) = 0;
  virtual void WriteProfileText(const char *section, const char *key, const char *value) = 0;
  // Tells every top-level window that a profile section changed.
  virtual void BroadcastIniChange(const char *section) = 0;
  // OpenPrinterA with PRINTER_ALL_ACCESS, GetPrinterA, SetPrinterA, GetLastError, ClosePrinter.
  virtual bool Open(const char *name, PrinterHandle *handle) = 0;
  virtual bool GetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *buffer, std::uint32_t size,
                       std::uint32_t *needed) = 0;
  virtual bool SetInfo(PrinterHandle handle, std::uint32_t level, unsigned char *info,
                       std::uint32_t command) = 0;
  virtual std::uint32_t LastError() = 0;
  virtual void Close(PrinterHandle handle) = 0;
  // Empty when the spooler took the print job the printer engine handed it last, else the
  // spooler's own words for why not.
  virtual std::string LastJobRefusal() = 0;
  // Whether any printer is set up at all.
  virtual bool AnyPrinterInstalled() = 0;
  // The current default printer's name (empty when there is none): the printer a print job
  // goes to when it names none.
  virtual std::string DefaultPrinterName() = 0;
};

// The platform's spooler.
Spooler &SystemSpooler();

// The spooler the routines use: the platform's, unless a test installed another. Returns
// the previous one (nullptr = the platform's).
Spooler *SetSpooler(Spooler *spooler);
Spooler &ActiveSpooler();

} // namespace DefaultPrinter
