#pragma once

#include "gpib/adapter/GpibInterface.h"

#include <QString>
#include <QStringList>

#include <optional>

// Which interface a start uses, and the one remembered from the last start that reached a
// scope. Qt Core only: a start without a window decides the same way.
namespace gpibadapter {

extern const char *const InterfaceVariable; // SKELD_GPIB_INTERFACE

enum class InterfaceSource { Option, Variable, Remembered, Default, Chosen };

struct StartupInterface {
  GpibInterface where;
  InterfaceSource source = InterfaceSource::Default;
};

// The first that applies: the option (when given), the variable, the remembered interface,
// otherwise the driver library. A malformed option or variable is refused (error says which);
// a remembered text that no longer reads is passed over with a line on standard error.
bool ResolveStartupInterface(const std::optional<QString> &option, StartupInterface &out, QString &error);

// Kept in the user's settings (QSettings: ~/.config/skeld-errlog/skeld-errlog.conf on Linux,
// HKEY_CURRENT_USER\Software\skeld-errlog on Windows).
namespace remembered {

std::optional<GpibInterface> Interface();
// The Ethernet hosts used, the last first, as typed: "gpib.lab", "10.0.0.5:1234".
QStringList RecentHosts();
// After a start reached a scope through where.
void Remember(const GpibInterface &where);
// Forgets the interface and the hosts.
void Forget();
// Off: nothing is read or written (a start that must leave the user's choice alone).
void SetEnabled(bool enabled);
bool Enabled();

} // namespace remembered

// Whether reaching a scope through an interface of this source changes what is remembered:
// the driver library taken because nothing else was named changes nothing.
inline bool RemembersOnScope(InterfaceSource source) { return source != InterfaceSource::Default; }

} // namespace gpibadapter
