#pragma once

#include "app/ScopeIdentity.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// The start of every session with the scope, the same for the window and for a reading from
// the command line. The window runs it in two halves, at loading and at its first activation.
namespace skeld {

// Bus set-up, then, unless handle already holds one, the scope found by its reply to "ID?".
// A bus without one ends the program after its message.
void OpenScope(std::int16_t &handle);

// An unsupported model is reported, and the program ends; any other returns at once.
void EndIfNotSupported(const ScopeIdentity &id);

// The lines that stand in place of the log when the firmware is refused.
QStringList FirmwareRefusal(const QString &shownModel);

// What the caller does at each step of the rest of the start-up.
struct StartUpSteps {
  // Right after the identification, also of a model about to be refused.
  std::function<void(const ScopeIdentity &)> identified;
  // A supported scope, its address found (DevGpibAddr); the window shows the connection.
  std::function<void()> connected;
  // Unless the firmware is refused: the scope is unlocked, its log is to be read.
  std::function<void()> read;
};

// The rest of the start-up, from identification to reading. Returns the identity.
ScopeIdentity ContinueStartUp(std::int16_t &handle, const StartUpSteps &steps);

} // namespace skeld
