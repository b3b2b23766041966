#include "gpib/Vbib32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A driver double: records what reaches it and reports a status the test chooses.
struct DoubleDriver {
  static inline int registerResult = 0;
  static inline int registerCalls = 0;
  static inline int unregisterCalls = 0;
  static inline int *sta = nullptr;
  static inline int *err = nullptr;
  static inline int nextSta = 0x0100;
  static inline int nextErr = 0;
  static inline std::vector<std::string> calls;
  static inline std::string written;
  static inline std::string toRead;
  static inline std::vector<Addr4882_t> padsSeen;

  static void Reset() {
    registerResult = 0;
    registerCalls = unregisterCalls = 0;
    sta = err = nullptr;
    nextSta = 0x0100;
    nextErr = 0;
    calls.clear();
    written.clear();
    toRead.clear();
    padsSeen.clear();
  }
  static void Done(const std::string &call) {
    calls.push_back(call);
    if (sta)
      *sta = nextSta;
    if (err)
      *err = nextErr;
  }
  static int Register(int *s, int *e, int *, long *) {
    ++registerCalls;
    sta = s;
    err = e;
    return registerCalls == 1 ? registerResult : 0;
  }
  static int Unregister() {
    ++unregisterCalls;
    sta = err = nullptr;
    return 0;
  }
  static int Ibwrt(int, const void *buf, long cnt) {
    written.assign(static_cast<const char *>(buf), static_cast<std::size_t>(cnt));
    Done("ibwrt");
    return nextSta;
  }
  static int Ibrd(int, void *buf, long cnt) {
    const std::size_t n = std::min(toRead.size(), static_cast<std::size_t>(cnt));
    toRead.copy(static_cast<char *>(buf), n);
    Done("ibrd");
    return nextSta;
  }
  static int Ibdev(int, int, int, int, int, int) {
    Done("ibdev");
    return 0x10032; // the binding keeps the low 16 bits
  }
  static int Ibask(int, int, int *value) {
    *value = 0x1000C;
    Done("ibask");
    return nextSta;
  }
  static void FindLstn(int, const Addr4882_t pads[], Addr4882_t results[], int limit) {
    for (int i = 0; pads[i] != NOADDR; ++i)
      padsSeen.push_back(pads[i]);
    results[0] = 0;
    results[1] = 7;
    if (limit > 2)
      results[2] = NOADDR;
    Done("FindLstn");
  }
  static int Ibsta() { return nextSta; }
  static int Iberr() { return nextErr; }

  static GpibDriverApi Api(bool withRegistration) {
    GpibDriverApi api;
    api.ibwrt = Ibwrt;
    api.ibrd = Ibrd;
    api.ibdev = Ibdev;
    api.ibask = Ibask;
    api.FindLstn = FindLstn;
    if (withRegistration) {
      api.RegisterGpibGlobalsForThread = Register;
      api.UnregisterGpibGlobalsForThread = Unregister;
    } else {
      api.ThreadIbsta = Ibsta;
      api.ThreadIberr = Iberr;
    }
    return api;
  }
};

class Vbib32Test : public ::testing::Test {
protected:
  void SetUp() override { DoubleDriver::Reset(); }
  void TearDown() override { VBIB32::UseDriver(nullptr); }
};

struct RegistrationCase {
  int result;
  bool registered;
  int registerCalls;
  int unregisterCalls;
};

class RegistrationTest : public Vbib32Test, public ::testing::WithParamInterface<RegistrationCase> {};

TEST_P(RegistrationTest, FollowsTheRegistrationRules) {
  const RegistrationCase c = GetParam();
  const GpibDriverApi api = DoubleDriver::Api(true);
  VBIB32::UseDriver(&api);
  DoubleDriver::registerResult = c.result;
  DoubleDriver::nextSta = 0x0100;

  VBIB32::ibwrt(3, "ID?");

  EXPECT_EQ(VBIB32::Registered(), c.registered);
  EXPECT_EQ(DoubleDriver::registerCalls, c.registerCalls);
  EXPECT_EQ(DoubleDriver::unregisterCalls, c.unregisterCalls);
  if (c.registered) {
    EXPECT_EQ(DoubleDriver::calls, std::vector<std::string>{"ibwrt"});
    EXPECT_EQ(VBIB32::ibsta, 0x0100);
  } else {
    EXPECT_TRUE(DoubleDriver::calls.empty()) << "the wrapped call must not reach the driver";
    EXPECT_EQ(VBIB32::ibsta, VBIB32::ERR);
    EXPECT_EQ(VBIB32::iberr, VBIB32::EDVR);
  }

  // A failed registration is tried again by the next call; a successful one is not repeated.
  VBIB32::ibwrt(3, "ID?");
  EXPECT_EQ(DoubleDriver::registerCalls, c.registerCalls + (c.registered ? 0 : 1));
  EXPECT_TRUE(VBIB32::Registered());
  EXPECT_EQ(DoubleDriver::calls.back(), "ibwrt");
}

INSTANTIATE_TEST_SUITE_P(Results, RegistrationTest,
                         ::testing::Values(RegistrationCase{0, true, 1, 0}, RegistrationCase{1, true, 2, 1},
                                           RegistrationCase{2, false, 1, 1}, RegistrationCase{3, false, 1, 1},
                                           RegistrationCase{9, false, 1, 0}));

TEST_F(Vbib32Test, StatusComesFromTheRegisteredVariables) {
  const GpibDriverApi api = DoubleDriver::Api(true);
  VBIB32::UseDriver(&api);
  DoubleDriver::nextSta = 0x18000 | 0x4000 | 0x0100; // bits above 16 are not ours
  DoubleDriver::nextErr = 6;
  std::string buffer(8, ' ');
  VBIB32::ibrd(4, buffer);
  EXPECT_EQ(VBIB32::ibsta, static_cast<std::int16_t>(0xC100));
  EXPECT_EQ(VBIB32::iberr, 6);
}

TEST_F(Vbib32Test, StatusComesFromThePerThreadFunctionsWithoutRegistration) {
  const GpibDriverApi api = DoubleDriver::Api(false);
  VBIB32::UseDriver(&api);
  DoubleDriver::nextSta = 0xA100;
  DoubleDriver::nextErr = 14;
  VBIB32::ibwrt(4, "X");
  EXPECT_EQ(VBIB32::ibsta, static_cast<std::int16_t>(0xA100));
  EXPECT_EQ(VBIB32::iberr, 14);
  EXPECT_EQ(DoubleDriver::registerCalls, 0);
}

TEST_F(Vbib32Test, TextTravelsByteForByte) {
  const GpibDriverApi api = DoubleDriver::Api(false);
  VBIB32::UseDriver(&api);
  const std::string sent("A\0\xB5\xFF\n", 5);
  VBIB32::ibwrt(4, sent);
  EXPECT_EQ(DoubleDriver::written, sent);

  DoubleDriver::toRead = std::string("\xE9t\0\xA0", 4);
  std::string buffer(6, ' ');
  VBIB32::ibrd(4, buffer);
  EXPECT_EQ(buffer, std::string("\xE9t\0\xA0  ", 6)) << "the unread rest of the buffer stays as it was";
}

TEST_F(Vbib32Test, SixteenBitResultsAreTheLowBits) {
  const GpibDriverApi api = DoubleDriver::Api(false);
  VBIB32::UseDriver(&api);
  EXPECT_EQ(VBIB32::ibdev(0, 1, 0, 11, 1, 0), 0x32);
  std::int16_t value = 0;
  VBIB32::ibask(0x32, VBIB32::IbaTMO, value);
  EXPECT_EQ(value, 12);
}

TEST_F(Vbib32Test, FindLstnPassesTheListUpToNoaddrAndReturnsWhatWasWritten) {
  const GpibDriverApi api = DoubleDriver::Api(false);
  VBIB32::UseDriver(&api);
  const std::int16_t pads[] = {0, 1, 2, 30, -1, 0};
  std::int16_t results[4] = {5, 5, 5, 5};
  VBIB32::FindLstn(0, pads, results, 4);
  EXPECT_EQ(DoubleDriver::padsSeen, (std::vector<Addr4882_t>{0, 1, 2, 30}));
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 7);
  EXPECT_EQ(results[2], -1);
  EXPECT_EQ(results[3], 5) << "entries the driver did not write keep their value";
}

} // namespace

#include "sim/SimBus.h"

namespace {

TEST_F(Vbib32Test, TalksToTheInProcessBus) {
  gpibsim::Configure(gpibsim::DefaultBus());
  VBIB32::UseDriver(&gpibsim::InProcessDriver());
  const std::int16_t ud = VBIB32::ibdev(0, 1, 0, VBIB32::T1s, 1, 0);
  EXPECT_GT(ud, 0);
  VBIB32::ibwrt(ud, "ID?");
  EXPECT_EQ(VBIB32::ibsta & VBIB32::ERR, 0);
  std::string buffer(256, ' ');
  VBIB32::ibrd(ud, buffer);
  EXPECT_NE(VBIB32::ibsta & VBIB32::END, 0);
  EXPECT_EQ(buffer.rfind("ID TEK/TDS 3054,", 0), 0u) << buffer;

  VBIB32::ibrd(ud, buffer); // nothing pending: the read times out
  EXPECT_NE(VBIB32::ibsta & VBIB32::TIMO, 0);
  EXPECT_EQ(VBIB32::iberr, 6);
}

} // namespace
