#include "route/EmulatedDriver.h"

#include "gpib/GpibCodes.h"

#include <algorithm>
#include <cstdio>

namespace route {
namespace {

using namespace gpibcodes;

// The time-out codes 0 (none) to 17, in milliseconds.
constexpr int TimeoutMs[] = {1000000, 1,   1,    1,    1,     1,     3,      10,     30,
                             100,     300, 1000, 3000, 10000, 30000, 100000, 300000, 1000000};

} // namespace

bool EmulatedDriver::ValidTimeout(int tmo) { return tmo >= 0 && tmo <= T1000s; }

std::chrono::milliseconds EmulatedDriver::HostLimit(int tmo) {
  return std::chrono::milliseconds(TimeoutMs[ValidTimeout(tmo) ? tmo : T1000s]);
}

bool EmulatedDriver::ValidSecondary(int sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

int EmulatedDriver::Complete(int bits) {
  ibsta_ = CMPL | bits;
  return ibsta_;
}

int EmulatedDriver::Fail(int error, int bits) {
  ibsta_ = ERR | bits;
  iberr_ = error;
  return ibsta_;
}

void EmulatedDriver::SetFailure(const QString &text) {
  state_ = State::Failed;
  failure_ = text;
  std::fprintf(stderr, "%s could not be used: %s\n", Noun(), failure_.toLocal8Bit().constData());
}

int EmulatedDriver::Lost(const QString &reason) {
  if (state_ != State::Failed)
    SetFailure(LostText(reason));
  return Fail(EDVR);
}

// Every entry: refuse a call made while another one waits on the link (a timer that fires
// meanwhile), open the link on first use, then do the one thing.
int EmulatedDriver::Enter(const std::function<int()> &call) {
  if (busy_)
    return Fail(EOIP);
  busy_ = true;
  const int status = Ready() ? call() : Fail(EDVR);
  busy_ = false;
  return status;
}

bool EmulatedDriver::Ready() {
  if (state_ == State::Open)
    if (const QString gone = GoneBetweenCalls(); !gone.isEmpty())
      Lost(gone);
  if (state_ != State::Closed)
    return state_ == State::Open;
  QString why;
  if (!Open(why)) {
    SetFailure(why);
    return false;
  }
  state_ = State::Open;
  return true;
}

void EmulatedDriver::Release() {
  Close();
  state_ = State::Closed;
  failure_.clear();
}

EmulatedDriver::Device *EmulatedDriver::Find(int ud) {
  const auto it = devices_.find(ud);
  return it == devices_.end() ? nullptr : &it->second;
}

int EmulatedDriver::ibdev(int board, int pad, int sad, int tmo, int, int) {
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

int EmulatedDriver::ibwrt(int ud, const void *buf, long cnt) {
  ibcnt_ = 0;
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d || cnt < 0 || (!buf && cnt > 0))
      return Fail(EARG);
    const int status = Write(*d, QByteArray(static_cast<const char *>(buf), static_cast<int>(cnt)));
    if (!(status & ERR))
      ibcnt_ = cnt;
    return status;
  });
}

int EmulatedDriver::ibrd(int ud, void *buf, long cnt) {
  ibcnt_ = 0;
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || cnt < 0 || (!buf && cnt > 0))
      return Fail(EARG);
    d->lastReadTimedOut = false;
    long got = 0;
    const int status =
        Read(*d, static_cast<char *>(buf), static_cast<int>(std::min<long>(cnt, 0x7FFFFFFF)), got);
    ibcnt_ = got;
    d->lastReadTimedOut = (status & TIMO) != 0;
    return status;
  });
}

int EmulatedDriver::ibclr(int ud) {
  return Enter([&] {
    const Device *d = Find(ud);
    return d ? Clear(*d) : Fail(EARG);
  });
}

int EmulatedDriver::ibrsp(int ud, char *spr) {
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d || !spr)
      return Fail(EARG);
    int value = 0;
    const int status = Poll(*d, value);
    if (!(status & ERR))
      spr[0] = static_cast<char>(value);
    return status;
  });
}

int EmulatedDriver::ibpad(int ud, int pad) {
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || pad < 0 || pad > MaxAddress)
      return Fail(EARG);
    d->pad = pad;
    return Complete();
  });
}

int EmulatedDriver::ibtmo(int ud, int tmo) {
  return Enter([&] {
    Device *d = Find(ud);
    if (!d || !ValidTimeout(tmo))
      return Fail(EARG);
    d->tmo = tmo;
    return Complete();
  });
}

int EmulatedDriver::ibask(int ud, int option, int *value) {
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
int EmulatedDriver::ibwait(int ud, int) {
  return Enter([&] {
    const Device *d = Find(ud);
    if (!d)
      return Fail(EARG);
    return Complete(d->lastReadTimedOut ? TIMO : 0);
  });
}

// Remote enable is the route's own business (an adapter asserts it as controller).
int EmulatedDriver::ibsre(int board, int) {
  return Enter([&] { return board != 0 ? Fail(ENEB) : Complete(); });
}

void EmulatedDriver::SendIFC(int board) {
  Enter([&] { return board != 0 ? Fail(ENEB) : InterfaceClear(); });
}

int EmulatedDriver::FindListeners(const std::vector<int> &offered, std::set<int> &answered) {
  for (const int pad : offered)
    if (pad != 0) {
      answered.insert(pad);
      break;
    }
  return Complete();
}

// The addresses that answer, in the order offered; the route itself stands for the board at
// address 0. More than limit: the first limit ones and ETAB.
void EmulatedDriver::FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
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
    if (const int status = FindListeners(offered, answered); status & ERR)
      return status;
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

} // namespace route
