#include "sim/GpibCodes.h"
#include "sim/SimBus.h"
#include "support/BusTrace.h"
#include "support/Files.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace gpibsim;
using bustrace::Lines;
namespace fs = std::filesystem;

namespace {

const char *const Entries[] = {
    "ibdev",  "ibwrt", "ibrd",    "ibclr",    "ibrsp",       "ibpad",       "ibtmo",       "ibask",
    "ibwait", "ibsre", "SendIFC", "FindLstn", "ThreadIbsta", "ThreadIberr", "ThreadIbcnt", "ThreadIbcntl"};

template <typename F> void Resolve(void *handle, const char *name, F &entry) {
  entry = reinterpret_cast<F>(dlsym(handle, name));
  ASSERT_NE(entry, nullptr) << name;
}

// The driver library as the binding meets it: loaded by path, entries looked up by name.
struct LoadedDriver {
  void *handle = nullptr;
  GpibDriverApi api;

  explicit LoadedDriver(const std::string &path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      ADD_FAILURE() << dlerror();
      return;
    }
    Resolve(handle, "ibdev", api.ibdev);
    Resolve(handle, "ibwrt", api.ibwrt);
    Resolve(handle, "ibrd", api.ibrd);
    Resolve(handle, "FindLstn", api.FindLstn);
    Resolve(handle, "ThreadIbsta", api.ThreadIbsta);
    Resolve(handle, "ThreadIberr", api.ThreadIberr);
    Resolve(handle, "ThreadIbcnt", api.ThreadIbcnt);
  }
  // Left loaded: a library that keeps state for the whole process is never unloaded by
  // the binding either.

  std::string Query(int ud, const std::string &command) {
    api.ibwrt(ud, command.data(), static_cast<long>(command.size()));
    std::string buffer(512, ' ');
    api.ibrd(ud, &buffer[0], 512);
    buffer.resize(static_cast<std::size_t>(api.ThreadIbcnt()));
    return buffer;
  }
};

// A private folder, and fresh copies of the library: each copy initialises on its own,
// from the environment of the moment.
class ShimTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "gpibsim-XXXXXX").string();
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string FreshCopy(const std::string &name) {
    const fs::path copy = dir / name / "libgpib.so.0";
    fs::create_directories(copy.parent_path());
    fs::copy_file(GPIBSIM_LIBRARY, copy);
    return copy.string();
  }

  // What the library writes to standard error while f runs.
  template <typename F> std::string StandardError(F f) {
    const std::string path = (dir / "stderr.txt").string();
    std::fflush(stderr);
    const int saved = dup(2);
    std::FILE *capture = std::fopen(path.c_str(), "w");
    dup2(fileno(capture), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::fclose(capture);
    return ReadTextFile(path);
  }

  fs::path dir;
  ScopedEnv bus_{"GPIBSIM_BUS"};
  ScopedEnv trace_{"GPIBSIM_TRACE"};
};

TEST_F(ShimTest, BuiltLibraryExportsTheDriverEntriesOnly) {
  const std::string built = SKELD_BINARY_DIR "/sim/libgpib.so.0";
  ASSERT_EQ(fs::canonical(built), fs::canonical(GPIBSIM_LIBRARY));
  void *handle = dlopen(FreshCopy("exports").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  for (const char *entry : Entries)
    EXPECT_NE(dlsym(handle, entry), nullptr) << entry;
  for (const char *hidden : {"RegisterGpibGlobalsForThread", "UnregisterGpibGlobalsForThread",
                             "_ZN7gpibsim9ConfigureERKNS_14BusDescriptionE", "_ZN7gpibsim10DefaultBusEv"})
    EXPECT_EQ(dlsym(handle, hidden), nullptr) << hidden;
}

TEST_F(ShimTest, LoadedThroughTheLoaderItServesTheNamedBusAndTracesEveryCall) {
  const std::string trace = (dir / "trace.log").string();
  setenv("GPIBSIM_BUS", SimDataFile("scattered_listeners.json").c_str(), 1);
  setenv("GPIBSIM_TRACE", trace.c_str(), 1);
  LoadedDriver driver(SKELD_BINARY_DIR "/sim/libgpib.so.0");
  ASSERT_NE(driver.handle, nullptr);

  std::vector<Addr4882_t> pads;
  for (Addr4882_t a = 0; a <= 30; ++a)
    pads.push_back(a);
  pads.push_back(NOADDR);
  Addr4882_t found[15] = {};
  driver.api.FindLstn(0, pads.data(), found, 15);
  EXPECT_EQ(driver.api.ThreadIbsta(), CMPL);
  EXPECT_EQ((std::vector<Addr4882_t>(found, found + 5)), (std::vector<Addr4882_t>{0, 3, 9, 17, 0}));

  const int ud = driver.api.ibdev(0, 9, 0, 11, 1, 0);
  EXPECT_EQ(driver.Query(ud, "ID?"), "ID TEK/TDS 340,CF:91.1CT,FV:v1.09\n");
  EXPECT_EQ(driver.api.ThreadIbsta(), END | CMPL);

  // Read while the library is still loaded: every line is on disk at once.
  EXPECT_EQ(Lines(ReadTextFile(trace)),
            (std::vector<std::string>{
                "FindLstn ibsta=0x0100",
                "ibdev pad=9 ibsta=0x0100",
                "ibwrt pad=9 \"ID?\" ibsta=0x0100",
                "ibrd pad=9 \"ID TEK/TDS 340,CF:91.1CT,FV:v1.09\\n\" ibsta=0x2100",
            }));
}

TEST_F(ShimTest, TraceSurvivesAProcessThatEndsAtOnce) {
  const std::string trace = (dir / "trace.log").string();
  setenv("GPIBSIM_TRACE", trace.c_str(), 1);
  LoadedDriver driver(FreshCopy("exit"));
  ASSERT_NE(driver.handle, nullptr);
  const int ud = driver.api.ibdev(0, 1, 0, 11, 1, 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    driver.api.ibwrt(ud, "HEAD 0", 6);
    std::_Exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(Lines(ReadTextFile(trace)),
            (std::vector<std::string>{"ibdev pad=1 ibsta=0x0100", "ibwrt pad=1 \"HEAD 0\" ibsta=0x0100"}));
}

TEST_F(ShimTest, MalformedDescriptionIsOneStderrLineAndABusWithoutListeners) {
  const std::string description = SimDataFile("malformed.json");
  setenv("GPIBSIM_BUS", description.c_str(), 1);
  LoadedDriver driver(FreshCopy("malformed"));
  ASSERT_NE(driver.handle, nullptr);
  const Addr4882_t pads[] = {0, 1, NOADDR};
  Addr4882_t found[15] = {};
  const std::string err = StandardError([&] { driver.api.FindLstn(0, pads, found, 15); });
  EXPECT_EQ(driver.api.ThreadIbsta() & ERR, ERR);
  EXPECT_EQ(driver.api.ThreadIberr(), EBUS);

  const std::vector<std::string> lines = Lines(err);
  ASSERT_EQ(lines.size(), 1u) << err;
  EXPECT_EQ(lines[0].rfind("gpibsim: " + description + ":3:56: syntax error", 0), 0u) << lines[0];
}

TEST_F(ShimTest, WithoutADescriptionTheDefaultScopeAnswers) {
  setenv("GPIBSIM_TRACE", (dir / "missing-folder" / "trace.log").c_str(), 1);
  LoadedDriver driver(FreshCopy("default"));
  ASSERT_NE(driver.handle, nullptr);
  int ud = 0;
  const std::string err = StandardError([&] { ud = driver.api.ibdev(0, 1, 0, 11, 1, 0); });
  EXPECT_EQ(err.rfind("gpibsim: cannot open the trace file ", 0), 0u) << err;
  EXPECT_EQ(driver.Query(ud, "ID?"), "ID TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00\n");
}

} // namespace
