#include "route/RouteStartup.h"

#include <QSettings>

#include <cstdio>
#include <memory>

namespace route {

const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

namespace {

const char *const SettingsOwner = "skeld-errlog";
const QString InterfaceKey = QStringLiteral("gpib/interface");
const QString AddressKey = QStringLiteral("gpib/address");
const QString HostsKey = QStringLiteral("gpib/recentHosts");
constexpr int KeptHosts = 5;

bool gEnabled = true;

std::unique_ptr<QSettings> Settings() {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QLatin1String(SettingsOwner), QLatin1String(SettingsOwner));
}

// As the Connect dialog offers it again: "gpib.lab", "10.0.0.5:4000".
QString HostText(const RouteSpec &where) { return RouteText(where).section(QLatin1Char(':'), 1); }

bool ApplyAddress(const QString &text, RouteSpec &where, QString &error) {
  int address = 0;
  if (!ParseAddress(text, address, error))
    return false;
  if (!where.IsBus()) {
    error =
        QStringLiteral("%1 reaches one instrument; it has no GPIB address to choose").arg(RouteText(where));
    return false;
  }
  if (where.address && *where.address != address) {
    error = QStringLiteral("%1 names GPIB address %2 already").arg(RouteText(where)).arg(*where.address);
    return false;
  }
  where.address = address;
  return true;
}

} // namespace

bool ResolveStartupRoute(const std::optional<QString> &option, const std::optional<QString> &address,
                         StartupRoute &out, QString &error) {
  const QString variable = qEnvironmentVariable(InterfaceVariable);
  StartupRoute chosen;
  if (option || !variable.isEmpty()) {
    chosen.source = option ? RouteSource::Option : RouteSource::Variable;
    if (!ParseRoute(option ? *option : variable, chosen.where, error)) {
      error = (option ? QStringLiteral("--interface: ")
                      : QLatin1String(InterfaceVariable) + QStringLiteral(": ")) +
              error;
      return false;
    }
  } else if (const std::optional<RouteSpec> where = remembered::Route()) {
    chosen.where = *where;
    chosen.source = RouteSource::Remembered;
  }
  if (address && !ApplyAddress(*address, chosen.where, error)) {
    error = QStringLiteral("--address: ") + error;
    return false;
  }
  out = chosen;
  return true;
}

namespace remembered {

std::optional<RouteSpec> Route() {
  if (!gEnabled)
    return std::nullopt;
  const std::unique_ptr<QSettings> settings = Settings();
  const QString text = settings->value(InterfaceKey).toString();
  if (text.isEmpty())
    return std::nullopt;
  RouteSpec where;
  QString error;
  if (!ParseRoute(text, where, error)) {
    std::fprintf(stderr, "remembered GPIB interface passed over: %s\n", qPrintable(error));
    return std::nullopt;
  }
  const QString address = settings->value(AddressKey).toString();
  if (!address.isEmpty() && !ApplyAddress(address, where, error))
    std::fprintf(stderr, "remembered GPIB address passed over: %s\n", qPrintable(error));
  return where;
}

QStringList RecentHosts() { return gEnabled ? Settings()->value(HostsKey).toStringList() : QStringList(); }

// The route as today's viewer writes it, the address beside it: a viewer that does not know
// addresses still reads the route.
void Remember(const RouteSpec &where) {
  if (!gEnabled)
    return;
  const std::unique_ptr<QSettings> settings = Settings();
  RouteSpec route = where;
  route.address.reset();
  settings->setValue(InterfaceKey, RouteText(route));
  if (where.address)
    settings->setValue(AddressKey, *where.address);
  else
    settings->remove(AddressKey);
  if (const PlusRoute *plus = where.Plus(); plus && plus->tcp) {
    QStringList hosts = settings->value(HostsKey).toStringList();
    const QString host = HostText(route);
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
  settings->remove(AddressKey);
  settings->remove(HostsKey);
  settings->sync();
}

void SetEnabled(bool enabled) { gEnabled = enabled; }
bool Enabled() { return gEnabled; }

} // namespace remembered
} // namespace route
