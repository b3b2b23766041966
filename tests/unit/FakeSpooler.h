#pragma once

#include "output/Spooler.h"
#include "support/ScopedSeam.h"

#include <QApplication>
#include <QCursor>

#include <cstring>
#include <list>
#include <map>
#include <string>
#include <vector>

// A spooler that records every call and answers from its tables; a successful SetInfo or
// "Device" write makes that printer the default. The printers in its table are the ones
// installed; every job handed to it is taken.
class FakeSpooler : public DefaultPrinter::Spooler {
public:
  struct Printer {
    std::string port;
    std::uint32_t attributes = 0;
    std::uint32_t notSelectedTimeout = 15000;
    std::uint32_t retryTimeout = 45000;
    bool readFails = false;
  };
  struct Written {
    std::string name;
    std::string port;
    std::uint32_t attributes;
    std::uint32_t notSelectedTimeout;
    std::uint32_t retryTimeout;
  };

  std::uint32_t PlatformId() override {
    calls.push_back("PlatformId");
    return platformId;
  }

  void ReadProfileText(const char *section, const char *key, const char *defaultValue, char *buffer,
                       std::uint32_t size) override {
    bool spaces = true;
    for (std::uint32_t i = 0; i < size; ++i)
      spaces = spaces && buffer[i] == ' ';
    calls.push_back("ReadProfile " + std::string(section) + " [" + key + "] default [" + defaultValue +
                    "] size " + std::to_string(size) + (spaces ? " blank" : " not blank"));
    const auto found = printerPorts.find(key);
    const std::string value = found == printerPorts.end() ? std::string(defaultValue) : found->second;
    std::strncpy(buffer, value.c_str(), size - 1);
    buffer[size - 1] = '\0';
  }

  void WriteProfileText(const char *section, const char *key, const char *value) override {
    calls.push_back("WriteProfile " + std::string(section) + " " + key + " [" + value + "]");
  }

  void BroadcastIniChange(const char *section) override {
    calls.push_back("Broadcast " + std::string(section));
  }

  bool Open(const char *name, DefaultPrinter::PrinterHandle *handle) override {
    calls.push_back("Open [" + std::string(name).substr(0, 40) + "]");
    const auto found = printers.find(name);
    if (found == printers.end())
      return false;
    opened_.push_back(found->first);
    *handle = &opened_.back();
    ++openHandles;
    return true;
  }

  bool GetInfo(DefaultPrinter::PrinterHandle handle, std::uint32_t level, unsigned char *buffer,
               std::uint32_t size, std::uint32_t *needed) override {
    calls.push_back("GetInfo " + std::to_string(level) + " size " + std::to_string(size) +
                    (buffer ? " buffer" : " null"));
    const std::string &name = *static_cast<std::string *>(handle);
    const Printer &printer = printers.at(name);
    const std::size_t total =
        sizeof(DefaultPrinter::PrinterInfo5) + name.size() + 1 + printer.port.size() + 1;
    *needed = static_cast<std::uint32_t>(total);
    if (!buffer || size < total || printer.readFails)
      return false;
    // Every byte up to needed is written, so a short buffer shows under AddressSanitizer.
    char *texts = reinterpret_cast<char *>(buffer) + sizeof(DefaultPrinter::PrinterInfo5);
    std::memcpy(texts, name.c_str(), name.size() + 1);
    std::memcpy(texts + name.size() + 1, printer.port.c_str(), printer.port.size() + 1);
    DefaultPrinter::PrinterInfo5 info{texts, texts + name.size() + 1, printer.attributes,
                                      printer.notSelectedTimeout, printer.retryTimeout};
    std::memcpy(buffer, &info, sizeof info);
    return true;
  }

  bool SetInfo(DefaultPrinter::PrinterHandle handle, std::uint32_t level, unsigned char *info,
               std::uint32_t command) override {
    calls.push_back("SetInfo " + std::to_string(level) + " command " + std::to_string(command));
    DefaultPrinter::PrinterInfo5 record;
    std::memcpy(&record, info, sizeof record);
    written.push_back(Written{record.pPrinterName, record.pPortName, record.Attributes,
                              record.DeviceNotSelectedTimeout, record.TransmissionRetryTimeout});
    if (setError != 0)
      return false;
    defaultName = *static_cast<std::string *>(handle);
    return true;
  }

  std::uint32_t LastError() override {
    calls.push_back("LastError");
    return setError;
  }

  void Close(DefaultPrinter::PrinterHandle) override {
    calls.push_back("Close");
    --openHandles;
  }

  std::string LastJobRefusal() override { return std::string(); }

  bool AnyPrinterInstalled() override { return !printers.empty(); }

  std::string DefaultPrinterName() override {
    waitCursorAtRead.push_back(QApplication::overrideCursor() &&
                               QApplication::overrideCursor()->shape() == Qt::WaitCursor);
    return defaultName;
  }

  std::uint32_t platformId = DefaultPrinter::kPlatformWin32Windows;
  std::map<std::string, std::string> printerPorts;
  std::map<std::string, Printer> printers;
  std::uint32_t setError = 0;
  std::string defaultName;
  std::vector<std::string> calls;
  std::vector<Written> written;
  std::vector<bool> waitCursorAtRead; // one per read of the default printer
  int openHandles = 0;

private:
  std::list<std::string> opened_; // handles point into it
  ScopedSeam<DefaultPrinter::Spooler *> installed_{DefaultPrinter::SetSpooler, this};
};
