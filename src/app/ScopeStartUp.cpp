#include "app/ScopeStartUp.h"

#include "app/TdsConversation.h"
#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "platform/EndProgram.h"
#include "platform/GpibText.h"
#include "platform/Homepage.h"
#include "ui/Module1.h"

#include <string>

namespace skeld {

namespace {
constexpr int NotSupportedStatus = 1;
} // namespace

void OpenScope(std::int16_t &handle) {
  VBIB32QX::DevTimeout = VBIB32::T3s;
  std::int16_t fatal = 1;
  VBIB32QX::InitGpibBus(fatal);
  if (handle == 0) {
    std::string query = "ID?";
    std::string expected = "TDS";
    handle = VBIB32QX::OpenGpibDevice(query, expected);
  }
}

void EndIfNotSupported(const ScopeIdentity &id) {
  if (id.support != ScopeSupport::NotSupported)
    return;
  Module1::ShowMessBox(FromGpibOneLine(id.model) + QStringLiteral(" is NOT supported by this software."),
                       Module1::Style::Critical, QStringLiteral("TDS"));
  EndProgram(NotSupportedStatus);
}

QStringList FirmwareRefusal(const QString &shownModel) {
  return {shownModel + QStringLiteral(" with Firmware 3.41 does not support viewing or clearing"),
          QStringLiteral("the Errorlog via GPIB."),
          QStringLiteral("To do that you must load an earlier Firmware e.g. 3.39."),
          QStringLiteral("It could be downloaded here:  http://") + QLatin1String(HomepageHost) +
              QStringLiteral("/dl/docs/3.39.zip"),
          QStringLiteral("The latest Firmware could be found on Tek's website.")};
}

ScopeIdentity ContinueStartUp(std::int16_t &handle, const StartUpSteps &steps) {
  const ScopeIdentity id = TdsConversation(handle).Identify();
  steps.identified(id);
  EndIfNotSupported(id);
  if (const std::int16_t address = VBIB32QX::ListenerAddressOf(handle))
    VBIB32QX::DevGpibAddr = address;
  steps.connected();
  // A refused firmware is told nothing more.
  if (id.support == ScopeSupport::Accepted) {
    TdsConversation(handle).Unlock();
    steps.read();
  }
  return id;
}

} // namespace skeld
