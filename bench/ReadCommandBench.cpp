// --read of a 100-entry log: the real viewer on the drop-in simulated driver, with the real
// pauses, as a script runs it.
#include "sim/SimBus.h"
#include "tests/support/BusDescriptions.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Entries = 100;
// "ID?" of the identification, "ERRLOG?", then one "ERRLOG:NEXT?" per further entry and one
// for the end item: each query pauses 0.1 s.
constexpr int Queries = 1 + 1 + Entries;

bool WriteText(const std::string &path, const std::string &text) {
  FILE *file = std::fopen(path.c_str(), "wb");
  if (!file)
    return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

int Lines(const std::string &path) {
  FILE *file = std::fopen(path.c_str(), "rb");
  if (!file)
    return -1;
  int lines = 0;
  for (int c; (c = std::fgetc(file)) != EOF;)
    lines += c == '\n';
  std::fclose(file);
  return lines;
}

} // namespace

int main() {
  char folder[] = "/tmp/bench-read-XXXXXX";
  if (!mkdtemp(folder))
    return 1;
  const std::string bus = std::string(folder) + "/bus.json";
  const std::string out = std::string(folder) + "/log.txt";
  gpibsim::BusDescription description = gpibsim::DefaultBus();
  description.listeners[0].log.clear();
  for (int i = 1; i <= Entries; ++i)
    description.listeners[0].log.push_back("Entry " + std::to_string(i) + ", acquisition fault 0x" +
                                           std::to_string(100 + i));
  if (!WriteText(bus, busdesc::BusJson(description)))
    return 1;

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "GPIBSIM_TRACE"})
      unsetenv(name);
    setenv("LD_LIBRARY_PATH", SKELD_BINARY_DIR "/sim", 1);
    setenv("GPIBSIM_BUS", bus.c_str(), 1);
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDOUT_FILENO);
    execl(SKELD_BINARY_DIR "/skeld-errlog", "skeld-errlog", "--read", static_cast<char *>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  const double cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  const double rssMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
  const int lines = Lines(out);

  std::printf("--read, %d entries: wall %.3f s  wall/(%d x 0.1 s) %.4f (<= 1.03)  cpu %.3f s  cpu/wall %.4f "
              "(<= 0.02)  peak RSS %.1f MB (<= 30)\n",
              Entries, wall, Queries, wall / (Queries * 0.1), cpu, cpu / wall, rssMb);
  std::remove(bus.c_str());
  std::remove(out.c_str());
  rmdir(folder);
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && lines == Entries + 3;
  if (!ok)
    std::fprintf(stderr, "expected status 0 and %d lines, got status %d and %d lines\n", Entries + 3, status,
                 lines);
  return ok ? 0 : 1;
}
