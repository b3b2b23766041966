#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/ProgramEnd.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>

namespace {

// A library that does not exist, and one that loads but is no driver, with the loader's reason.
#ifdef _WIN32
#define ABSENT_LIBRARY "Gpib-absent-for-test.dll"
#define ABSENT_REASON " (LoadLibrary error 126)"
#define NOT_A_DRIVER "kernel32.dll"
#else
#define ABSENT_LIBRARY "libgpib-absent-for-test.so.0"
#define ABSENT_REASON "cannot open shared object file: No such file or directory"
#define NOT_A_DRIVER "libm.so.6"
#endif

int CountLines(const std::string &text) {
  int lines = 0;
  for (char c : text)
    lines += c == '\n';
  return lines;
}

TEST(Vbib32Loader, AMissingLibraryFailsEveryCallAndSaysSoOnce) {
  VBIB32::UseDriverLibrary(ABSENT_LIBRARY);
  testing::internal::CaptureStderr();
  VBIB32::SendIFC(0);
  const std::int16_t first = VBIB32::ibsta;
  const std::int16_t firstErr = VBIB32::iberr;
  VBIB32::ibwrt(1, "ID?");
  std::string buffer(16, ' ');
  VBIB32::ibrd(1, buffer);
  const std::string stderrText = testing::internal::GetCapturedStderr();

  EXPECT_EQ(first, VBIB32::ERR);
  EXPECT_EQ(firstErr, VBIB32::EDVR);
  EXPECT_EQ(VBIB32::ibsta, VBIB32::ERR);
  EXPECT_EQ(VBIB32::iberr, VBIB32::EDVR);
  EXPECT_EQ(buffer, std::string(16, ' '));
  EXPECT_EQ(CountLines(stderrText), 1) << stderrText;
  EXPECT_NE(stderrText.find(ABSENT_LIBRARY), std::string::npos) << stderrText;
  EXPECT_NE(stderrText.find(ABSENT_REASON), std::string::npos) << "the loader's reason: " << stderrText;
#ifdef _WIN32
  // The system's words for the error come before its number.
  EXPECT_EQ(stderrText.find(": (LoadLibrary"), std::string::npos) << stderrText;
#endif
}

TEST(Vbib32Loader, ALibraryWithoutTheEntriesIsRefusedByName) {
  // It loads fine but exports no GPIB entry.
  VBIB32::UseDriverLibrary(NOT_A_DRIVER);
  testing::internal::CaptureStderr();
  VBIB32::ibsre(0, 1);
  const std::string stderrText = testing::internal::GetCapturedStderr();
  EXPECT_EQ(VBIB32::ibsta, VBIB32::ERR);
  EXPECT_EQ(VBIB32::iberr, VBIB32::EDVR);
  EXPECT_NE(stderrText.find(NOT_A_DRIVER), std::string::npos) << stderrText;
  EXPECT_NE(stderrText.find("ibdev"), std::string::npos) << stderrText;
}

struct UnusableDriverCase {
  const char *library;
  const char *reason;
};

class UnusableDriver : public ::testing::TestWithParam<UnusableDriverCase> {};

// The user sees the box, not standard error: it must say what to install or repair.
TEST_P(UnusableDriver, TheInitializationBoxNamesTheLibraryAndTheReason) {
  const UnusableDriverCase &c = GetParam();
  VBIB32::UseDriverLibrary(c.library);
  VBIB32QX::ResetModuleState();
  EndProgramCatcher catcher;
  FakeMessBoxes boxes;
  testing::internal::CaptureStderr();
  std::int16_t fatal = 1;
  EXPECT_THROW(VBIB32QX::InitGpibBus(fatal), ProgramEnded);
  testing::internal::GetCapturedStderr();

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, QStringLiteral("Initialization Error 0"));
  EXPECT_EQ(boxes.shown[0].style, 16);
  // One line, the library's name first and the loader's reason last (on Windows the system's
  // words, which differ between versions, stand between).
  const QString &prompt = boxes.shown[0].prompt;
  EXPECT_TRUE(
      prompt.startsWith(QString::fromUtf8(c.library) + QStringLiteral(": ")) &&
      prompt.endsWith(QString::fromUtf8(c.reason) + QStringLiteral("\n\nCorrect problem and restart.")))
      << prompt.toStdString();
  EXPECT_EQ(prompt.count(QLatin1Char('\n')), 2) << prompt.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Libraries, UnusableDriver,
                         ::testing::Values(UnusableDriverCase{ABSENT_LIBRARY, ABSENT_REASON},
                                           UnusableDriverCase{NOT_A_DRIVER, "entry ibdev not found"}));

} // namespace

namespace {

TEST(Vbib32Loader, LoadsTheDriverThroughTheOrdinarySearch) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
  // The drop-in library reads its settings on its first call.
  const ScopedEnv trace("GPIBSIM_TRACE", tracePath.toLocal8Bit());
  const ScopedEnv bus("GPIBSIM_BUS");

  VBIB32::UseDriverLibrary(VBIB32::DefaultDriverLibrary());
  const std::int16_t ud = VBIB32::ibdev(0, 1, 0, VBIB32::T1s, 1, 0);
  VBIB32::ibwrt(ud, "ID?");
  std::string buffer(256, ' ');
  VBIB32::ibrd(ud, buffer);
  EXPECT_NE(VBIB32::ibsta & VBIB32::END, 0);
  EXPECT_EQ(buffer.rfind("ID TEK/TDS 3054,", 0), 0u) << buffer;

  const QList<QByteArray> lines = ReadFile(tracePath).split('\n');
  ASSERT_GE(lines.size(), 3);
  EXPECT_TRUE(lines[0].startsWith("ibdev pad=1")) << lines[0].toStdString();
  EXPECT_EQ(lines[1].toStdString(), "ibwrt pad=1 \"ID?\" ibsta=0x0100");
  EXPECT_TRUE(lines[2].startsWith("ibrd pad=1 \"ID TEK/TDS 3054,")) << lines[2].toStdString();
}

} // namespace
