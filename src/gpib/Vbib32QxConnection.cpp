#include "gpib/Vbib32Qx.h"

#include "gpib/Vbib32.h"
#include "gpib/Vbib32QxBoxes.h"
#include "platform/EndProgram.h"

#include <algorithm>
#include <limits>

namespace VBIB32QX {

std::int16_t ListenerAddr[ListenerSlots];
std::int16_t FreeListener[ListenerSlots];
std::int16_t ListenerDev[ListenerSlots];
std::int16_t GpibWriteFailed;
std::int16_t DevTimeout;
std::int16_t DevGpibAddr;
std::int16_t SpareDevHeld;
std::int16_t SpareDev;

using namespace detail;

namespace {

using gpibcodes::EBUS;
using gpibcodes::ETAB;

constexpr int LastListener = ListenerSlots - 1;
constexpr std::size_t IdBufferSize = 256;
constexpr std::size_t ChunkSize = 512;
constexpr std::int16_t WaitTimeoutOrComplete = 0x4100;

const char *const CorrectAndRestart = "Correct problem and restart.";
const char *const InitErrorTitle = "Initialization Error";
const char *const NoListenersFound = "No listeners found.";
const char *const TooManyListeners = "Too many listeners found.\nMax 14 listeners allowed.";
const char *const NotEnoughDevicesTitle = "Not enough devices on the bus";
const std::string IdNotFoundTitle = "Expected Id-response from device not found" + std::string(40, ' ');
const char *const ReadFailed = "Read cycle failed\nOperation aborted.";
const char *const IoErrorTitle = "I/O Error";

std::string TrimSpaces(const std::string &text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos)
    return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool EndsWith(const std::string &text, char c) { return !text.empty() && text.back() == c; }
bool IsLineEnd(char c) { return c == LF || c == CR; }

// Upper case of the 8-bit text as the ANSI code page has it: ASCII and the Latin-1 letters.
std::string Upper(std::string text) {
  for (char &c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
      c = static_cast<char>(u - 0x20);
  }
  return text;
}

void ClearListenerTables() {
  std::fill(std::begin(ListenerAddr), std::end(ListenerAddr), std::int16_t{0});
  std::fill(std::begin(FreeListener), std::end(FreeListener), std::int16_t{0});
}

// The count in entry 0 may have been written by anyone; never walk past the table.
int ListenerCount() { return std::min<int>(ListenerAddr[0], LastListener); }

std::int16_t OpenFirstListener() {
  char pollByte[2] = {0, 0};
  for (int i = 1; i <= ListenerCount(); ++i) {
    VBIB32::ibpad(SpareDev, ListenerAddr[i]);
    VBIB32::ibrsp(SpareDev, pollByte);
  }
  VBIB32::ibpad(SpareDev, ListenerAddr[1]);
  ListenerDev[1] = SpareDev;
  VBIB32::ibtmo(SpareDev, DevTimeout);
  SpareDevHeld = 0;
  ReportGpibError();
  return SpareDev;
}

// The reply of one identification exchange with the listener SpareDev now addresses.
std::string IdReply(const std::string &query, bool clearFirst, bool pauseFirst) {
  if (clearFirst)
    VBIB32::ibclr(SpareDev);
  char pollByte[2] = {0, 0};
  VBIB32::ibrsp(SpareDev, pollByte);
  if (pauseFirst)
    WaitSeconds(0.1f);
  VBIB32::ibwrt(SpareDev, query);
  std::string reply(IdBufferSize, ' ');
  VBIB32::ibrd(SpareDev, reply);
  reply = TrimSpaces(reply);
  if (EndsWith(reply, LF))
    reply.pop_back();
  if (EndsWith(reply, CR))
    reply.pop_back();
  return reply;
}

std::string CleanReply(std::string reply) {
  reply = TrimSpaces(reply);
  if (reply.size() >= 2 && IsLineEnd(reply[reply.size() - 2]))
    reply.pop_back();
  for (int pass = 0; pass < 2 && !reply.empty() && IsLineEnd(reply.back()); ++pass)
    reply.pop_back();
  return reply;
}

} // namespace

std::string Str(int n) { return n < 0 ? std::to_string(n) : " " + std::to_string(n); }

void InitGpibBus(std::int16_t &mode) {
  ClearListenerTables();

  std::int16_t addressList[33];
  for (int i = 0; i <= 30; ++i)
    addressList[i] = static_cast<std::int16_t>(i);
  addressList[31] = -1; // NOADDR
  addressList[32] = 0;

  VBIB32::SendIFC(0);
  VBIB32::ibsre(0, 1);
  VBIB32::FindLstn(0, addressList, ListenerAddr, ListenerSlots);

  if (!HasBit(VBIB32::ibsta, VBIB32::ERR)) {
    std::int16_t count = LastListener;
    for (int i = 1; i <= LastListener; ++i) {
      FreeListener[i] = ListenerAddr[i];
      if (ListenerAddr[i] == 0) {
        count = static_cast<std::int16_t>(i - 1);
        break;
      }
    }
    ListenerAddr[0] = count;
    FreeListener[0] = count;
    return;
  }

  const std::int16_t code = VBIB32::iberr;
  // The driver leaves partial results behind; with no count in entry 0 a caller going on
  // would scan whatever is there.
  if (mode != 1)
    ClearListenerTables();

  std::string prompt;
  if (code == VBIB32::EDVR)
    prompt = VBIB32::DriverFailure();
  if (code == EBUS) {
    if (mode == -1)
      return;
    prompt = NoListenersFound;
  } else if (code == ETAB) {
    prompt = TooManyListeners;
  }
  if (mode == 1 || code != EBUS)
    prompt += std::string(2, LF) + CorrectAndRestart;
  if (!prompt.empty())
    Show(prompt, StyleStop, InitErrorTitle + Str(code));
  if (mode == 1)
    skeld::EndProgram(ExitStatus);
}

std::int16_t OpenGpibDevice(std::string &query, std::string &expected) {
  if (SpareDevHeld == 0)
    SpareDev = VBIB32::ibdev(0, 1, 0, VBIB32::T1s, 1, 0);

  if (query.empty())
    return OpenFirstListener();

  bool noClear = false;
  bool goOn = false;
  bool silent = false;
  bool pauseFirst = false;
  bool exact = false;
  if (!query.empty() && query.front() == '!') {
    noClear = true;
    query.erase(0, 1);
  }
  if (EndsWith(query, '!')) {
    goOn = true;
    query.pop_back();
  }
  if (!expected.empty() && expected.front() == '!') {
    silent = true;
    expected.erase(0, 1);
  }
  if (!expected.empty() && expected.front() == '?') {
    pauseFirst = true;
    expected.erase(0, 1);
  }
  if (EndsWith(expected, '!')) {
    exact = true;
    expected.pop_back();
  }

  if (FreeListener[0] == 0) {
    if (silent)
      return 0;
    Show("Can't find more than" + Str(ListenerAddr[0]) + " device(s)." + std::string(2, LF) +
             CorrectAndRestart,
         StyleStop, NotEnoughDevicesTitle);
    skeld::EndProgram(ExitStatus);
    return 0;
  }

  const std::string wanted = Upper(expected);
  QString received;
  const int n = ListenerCount();
  for (int i = 1; i <= n; ++i) {
    if (FreeListener[i] <= 0)
      continue;
    VBIB32::ibpad(SpareDev, FreeListener[i]);
    const std::string reply = IdReply(query, !noClear, pauseFirst);
    const bool match = exact ? reply == expected : Upper(reply).find(wanted) != std::string::npos;
    if (match) {
      FreeListener[i] = 0;
      --FreeListener[0];
      ListenerDev[i] = SpareDev;
      VBIB32::ibtmo(SpareDev, DevTimeout);
      SpareDevHeld = 0;
      return SpareDev;
    }
    if (HasBit(VBIB32::ibsta, VBIB32::ERR))
      VBIB32::ibclr(SpareDev);
    received = skeld::FromGpibOneLine(reply) + QLatin1Char(LF) + received;
  }

  SpareDevHeld = -1;
  if (!silent) {
    const std::string ending = goOn ? "Correct the problem and retry. Program will continue."
                                    : "Correct the problem and restart. Program will end.";
    ShowText(skeld::FromGpib("ID Query: " + query + std::string(2, LF) + "Expected Response: " + expected +
                             std::string(2, LF) + "Received Response(s):" + LF) +
                 received + skeld::FromGpib(LF + ending),
             StyleStop, IdNotFoundTitle);
    if (!goOn)
      skeld::EndProgram(ExitStatus);
  }
  return 0;
}

void GpibWrite(std::int16_t &handle, const std::string &command) {
  GpibWriteFailed = 0;
  if (handle == 0) {
    ReportDeviceError();
    return;
  }
  VBIB32::ibwrt(handle, command);
  ReportGpibError();
}

std::string GpibRead(std::int16_t &handle) {
  if (handle == 0) {
    ReportDeviceError();
    return std::string();
  }
  std::int16_t saved = 0;
  VBIB32::ibask(handle, VBIB32::IbaTMO, saved);
  if (saved != VBIB32::T10s)
    VBIB32::ibtmo(handle, VBIB32::T10s);

  std::string accumulated;
  std::int16_t chunks = 0;
  std::int16_t failedWith = -1;
  for (;;) {
    std::string buffer(ChunkSize, ' ');
    VBIB32::ibwait(handle, WaitTimeoutOrComplete);
    VBIB32::ibrd(handle, buffer);
    const std::int16_t status = VBIB32::ibsta;
    // A chunk with ERR but no END would be followed by the same failure forever, and a
    // reply that never ends would outgrow the chunk counter: both are failed reads.
    if (HasBit(status, VBIB32::TIMO) || (HasBit(status, VBIB32::ERR) && !HasBit(status, VBIB32::END)) ||
        chunks == std::numeric_limits<std::int16_t>::max()) {
      chunks = 0;
      accumulated.clear();
      failedWith = HasBit(status, VBIB32::ERR) ? VBIB32::iberr : std::int16_t{-1};
      break;
    }
    accumulated += buffer;
    ++chunks;
    if (HasBit(status, VBIB32::END))
      break;
  }
  VBIB32::ibtmo(handle, saved);

  if (chunks == 0) {
    Show(DriverFailureLine(failedWith) + ReadFailed, StyleExclamation, IoErrorTitle);
    // A reply given up on may still be sent, or its rest still wait in the instrument: a
    // device clear drops it there, so that the next query cannot read it as its own reply.
    if (failedWith != VBIB32::EDVR)
      VBIB32::ibclr(handle);
    return std::string();
  }
  return CleanReply(accumulated);
}

std::string GpibQuery(std::int16_t &handle, const std::string &command) {
  if (handle == 0) {
    ReportDeviceError();
    return std::string();
  }
  GpibWrite(handle, command);
  // Taken before the pause: a handler run during it may write and change the flag.
  const bool writeFailed = GpibWriteFailed != 0;
  WaitSeconds(0.1f);
  if (writeFailed)
    return std::string();
  return GpibRead(handle);
}

std::int16_t ListenerAddressOf(std::int16_t handle) {
  for (int i = 1; i <= ListenerCount(); ++i)
    if (ListenerDev[i] == handle)
      return ListenerAddr[i];
  return 0;
}

void ResetModuleState() {
  ClearListenerTables();
  std::fill(std::begin(ListenerDev), std::end(ListenerDev), std::int16_t{0});
  GpibWriteFailed = 0;
  DevTimeout = 0;
  DevGpibAddr = 0;
  SpareDevHeld = 0;
  SpareDev = 0;
}

} // namespace VBIB32QX
