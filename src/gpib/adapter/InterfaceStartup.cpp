#include "gpib/adapter/InterfaceStartup.h"

#include <QSettings>

#include <cstdio>
#include <memory>

namespace gpibadapter {

const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

namespace {

const char *const SettingsOwner = "skeld-errlog";
const QString InterfaceKey = QStringLiteral("gpib/interface");
const QString HostsKey = QStringLiteral("gpib/recentHosts");
constexpr int KeptHosts = 5;

bool gEnabled = true;

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
  if (!gEnabled)
    return std::nullopt;
  const QString text = Settings()->value(InterfaceKey).toString();
  if (text.isEmpty())
    return std::nullopt;
  GpibInterface where;
  QString error;
  if (!ParseGpibInterface(text, where, error)) {
    std::fprintf(stderr, "remembered GPIB interface passed over: %s\n", qPrintable(error));
    return std::nullopt;
  }
  return where;
}

QStringList RecentHosts() { return gEnabled ? Settings()->value(HostsKey).toStringList() : QStringList(); }

void Remember(const GpibInterface &where) {
  if (!gEnabled)
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
  const std::unique_ptr<QSettings> settings = Settings();
  settings->remove(InterfaceKey);
  settings->remove(HostsKey);
  settings->sync();
}

void SetEnabled(bool enabled) { gEnabled = enabled; }
bool Enabled() { return gEnabled; }

} // namespace remembered
} // namespace gpibadapter
