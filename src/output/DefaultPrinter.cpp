#include "output/DefaultPrinter.h"

#include "output/Spooler.h"
#include "ui/Module1.h"

#include <cstring>

namespace DefaultPrinter {

namespace {
constexpr std::uint32_t kInfoLevel = 5;
constexpr std::uint32_t kTextBufferSize = 512;
constexpr std::uint32_t kProfileBufferSize = 1024;
constexpr char kSetPrinterFailed[] = "SetPrinterFailed. Error code: ";

Spooler *gSpooler = nullptr;
} // namespace

Spooler *SetSpooler(Spooler *spooler) {
  Spooler *previous = gSpooler;
  gSpooler = spooler;
  return previous;
}

Spooler &ActiveSpooler() { return gSpooler ? *gSpooler : SystemSpooler(); }

void SwitchDefaultPrinter(const QString &name) {
  const QByteArray ansiName = name.toLocal8Bit();
  if (GetPlatformId() == static_cast<std::int16_t>(kPlatformWin32Windows))
    SwitchByPrinterApi(ansiName);
  else
    SwitchByProfile(ansiName);
}

std::int16_t GetPlatformId() { return static_cast<std::int16_t>(ActiveSpooler().PlatformId()); }

void SwitchByProfile(const QByteArray &name) {
  char buffer[kProfileBufferSize];
  std::memset(buffer, ' ', sizeof buffer);
  ActiveSpooler().ReadProfileText("PrinterPorts", name.constData(), "", buffer, kProfileBufferSize);
  QByteArray driverName;
  QByteArray port;
  SplitPortsEntry(QByteArray(buffer, static_cast<qsizetype>(strnlen(buffer, sizeof buffer))), driverName,
                  port);
  if (!driverName.isEmpty() && !port.isEmpty())
    WriteDeviceEntry(name, driverName, port);
}

void SplitPortsEntry(const QByteArray &value, QByteArray &driverName, QByteArray &port) {
  driverName.clear();
  port.clear();
  const qsizetype first = value.indexOf(',');
  if (first < 0)
    return;
  driverName = value.left(first);
  const qsizetype second = value.indexOf(',', first + 1);
  if (second < 0)
    return;
  port = value.mid(first + 1, second - first - 1);
}

void WriteDeviceEntry(const QByteArray &name, const QByteArray &driverName, const QByteArray &port) {
  const QByteArray value = name + ',' + driverName + ',' + port;
  Spooler &spooler = ActiveSpooler();
  spooler.WriteProfileText("windows", "Device", value.constData());
  spooler.BroadcastIniChange("windows");
}

QByteArray TextFromPointer(const char *text) {
  if (!text)
    return QByteArray();
  // Bounded: a longer text must not run past the buffer it is taken through.
  const std::size_t length = strnlen(text, kTextBufferSize);
  return length < kTextBufferSize ? QByteArray(text, static_cast<qsizetype>(length)) : QByteArray();
}

std::vector<std::int32_t> Level5Buffer(std::uint32_t needed) {
  return std::vector<std::int32_t>(needed / 4 + 1);
}

void SwitchByPrinterApi(const QByteArray &name) {
  Spooler &spooler = ActiveSpooler();
  PrinterHandle handle = nullptr;
  if (!spooler.Open(name.constData(), &handle))
    return;
  std::uint32_t needed = 0;
  spooler.GetInfo(handle, kInfoLevel, nullptr, 0, &needed);
  std::vector<std::int32_t> buffer = Level5Buffer(needed);
  auto *bytes = reinterpret_cast<unsigned char *>(buffer.data());
  // A spooler that claims success with less than the record has not filled it.
  if (!spooler.GetInfo(handle, kInfoLevel, bytes, needed, &needed) ||
      buffer.size() * 4 < sizeof(PrinterInfo5)) {
    spooler.Close(handle);
    return;
  }
  PrinterInfo5 read;
  std::memcpy(&read, bytes, sizeof read);
  QByteArray printerName = TextFromPointer(read.pPrinterName);
  QByteArray portName = TextFromPointer(read.pPortName);
  // Exactly the default bit: the other attributes read are not written back.
  PrinterInfo5 write{printerName.data(), portName.data(), kPrinterAttributeDefault,
                     read.DeviceNotSelectedTimeout, read.TransmissionRetryTimeout};
  if (!spooler.SetInfo(handle, kInfoLevel, reinterpret_cast<unsigned char *>(&write), 0)) {
    const std::uint32_t code = spooler.LastError();
    Module1::ShowMessBox(QLatin1String(kSetPrinterFailed) + QString::number(code), Module1::Style::OkOnly,
                         QString());
  }
  spooler.Close(handle);
}

} // namespace DefaultPrinter
