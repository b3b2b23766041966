#pragma once

#include "route/Route.h"

#include <QString>
#include <QStringList>

#include <optional>

// Which route a start uses, and the one remembered from the last start that reached a scope.
// Qt Core only: a start without a window decides the same way.
namespace route {

extern const char *const InterfaceVariable; // SKELD_GPIB_INTERFACE

enum class RouteSource { Option, Variable, Remembered, Default, Chosen, Found };

struct StartupRoute {
  Route where;
  RouteSource source = RouteSource::Default;
};

// The first that applies: the option (when given), the variable, the remembered route,
// otherwise the driver library; then the address, when one is given, on that route. A
// malformed option, variable or address, or an address for a route without a bus, is
// refused (error says which); a remembered text that no longer reads is passed over with a
// line on standard error.
bool ResolveStartupRoute(const std::optional<QString> &option, const std::optional<QString> &address,
                         StartupRoute &out, QString &error);

// Nothing named, nothing remembered and no driver library: the one USB instrument plugged in
// whose product string holds "TDS"; none when there is none or more than one.
std::optional<Route> FoundByItself();

// Kept in the user's settings (QSettings: ~/.config/skeld-errlog/skeld-errlog.conf on Linux,
// HKEY_CURRENT_USER\Software\skeld-errlog on Windows).
namespace remembered {

// The route that last reached a scope, with its address.
std::optional<Route> Last();
// The Ethernet hosts used, the last first, as typed: "gpib.lab", "10.0.0.5:1234".
QStringList RecentHosts();
// The same for the LAN (VXI-11) row: "scope.lab", "10.0.0.9:gpib0".
QStringList RecentLanHosts();
// After a start reached a scope through where.
void Remember(const Route &where);
// Forgets the route, its address and the hosts.
void Forget();
// Off: nothing is read or written (a start that must leave the user's choice alone).
void SetEnabled(bool enabled);
bool Enabled();

} // namespace remembered

// Whether reaching a scope through a route of this source changes what is remembered: the
// driver library taken because nothing else was named changes nothing.
inline bool RemembersOnScope(RouteSource source) { return source != RouteSource::Default; }

} // namespace route
