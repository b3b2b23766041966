#include "app/ConnectDialog.h"
#include "app/ViewerSession.h"
#include "gpib/Vbib32.h"
#include "support/BusTrace.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/FormSteps.h"
#include "support/InstantPauses.h"
#include "support/ScopeBus.h"
#include "support/ScopedSeam.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>
#include <string>

// The window on a rack of three TDS scopes and a multimeter, through the simulated driver
// library loaded from the build tree: the scope is the one at the address chosen.
namespace {

class RackEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    const QString bus = dir.filePath(QStringLiteral("bus.json"));
    ASSERT_TRUE(WriteFile(bus, QByteArray::fromStdString(busdesc::BusJson(scopebus::Rack()))));
    qputenv("GPIBSIM_BUS", bus.toLocal8Bit());
    qputenv("GPIBSIM_TRACE", TracePath().toLocal8Bit());
    VBIB32::UseDriverLibrary(SKELD_BINARY_DIR "/sim/libgpib.so.0");
  }
  static QString TracePath() { return dir.filePath(QStringLiteral("trace.txt")); }
  static inline QTemporaryDir dir;
};
::testing::Environment *const environment = ::testing::AddGlobalTestEnvironment(new RackEnvironment);

std::vector<std::string> Trace() {
  return bustrace::Lines(ReadFile(RackEnvironment::TracePath()).toStdString());
}

struct WindowCase {
  std::optional<int> address;
  const char *caption;
  int entries;
  std::set<std::string> writtenTo;
};

class ScopeAddress : public ::testing::TestWithParam<WindowCase> {};

TEST_P(ScopeAddress, TheWindowShowsAndTalksToTheScopeChosen) {
  const WindowCase &c = GetParam();
  InstantPauses pauses;
  FakeMessBoxes boxes;
  const std::size_t from = Trace().size();
  ViewerSession session({route::Route(route::LibraryRoute{}, c.address), route::RouteSource::Option});
  session.startWindow = formsteps::StartUp;
  session.Start();
  EXPECT_TRUE(session.Form()->windowTitle().endsWith(QString::fromUtf8(c.caption)))
      << session.Form()->windowTitle().toStdString();
  EXPECT_EQ(session.Form()->List1->count(), c.entries);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(bustrace::WrittenTo(Trace(), from), c.writtenTo);
}

INSTANTIATE_TEST_SUITE_P(
    Rack, ScopeAddress,
    ::testing::Values(WindowCase{9, "Connected to TDS 3054 @ GPIB Addr: 9", 3, {"9"}},
                      WindowCase{17, "Connected to TDS 3034 @ GPIB Addr: 17", 1, {"17"}},
                      // Without an address, the first TDS, as before.
                      WindowCase{std::nullopt, "Connected to TDS 3012 @ GPIB Addr: 4", 2, {"4"}}));

TEST(ScopeAddress, TheConnectDialogTakesTheAddressWithTheRouteAndRefusesAWrongOne) {
  ConnectDialog dialog(route::Route(route::LibraryRoute{}, 9), QString());
  EXPECT_EQ(dialog.Address->text(), QStringLiteral("9"));
  dialog.Address->setText(QStringLiteral("0"));
  dialog.ConnectButton->click();
  EXPECT_TRUE(dialog.Failure->text().contains(QStringLiteral("not a number from 1 to 30")))
      << dialog.Failure->text().toStdString();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);

  dialog.Address->setText(QStringLiteral("17"));
  dialog.ConnectButton->click();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.Failure->text().toStdString();
  const std::unique_ptr<route::RouteInstall> connection = dialog.TakeConnection();
  EXPECT_EQ(connection->Where().address, 17);

  dialog.Address->clear();
  dialog.ConnectButton->click();
  EXPECT_EQ(dialog.TakeConnection()->Where().address, std::nullopt) << "empty: the first TDS found";
}

} // namespace
