#include "gpib/Vbib32Qx.h"

#include "support/BusDescriptions.h"
#include "support/FakeMessBoxes.h"
#include "support/ProgramEnd.h"
#include "support/SimulatedBus.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace VBIB32QX;
using namespace busdesc;

namespace {

const std::string ReadFailed = "Read cycle failed\nOperation aborted.";
const std::string DeviceNotConfigured = "Device not configured.\n\nCorrect problem and restart.";

// One plain instrument at address 5 answering "Q?" with reply.
gpibsim::BusDescription Instrument(const std::string &reply, std::vector<gpibsim::Fault> faults = {}) {
  return Plain(5, {{"Q?", reply}}).Faults(std::move(faults));
}

std::int16_t OpenAt5(std::int16_t timeout = VBIB32::T3s) { return VBIB32::ibdev(0, 5, 0, timeout, 1, 0); }

std::int16_t TimeoutOf(std::int16_t handle) {
  std::int16_t value = -1;
  VBIB32::ibask(handle, VBIB32::IbaTMO, value);
  return value;
}

// The in-process bus, except that the instrument loses its pending output just before the
// second chunk of a reply is read: that read times out.
struct LosesOutputBeforeSecondChunk {
  static int GPIB_CALL Read(int ud, void *buf, long cnt) {
    if (++reads == 2)
      gpibsim::InProcessDriver().ibclr(ud);
    return gpibsim::InProcessDriver().ibrd(ud, buf, cnt);
  }
  static void Install() {
    static GpibDriverApi api;
    api = gpibsim::InProcessDriver();
    api.ibrd = &Read;
    reads = 0;
    VBIB32::UseDriver(&api);
  }
  static inline int reads = 0;
};

std::string WriteAndRead(std::int16_t handle, const std::string &command) {
  GpibWrite(handle, command);
  return GpibRead(handle);
}

struct CleanCase {
  const char *name;
  std::string raw, clean;
};
void PrintTo(const CleanCase &c, std::ostream *os) { *os << c.name; }

class GpibReadCleaning : public ::testing::TestWithParam<CleanCase> {};

TEST_P(GpibReadCleaning, StripsSpacesAndUpToThreeLineEnds) {
  SimulatedBus bus(Instrument(GetParam().raw));
  FakeMessBoxes boxes;
  EXPECT_EQ(WriteAndRead(OpenAt5(), "Q?"), GetParam().clean);
  EXPECT_TRUE(boxes.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GpibReadCleaning,
    ::testing::Values(CleanCase{"TextAfterLineEnd", "A\nB", "A"}, CleanCase{"LfCrLf", "abc\n\r\n", "abc"},
                      CleanCase{"CrLf", "abc\r\n", "abc"}, CleanCase{"Lf", "abc\n", "abc"},
                      CleanCase{"AtMostThree", "x\n\n\n\n", "x\n"}, CleanCase{"Spaces", "  a b  ", "a b"},
                      CleanCase{"LineEndAlone", "\n", ""}, CleanCase{"Bare", "abc", "abc"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(GpibRead, JoinsALongReplyFromTwoChunksUnderTheLongTimeout) {
  const std::string body(699, 'x');
  SimulatedBus bus(Instrument(body + "\n"));
  FakeMessBoxes boxes;
  const std::int16_t handle = OpenAt5();

  EXPECT_EQ(WriteAndRead(handle, "Q?"), body);
  EXPECT_EQ(bus.Calls("ibrd"), 2u);
  EXPECT_EQ(bus.Calls("ibwait"), 2u);
  const std::vector<std::string> chunks = bus.Read();
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].size(), 512u);
  EXPECT_EQ(chunks[1].size(), 188u);
  EXPECT_EQ(bus.Calls("ibtmo"), 2u);
  EXPECT_EQ(TimeoutOf(handle), VBIB32::T3s);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(GpibRead, LeavesTheLongTimeoutAloneWhenAlreadySet) {
  SimulatedBus bus(Instrument("ok\n"));
  const std::int16_t handle = OpenAt5(VBIB32::T10s);
  EXPECT_EQ(WriteAndRead(handle, "Q?"), "ok");
  EXPECT_EQ(bus.Calls("ibtmo"), 1u);
  EXPECT_EQ(TimeoutOf(handle), VBIB32::T10s);
}

struct FailedReadCase {
  const char *name;
  std::string reply;
  std::vector<gpibsim::Fault> faults;
  bool losesOutput;
  std::size_t reads;
};
void PrintTo(const FailedReadCase &c, std::ostream *os) { *os << c.name; }

class GpibReadFailure : public ::testing::TestWithParam<FailedReadCase> {};

TEST_P(GpibReadFailure, DropsTheTextAndSaysSo) {
  const FailedReadCase &c = GetParam();
  SimulatedBus bus(Instrument(c.reply, c.faults));
  if (c.losesOutput)
    LosesOutputBeforeSecondChunk::Install();
  FakeMessBoxes boxes;
  const std::int16_t handle = OpenAt5();

  EXPECT_EQ(WriteAndRead(handle, "Q?"), "");
  EXPECT_EQ(bus.Calls("ibrd"), c.reads);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(), ReadFailed);
  EXPECT_EQ(boxes.shown[0].style, 48);
  EXPECT_EQ(boxes.shown[0].title.toStdString(), "I/O Error");
  EXPECT_EQ(TimeoutOf(handle), VBIB32::T3s);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GpibReadFailure,
    ::testing::Values(FailedReadCase{"TimeoutFirstChunk", "ok\n", {Timeout("Q?")}, false, 1},
                      FailedReadCase{"TimeoutSecondChunk", std::string(699, 'x') + "\n", {}, true, 2},
                      // The first chunk with ERR and without END ends the read.
                      FailedReadCase{"ErrWithoutEnd", std::string(699, 'x') + "\n", {NoEnd("Q?")}, false, 1}),
    [](const auto &info) { return std::string(info.param.name); });

// An instrument whose reply never ends: every chunk arrives full, without END and without error.
struct NeverEndingReply {
  static int GPIB_CALL Read(int, void *buf, long cnt) {
    std::memset(buf, 'x', static_cast<std::size_t>(cnt));
    ++reads;
    return Complete();
  }
  static int GPIB_CALL Complete() { return VBIB32::CMPL; }
  static int GPIB_CALL NoError() { return 0; }
  static void Install() {
    static GpibDriverApi api;
    api = gpibsim::InProcessDriver();
    api.ibrd = &Read;
    api.ThreadIbsta = &Complete;
    api.ThreadIberr = &NoError;
    reads = 0;
    VBIB32::UseDriver(&api);
  }
  static inline long reads = 0;
};

TEST(GpibRead, GivesUpOnAReplyThatNeverEnds) {
  SimulatedBus bus(Instrument("ok\n"));
  NeverEndingReply::Install();
  FakeMessBoxes boxes;
  std::int16_t handle = OpenAt5();

  EXPECT_EQ(GpibRead(handle), "");
  // As many chunks as the 16-bit chunk counter holds, then one more that is not taken.
  EXPECT_EQ(NeverEndingReply::reads, 32768);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(), ReadFailed);
}

TEST(GpibWrite, SendsTheCommandWithoutTerminator) {
  SimulatedBus bus(Instrument("ok\n"));
  FakeMessBoxes boxes;
  std::int16_t handle = OpenAt5();
  GpibWrite(handle, "HEAD 0");
  EXPECT_EQ(bus.Written(), std::vector<std::string>{"HEAD 0"});
  EXPECT_EQ(GpibWriteFailed, 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(GpibQuery, WritesPausesAndReads) {
  SimulatedBus bus(Instrument("  reply\r\n"));
  std::int16_t handle = OpenAt5();
  bool eventRan = false;
  QTimer::singleShot(0, [&] { eventRan = bus.Calls("ibwrt") == 1 && bus.Calls("ibrd") == 0; });
  EXPECT_EQ(GpibQuery(handle, "Q?"), "reply");
  EXPECT_TRUE(eventRan);
}

TEST(GpibQuery, FailedWriteAnsweredOkGivesEmptyTextWithoutRead) {
  SimulatedBus bus(Instrument("ok\n", {WriteError("Q?", 0, 2)}));
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdOk);
  std::int16_t handle = OpenAt5();

  EXPECT_EQ(GpibQuery(handle, "Q?"), "");
  EXPECT_EQ(bus.Calls("ibrd"), 0u);
  EXPECT_EQ(GpibWriteFailed, -1);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
            "No listener on write function.\nSelect OK to continue or Cancel to terminate program.");
  EXPECT_EQ(boxes.shown[0].title.toStdString(), "GPIB ERROR # 2");

  GpibWrite(handle, "HEAD 0");
  EXPECT_EQ(GpibWriteFailed, 0);
}

TEST(GpibQuery, FailedWriteStaysFailedWhenAHandlerWritesDuringThePause) {
  SimulatedBus bus(Instrument("ok\n", {WriteError("Q?")}));
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdOk);
  std::int16_t handle = OpenAt5();
  QTimer::singleShot(0, [&] { GpibWrite(handle, "HEAD 0"); });

  EXPECT_EQ(GpibQuery(handle, "Q?"), "");
  EXPECT_EQ(bus.Written(), (std::vector<std::string>{"Q?", "HEAD 0"}));
  EXPECT_EQ(bus.Calls("ibrd"), 0u);
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST(GpibQuery, FailedWriteAnsweredCancelEndsTheProgram) {
  SimulatedBus bus(Instrument("ok\n", {WriteError("Q?", 0, 14)}));
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdCancel);
  EndProgramCatcher catcher;
  std::int16_t handle = OpenAt5();

  EXPECT_EQ(EndCode([&] { GpibQuery(handle, "Q?"); }), 1);
  EXPECT_EQ(bus.Calls("ibrd"), 0u);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(),
            "GPIB bus eror.\nSelect OK to continue or Cancel to terminate program.");
}

struct NoHandleCase {
  const char *name;
  std::function<void(std::int16_t &)> call;
};
void PrintTo(const NoHandleCase &c, std::ostream *os) { *os << c.name; }

class WithoutInstrument : public ::testing::TestWithParam<NoHandleCase> {};

TEST_P(WithoutInstrument, ReportsDeviceErrorAndEndsBeforeSending) {
  SimulatedBus bus(Instrument("ok\n"));
  FakeMessBoxes boxes;
  boxes.AnswerNext(Module1::IdOk);
  EndProgramCatcher catcher;
  std::int16_t handle = 0;

  EXPECT_EQ(EndCode([&] { GetParam().call(handle); }), 1);
  EXPECT_TRUE(bus.trace.empty());
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt.toStdString(), DeviceNotConfigured);
  EXPECT_EQ(boxes.shown[0].style, 16);
  EXPECT_EQ(boxes.shown[0].title.toStdString(), "Device Error");
}

INSTANTIATE_TEST_SUITE_P(
    Routines, WithoutInstrument,
    ::testing::Values(NoHandleCase{"GpibWrite", [](std::int16_t &h) { GpibWrite(h, "Q?"); }},
                      NoHandleCase{"GpibRead", [](std::int16_t &h) { GpibRead(h); }},
                      NoHandleCase{"GpibQuery", [](std::int16_t &h) { GpibQuery(h, "Q?"); }}),
    [](const auto &info) { return std::string(info.param.name); });

using Clock = std::chrono::steady_clock;

// The processor time of the whole process; std::clock counts wall time on Windows.
double ProcessCpuSeconds() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](const FILETIME &t) {
    return (double(t.dwHighDateTime) * 4294967296.0 + double(t.dwLowDateTime)) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  return double(std::clock()) / CLOCKS_PER_SEC;
#endif
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST(WaitSeconds, SleepsInTheEventLoopUntilTheDeadline) {
  bool eventRan = false;
  QTimer::singleShot(20, [&] { eventRan = true; });
  const double cpuStart = ProcessCpuSeconds();
  const Clock::time_point start = Clock::now();
  WaitSeconds(0.3f);
  const double wall = SecondsSince(start);
  const double cpu = ProcessCpuSeconds() - cpuStart;

  EXPECT_TRUE(eventRan);
  EXPECT_GE(wall, 0.3);
  // A polling wait would use the processor for about the whole pause.
  EXPECT_LT(cpu, 0.2 * wall);
}

TEST(WaitSeconds, NothingOrLessReturnsAtOnceWithoutRunningEvents) {
  for (const float seconds : {0.0f, -1.0f, -0.0f, std::nanf("")}) {
    bool eventRan = false;
    QTimer::singleShot(0, [&] { eventRan = true; });
    WaitSeconds(seconds);
    EXPECT_FALSE(eventRan) << seconds;
    QCoreApplication::processEvents();
  }
}

TEST(WaitSeconds, StaysCorrectWhenAnEventHandlerWaitsToo) {
  struct Case {
    float outer, inner;
  };
  for (const Case c : {Case{0.2f, 0.05f}, Case{0.05f, 0.15f}}) {
    std::optional<double> innerTook;
    QTimer::singleShot(10, [&] {
      const Clock::time_point innerStart = Clock::now();
      WaitSeconds(c.inner);
      innerTook = SecondsSince(innerStart);
    });
    const Clock::time_point start = Clock::now();
    WaitSeconds(c.outer);
    const double took = SecondsSince(start);

    ASSERT_TRUE(innerTook.has_value());
    EXPECT_GE(*innerTook, c.inner);
    EXPECT_GE(took, c.outer);
    EXPECT_LT(took, c.outer + c.inner + 0.5);
  }
}

} // namespace
