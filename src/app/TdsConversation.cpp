#include "app/TdsConversation.h"

#include "app/ErrorLogReply.h"
#include "gpib/Vbib32Qx.h"
#include "ui/Module1.h"

#include <QString>

#include <utility>

namespace skeld {

namespace {

const char *const PasswordCommand = "PASSWORD BRAMBLE";
const char *const IoErrorTitle = "I/O Error";
const char *const UnclosedItem = "Damaged reply: a log entry without its closing quote\nOperation aborted.";

int gMaxLogEntries = DefaultMaxLogEntries;

void ReportUnclosedItem() {
  Module1::ShowMessBox(QLatin1String(UnclosedItem), Module1::Style::Exclamation, QLatin1String(IoErrorTitle));
}

void ReportUnendedLog(int entries) {
  Module1::ShowMessBox(
      QStringLiteral("The scope did not end its error log.\nThe reading stopped after %1 entries.")
          .arg(entries),
      Module1::Style::Exclamation, QLatin1String(IoErrorTitle));
}

} // namespace

int SetMaxLogEntries(int limit) { return std::exchange(gMaxLogEntries, limit); }

ScopeIdentity TdsConversation::Identify() { return IdentifyScope(VBIB32QX::GpibQuery(handle_, "ID?")); }

void TdsConversation::Unlock() {
  VBIB32QX::GpibWrite(handle_, "HEAD 0");
  VBIB32QX::GpibWrite(handle_, PasswordCommand);
}

int TdsConversation::ReadLog(std::int16_t zeroEndsLog,
                             const std::function<void(const std::string &)> &onEntry) {
  int entries = 0;
  const int limit = gMaxLogEntries;
  // Every entry passes here. One past the limit shows the log has not ended; a log of exactly
  // the limit still reads whole.
  const auto take = [&](const std::string &item) {
    if (entries >= limit) {
      ReportUnendedLog(entries);
      return false;
    }
    onEntry(item);
    ++entries;
    return true;
  };
  bool unclosed = false;
  for (const std::string &item :
       FirstLogItems(VBIB32QX::GpibQuery(handle_, "ERRLOG?"), zeroEndsLog, &unclosed))
    if (!take(item))
      return entries;
  // Each query returns one entry until the scope answers with the end of its log (or a read
  // fails, which gives an empty reply). A damaged reply is not taken for the end.
  while (!unclosed) {
    const std::optional<std::string> item =
        NextLogItem(VBIB32QX::GpibQuery(handle_, "ERRLOG:NEXT?"), zeroEndsLog, &unclosed);
    if (!item) {
      if (!unclosed)
        return entries;
      break;
    }
    if (!take(*item))
      return entries;
  }
  ReportUnclosedItem();
  return entries;
}

void TdsConversation::Clear() { VBIB32QX::GpibWrite(handle_, "ERRLOG CLEAR"); }

} // namespace skeld
