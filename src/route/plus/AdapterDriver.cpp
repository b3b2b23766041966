#include "route/plus/AdapterDriver.h"

#include "gpib/GpibCodes.h"

#include <QList>

#include <algorithm>
#include <cstring>
#include <utility>

namespace gpibadapter {
namespace {

using namespace gpibcodes;
using std::chrono::milliseconds;

constexpr milliseconds AskAgainAfter{1000};
constexpr milliseconds StrayAnswersSettle{300};
constexpr char Esc = 27;

} // namespace

AdapterDriver::AdapterDriver(const PlusRoute &where)
    : where_(where), dialect_(where.IsAr488() ? QStringLiteral("AR488") : QStringLiteral("Prologix")),
      link_(where) {}

AdapterDriver::Timings &AdapterDriver::TimingsInUse() {
  static Timings timings;
  return timings;
}

AdapterDriver::Timings AdapterDriver::SetTimings(const Timings &timings) {
  return std::exchange(TimingsInUse(), timings);
}

bool AdapterDriver::StatusByte(const QByteArray &line, int &value) {
  bool ok = false;
  value = line.trimmed().toInt(&ok, 10);
  return ok && value >= 0 && value <= 255;
}

QByteArray AdapterDriver::Escaped(const QByteArray &data) {
  QByteArray out;
  out.reserve(data.size() * 2);
  for (const char c : data) {
    if (c == '\r' || c == '\n' || c == Esc || c == '+')
      out += Esc;
    out += c;
  }
  return out;
}

QString AdapterDriver::LostText(const QString &reason) const {
  return QStringLiteral("%1: the %2 adapter %3").arg(where_.Place(), dialect_, reason);
}

void AdapterDriver::ForgetReply() {
  reading_ = false;
  reply_.clear();
}

int AdapterDriver::LinkLost() {
  ForgetReply();
  return Lost(link_.GoneWords());
}

QString AdapterDriver::GoneBetweenCalls() { return link_.IsGone() ? link_.GoneWords() : QString(); }

QString AdapterDriver::EndedWhileOpening() const {
  if (link_.Flooded())
    return LostText(link_.GoneWords());
  return QStringLiteral("%1: the connection ended: %2").arg(where_.Place(), link_.GoneReason());
}

bool AdapterDriver::Open(QString &why) {
  if (!link_.Open(why))
    return false;
  if (!Identify()) {
    why = link_.IsGone() ? EndedWhileOpening()
                         : QStringLiteral("%1: no %2 adapter answers (no reply to ++ver within %3 s)")
                               .arg(where_.Place(), dialect_)
                               .arg(static_cast<double>(TimingsInUse().versionLimit.count()) / 1000.0);
    return false;
  }
  if (!SetUp()) {
    why = EndedWhileOpening();
    return false;
  }
  return true;
}

void AdapterDriver::Close() {
  link_.Close();
  addressed_ = -1;
  readTimeoutSent_ = -1;
  replyEnded_ = false;
  unfinishedRead_ = false;
  ForgetReply();
}

// An adapter on a board that resets when the port opens misses the first questions while
// it starts, so ++ver is asked again each second. What it says while it starts (a banner, half
// an answer) is no reply anybody waits for, and not worth a line.
bool AdapterDriver::Identify() {
  const auto deadline = std::chrono::steady_clock::now() + TimingsInUse().versionLimit;
  int asked = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    link_.Discard();
    if (!Command("ver"))
      return false;
    ++asked;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    QByteArray line;
    if (ReplyLine(line, std::min(left, AskAgainAfter)) && !line.isEmpty()) {
      version_ = line;
      if (asked > 1) {
        // Answers to the earlier questions may still be on their way.
        link_.WaitUntil([](QByteArray &) { return false; }, StrayAnswersSettle);
        link_.Discard();
      }
      return true;
    }
    if (link_.IsGone())
      return false;
  }
  return false;
}

bool AdapterDriver::SetUp() {
  QList<QByteArray> lines;
  // First, so that none of the settings after it is written to the EEPROM.
  if (!where_.IsAr488())
    lines << "savecfg 0";
  lines << "mode 1"
        << "auto 0"
        << "eoi 1"
        << "eos 3"
        << "eot_enable 1"
        << "eot_char " + QByteArray::number(EotChar);
  for (const QByteArray &line : lines)
    if (!Command(line))
      return false;
  return true;
}

bool AdapterDriver::Send(const QByteArray &bytes) {
  if (unfinishedRead_ && !DropUnfinishedReply())
    return false;
  return link_.Send(bytes);
}

// The adapter answers in order: whatever comes before the answer to a ++ver asked now is the
// rest of the reply given up on, and would otherwise be taken as the next reply.
bool AdapterDriver::DropUnfinishedReply() {
  unfinishedRead_ = false;
  ForgetReply();
  if (!link_.Send("++ver\n"))
    return false;
  qsizetype dropped = 0;
  const AdapterLink::Outcome outcome = link_.WaitUntil(
      [&](QByteArray &input) {
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
          QByteArray line = input.left(end);
          input.remove(0, end + 1);
          if (line.endsWith('\r'))
            line.chop(1);
          if (line.endsWith(version_)) {
            dropped += line.size() - version_.size();
            return true;
          }
          dropped += end + 1;
        }
        return false;
      },
      TimingsInUse().readTimeoutCap + TimingsInUse().versionLimit);
  link_.ReportDropped(dropped);
  if (outcome == AdapterLink::Outcome::Done)
    return true;
  if (!link_.IsGone())
    Lost(QStringLiteral("stopped answering (no reply to ++ver)"));
  return false;
}

bool AdapterDriver::Command(const QByteArray &line) { return Send("++" + line + '\n'); }

bool AdapterDriver::Select(int pad) {
  if (addressed_ == pad)
    return true;
  if (!Command("addr " + QByteArray::number(pad)))
    return false;
  addressed_ = pad;
  return true;
}

bool AdapterDriver::SetReadTimeout(int ms) {
  const int capped = std::clamp(ms, 1, static_cast<int>(TimingsInUse().readTimeoutCap.count()));
  if (readTimeoutSent_ == capped)
    return true;
  if (!Command("read_tmo_ms " + QByteArray::number(capped)))
    return false;
  readTimeoutSent_ = capped;
  return true;
}

bool AdapterDriver::ReplyLine(QByteArray &line, milliseconds limit) {
  const AdapterLink::Outcome outcome = link_.WaitUntil(
      [&](QByteArray &input) {
        const int end = input.indexOf('\n');
        if (end < 0)
          return false;
        line = input.left(end);
        input.remove(0, end + 1);
        if (line.endsWith('\r'))
          line.chop(1);
        return true;
      },
      limit);
  return outcome == AdapterLink::Outcome::Done;
}

int AdapterDriver::Write(const Device &device, const QByteArray &data) {
  // A new message to the instrument ends whatever was left of the last reply.
  ForgetReply();
  if (!Select(device.pad) || !Send(Escaped(data) + '\n'))
    return LinkLost();
  return Complete();
}

// One ++read per reply; a reply longer than the caller's buffer is handed out over several
// calls, END with the last part. No end-of-text character before the time-out is TIMO with
// whatever came.
int AdapterDriver::Read(const Device &device, char *buf, int wanted, long &got) {
  if (!reading_) {
    reply_.clear();
    replyEnded_ = false;
    if (!Select(device.pad) || !SetReadTimeout(static_cast<int>(HostLimit(device.tmo).count())) ||
        !Command("read eoi"))
      return LinkLost();
    reading_ = true;
    unfinishedRead_ = true;
  }
  // Only what this call hands out is taken; the rest waits in the link, whose size is bounded.
  const AdapterLink::Outcome outcome = link_.WaitUntil(
      [&](QByteArray &input) {
        if (!replyEnded_) {
          const qsizetype eot = input.indexOf(EotChar);
          const qsizetype end = eot < 0 ? input.size() : eot;
          const qsizetype take = std::clamp<qsizetype>(wanted - reply_.size(), 0, end);
          reply_ += input.left(take);
          input.remove(0, take);
          if (take == end && eot >= 0) {
            input.remove(0, 1);
            replyEnded_ = true;
            unfinishedRead_ = false;
          }
        }
        return replyEnded_ || reply_.size() >= wanted;
      },
      HostLimit(device.tmo), milliseconds(readTimeoutSent_) + TimingsInUse().silenceMargin);
  const int n = std::min(wanted, static_cast<int>(reply_.size()));
  if (n > 0)
    std::memcpy(buf, reply_.constData(), static_cast<std::size_t>(n));
  reply_.remove(0, n);
  got = n;
  if (outcome == AdapterLink::Outcome::Done) {
    if (!replyEnded_ || !reply_.isEmpty())
      return Complete();
    reading_ = false;
    return Complete(END);
  }
  ForgetReply();
  if (outcome == AdapterLink::Outcome::Gone)
    return Lost(link_.GoneWords(QStringLiteral(" during a read")));
  return Fail(EABO, TIMO | CMPL);
}

int AdapterDriver::Clear(const Device &device) {
  ForgetReply();
  if (!Select(device.pad) || !Command("clr"))
    return LinkLost();
  return Complete();
}

int AdapterDriver::Poll(const Device &device, int &statusByte) {
  if (!Select(device.pad) || !Command("spoll"))
    return LinkLost();
  QByteArray line;
  if (!ReplyLine(line, HostLimit(device.tmo))) {
    if (link_.IsGone())
      return LinkLost();
    return Fail(EABO, TIMO | CMPL);
  }
  if (!StatusByte(line, statusByte))
    return Fail(EBUS, CMPL);
  return Complete();
}

int AdapterDriver::InterfaceClear() { return Command("ifc") ? Complete() : LinkLost(); }

} // namespace gpibadapter
