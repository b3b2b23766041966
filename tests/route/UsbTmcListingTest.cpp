#include "route/usbtmc/UsbTmcListing.h"
#include "sim/usbtmc/UsbTmcSim.h"
#include "support/BusDescriptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The instruments on USB as sysfs shows them, from a folder tree.
namespace {

using namespace busdesc;

const std::string Tds2024b = "TEK/TDS 2024B,CF:91.1CT,FV:v22.01";
const std::string Tds1012b = "TEK/TDS 1012B,CF:91.1CT,FV:v22.11";

struct Case {
  const char *what;
  gpibsim::BusDescription bus;
  std::function<void(const QString &sys)> change; // applied to the tree after it is written
  std::vector<std::string> rows;
  const char *onlyScope; // the route found by itself; nullptr: none
};

void WithoutSerial(const QString &sys) {
  QFile::remove(sys + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-1/serial"));
}

// A printer on USB shares the class folder with the usbtmc nodes.
void WithPrinter(const QString &sys) { QDir(sys).mkpath(QStringLiteral("class/usbmisc/lp0")); }

TEST(UsbTmcListing, ListsEveryNodeAndFindsTheOneScope) {
  const Case cases[] = {
      {"one scope",
       Bus({Scope(Tds2024b)}),
       WithPrinter,
       {"TDS 2024B, serial C012345, /dev/usbtmc0"},
       "USB0::0x0699::0x0368::C012345::INSTR"},
      {"two scopes",
       Bus({Scope(Tds2024b), Scope(Tds1012b)}),
       nullptr,
       {"TDS 2024B, serial C012345, /dev/usbtmc0", "TDS 1012B, serial C012346, /dev/usbtmc1"},
       nullptr},
      {"a multimeter of another maker beside the scope",
       Bus({Plain(3), Scope(Tds2024b)}),
       nullptr,
       {"34410A Multimeter, serial C012345, /dev/usbtmc0", "TDS 2024B, serial C012346, /dev/usbtmc1"},
       "USB0::0x0699::0x0368::C012346::INSTR"},
      {"a multimeter alone",
       Bus({Plain(3)}),
       nullptr,
       {"34410A Multimeter, serial C012345, /dev/usbtmc0"},
       nullptr},
      {"a scope without a serial string is named by its node",
       Bus({Scope(Tds2024b)}),
       WithoutSerial,
       {"TDS 2024B, /dev/usbtmc0"},
       "usbtmc:/dev/usbtmc0"},
      {"nothing plugged in", Bus({}), nullptr, {}, nullptr},
  };
  for (const Case &c : cases) {
    QTemporaryDir root;
    std::string error;
    ASSERT_TRUE(usbtmcsim::WriteTree(root.path().toStdString(), c.bus, error)) << error;
    const QString sys = root.filePath(QStringLiteral("sys"));
    if (c.change)
      c.change(sys);
    const QList<usbtmc::UsbInstrument> found = usbtmc::ListInstruments(sys);
    std::vector<std::string> rows;
    for (const usbtmc::UsbInstrument &instrument : found)
      rows.push_back(usbtmc::RowText(instrument).toStdString());
    EXPECT_EQ(rows, c.rows) << c.what;
    const std::optional<usbtmc::UsbInstrument> only = usbtmc::OnlyScope(found);
    EXPECT_EQ(only ? route::RouteText(usbtmc::RouteTo(*only)).toStdString() : "(none)",
              c.onlyScope ? c.onlyScope : "(none)")
        << c.what;
    if (only) {
      EXPECT_TRUE(usbtmc::Names(std::get<route::UsbTmcRoute>(usbtmc::RouteTo(*only).way), *only)) << c.what;
    }
  }
}

} // namespace
