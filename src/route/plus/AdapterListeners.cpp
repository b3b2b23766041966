#include "route/plus/AdapterDriver.h"

#include "gpib/GpibCodes.h"

#include <QList>

#include <algorithm>

// Finding the listeners: the AR488 tests every address itself, the Prologix is asked address
// by address.
namespace gpibadapter {
namespace {

using std::chrono::milliseconds;

// ++fndl tests every address itself; a probe waits for its serial poll to time out.
constexpr milliseconds FindListenersLimit{5000};
constexpr milliseconds ProbeLimit{2000};

// An answer that is no answer, as the user is shown it: printable and short.
QString Garbage(const QByteArray &line) {
  QString shown;
  for (const char c : line.left(40))
    shown += (c >= 0x20 && c < 0x7F) ? QLatin1Char(c) : QLatin1Char('?');
  return shown + (line.size() > 40 ? QStringLiteral("...") : QString());
}

} // namespace

// The adapter answers in order, and some answers are nothing at all (an address that does
// not listen): everything that comes before the answer to the ++ver sent after the command
// is the command's.
bool AdapterDriver::Ask(const QByteArray &command, QList<QByteArray> &lines, milliseconds limit) {
  lines.clear();
  if (!Send("++" + command + "\n++ver\n"))
    return false;
  for (;;) {
    QByteArray line;
    if (!ReplyLine(line, limit))
      return false;
    if (line == version_)
      return true;
    lines << line;
  }
}

int AdapterDriver::FindListeners(const std::vector<int> &offered, std::set<int> &answered) {
  QList<QByteArray> lines;
  if (where_.IsAr488()) {
    if (!Ask("fndl", lines, FindListenersLimit))
      return link_.IsGone() ? LinkLost() : Lost(QStringLiteral("stopped answering (no reply to ++fndl)"));
    // One address a line, or several on one line.
    QByteArray garbage;
    for (const QByteArray &line : lines) {
      bool any = false;
      for (const QByteArray &word : line.simplified().replace(',', ' ').split(' ')) {
        bool ok = false;
        const int pad = word.toInt(&ok, 10);
        if (ok)
          answered.insert(pad);
        any = any || ok;
      }
      if (!any && garbage.isEmpty() && !line.trimmed().isEmpty())
        garbage = line;
    }
    if (answered.empty() && !garbage.isEmpty())
      return Lost(QStringLiteral("sends garbage in answer to ++fndl: \"%1\"").arg(Garbage(garbage)));
    return Complete();
  }
  if (!SetReadTimeout(static_cast<int>(TimingsInUse().probeTimeout.count())))
    return LinkLost();
  for (const int pad : offered) {
    if (pad == 0)
      continue;
    if (!Ask("spoll " + QByteArray::number(pad), lines, ProbeLimit))
      return link_.IsGone() ? LinkLost() : Lost(QStringLiteral("stopped answering (no reply to ++ver)"));
    // An address that does not listen gives no answer at all.
    for (const QByteArray &line : lines) {
      int value = 0;
      if (line.trimmed().isEmpty())
        continue;
      if (!StatusByte(line, value))
        return Lost(
            QStringLiteral("sends garbage in answer to ++spoll %1: \"%2\"").arg(pad).arg(Garbage(line)));
      answered.insert(pad);
    }
  }
  // ++spoll with an address may or may not have moved the adapter's own.
  addressed_ = -1;
  return Complete();
}

} // namespace gpibadapter
