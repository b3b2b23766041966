#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Makes a named printer the system default printer: on the Windows 95 family (and with
// CUPS) through the printer's own default attribute, otherwise through the user profile's
// "Device" entry. Printer names and ports are the spooler's ANSI texts.
namespace DefaultPrinter {

void SwitchDefaultPrinter(const QString &name);

std::int16_t GetPlatformId();

void SwitchByProfile(const QByteArray &name);

// "driver,port,..." from the "PrinterPorts" entry; both empty without a comma, the port
// empty without a second comma.
void SplitPortsEntry(const QByteArray &value, QByteArray &driverName, QByteArray &port);

void WriteDeviceEntry(const QByteArray &name, const QByteArray &driverName, const QByteArray &port);

void SwitchByPrinterApi(const QByteArray &name);

// The text at the pointer, taken through a 512-character buffer: empty when the pointer is
// null or no NUL lies within those 512 characters.
QByteArray TextFromPointer(const char *text);

// Room for the level-5 information: (needed div 4) + 1 32-bit elements, at least needed bytes.
std::vector<std::int32_t> Level5Buffer(std::uint32_t needed);

} // namespace DefaultPrinter
