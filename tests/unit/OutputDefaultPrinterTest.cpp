#include "FakeSpooler.h"
#include "output/DefaultPrinter.h"
#include "support/FakeMessBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

TEST(SplitPortsEntryTest, DriverAndFirstPortUntrimmed) {
  struct Case {
    QByteArray value;
    QByteArray driver;
    QByteArray port;
  };
  const Case cases[] = {
      {"winspool,Ne00:,15,45", "winspool", "Ne00:"},
      {"winspool,Ne00:,15,45,Ne01:,15,45", "winspool", "Ne00:"},
      {"winspool,Ne00:", "winspool", ""},
      {"winspool", "", ""},
      {"", "", ""},
      {",Ne00:,15", "", "Ne00:"},
      {"winspool,,15", "winspool", ""},
      {" drv , port ,15", " drv ", " port "},
  };
  for (const Case &c : cases) {
    QByteArray driver = "stale";
    QByteArray port = "stale";
    DefaultPrinter::SplitPortsEntry(c.value, driver, port);
    EXPECT_EQ(driver, c.driver) << c.value.constData();
    EXPECT_EQ(port, c.port) << c.value.constData();
  }
}

TEST(ProfileRouteTest, DeviceEntryIsWrittenOnlyWithDriverAndPort) {
  const std::string read = "ReadProfile PrinterPorts [Laser, 2nd floor] default [] size 1024 blank";
  struct Case {
    const char *what;
    std::uint32_t platformId;
    const char *ports; // nullptr: no entry
    Calls calls;
  };
  const Case cases[] = {
      {"NT family",
       2,
       "winspool,Ne00:,15,45,Ne01:,15,45",
       {"PlatformId", read, "WriteProfile windows Device [Laser, 2nd floor,winspool,Ne00:]",
        "Broadcast windows"}},
      {"platform id 0",
       0,
       "winspool,Ne00:,15,45",
       {"PlatformId", read, "WriteProfile windows Device [Laser, 2nd floor,winspool,Ne00:]",
        "Broadcast windows"}},
      {"no entry", 2, nullptr, {"PlatformId", read}},
      {"one comma only", 2, "winspool,Ne00:", {"PlatformId", read}},
      {"no driver name", 2, ",Ne00:,15,45", {"PlatformId", read}},
  };
  for (const Case &c : cases) {
    FakeMessBoxes boxes;
    FakeSpooler spooler;
    spooler.platformId = c.platformId;
    if (c.ports)
      spooler.printerPorts["Laser, 2nd floor"] = c.ports;
    DefaultPrinter::SwitchDefaultPrinter("Laser, 2nd floor");
    EXPECT_EQ(spooler.calls, c.calls) << c.what;
    EXPECT_TRUE(boxes.shown.empty()) << c.what;
  }
}

TEST(PrinterRouteTest, WritesExactlyTheDefaultAttributeAndClosesThePrinter) {
  FakeMessBoxes boxes;
  FakeSpooler spooler;
  spooler.printers["Laser"] = FakeSpooler::Printer{"LPT1:", 0x8 | 0x40 | 0x800, 15000, 45000, false};

  DefaultPrinter::SwitchDefaultPrinter("Laser");

  const std::uint32_t needed = sizeof(DefaultPrinter::PrinterInfo5) + 6 + 6;
  EXPECT_EQ(spooler.calls,
            (Calls{"PlatformId", "Open [Laser]", "GetInfo 5 size 0 null",
                   "GetInfo 5 size " + std::to_string(needed) + " buffer", "SetInfo 5 command 0", "Close"}));
  ASSERT_EQ(spooler.written.size(), 1u);
  EXPECT_EQ(spooler.written[0].name, "Laser");
  EXPECT_EQ(spooler.written[0].port, "LPT1:");
  EXPECT_EQ(spooler.written[0].attributes, 4u);
  EXPECT_EQ(spooler.written[0].notSelectedTimeout, 15000u);
  EXPECT_EQ(spooler.written[0].retryTimeout, 45000u);
  EXPECT_EQ(spooler.defaultName, "Laser");
  EXPECT_EQ(spooler.openHandles, 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(PrinterRouteTest, FailuresChangeNothingAndCloseEveryOpenedPrinter) {
  struct Case {
    const char *what;
    bool known;
    bool readFails;
    std::uint32_t setError;
    Calls tail; // after PlatformId, Open, sizing GetInfo
    std::vector<QString> messages;
  };
  const std::string read =
      "GetInfo 5 size " + std::to_string(sizeof(DefaultPrinter::PrinterInfo5) + 6 + 6) + " buffer";
  const Case cases[] = {
      {"cannot be opened", false, false, 0, {}, {}},
      {"information cannot be read", true, true, 0, {read, "Close"}, {}},
      {"set fails",
       true,
       false,
       1804,
       {read, "SetInfo 5 command 0", "LastError", "MessBox", "Close"},
       {"SetPrinterFailed. Error code: 1804"}},
  };
  for (const Case &c : cases) {
    FakeMessBoxes boxes;
    FakeSpooler spooler;
    boxes.onShow = [&spooler](const Module1::MessBoxRequest &) { spooler.calls.push_back("MessBox"); };
    if (c.known)
      spooler.printers["Laser"] = FakeSpooler::Printer{"LPT1:", 0, 0, 0, c.readFails};
    spooler.setError = c.setError;
    spooler.defaultName = "Other";

    DefaultPrinter::SwitchByPrinterApi("Laser");

    Calls expected{"Open [Laser]"};
    if (c.known)
      expected.push_back("GetInfo 5 size 0 null");
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(spooler.calls, expected) << c.what;
    EXPECT_EQ(spooler.openHandles, 0) << c.what;
    EXPECT_EQ(spooler.defaultName, "Other") << c.what;
    ASSERT_EQ(boxes.shown.size(), c.messages.size()) << c.what;
    for (std::size_t i = 0; i < c.messages.size(); ++i) {
      EXPECT_EQ(boxes.shown[i].prompt, c.messages[i]);
      EXPECT_EQ(boxes.shown[i].style, 0);
      EXPECT_EQ(boxes.shown[i].title, QString());
    }
  }
}

TEST(PrinterRouteTest, BufferHoldsTheByteCountForEverySize) {
  for (std::uint32_t needed : {0u, 1u, 3u, 4u, 5u, 31u, 32u, 33u, 1001u}) {
    const std::vector<std::int32_t> buffer = DefaultPrinter::Level5Buffer(needed);
    EXPECT_EQ(buffer.size(), needed / 4 + 1) << needed;
    EXPECT_GE(buffer.size() * 4, needed) << needed;
  }
  // Odd byte counts through the whole route: the fake writes all of them.
  for (const char *port : {"A", "AB", "ABC", "ABCD"}) {
    FakeMessBoxes boxes;
    FakeSpooler spooler;
    spooler.printers["P"] = FakeSpooler::Printer{port, 0, 0, 0, false};
    DefaultPrinter::SwitchByPrinterApi("P");
    ASSERT_EQ(spooler.written.size(), 1u) << port;
    EXPECT_EQ(spooler.written[0].port, port);
  }
}

TEST(TextFromPointerTest, TextUpTo511CharactersElseEmpty) {
  const std::string t511(511, 'n');
  const std::string t512(512, 'n');
  const std::string t600(600, 'n');
  EXPECT_EQ(DefaultPrinter::TextFromPointer(nullptr), QByteArray());
  EXPECT_EQ(DefaultPrinter::TextFromPointer(""), QByteArray());
  EXPECT_EQ(DefaultPrinter::TextFromPointer("Ne00:"), QByteArray("Ne00:"));
  EXPECT_EQ(DefaultPrinter::TextFromPointer(t511.c_str()), QByteArray::fromStdString(t511));
  EXPECT_EQ(DefaultPrinter::TextFromPointer(t512.c_str()), QByteArray());
  EXPECT_EQ(DefaultPrinter::TextFromPointer(t600.c_str()), QByteArray());

  // A printer name too long for the buffer goes back to the spooler as an empty text.
  FakeMessBoxes boxes;
  FakeSpooler spooler;
  spooler.printers[t600] = FakeSpooler::Printer{"LPT1:", 0, 0, 0, false};
  DefaultPrinter::SwitchDefaultPrinter(QString::fromStdString(t600));
  ASSERT_EQ(spooler.written.size(), 1u);
  EXPECT_EQ(spooler.written[0].name, "");
  EXPECT_EQ(spooler.written[0].port, "LPT1:");
}

} // namespace
