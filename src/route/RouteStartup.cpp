#include "route/RouteStartup.h"

#ifdef __linux__
#include "route/usbtmc/UsbTmcListing.h"
#endif

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace route {

const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

namespace {

const char *const SettingsOwner = "skeld-errlog";
const QString InterfaceKey = QStringLiteral("gpib/interface");
const QString AddressKey = QStringLiteral("gpib/address");
const QString HostsKey = QStringLiteral("gpib/recentHosts");
const QString LanHostsKey = QStringLiteral("gpib/recentLanHosts");
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
QString HostText(const Route &where) { return RouteText(where).section(QLatin1Char(':'), 1); }

bool ApplyAddress(const QString &text, Route &where, QString &error) {
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
  } else if (const std::optional<Route> where = remembered::Last()) {
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

std::optional<Route> FoundByItself() {
#ifdef __linux__
  if (const std::optional<usbtmc::UsbInstrument> scope = usbtmc::OnlyScope(usbtmc::ListInstruments()))
    return usbtmc::RouteTo(*scope);
#endif
  return std::nullopt;
}

namespace remembered {

std::optional<Route> Last() {
  if (!Usable())
    return std::nullopt;
  const std::unique_ptr<QSettings> settings = Settings();
  const QString text = settings->value(InterfaceKey).toString();
  if (text.isEmpty() || TooLong(text, "GPIB interface"))
    return std::nullopt;
  Route where;
  QString error;
  if (!ParseRoute(text, where, error)) {
    std::fprintf(stderr, "remembered GPIB interface passed over: %s\n", qPrintable(error));
    return std::nullopt;
  }
  const QString address = settings->value(AddressKey).toString();
  if (!address.isEmpty() && !TooLong(address, "GPIB address") && !ApplyAddress(address, where, error))
    std::fprintf(stderr, "remembered GPIB address passed over: %s\n", qPrintable(error));
  return where;
}

QStringList HostsUnder(const QString &key) {
  if (!Usable())
    return QStringList();
  QStringList hosts = Settings()->value(key).toStringList();
  hosts.erase(
      std::remove_if(hosts.begin(), hosts.end(), [](const QString &host) { return TooLong(host, "host"); }),
      hosts.end());
  return hosts;
}

QStringList RecentHosts() { return HostsUnder(HostsKey); }

QStringList RecentLanHosts() { return HostsUnder(LanHostsKey); }

// The route as today's viewer writes it, the address beside it: a viewer that does not know
// addresses still reads the route.
void Remember(const Route &where) {
  if (!Usable())
    return;
  const std::unique_ptr<QSettings> settings = Settings();
  Route route = where;
  route.address.reset();
  settings->setValue(InterfaceKey, RouteText(route));
  if (where.address)
    settings->setValue(AddressKey, *where.address);
  else
    settings->remove(AddressKey);
  const auto keep = [&settings](const QString &key, const QString &host) {
    QStringList hosts = settings->value(key).toStringList();
    hosts.removeAll(host);
    hosts.prepend(host);
    settings->setValue(key, hosts.mid(0, KeptHosts));
  };
  if (const PlusRoute *plus = where.Plus(); plus && plus->tcp)
    keep(HostsKey, HostText(route));
  if (std::holds_alternative<Vxi11Route>(where.way))
    keep(LanHostsKey, HostText(route));
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
  settings->remove(AddressKey);
  settings->remove(HostsKey);
  settings->remove(LanHostsKey);
  settings->sync();
}

void SetEnabled(bool enabled) { gEnabled = enabled; }
bool Enabled() { return Usable(); }

} // namespace remembered
} // namespace route
