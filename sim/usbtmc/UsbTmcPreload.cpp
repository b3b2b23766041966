// The system calls a program makes on a device node, taken over for the simulated nodes and
// the sysfs tree: preloaded (LD_PRELOAD) into the real viewer, or linked into a test.
// Defining open() needs the plain declarations, not the checked inline ones.
#undef _FORTIFY_SOURCE
#include "sim/usbtmc/UsbTmcSim.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>
#include <string>

namespace {

template <typename F> F Real(const char *name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }

mode_t ModeOf(int flags, va_list args) {
  return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

int OpenPath(const char *path, int flags, mode_t mode, const char *name) {
  using OpenFn = int (*)(const char *, int, ...);
  static const OpenFn realOpen = Real<OpenFn>("open");
  static const OpenFn realOpen64 = Real<OpenFn>("open64");
  if (usbtmcsim::IsNode(path))
    return usbtmcsim::Open(path);
  const std::string redirected = usbtmcsim::Redirected(path);
  const OpenFn real = name[4] == '6' ? realOpen64 : realOpen;
  return real(redirected.empty() ? path : redirected.c_str(), flags, mode);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenPath(path, flags, mode, "open");
}

__attribute__((visibility("default"))) int open64(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const mode_t mode = ModeOf(flags, args);
  va_end(args);
  return OpenPath(path, flags, mode, "open64");
}

__attribute__((visibility("default"))) DIR *opendir(const char *path) {
  static const auto real = Real<DIR *(*)(const char *)>("opendir");
  const std::string redirected = usbtmcsim::Redirected(path);
  return real(redirected.empty() ? path : redirected.c_str());
}

__attribute__((visibility("default"))) char *realpath(const char *path, char *resolved) {
  static const auto real = Real<char *(*)(const char *, char *)>("realpath");
  const std::string redirected = usbtmcsim::Redirected(path);
  return real(redirected.empty() ? path : redirected.c_str(), resolved);
}

__attribute__((visibility("default"))) ssize_t read(int fd, void *buf, size_t count) {
  static const auto real = Real<ssize_t (*)(int, void *, size_t)>("read");
  return usbtmcsim::Owns(fd) ? usbtmcsim::Read(fd, buf, count) : real(fd, buf, count);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void *buf, size_t count) {
  static const auto real = Real<ssize_t (*)(int, const void *, size_t)>("write");
  return usbtmcsim::Owns(fd) ? usbtmcsim::Write(fd, buf, count) : real(fd, buf, count);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
  static const auto real = Real<int (*)(int, unsigned long, ...)>("ioctl");
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  return usbtmcsim::Owns(fd) ? usbtmcsim::Ioctl(fd, request, arg) : real(fd, request, arg);
}

__attribute__((visibility("default"))) int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  usbtmcsim::Close(fd);
  return real(fd);
}

} // extern "C"
