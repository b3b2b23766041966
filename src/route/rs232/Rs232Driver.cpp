#include "route/rs232/Rs232Driver.h"

#include "gpib/GpibCodes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace route {
namespace {

using namespace gpibcodes;
using gpibadapter::AdapterLink;

// What the adapters' answers to ++ver hold; a scope answers no command that has no '?'.
bool AdapterVersion(const QByteArray &line) {
  return line.contains("Prologix") || line.contains("AR488") || line.contains("GPIB");
}

} // namespace

Rs232Driver::Rs232Driver(const Rs232Route &where)
    : where_(where), link_(where.port, gpibadapter::SerialSettings{where.baud, where.flow}) {}

Rs232Driver::Timings &Rs232Driver::TimingsInUse() {
  static Timings timings;
  return timings;
}

Rs232Driver::Timings Rs232Driver::SetTimings(const Timings &timings) {
  return std::exchange(TimingsInUse(), timings);
}

QString Rs232Driver::LostText(const QString &reason) const {
  return QStringLiteral("%1: the serial line to the scope %2").arg(where_.port, reason);
}

int Rs232Driver::LinkLost(const QString &when) { return Lost(link_.GoneWords(when)); }

QString Rs232Driver::GoneBetweenCalls() { return link_.IsGone() ? link_.GoneWords() : QString(); }

// A "++" adapter on a port named as the scope's would take every command as data for its bus
// and answer none: it is told apart before the first command by the one question it answers.
bool Rs232Driver::Open(QString &why) {
  if (!link_.Open(why))
    return false;
  const QByteArray adapter = AdapterAnswer();
  if (link_.IsGone()) {
    why = QStringLiteral("%1: the connection ended: %2").arg(where_.port, link_.GoneReason());
    return false;
  }
  if (!adapter.isEmpty()) {
    const QString kind = adapter.contains("AR488") ? QStringLiteral("ar488") : QStringLiteral("prologix");
    why = QStringLiteral("%1 is a \"++\" GPIB adapter (it answers ++ver with \"%2\"), not the scope's own "
                         "serial port; use %3:%1")
              .arg(where_.port, QString::fromLatin1(adapter), kind);
    return false;
  }
  return true;
}

QByteArray Rs232Driver::AdapterAnswer() {
  QByteArray answer;
  if (!link_.Send("++ver\n"))
    return answer;
  link_.WaitUntil(
      [&](QByteArray &input) {
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
          const QByteArray line = input.left(end).trimmed();
          input.remove(0, end + 1);
          if (AdapterVersion(line)) {
            answer = line.left(80);
            return true;
          }
        }
        return false;
      },
      TimingsInUse().adapterProbe);
  return answer;
}

void Rs232Driver::Close() { link_.Close(); }

// What came before the command answers nothing asked now: the link drops it first.
int Rs232Driver::Write(const Device &, const QByteArray &data) {
  lineErrorsAtCommand_ = link_.LineErrors();
  if (!link_.Send(data.endsWith('\n') ? data : data + '\n'))
    return LinkLost();
  return Complete();
}

// Up to wanted bytes of the reply; the line feed that ends it is END and is not handed out.
// A reply longer than the buffer comes over several calls, END with the last part.
int Rs232Driver::Read(const Device &device, char *buf, int wanted, long &got) {
  bool ended = false;
  QByteArray part;
  const AdapterLink::Outcome outcome = link_.WaitUntil(
      [&](QByteArray &input) {
        const qsizetype end = input.indexOf('\n');
        if (end >= 0 && end <= wanted) {
          part = input.left(end);
          input.remove(0, end + 1);
          ended = true;
          return true;
        }
        if (input.size() < wanted)
          return false;
        part = input.left(wanted);
        input.remove(0, wanted);
        return true;
      },
      HostLimit(device.tmo));
  if (outcome == AdapterLink::Outcome::Gone)
    return LinkLost(QStringLiteral(" during a read"));
  if (outcome == AdapterLink::Outcome::TimedOut) {
    // What came of a reply that did not end is handed out with the time-out.
    link_.WaitUntil(
        [&](QByteArray &input) {
          part = input.left(wanted);
          input.remove(0, part.size());
          return true;
        },
        std::chrono::milliseconds::zero());
  }
  if (LineErrorSince(lineErrorsAtCommand_))
    return Fail(EABO, TIMO | CMPL);
  std::memcpy(buf, part.constData(), static_cast<std::size_t>(part.size()));
  got = part.size();
  if (outcome == AdapterLink::Outcome::TimedOut)
    return Fail(EABO, TIMO | CMPL);
  return Complete(ended ? END : 0);
}

bool Rs232Driver::LineErrorSince(long before) {
  const long now = link_.LineErrors();
  if (before < 0 || now <= before)
    return false;
  // Once told, the same errors do not fail the next reply; the rest of this one is dropped so
  // that the next command starts clean.
  lineErrorsAtCommand_ = now;
  link_.Discard();
  std::fprintf(stderr,
               "%s: a parity, framing or overrun error on the line; the reply is taken as timed out\n",
               qPrintable(where_.port));
  return true;
}

// The answer a TDS 3000 gives to the break ("DCL" and a line end) is no reply to anything.
int Rs232Driver::Clear(const Device &) {
  link_.Discard();
  if (!link_.SendBreak())
    return LinkLost();
  link_.WaitUntil([](QByteArray &input) { return input.contains('\n'); }, TimingsInUse().clearAnswer);
  if (link_.IsGone())
    return LinkLost();
  link_.Discard();
  return Complete();
}

int Rs232Driver::Poll(const Device &, int &statusByte) {
  statusByte = 0;
  return Complete();
}

} // namespace route
