#include "app/ConnectDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

// The Connect dialog's LAN row on a bridge with two simulated VXI-11 instruments (lan-bridge.sh
// inside lan-namespace.sh): the search lists both, and each is reached as an instrument and as
// a gateway with the scope's address.
namespace {

class LanRow : public ::testing::Test {
protected:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("SKELD_LAN_BRIDGE"))
      GTEST_SKIP() << "runs on the bridge of lan-bridge.sh (route_vxi11_dialog_lan)";
    hosts = qEnvironmentVariable("SKELD_LAN_BRIDGE").split(QLatin1Char(' '));
  }
  QStringList hosts;
};

TEST_F(LanRow, TheSearchListsEveryInstrumentOnTheLocalNetworks) {
  ConnectDialog dialog(route::Route{}, QString());
  dialog.SearchNetworkButton->click();
  for (const QString &host : hosts) {
    EXPECT_TRUE(dialog.LanFound->text().contains(host)) << dialog.LanFound->text().toStdString();
    EXPECT_GE(dialog.LanHost->findText(host), 0) << host.toStdString();
  }
  EXPECT_TRUE(dialog.Lan->isChecked());
  EXPECT_FALSE(dialog.LanFound->text().contains(QStringLiteral("10.77.0.1"))) << "no core program there";
}

struct Choice {
  const char *host; // %1: the first instrument's address
  const char *address;
  const char *reached;
};

class LanConnect : public LanRow, public ::testing::WithParamInterface<Choice> {};

TEST_P(LanConnect, ReachesTheScopeAsChosen) {
  ConnectDialog dialog(route::Route{}, QString());
  dialog.Lan->setChecked(true);
  dialog.LanHost->setEditText(QString::fromLatin1(GetParam().host).arg(hosts.first()));
  dialog.Address->setText(QString::fromLatin1(GetParam().address));
  dialog.ConnectButton->click();
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.Failure->text().toStdString();
  const std::unique_ptr<route::RouteInstall> connection = dialog.TakeConnection();
  route::Route where = connection->Where();
  EXPECT_EQ(route::RouteText(where), QString::fromLatin1(GetParam().reached).arg(hosts.first()));
}

INSTANTIATE_TEST_SUITE_P(Rows, LanConnect,
                         ::testing::Values(Choice{"%1", "", "vxi11:%1"},
                                           Choice{"%1", "1", "vxi11:%1:gpib0,1"},
                                           Choice{"%1:gpib0", "", "vxi11:%1:gpib0"}));

TEST_F(LanRow, AHostWithoutTheCoreProgramIsSaidInTheDialog) {
  ConnectDialog dialog(route::Route{}, QString());
  dialog.Lan->setChecked(true);
  dialog.LanHost->setEditText(QStringLiteral("10.77.0.1"));
  dialog.ConnectButton->click();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.Failure->text().contains(QStringLiteral("10.77.0.1: the portmapper does not know")))
      << dialog.Failure->text().toStdString();
}

} // namespace
