#include "app/TdsConversation.h"

#include "app/ErrorLogReply.h"
#include "gpib/Vbib32Qx.h"

namespace skeld {

namespace {
const char *const PasswordCommand = "PASSWORD BRAMBLE";
} // namespace

ScopeIdentity TdsConversation::Identify() { return IdentifyScope(VBIB32QX::GpibQuery(handle_, "ID?")); }

void TdsConversation::Unlock() {
  VBIB32QX::GpibWrite(handle_, "HEAD 0");
  VBIB32QX::GpibWrite(handle_, PasswordCommand);
}

int TdsConversation::ReadLog(std::int16_t zeroEndsLog,
                             const std::function<void(const std::string &)> &onEntry) {
  int entries = 0;
  for (const std::string &item : FirstLogItems(VBIB32QX::GpibQuery(handle_, "ERRLOG?"), zeroEndsLog)) {
    onEntry(item);
    ++entries;
  }
  // Each query returns one entry until the scope answers with the end of its log (or a read
  // fails, which gives an empty reply).
  for (;;) {
    const std::optional<std::string> item =
        NextLogItem(VBIB32QX::GpibQuery(handle_, "ERRLOG:NEXT?"), zeroEndsLog);
    if (!item)
      return entries;
    onEntry(*item);
    ++entries;
  }
}

void TdsConversation::Clear() { VBIB32QX::GpibWrite(handle_, "ERRLOG CLEAR"); }

} // namespace skeld
