#include "gpib/adapter/AdapterDriver.h"

#include "gpib/GpibCodes.h"

#include <QList>

#include <algorithm>
#include <set>
#include <vector>

// Finding the listeners: the AR488 tests every address itself, the Prologix is asked address
// by address.
namespace gpibadapter {
namespace {

using namespace gpibcodes;
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

// The addresses that answer, in the order offered; the adapter itself stands for the board
// at address 0. More than limit: the first limit ones and ETAB.
void AdapterDriver::FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
  ibcnt_ = 0;
  Enter([&] {
    if (board != 0)
      return Fail(ENEB);
    if (!pads || !results || limit < 1)
      return Fail(EARG);
    std::vector<int> offered;
    for (const Addr4882_t *p = pads; *p != NOADDR; ++p) {
      const int pad = *p & 0xFF;
      if (pad > MaxAddress || !ValidSecondary(*p >> 8))
        return Fail(EARG);
      if ((*p >> 8) == 0 && std::find(offered.begin(), offered.end(), pad) == offered.end())
        offered.push_back(pad);
    }

    std::set<int> answered;
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
    } else {
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
    }

    std::vector<Addr4882_t> found;
    for (const int pad : offered)
      if (pad == 0 || answered.count(pad))
        found.push_back(static_cast<Addr4882_t>(pad));
    if (found.empty())
      return Fail(EBUS, CMPL);
    const std::size_t written = std::min(found.size(), static_cast<std::size_t>(limit));
    std::copy(found.begin(), found.begin() + static_cast<long>(written), results);
    ibcnt_ = static_cast<long>(written);
    return found.size() > written ? Fail(ETAB, CMPL) : Complete();
  });
}

} // namespace gpibadapter
