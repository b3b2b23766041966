// Gpib-32.dll as Windows programs meet it: loaded by path, entries found by name, the status
// of every call in the variables the thread registered.
#include "support/Files.h"
#include "support/SimulatedBus.h"

#include <QTemporaryDir>

#include <windows.h>

#include <string>
#include <vector>

using namespace gpibsim;

namespace {

const char *const Entries[] = {"ibdev",
                               "ibwrt",
                               "ibrd",
                               "ibclr",
                               "ibrsp",
                               "ibpad",
                               "ibtmo",
                               "ibask",
                               "ibwait",
                               "ibsre",
                               "SendIFC",
                               "FindLstn",
                               "ThreadIbsta",
                               "ThreadIberr",
                               "ThreadIbcnt",
                               "ThreadIbcntl",
                               "RegisterGpibGlobalsForThread",
                               "UnregisterGpibGlobalsForThread"};

// Loaded once: the library keeps its bus for the whole process, as the binding does.
HMODULE Library() {
  static const HMODULE library = LoadLibraryA(GPIBSIM_LIBRARY);
  return library;
}

template <typename F> void Resolve(const char *name, F &entry) {
  entry = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(Library(), name)));
  ASSERT_NE(entry, nullptr) << name;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

struct Status {
  int sta = -1;
  int err = -1;
  int cnt = -1;
  long cntl = -1;
};

TEST(ShimWindowsTest, ExportsTheDriverEntriesAndTheRegistrationOnly) {
  ASSERT_NE(Library(), nullptr) << "LoadLibrary error " << GetLastError();
  for (const char *entry : Entries)
    EXPECT_NE(GetProcAddress(Library(), entry), nullptr) << entry;
  for (const char *hidden : {"_ZN7gpibsim9ConfigureERKNS_14BusDescriptionE", "_ZN7gpibsim10DefaultBusEv"})
    EXPECT_EQ(GetProcAddress(Library(), hidden), nullptr) << hidden;
}

TEST(ShimWindowsTest, RegisteredVariablesCarryTheStatusOfEveryCallOfTheNamedBus) {
  QTemporaryDir dir;
  const std::string trace = dir.filePath(QStringLiteral("trace.log")).toStdString();
  // Read at the library's first call.
  qputenv("GPIBSIM_BUS", SimDataFile("scattered_listeners.json").c_str());
  qputenv("GPIBSIM_TRACE", trace.c_str());
  GpibDriverApi api;
  Resolve("ibdev", api.ibdev);
  Resolve("ibwrt", api.ibwrt);
  Resolve("ibrd", api.ibrd);
  Resolve("FindLstn", api.FindLstn);
  Resolve("RegisterGpibGlobalsForThread", api.RegisterGpibGlobalsForThread);
  Resolve("UnregisterGpibGlobalsForThread", api.UnregisterGpibGlobalsForThread);

  Status status;
  ASSERT_EQ(api.RegisterGpibGlobalsForThread(&status.sta, &status.err, &status.cnt, &status.cntl), 0);
  const Addr4882_t pads[] = {0, 3, 9, 17, NOADDR};
  Addr4882_t found[15] = {};
  api.FindLstn(0, pads, found, 15);
  EXPECT_EQ(status.sta, CMPL);
  const int ud = api.ibdev(0, 9, 0, 11, 1, 0);
  api.ibwrt(ud, "ID?", 3);
  std::string reply(512, ' ');
  api.ibrd(ud, &reply[0], 512);
  const std::string expected = "ID TEK/TDS 340,CF:91.1CT,FV:v1.09\n";
  EXPECT_EQ(status.sta, END | CMPL);
  EXPECT_EQ(status.cnt, static_cast<int>(expected.size()));
  EXPECT_EQ(status.cntl, static_cast<long>(expected.size()));
  EXPECT_EQ(reply.substr(0, expected.size()), expected);
  api.ibwrt(ud, "ID?", -1);
  EXPECT_EQ(status.sta & ERR, ERR);
  EXPECT_EQ(status.err, EARG);

  // The same variables again are accepted, others are not, a missing one is refused; once
  // unregistered, the thread's variables are left alone.
  Status other;
  EXPECT_EQ(api.RegisterGpibGlobalsForThread(&status.sta, &status.err, &status.cnt, &status.cntl), 0);
  EXPECT_EQ(api.RegisterGpibGlobalsForThread(&other.sta, &other.err, &other.cnt, &other.cntl), 1);
  EXPECT_EQ(api.RegisterGpibGlobalsForThread(&other.sta, nullptr, &other.cnt, &other.cntl), 2);
  api.UnregisterGpibGlobalsForThread();
  const Status before = status;
  api.ibwrt(ud, "ID?", 3);
  EXPECT_EQ(status.sta, before.sta);
  EXPECT_EQ(other.sta, -1);

  EXPECT_EQ(Lines(ReadTextFile(trace)),
            (std::vector<std::string>{
                "FindLstn ibsta=0x0100",
                "ibdev pad=9 ibsta=0x0100",
                "ibwrt pad=9 \"ID?\" ibsta=0x0100",
                "ibrd pad=9 \"ID TEK/TDS 340,CF:91.1CT,FV:v1.09\\n\" ibsta=0x2100",
                "ibwrt pad=9 \"\" ibsta=0x8000",
                "ibwrt pad=9 \"ID?\" ibsta=0x0100",
            }));
}

} // namespace
