#pragma once

#include <QByteArray>
#include <QtGlobal>

// Sets or unsets one environment variable for a test and puts the old value back after it.
class ScopedEnv {
public:
  ScopedEnv(const char *name, const QByteArray &value) : ScopedEnv(name) { qputenv(name, value); }
  explicit ScopedEnv(const char *name)
      : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
    qunsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
  const char *name_;
  bool had_;
  QByteArray old_;
};
