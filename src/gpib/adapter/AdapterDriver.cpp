#include "gpib/adapter/AdapterDriver.h"

#include "gpib/GpibCodes.h"

#include <QList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace gpibadapter {
namespace {

using namespace gpibcodes;
using std::chrono::milliseconds;

constexpr milliseconds AskAgainAfter{1000};
constexpr milliseconds StrayAnswersSettle{300};
constexpr char Esc = 27;

// The time-out codes 0 (none) to 17, in milliseconds; none is taken as the longest, so that
// no wait on an adapter is endless.
constexpr int TimeoutMs[] = {1000000, 1,   1,    1,    1,     1,     3,      10,     30,
                             100,     300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};

bool ValidTimeout(int tmo) { return tmo >= 0 && tmo <= T1000s; }

milliseconds HostLimit(int tmo) { return milliseconds(TimeoutMs[ValidTimeout(tmo) ? tmo : T1000s]); }

} // namespace

AdapterDriver::AdapterDriver(const GpibInterface &where)
    : where_(where), dialect_(where.IsAr488() ? QStringLiteral("AR488") : QStringLiteral("Prologix")),
      link_(where) {}

AdapterDriver::Timings &AdapterDriver::TimingsInUse() {
  static Timings timings;
  return timings;
}

AdapterDriver::Timings AdapterDriver::SetTimings(const Timings &timings) {
  return std::exchange(TimingsInUse(), timings);
}

bool AdapterDriver::ValidSecondary(int sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

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

int AdapterDriver::Complete(int bits) {
  ibsta_ = CMPL | bits;
  return ibsta_;
}

int AdapterDriver::Fail(int error, int bits) {
  ibsta_ = ERR | bits;
  iberr_ = error;
  return ibsta_;
}

void AdapterDriver::SetFailure(const QString &text) {
  state_ = State::Failed;
  failure_ = text;
  std::fprintf(stderr, "GPIB adapter could not be used: %s\n", failure_.toLocal8Bit().constData());
}

int AdapterDriver::LinkLost() { return Lost(link_.GoneWords()); }

QString AdapterDriver::EndedWhileOpening() const {
  if (link_.Flooded())
    return QStringLiteral("%1: the %2 adapter %3").arg(where_.Place(), dialect_, link_.GoneWords());
  return QStringLiteral("%1: the connection ended: %2").arg(where_.Place(), link_.GoneReason());
}

int AdapterDriver::Lost(const QString &reason) {
  reading_ = false;
  reply_.clear();
  if (state_ != State::Failed)
    SetFailure(QStringLiteral("%1: the %2 adapter %3").arg(where_.Place(), dialect_, reason));
  return Fail(EDVR);
}

// Every entry: refuse a call made while another one waits on the adapter (a timer that
// fires meanwhile), open the adapter on first use, then do the one thing.
int AdapterDriver::Enter(const std::function<int()> &call) {
  if (busy_)
    return Fail(EOIP);
  busy_ = true;
  const int status = Ready() ? call() : Fail(EDVR);
  busy_ = false;
  return status;
}

bool AdapterDriver::Ready() {
  if (state_ == State::Open && link_.IsGone())
    LinkLost();
  if (state_ != State::Closed)
    return state_ == State::Open;
  QString why;
  if (!link_.Open(why)) {
    SetFailure(why);
    return false;
  }
  if (!Identify()) {
    SetFailure(link_.IsGone() ? EndedWhileOpening()
                              : QStringLiteral("%1: no %2 adapter answers (no reply to ++ver within %3 s)")
                                    .arg(where_.Place(), dialect_)
                                    .arg(static_cast<double>(TimingsInUse().versionLimit.count()) / 1000.0));
    return false;
  }
  if (!SetUp()) {
    SetFailure(EndedWhileOpening());
    return false;
  }
  state_ = State::Open;
  return true;
}

void AdapterDriver::Release() {
  link_.Close();
  state_ = State::Closed;
  failure_.clear();
  addressed_ = -1;
  readTimeoutSent_ = -1;
  reply_.clear();
  replyEnded_ = false;
  reading_ = false;
  unfinishedRead_ = false;
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
  reading_ = false;
  reply_.clear();
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

AdapterDriver::Device *AdapterDriver::Find(int ud) {
  const auto it = devices_.find(ud);
  return it == devices_.end() ? nullptr : &it->second;
}

int AdapterDriver::ibdev(int board, int pad, int sad, int tmo, int, int) {
  int ud = -1;
  Enter([&] {
    if (board != 0)
      return Fail(ENEB);
    if (pad < 0 || pad > MaxAddress || !ValidSecondary(sad) || !ValidTimeout(tmo))
      return Fail(EARG);
    ud = nextDescriptor_++;
    devices_[ud] = Device{pad, sad, tmo, false};
    return Complete();
  });
  return ud;
}

int AdapterDriver::ibwrt(int ud, const void *buf, long cnt) {
  ibcnt_ = 0;
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d || cnt < 0 || (!buf && cnt > 0))
      return Fail(EARG);
    // A new message to the instrument ends whatever was left of the last reply.
    reading_ = false;
    reply_.clear();
    const QByteArray data(static_cast<const char *>(buf), static_cast<int>(cnt));
    if (!Select(d->pad) || !Send(Escaped(data) + '\n'))
      return LinkLost();
    ibcnt_ = cnt;
    return Complete();
  });
}

// One ++read per reply; a reply longer than the caller's buffer is handed out over several
// calls, END with the last part. No end-of-text character before the time-out is TIMO with
// whatever came.
int AdapterDriver::ibrd(int ud, void *buf, long cnt) {
  ibcnt_ = 0;
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || cnt < 0 || (!buf && cnt > 0))
      return Fail(EARG);
    d->lastReadTimedOut = false;
    if (!reading_) {
      reply_.clear();
      replyEnded_ = false;
      if (!Select(d->pad) || !SetReadTimeout(TimeoutMs[d->tmo]) || !Command("read eoi"))
        return LinkLost();
      reading_ = true;
      unfinishedRead_ = true;
    }
    const int wanted = static_cast<int>(std::min<long>(cnt, 0x7FFFFFFF));
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
        HostLimit(d->tmo), milliseconds(readTimeoutSent_) + TimingsInUse().silenceMargin);
    const int n = std::min(wanted, static_cast<int>(reply_.size()));
    if (n > 0)
      std::memcpy(buf, reply_.constData(), static_cast<std::size_t>(n));
    reply_.remove(0, n);
    ibcnt_ = n;
    if (outcome == AdapterLink::Outcome::Done) {
      if (!replyEnded_ || !reply_.isEmpty())
        return Complete();
      reading_ = false;
      return Complete(END);
    }
    reading_ = false;
    reply_.clear();
    if (outcome == AdapterLink::Outcome::Gone)
      return Lost(link_.GoneWords(QStringLiteral(" during a read")));
    d->lastReadTimedOut = true;
    return Fail(EABO, TIMO | CMPL);
  });
}

int AdapterDriver::ibclr(int ud) {
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d)
      return Fail(EARG);
    reading_ = false;
    reply_.clear();
    if (!Select(d->pad) || !Command("clr"))
      return LinkLost();
    return Complete();
  });
}

int AdapterDriver::ibrsp(int ud, char *spr) {
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || !spr)
      return Fail(EARG);
    if (!Select(d->pad) || !Command("spoll"))
      return LinkLost();
    QByteArray line;
    int value = 0;
    if (!ReplyLine(line, HostLimit(d->tmo))) {
      if (link_.IsGone())
        return LinkLost();
      return Fail(EABO, TIMO | CMPL);
    }
    if (!StatusByte(line, value))
      return Fail(EBUS, CMPL);
    spr[0] = static_cast<char>(value);
    return Complete();
  });
}

int AdapterDriver::ibpad(int ud, int pad) {
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || pad < 0 || pad > MaxAddress)
      return Fail(EARG);
    d->pad = pad;
    return Complete();
  });
}

int AdapterDriver::ibtmo(int ud, int tmo) {
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || !ValidTimeout(tmo))
      return Fail(EARG);
    d->tmo = tmo;
    return Complete();
  });
}

int AdapterDriver::ibask(int ud, int option, int *value) {
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d || !value)
      return Fail(EARG);
    if (!DeviceOption(option, d->pad, d->sad, d->tmo, *value))
      return Fail(EARG);
    return Complete();
  });
}

// Every call here finishes before it returns: there is nothing left to wait for.
int AdapterDriver::ibwait(int ud, int) {
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d)
      return Fail(EARG);
    return Complete(d->lastReadTimedOut ? TIMO : 0);
  });
}

// The adapters assert remote enable themselves as controllers.
int AdapterDriver::ibsre(int board, int) {
  return Enter([&] { return board != 0 ? Fail(ENEB) : Complete(); });
}

void AdapterDriver::SendIFC(int board) {
  Enter([&] {
    if (board != 0)
      return Fail(ENEB);
    if (!Command("ifc"))
      return LinkLost();
    return Complete();
  });
}

} // namespace gpibadapter
