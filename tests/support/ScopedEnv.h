#pragma once

#include "support/ScopedSeam.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>

// Sets or unsets one environment variable for a test and puts the old value back after it.
class ScopedEnv : public ScopedSeam<std::optional<QByteArray>> {
public:
  ScopedEnv(const char *name, const QByteArray &value) : ScopedSeam(Setter(name), value) {}
  explicit ScopedEnv(const char *name) : ScopedSeam(Setter(name), std::nullopt) {}

private:
  static std::function<std::optional<QByteArray>(std::optional<QByteArray>)> Setter(const char *name) {
    return [name](std::optional<QByteArray> value) {
      std::optional<QByteArray> old;
      if (qEnvironmentVariableIsSet(name))
        old = qgetenv(name);
      if (value)
        qputenv(name, *value);
      else
        qunsetenv(name);
      return old;
    };
  }
};
