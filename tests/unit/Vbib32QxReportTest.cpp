#include "gpib/Vbib32Qx.h"

#include "gpib/Vbib32.h"
#include "support/FakeMessBoxes.h"
#include "support/ProgramEnd.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace VBIB32QX;

namespace {

const std::string SelectOkOrCancel = "\nSelect OK to continue or Cancel to terminate program.";

struct ErrorCase {
  std::int16_t iberr;
  const char *text;
  const char *title;
};
void PrintTo(const ErrorCase &c, std::ostream *os) { *os << "iberr " << c.iberr; }

class ReportGpibErrorText : public ::testing::TestWithParam<ErrorCase> {
protected:
  void SetUp() override {
    ResetModuleState();
    VBIB32::ibsta = static_cast<std::int16_t>(VBIB32::ERR | VBIB32::CMPL);
    VBIB32::iberr = GetParam().iberr;
  }
};

TEST_P(ReportGpibErrorText, OkGoesOnWithTheWriteMarkedFailed) {
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdOk);
  ReportGpibError();

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(), GetParam().text + SelectOkOrCancel);
  EXPECT_EQ(boxes.shown[0].style, 49);
  EXPECT_EQ(boxes.shown[0].title.toStdString(), GetParam().title);
  EXPECT_EQ(GpibWriteFailed, -1);
}

TEST_P(ReportGpibErrorText, CancelEndsTheProgram) {
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdCancel);
  EndProgramCatcher catcher;
  EXPECT_EQ(EndCode([] { ReportGpibError(); }), 1);
  EXPECT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(GpibWriteFailed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ReportGpibErrorText,
    ::testing::Values(ErrorCase{0, "Operating system error.", "GPIB ERROR # 0"},
                      ErrorCase{1, "Function requires GPIB board to be CIC.", "GPIB ERROR # 1"},
                      ErrorCase{2, "No listener on write function.", "GPIB ERROR # 2"},
                      ErrorCase{3, "GPIB board not addressed correctly.", "GPIB ERROR # 3"},
                      ErrorCase{4, "Invalid argument to function call.", "GPIB ERROR # 4"},
                      ErrorCase{5, "GPIB board not system controller as required.", "GPIB ERROR # 5"},
                      ErrorCase{6, "I/O operation aborted - timeout.", "GPIB ERROR # 6"},
                      ErrorCase{7, "Non-existent GPIB board.", "GPIB ERROR # 7"},
                      ErrorCase{8, "Unknown error.", "GPIB ERROR # 8"},
                      ErrorCase{9, "Unknown error.", "GPIB ERROR # 9"},
                      ErrorCase{10, "Asynchronous I/O in progress.", "GPIB ERROR # 10"},
                      ErrorCase{11, "No capability for operation.", "GPIB ERROR # 11"},
                      ErrorCase{12, "File system error.", "GPIB ERROR # 12"},
                      ErrorCase{13, "Unknown error.", "GPIB ERROR # 13"},
                      ErrorCase{14, "GPIB bus eror.", "GPIB ERROR # 14"},
                      ErrorCase{15, "Serial poll status queue owerflow.", "GPIB ERROR # 15"},
                      ErrorCase{16, "SRQ stuck in on position.", "GPIB ERROR # 16"},
                      ErrorCase{17, "Unknown error.", "GPIB ERROR # 17"},
                      ErrorCase{20, "Table problem.", "GPIB ERROR # 20"},
                      ErrorCase{21, "Unknown error.", "GPIB ERROR # 21"},
                      ErrorCase{-1, "Unknown error.", "GPIB ERROR #-1"}));

TEST(ReportGpibError, WithoutErrShowsNothingAndKeepsTheFlag) {
  FakeMessBoxes boxes;
  for (const std::int16_t flag : {0, -1}) {
    GpibWriteFailed = flag;
    VBIB32::ibsta = static_cast<std::int16_t>(VBIB32::TIMO | VBIB32::END | VBIB32::CMPL);
    VBIB32::iberr = 6;
    ReportGpibError();
    EXPECT_EQ(GpibWriteFailed, flag);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(ReportDeviceError, EndsTheProgramWhateverTheAnswer) {
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdOk);
  EndProgramCatcher catcher;
  EXPECT_THROW(ReportDeviceError(), ProgramEnded);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(), "Device not configured.\n\nCorrect problem and restart.");
  EXPECT_EQ(boxes.shown[0].style, 16);
  EXPECT_EQ(boxes.shown[0].title.toStdString(), "Device Error");
}

TEST(Str, WritesASignPosition) {
  EXPECT_EQ(Str(0), " 0");
  EXPECT_EQ(Str(14), " 14");
  EXPECT_EQ(Str(-6), "-6");
  EXPECT_EQ(Str(32767), " 32767");
  EXPECT_EQ(Str(-32768), "-32768");
}

} // namespace
