#include "FakeAdapterPeer.h"

#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "route/RouteInstall.h"
#include "support/FakeMessBoxes.h"
#include "support/ProgramEnd.h"

#include <gtest/gtest.h>

namespace {

using route::PlusRoute;

// The adapter's failures reach the user through the program's own GPIB reports, port first.
class AdapterReports : public ::testing::Test {
protected:
  void SetUp() override {
    VBIB32QX::ResetModuleState();
    testing::internal::CaptureStderr();
  }
  void TearDown() override { testing::internal::GetCapturedStderr(); }

  EndProgramCatcher catcher_;
  FakeMessBoxes boxes_;
};

TEST_F(AdapterReports, APortThatCannotBeOpenedEndsInTheInitializationBox) {
  PlusRoute where;
  where.kind = PlusRoute::Kind::Prologix;
#ifdef _WIN32
  where.port = QStringLiteral("COM99");
#else
  where.port = QStringLiteral("/dev/ttyGPIBabsent");
#endif
  const route::RouteInstall choice(where);
  std::int16_t fatal = 1;
  EXPECT_THROW(VBIB32QX::InitGpibBus(fatal), ProgramEnded);

  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].title, QStringLiteral("Initialization Error 0"));
  EXPECT_EQ(boxes_.shown[0].prompt,
            where.port + QStringLiteral(": no such serial port (is the adapter "
                                        "plugged in?)\n\nCorrect problem and restart."));
}

TEST_F(AdapterReports, AnAdapterGoneDuringAReadIsNamedInTheReadAndWriteReports) {
  FakeAdapterPeer peer;
  peer.vanishAtRead = 2;
  PlusRoute where;
  where.kind = PlusRoute::Kind::Prologix;
  where.tcp = true;
  where.port = QStringLiteral("127.0.0.1");
  where.tcpPort = peer.Port();
  const route::RouteInstall choice(where);
  std::int16_t fatal = 1;
  VBIB32QX::InitGpibBus(fatal);
  VBIB32QX::DevTimeout = VBIB32::T3s;
  std::string query = "ID?";
  std::string expected = "ECHO";
  std::int16_t handle = VBIB32QX::OpenGpibDevice(query, expected);
  ASSERT_NE(handle, 0);
  ASSERT_TRUE(boxes_.shown.empty());

  EXPECT_EQ(VBIB32QX::GpibQuery(handle, "ERRLOG?"), "");
  boxes_.AnswerNext(Module1::IdOk);
  VBIB32QX::GpibWrite(handle, "ERRLOG?");

  const QString place = QStringLiteral("127.0.0.1:%1: the Prologix adapter went away").arg(peer.Port());
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].title, QStringLiteral("I/O Error"));
  EXPECT_TRUE(boxes_.shown[0].prompt.startsWith(place)) << boxes_.shown[0].prompt.toStdString();
  EXPECT_TRUE(boxes_.shown[0].prompt.endsWith(QStringLiteral("\nRead cycle failed\nOperation aborted.")));
  EXPECT_EQ(boxes_.shown[1].title, QStringLiteral("GPIB ERROR # 0"));
  EXPECT_TRUE(boxes_.shown[1].prompt.startsWith(place)) << boxes_.shown[1].prompt.toStdString();
  EXPECT_TRUE(boxes_.shown[1].prompt.endsWith(
      QStringLiteral("\nOperating system error.\nSelect OK to continue or Cancel to terminate program.")));
}

} // namespace
