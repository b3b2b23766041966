#include "gpib/adapter/InterfaceStartup.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace gpibadapter {

const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

namespace {

const char *const SettingsOwner = "skeld-errlog";
const QString InterfaceKey = QStringLiteral("gpib/interface");
const QString HostsKey = QStringLiteral("gpib/recentHosts");
constexpr int KeptHosts = 5;

// A host or port name is a few dozen characters; anything longer is not one.
constexpr qsizetype MaxRememberedText = 1024;
constexpr qint64 MaxSettingsFileBytes = 64 * 1024;

bool gEnabled = true;

// Reading the settings file must not hold up the start: a FIFO there would block for ever,
// a huge file be read and laid out. Such a file is passed over, with one line, for the run.
bool SettingsFileUsable() {
#ifdef _WIN32
  return true;
#else
  static const bool usable = [] {
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/%1/%1.conf").arg(QLatin1String(SettingsOwner));
    const QFileInfo file(path);
    QString why;
    if (file.exists() && !file.isFile())
      why = QStringLiteral("not a regular file");
    else if (file.exists() && file.size() > MaxSettingsFileBytes)
      why = QStringLiteral("larger than %1 KiB").arg(MaxSettingsFileBytes / 1024);
    if (why.isEmpty())
      return true;
    std::fprintf(stderr, "the settings file %s is passed over: %s\n", qPrintable(path), qPrintable(why));
    return false;
  }();
  return usable;
#endif
}

bool Usable() { return gEnabled && SettingsFileUsable(); }

bool TooLong(const QString &text, const char *what) {
  if (text.size() <= MaxRememberedText)
    return false;
  std::fprintf(stderr, "remembered %s passed over: longer than %lld characters\n", what,
               static_cast<long long>(MaxRememberedText));
  return true;
}

std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QLatin1String(SettingsOwner), QLatin1String(SettingsOwner));
}

// As the Connect dialog offers it again: "gpib.lab", "10.0.0.5:4000".
QString HostText(const GpibInterface &where) { return InterfaceText(where).section(QLatin1Char(':'), 1); }

} // namespace

bool ResolveStartupInterface(const std::optional<QString> &option, StartupInterface &out, QString &error) {
  const QString variable = qEnvironmentVariable(InterfaceVariable);
  StartupInterface chosen;
  if (option || !variable.isEmpty()) {
    chosen.source = option ? InterfaceSource::Option : InterfaceSource::Variable;
    if (!ParseGpibInterface(option ? *option : variable, chosen.where, error)) {
      error = (option ? QStringLiteral("--interface: ")
                      : QLatin1String(InterfaceVariable) + QStringLiteral(": ")) +
              error;
      return false;
    }
  } else if (const std::optional<GpibInterface> where = remembered::Interface()) {
    chosen.where = *where;
    chosen.source = InterfaceSource::Remembered;
  }
  out = chosen;
  return true;
}

namespace remembered {

std::optional<GpibInterface> Interface() {
  if (!Usable())
    return std::nullopt;
  const QString text = Settings()->value(InterfaceKey).toString();
  if (text.isEmpty() || TooLong(text, "GPIB interface"))
    return std::nullopt;
  GpibInterface where;
  QString error;
  if (!ParseGpibInterface(text, where, error)) {
    std::fprintf(stderr, "remembered GPIB interface passed over: %s\n", qPrintable(error));
    return std::nullopt;
  }
  return where;
}

QStringList RecentHosts() {
  if (!Usable())
    return QStringList();
  QStringList hosts = Settings()->value(HostsKey).toStringList();
  hosts.erase(
      std::remove_if(hosts.begin(), hosts.end(), [](const QString &host) { return TooLong(host, "host"); }),
      hosts.end());
  return hosts;
}

void Remember(const GpibInterface &where) {
  if (!Usable())
    return;
  const std::unique_ptr<QSettings> settings = Settings();
  settings->setValue(InterfaceKey, InterfaceText(where));
  if (where.tcp) {
    QStringList hosts = settings->value(HostsKey).toStringList();
    const QString host = HostText(where);
    hosts.removeAll(host);
    hosts.prepend(host);
    settings->setValue(HostsKey, hosts.mid(0, KeptHosts));
  }
  settings->sync();
  if (settings->status() != QSettings::NoError)
    std::fprintf(stderr, "the GPIB interface could not be remembered in %s\n",
                 qPrintable(settings->fileName()));
}

void Forget() {
  if (!SettingsFileUsable())
    return;
  const std::unique_ptr<QSettings> settings = Settings();
  settings->remove(InterfaceKey);
  settings->remove(HostsKey);
  settings->sync();
}

void SetEnabled(bool enabled) { gEnabled = enabled; }
bool Enabled() { return Usable(); }

} // namespace remembered
} // namespace gpibadapter
