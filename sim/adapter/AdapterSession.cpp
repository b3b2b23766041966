#include "sim/adapter/AdapterSession.h"

#include "sim/GpibCodes.h"
#include "sim/SimBus.h"

#include <QElapsedTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace gpibsim {
namespace {

// The viewer reads in chunks of this size, so a long reply traces alike on both paths.
constexpr long ChunkBytes = 512;
constexpr int MaxAddress = 30;
// A flood outgrows any reply the viewer takes, and then stops, so that the simulator itself
// stays bounded when nobody reads it.
constexpr qint64 FloodBytes = 64 * 1024 * 1024;
constexpr int FloodChunk = 64 * 1024;

// Neither manual fixes these texts for every case; one text for each kind of refusal keeps
// a host's mistake visible in both dialects.
const QByteArray UnknownCommand = "Unrecognized command";
const QByteArray BadParameter = "Invalid parameter";

// A decimal argument from min to max.
bool Number(const QByteArray &text, int min, int max, int &value) {
  bool ok = false;
  value = text.toInt(&ok);
  return ok && value >= min && value <= max;
}

} // namespace

AdapterSession::AdapterSession(const Options &options, QObject *parent)
    : QObject(parent), driver_(InProcessDriver()), options_(options) {
  timeout_.setSingleShot(true);
  timeout_.setTimerType(Qt::PreciseTimer); // never ends a time-out early
  connect(&timeout_, &QTimer::timeout, this, &AdapterSession::ProcessPending);
  connect(&flood_, &QTimer::timeout, this, &AdapterSession::Flood);
}

void AdapterSession::Receive(const QByteArray &bytes) {
  if (options_.mute || vanished_)
    return;
  std::vector<EscapedLineReader::Line> lines;
  reader_.Feed(bytes, lines);
  pending_.insert(pending_.end(), lines.begin(), lines.end());
  ProcessPending();
}

void AdapterSession::Reset() {
  reader_.Reset();
  pending_.clear();
  timeout_.stop();
  flood_.stop();
  held_.clear();
}

void AdapterSession::Flood() {
  if (flooded_ >= FloodBytes) {
    flood_.stop();
    return;
  }
  flooded_ += FloodChunk;
  emit send(QByteArray(FloodChunk, 'A'));
}

void AdapterSession::ProcessPending() {
  if (!held_.isEmpty() && !timeout_.isActive())
    emit send(std::exchange(held_, QByteArray()));
  while (!vanished_ && !timeout_.isActive() && !pending_.empty()) {
    const EscapedLineReader::Line line = pending_.front();
    pending_.pop_front();
    Execute(line);
  }
}

void AdapterSession::Execute(const EscapedLineReader::Line &line) {
  if (!line.command) {
    if (mode_ == 1)
      WriteData(line.bytes);
    return;
  }
  QList<QByteArray> words = line.bytes.mid(2).simplified().split(' ');
  const QByteArray name = words.takeFirst();
  Command(name, words);
}

void AdapterSession::Command(const QByteArray &name, const QList<QByteArray> &args) {
  const bool controller = mode_ == 1;
  if (name == "ver" && options_.floodVersion) {
    flood_.start(1);
  } else if (name == "ver") {
    Answer(options_.version);
  } else if (name == "addr") {
    Address(args);
  } else if (name == "read") {
    Read(args);
  } else if (name == "spoll") {
    SerialPoll(args);
  } else if (name == "fndl" && options_.dialect == Dialect::Ar488) {
    FindListeners(args);
  } else if (name == "ifc") {
    // IFC makes the adapter controller in charge, and as system controller it holds REN:
    // the same two calls an NI-style caller makes.
    if (controller) {
      driver_.SendIFC(0);
      driver_.ibsre(0, 1);
    }
  } else if (name == "clr") {
    if (controller && OnDevice(address_))
      driver_.ibclr(ud_);
  } else if (!Setting(name, args)) {
    Answer(UnknownCommand);
  }
}

// The settings a host sets with an argument and queries without one.
bool AdapterSession::Setting(const QByteArray &name, const QList<QByteArray> &args) {
  struct Row {
    const char *name;
    int AdapterSession::*value;
    int min;
    int max;
  };
  const bool prologix = options_.dialect == Dialect::Prologix;
  // A Prologix waits at most 3000 ms per character; the AR488 manual allows up to 32000.
  const Row settings[] = {
      {"auto", &AdapterSession::auto_, 0, 1},
      {"eoi", &AdapterSession::eoi_, 0, 1},
      {"eos", &AdapterSession::eos_, 0, 3},
      {"eot_enable", &AdapterSession::eotEnable_, 0, 1},
      {"eot_char", &AdapterSession::eotChar_, 0, 255},
      {"mode", &AdapterSession::mode_, 0, 1},
      {"read_tmo_ms", &AdapterSession::readTimeoutMs_, 1, prologix ? 3000 : 32000},
      {"savecfg", &AdapterSession::savecfg_, 0, 1},
  };
  // The AR488 writes its EEPROM its own way and must never be sent ++savecfg: here it is
  // unknown, so a host that sends it shows.
  if (name == "savecfg" && !prologix)
    return false;
  for (const Row &setting : settings) {
    if (name != setting.name)
      continue;
    int value = 0;
    if (args.isEmpty())
      Answer(QByteArray::number(this->*setting.value));
    else if (args.size() == 1 && Number(args.front(), setting.min, setting.max, value))
      this->*setting.value = value;
    else
      Answer(BadParameter);
    return true;
  }
  return false;
}

void AdapterSession::Address(const QList<QByteArray> &args) {
  int pad = 0;
  if (args.isEmpty()) {
    Answer(QByteArray::number(address_));
  } else if (args.size() != 1 || !Number(args.front(), 0, MaxAddress, pad)) {
    Answer(BadParameter);
  } else {
    address_ = pad;
    // Each ++addr stands for the caller's ibdev or ibpad, so it shows in the trace as one.
    if (mode_ == 1)
      Readdress(pad);
  }
}

void AdapterSession::WriteData(QByteArray data) {
  static const char *const Terminators[] = {"\r\n", "\r", "\n", ""};
  data += Terminators[eos_];
  if (!OnDevice(address_))
    return;
  // A failed write is not reported to the host, as on the real adapters: nothing comes
  // back, so the next read times out.
  driver_.ibwrt(ud_, data.constData(), data.size());
  if (auto_ == 1)
    ReadFromBus(Until::Eoi, 0);
}

void AdapterSession::Read(const QList<QByteArray> &args) {
  if (options_.vanishAfterReads >= 0 && reads_++ >= options_.vanishAfterReads) {
    vanished_ = true;
    pending_.clear();
    emit vanish();
    return;
  }
  holding_ = ++served_ == options_.lateRead;
  int stop = 0;
  if (args.isEmpty())
    ReadFromBus(Until::Timeout, 0);
  else if (args.size() == 1 && args.front() == "eoi")
    ReadFromBus(Until::Eoi, 0);
  else if (args.size() == 1 && Number(args.front(), 0, 255, stop))
    ReadFromBus(Until::Char, static_cast<char>(stop));
  else
    Answer(BadParameter);
  // What comes after waits behind the late reply, as behind a busy adapter.
  if (std::exchange(holding_, false) && !held_.isEmpty())
    timeout_.start(options_.lateMs);
}

// Passes on what the instrument sends until the read ends: at EOI (followed by the
// end-of-text character when enabled), at the stop character, or when no byte comes within
// the read time-out. A reply without EOI or a time-out ends only with the time-out.
void AdapterSession::ReadFromBus(Until until, char stopChar) {
  if (mode_ != 1 || !OnDevice(address_))
    return;
  QElapsedTimer clock;
  clock.start();
  QByteArray out;
  char buffer[ChunkBytes];
  const long wanted = until == Until::Char ? 1 : ChunkBytes;
  // Ends: every read takes bytes from a finite reply, or times out.
  for (;;) {
    driver_.ibrd(ud_, buffer, wanted);
    const int status = driver_.ThreadIbsta();
    const long got = std::clamp(driver_.ThreadIbcntl(), 0L, wanted);
    out.append(buffer, static_cast<int>(got));
    if (status & END) {
      if (eotEnable_)
        out.append(static_cast<char>(eotChar_));
      if (until != Until::Timeout) {
        Deliver(out);
        return;
      }
      continue;
    }
    if (until == Until::Char && got == 1 && buffer[0] == stopChar) {
      Deliver(out);
      return;
    }
    if ((status & (TIMO | ERR)) || got == 0)
      break;
  }
  if (!out.isEmpty())
    Deliver(out);
  WaitOut(clock.elapsed());
}

void AdapterSession::SerialPoll(const QList<QByteArray> &args) {
  int pad = address_;
  if (args.size() > 1 || (args.size() == 1 && !Number(args.front(), 0, MaxAddress, pad))) {
    Answer(BadParameter);
    return;
  }
  if (mode_ != 1 || !OnDevice(pad))
    return;
  QElapsedTimer clock;
  clock.start();
  char status = 0;
  driver_.ibrsp(ud_, &status);
  // No status byte from an absent instrument: nothing comes back, after the read time-out.
  if (driver_.ThreadIbsta() & (TIMO | ERR))
    WaitOut(clock.elapsed());
  else
    Answer(QByteArray::number(static_cast<unsigned char>(status)));
}

// ++fndl [PAD ...]: the addresses that listen among those given (all of them without any),
// one per line in ascending order, the adapter's own address 0 left out. When none listens
// nothing comes back.
void AdapterSession::FindListeners(const QList<QByteArray> &args) {
  std::vector<Addr4882_t> offered;
  for (const QByteArray &arg : args) {
    int pad = 0;
    if (!Number(arg, 0, MaxAddress, pad)) {
      Answer(BadParameter);
      return;
    }
    offered.push_back(static_cast<Addr4882_t>(pad));
  }
  // All addresses, the board's too, as an NI-style caller offers them.
  for (int pad = 0; args.isEmpty() && pad <= MaxAddress; ++pad)
    offered.push_back(static_cast<Addr4882_t>(pad));
  offered.push_back(NOADDR);
  if (mode_ != 1)
    return;

  Addr4882_t found[MaxAddress + 1] = {};
  driver_.FindLstn(0, offered.data(), found, MaxAddress + 1);
  if (driver_.ThreadIbsta() & ERR)
    return;
  const long count = std::clamp(driver_.ThreadIbcntl(), 0L, static_cast<long>(MaxAddress + 1));
  QByteArray list;
  for (long i = 0; i < count; ++i)
    if (found[i] != 0)
      list += QByteArray::number(found[i]) + "\r\n";
  if (!list.isEmpty())
    emit send(list);
}

bool AdapterSession::OnDevice(int pad) { return (ud_ >= 0 && devicePad_ == pad) || Readdress(pad); }

// Points the one descriptor the adapter drives at pad, opening it on first use.
bool AdapterSession::Readdress(int pad) {
  if (ud_ < 0) {
    ud_ = driver_.ibdev(0, pad, 0, T3s, 1, 0);
    devicePad_ = ud_ >= 0 ? pad : -1;
  } else if (!(driver_.ibpad(ud_, pad) & ERR)) {
    devicePad_ = pad;
  }
  return ud_ >= 0 && devicePad_ == pad;
}

// Holds the lines that follow until the read time-out has passed since the read began; a
// bus whose time-outs take longer has held the adapter that long already.
void AdapterSession::WaitOut(qint64 elapsedMs) {
  timeout_.start(static_cast<int>(std::max<qint64>(0, readTimeoutMs_ - elapsedMs)));
}

void AdapterSession::Answer(const QByteArray &text) { emit send(text + "\r\n"); }

void AdapterSession::Deliver(const QByteArray &bytes) {
  if (holding_)
    held_ += bytes;
  else
    emit send(bytes);
}

} // namespace gpibsim
