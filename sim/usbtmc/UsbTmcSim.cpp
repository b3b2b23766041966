#include "sim/usbtmc/UsbTmcSim.h"

#include "sim/Listener.h"
#include "sim/Trace.h"

#include <linux/usb/tmc.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace usbtmcsim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr unsigned DefaultTimeoutMs = 5000; // the kernel driver's
constexpr unsigned MinTimeoutMs = 100;      // the kernel driver refuses less
// The 488 interface capabilities a TDS reports: status byte, REN/GTL/LLO, trigger.
constexpr unsigned char Caps488 =
    USBTMC488_CAPABILITY_488_DOT_2 | USBTMC488_CAPABILITY_SIMPLE | USBTMC488_CAPABILITY_TRIGGER;

struct Node {
  explicit Node(const gpibsim::ListenerDescription &d) : listener(d), description(d) {}
  gpibsim::Listener listener;
  gpibsim::ListenerDescription description;
  unsigned timeoutMs = DefaultTimeoutMs;
  bool lastEom = false;
  // A read timed out and was not aborted: the device still owes that transfer.
  bool inPending = false;
  bool gone = false;
  std::optional<int> unplugAfterMs;
};

struct State {
  std::recursive_mutex lock;
  std::once_flag fromEnvironment;
  std::atomic<bool> configured{false};
  std::string root;
  int busTimeoutsTakeMs = 0;
  std::vector<Node> nodes;
  std::map<int, int> fds; // descriptor -> node index
  std::FILE *trace = nullptr;
};

State &S() {
  static State *state = new State; // outlives every static destructor that may still read
  return *state;
}

void Trace(int index, const std::string &line) {
  if (S().trace) {
    std::fprintf(S().trace, "usbtmc%d %s\n", index, line.c_str());
    std::fflush(S().trace);
  }
}

std::string Quoted(const std::string &bytes) { return "\"" + gpibsim::EscapeBytes(bytes) + "\""; }

int NodeIndex(const char *path) {
  static const char prefix[] = "/dev/usbtmc";
  if (!path || std::strncmp(path, prefix, sizeof prefix - 1) != 0)
    return -1;
  const char *digits = path + sizeof prefix - 1;
  if (!*digits)
    return -1;
  for (const char *c = digits; *c; ++c)
    if (*c < '0' || *c > '9')
      return -1;
  return std::atoi(digits);
}

std::string ModelOf(const std::string &id) {
  const std::size_t slash = id.find('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  return id.substr(start, id.find(',', start) - start);
}

bool WriteText(const fs::path &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary);
  out << text << '\n';
  return static_cast<bool>(out);
}

void ConfigureFromEnvironment() {
  const char *root = std::getenv("USBTMCSIM_ROOT");
  if (!root || !*root)
    return;
  gpibsim::BusDescription bus = gpibsim::DefaultBus();
  const char *file = std::getenv("GPIBSIM_BUS");
  std::string error;
  if (file && *file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || !gpibsim::ParseBusDescription(text.str(), file, bus, error)) {
      std::fprintf(stderr, "usbtmcsim: %s\n", error.empty() ? "cannot read GPIBSIM_BUS" : error.c_str());
      bus = gpibsim::BusDescription();
    }
  }
  if (const char *trace = std::getenv("GPIBSIM_TRACE"); trace && *trace)
    TraceTo(trace);
  if (!Configure(root, bus, error))
    std::fprintf(stderr, "usbtmcsim: %s\n", error.c_str());
}

void EnsureConfigured() {
  if (!S().configured)
    std::call_once(S().fromEnvironment, ConfigureFromEnvironment);
}

Node *NodeOf(int fd, int &index) {
  const auto it = S().fds.find(fd);
  if (it == S().fds.end())
    return nullptr;
  index = it->second;
  return &S().nodes[static_cast<std::size_t>(index)];
}

void Unplug(Node &node, int index) {
  node.gone = true;
  std::error_code ignored;
  fs::remove(fs::path(S().root) / "dev" / ("usbtmc" + std::to_string(index)), ignored);
  fs::remove(fs::path(S().root) / "sys/class/usbmisc" / ("usbtmc" + std::to_string(index)), ignored);
  Trace(index, "unplugged");
}

int Failed(int error) {
  errno = error;
  return -1;
}

} // namespace

bool WriteTree(const std::string &root, const gpibsim::BusDescription &bus, std::string &error) {
  std::error_code failed;
  const fs::path sys = fs::path(root) / "sys";
  fs::create_directories(sys / "class/usbmisc", failed);
  fs::create_directories(fs::path(root) / "dev", failed);
  for (std::size_t i = 0; i < bus.listeners.size() && !failed; ++i) {
    const gpibsim::ListenerDescription &l = bus.listeners[i];
    const std::string port = "1-" + std::to_string(i + 1);
    const std::string node = "usbtmc" + std::to_string(i);
    const fs::path device = sys / "devices/pci0000:00/0000:00:14.0/usb1" / port;
    const fs::path misc = device / (port + ":1.0") / "usbmisc" / node;
    fs::create_directories(misc, failed);
    if (failed)
      break;
    const bool tds = l.kind == "tds";
    const bool ok = WriteText(device / "idVendor", tds ? "0699" : "0957") &&
                    WriteText(device / "idProduct", tds ? "0368" : "0607") &&
                    WriteText(device / "manufacturer", tds ? "Tektronix, Inc." : "Agilent Technologies") &&
                    WriteText(device / "product", tds ? ModelOf(l.id) : "34410A Multimeter") &&
                    WriteText(device / "serial", "C0" + std::to_string(12345 + i)) &&
                    WriteText(misc / "dev", "180:" + std::to_string(176 + i)) &&
                    WriteText(fs::path(root) / "dev" / node, "");
    if (!ok) {
      error = "cannot write the tree under " + root;
      return false;
    }
    fs::create_directory_symlink("../../../" + port + ":1.0", misc / "device", failed);
    if (!failed)
      fs::create_directory_symlink(fs::relative(misc, sys / "class/usbmisc"), sys / "class/usbmisc" / node,
                                   failed);
    fs::permissions(fs::path(root) / "dev" / node, fs::perms::owner_read | fs::perms::owner_write, failed);
  }
  if (failed) {
    error = "cannot write the tree under " + root + ": " + failed.message();
    return false;
  }
  return true;
}

bool Configure(const std::string &root, const gpibsim::BusDescription &bus, std::string &error) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  if (!fs::exists(fs::path(root) / "sys") && !WriteTree(root, bus, error))
    return false;
  S().root = root;
  S().busTimeoutsTakeMs = bus.timeoutsTakeMs;
  S().nodes.clear();
  S().fds.clear();
  for (const gpibsim::ListenerDescription &l : bus.listeners)
    S().nodes.emplace_back(l);
  S().configured = true;
  return true;
}

void TraceTo(const std::string &path) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  if (S().trace)
    std::fclose(S().trace);
  S().trace = path.empty() ? nullptr : std::fopen(path.c_str(), "ab");
}

void UnplugDuringWait(int index, int afterMs) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  if (index >= 0 && static_cast<std::size_t>(index) < S().nodes.size())
    S().nodes[static_cast<std::size_t>(index)].unplugAfterMs = afterMs;
}

bool IsNode(const char *path) {
  if (NodeIndex(path) < 0)
    return false;
  EnsureConfigured();
  return S().configured;
}

std::string Redirected(const char *path) {
  if (!path || std::strncmp(path, "/sys/", 5) != 0)
    return std::string();
  EnsureConfigured();
  return S().configured ? S().root + path : std::string();
}

bool Owns(int fd) {
  if (!S().configured)
    return false;
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  return S().fds.count(fd) != 0;
}

int Open(const char *path) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  const int index = NodeIndex(path);
  const std::string file = S().root + path;
  struct stat facts {};
  if (index < 0 || static_cast<std::size_t>(index) >= S().nodes.size() || ::stat(file.c_str(), &facts) != 0)
    return Failed(ENOENT);
  if ((facts.st_mode & (S_IRUSR | S_IWUSR)) != (S_IRUSR | S_IWUSR)) {
    Trace(index, "open refused: permission");
    return Failed(EACCES);
  }
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return fd;
  S().fds[fd] = index;
  Node &node = S().nodes[static_cast<std::size_t>(index)];
  node.timeoutMs = DefaultTimeoutMs;
  node.inPending = false;
  Trace(index, "open");
  return fd;
}

ssize_t Write(int fd, const void *buf, size_t count) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  int index = 0;
  Node *node = NodeOf(fd, index);
  if (!node || node->gone)
    return Failed(ENODEV);
  const std::string bytes(static_cast<const char *>(buf), count);
  if (node->inPending) {
    Trace(index, "write " + Quoted(bytes) + " refused: a read was not aborted");
    return Failed(EIO);
  }
  const gpibsim::Listener::WriteResult result = node->listener.Write(bytes);
  Trace(index, "write " + Quoted(bytes) + (result.ok ? "" : " failed"));
  return result.ok ? static_cast<ssize_t>(count) : Failed(EIO);
}

ssize_t Read(int fd, void *buf, size_t count) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  int index = 0;
  Node *node = NodeOf(fd, index);
  if (!node || node->gone)
    return Failed(ENODEV);
  if (node->inPending)
    return Failed(EIO);
  const gpibsim::Listener::ReadResult got = node->listener.Read(count);
  if (got.unplugged) {
    Unplug(*node, index);
    return Failed(ENODEV);
  }
  if (got.timedOut) {
    const int own = node->description.timeoutsTakeMs;
    int waitMs = own >= 0 ? own : S().busTimeoutsTakeMs > 0 ? S().busTimeoutsTakeMs : -1;
    waitMs =
        waitMs < 0 ? static_cast<int>(node->timeoutMs) : std::min(waitMs, static_cast<int>(node->timeoutMs));
    if (node->unplugAfterMs && *node->unplugAfterMs <= waitMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(*node->unplugAfterMs));
      node->unplugAfterMs.reset();
      Unplug(*node, index);
      return Failed(ENODEV);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    node->inPending = true;
    Trace(index, "read " + std::to_string(count) + " timed out");
    return Failed(ETIMEDOUT);
  }
  std::memcpy(buf, got.chunk.data(), got.chunk.size());
  node->lastEom = got.end;
  Trace(index, "read " + std::to_string(count) + " " + Quoted(got.chunk) + (got.end ? " eom" : ""));
  return static_cast<ssize_t>(got.chunk.size());
}

int Ioctl(int fd, unsigned long request, void *arg) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  int index = 0;
  Node *node = NodeOf(fd, index);
  if (!node || node->gone)
    return Failed(ENODEV);
  switch (request) {
  case USBTMC_IOCTL_SET_TIMEOUT: {
    const unsigned ms = *static_cast<const __u32 *>(arg);
    if (ms < MinTimeoutMs)
      return Failed(EINVAL);
    node->timeoutMs = ms;
    Trace(index, "timeout " + std::to_string(ms));
    return 0;
  }
  case USBTMC_IOCTL_GET_TIMEOUT:
    *static_cast<__u32 *>(arg) = node->timeoutMs;
    return 0;
  case USBTMC_IOCTL_EOM_ENABLE:
    return *static_cast<const __u8 *>(arg) > 1 ? Failed(EINVAL) : 0;
  case USBTMC_IOCTL_CLEAR:
  case USBTMC_IOCTL_ABORT_BULK_IN:
    node->listener.Clear();
    node->inPending = false;
    Trace(index, request == USBTMC_IOCTL_CLEAR ? "clear" : "abort bulk-in");
    return 0;
  case USBTMC_IOCTL_ABORT_BULK_OUT:
    Trace(index, "abort bulk-out");
    return 0;
  case USBTMC488_IOCTL_GET_CAPS:
    *static_cast<unsigned char *>(arg) = Caps488;
    return 0;
  case USBTMC488_IOCTL_READ_STB:
    *static_cast<unsigned char *>(arg) = 0;
    Trace(index, "status byte");
    return 0;
  case USBTMC_IOCTL_MSG_IN_ATTR:
    *static_cast<__u8 *>(arg) = node->lastEom ? 1 : 0;
    return 0;
  default:
    return Failed(ENOTTY);
  }
}

void Close(int fd) {
  const std::lock_guard<std::recursive_mutex> hold(S().lock);
  int index = 0;
  if (NodeOf(fd, index)) {
    S().fds.erase(fd);
    Trace(index, "close");
  }
}

} // namespace usbtmcsim
