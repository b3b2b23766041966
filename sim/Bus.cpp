#include "sim/Bus.h"

#include "sim/GpibCodes.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace gpibsim {
namespace {

constexpr int MaxAddress = 30;
constexpr int MaxDescriptor = 32767; // the program keeps descriptors in 16 bits

CallResult Completed(int pad = -1) {
  CallResult r;
  r.ibsta = CMPL;
  r.pad = pad;
  return r;
}

// An argument the driver refuses before touching the bus.
CallResult Refused(int iberr, int pad = -1) {
  CallResult r;
  r.ibsta = ERR;
  r.iberr = iberr;
  r.pad = pad;
  return r;
}

// A bus operation that ran and failed.
CallResult Failed(int iberr, int pad = -1) {
  CallResult r = Refused(iberr, pad);
  r.ibsta |= CMPL;
  return r;
}

bool ValidSecondary(int sad) { return sad == 0 || (sad >= 0x60 && sad <= 0x7E); }

} // namespace

Bus::Bus(const BusDescription &description)
    : findlstnError_(description.findlstnError), timeoutsTakeMs_(description.timeoutsTakeMs) {
  for (const ListenerDescription &listener : description.listeners) {
    listeners_.emplace(listener.address, Listener(listener));
    if (listener.timeoutsTakeMs >= 0)
      listenerTimeoutsTakeMs_[listener.address] = listener.timeoutsTakeMs;
  }
}

Bus::Descriptor *Bus::Find(int ud) {
  const auto it = descriptors_.find(ud);
  return it == descriptors_.end() ? nullptr : &it->second;
}

Listener *Bus::ListenerAt(int pad) {
  const auto it = listeners_.find(pad);
  return it == listeners_.end() ? nullptr : &it->second;
}

CallResult Bus::TimedOut(int pad) const {
  CallResult r = Failed(EABO, pad);
  r.ibsta |= TIMO;
  r.count = 0;
  const auto own = listenerTimeoutsTakeMs_.find(pad);
  r.sleepMs = own != listenerTimeoutsTakeMs_.end() ? own->second : timeoutsTakeMs_;
  return r;
}

CallResult Bus::Dev(int board, int pad, int sad, int tmo, int &ud) {
  ud = -1;
  if (board != 0)
    return Refused(ENEB, pad);
  if (pad < 0 || pad > MaxAddress || !ValidSecondary(sad) || tmo < 0 || tmo > MaxTimeoutCode)
    return Refused(EARG, pad);
  if (nextDescriptor_ > MaxDescriptor)
    return Refused(EDVR, pad);
  ud = nextDescriptor_++;
  descriptors_[ud] = Descriptor{pad, sad, tmo, false};
  return Completed(pad);
}

CallResult Bus::Write(int ud, const void *buf, long cnt) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (cnt < 0 || (!buf && cnt > 0))
    return Refused(EARG, d->pad);
  Listener *listener = ListenerAt(d->pad);
  if (!listener) {
    CallResult r = Failed(ENOL, d->pad);
    r.count = 0;
    return r;
  }
  const std::string bytes =
      cnt > 0 ? std::string(static_cast<const char *>(buf), static_cast<std::size_t>(cnt)) : std::string();
  const Listener::WriteResult written = listener->Write(bytes);
  CallResult r = written.ok ? Completed(d->pad) : Failed(written.iberr, d->pad);
  r.count = written.ok ? cnt : 0;
  return r;
}

CallResult Bus::Read(int ud, void *buf, long cnt, std::string &delivered) {
  delivered.clear();
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (cnt < 0 || (!buf && cnt > 0))
    return Refused(EARG, d->pad);
  Listener *listener = ListenerAt(d->pad);
  const Listener::ReadResult got =
      listener ? listener->Read(static_cast<std::size_t>(cnt)) : Listener::ReadResult{true, {}, false, false};
  d->lastReadTimedOut = got.timedOut;
  if (got.timedOut)
    return TimedOut(d->pad);

  if (!got.chunk.empty())
    std::memcpy(buf, got.chunk.data(), got.chunk.size());
  delivered = got.chunk;
  CallResult r = Completed(d->pad);
  if (got.end)
    r.ibsta |= END;
  if (got.noEnd) {
    r.ibsta |= ERR;
    r.iberr = EABO;
  }
  r.count = static_cast<long>(got.chunk.size());
  return r;
}

CallResult Bus::Clear(int ud) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  Listener *listener = ListenerAt(d->pad);
  if (!listener)
    return Failed(ENOL, d->pad);
  listener->Clear();
  return Completed(d->pad);
}

CallResult Bus::SerialPoll(int ud, char *spr) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (!spr)
    return Refused(EARG, d->pad);
  if (!ListenerAt(d->pad))
    return TimedOut(d->pad);
  spr[0] = 0;
  return Completed(d->pad);
}

CallResult Bus::SetPad(int ud, int pad) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (pad < 0 || pad > MaxAddress)
    return Refused(EARG, d->pad);
  d->pad = pad;
  return Completed(pad);
}

CallResult Bus::SetTimeout(int ud, int tmo) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (tmo < 0 || tmo > MaxTimeoutCode)
    return Refused(EARG, d->pad);
  d->tmo = tmo;
  return Completed(d->pad);
}

CallResult Bus::Ask(int ud, int option, int *value) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  if (!value)
    return Refused(EARG, d->pad);
  if (!DeviceOption(option, d->pad, d->sad, d->tmo, *value))
    return Refused(EARG, d->pad);
  return Completed(d->pad);
}

CallResult Bus::Wait(int ud, int) {
  Descriptor *d = Find(ud);
  if (!d)
    return Refused(EARG);
  CallResult r = Completed(d->pad);
  if (d->lastReadTimedOut)
    r.ibsta |= TIMO;
  return r;
}

CallResult Bus::RemoteEnable(int board, int) { return board != 0 ? Refused(ENEB) : Completed(); }

CallResult Bus::InterfaceClear(int board) { return board != 0 ? Refused(ENEB) : Completed(); }

CallResult Bus::FindListeners(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
  if (board != 0)
    return Refused(ENEB);
  if (!pads || !results || limit < 1)
    return Refused(EARG);
  if (findlstnError_ != 0) {
    CallResult r = Failed(findlstnError_);
    r.count = 0;
    return r;
  }

  std::set<int> offered;
  for (const Addr4882_t *p = pads; *p != NOADDR; ++p) {
    const int pad = *p & 0xFF;
    const int sad = *p >> 8;
    if (pad > MaxAddress || !ValidSecondary(sad))
      return Refused(EARG);
    if (sad == 0)
      offered.insert(pad);
  }

  // The board answers first, then the instruments by ascending address.
  std::vector<Addr4882_t> found;
  if (offered.count(0))
    found.push_back(0);
  for (const auto &entry : listeners_)
    if (offered.count(entry.first))
      found.push_back(static_cast<Addr4882_t>(entry.first));

  if (found.empty()) {
    CallResult r = Failed(EBUS);
    r.count = 0;
    return r;
  }
  // No NOADDR after the last address: callers clear the table first and take the first
  // zero after entry 0 as its end.
  const std::size_t written = std::min(found.size(), static_cast<std::size_t>(limit));
  std::copy(found.begin(), found.begin() + static_cast<long>(written), results);
  CallResult r = found.size() > written ? Failed(ETAB) : Completed();
  r.count = static_cast<long>(written);
  return r;
}

std::optional<ListenerDescription> Bus::FirstScope() const {
  for (const auto &[address, listener] : listeners_)
    if (listener.Description().kind == "tds")
      return listener.Description();
  return std::nullopt;
}

std::vector<std::string> Bus::StoredLog(int address) const {
  const auto it = listeners_.find(address);
  return it == listeners_.end() ? std::vector<std::string>{} : it->second.StoredLog();
}

} // namespace gpibsim
