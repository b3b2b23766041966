#include "gpib/Vbib32Qx.h"

#include "gpib/Vbib32.h"
#include "platform/EndProgram.h"
#include "platform/GpibText.h"
#include "ui/Module1.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace VBIB32QX {

std::int16_t ListenerAddr[ListenerSlots];
std::int16_t FreeListener[ListenerSlots];
std::int16_t ListenerDev[ListenerSlots];
std::int16_t GpibWriteFailed;
std::int16_t DevTimeout;
std::int16_t DevGpibAddr;
std::int16_t SpareDevHeld;
std::int16_t SpareDev;

namespace {

constexpr char LF = '\n';
constexpr char CR = '\r';
constexpr int ExitStatus = 1;

constexpr std::int16_t StyleStop = Module1::Style::Critical;
constexpr std::int16_t StyleExclamation = Module1::Style::Exclamation;
constexpr std::int16_t StyleExclamationOkCancel = Module1::Style::Exclamation | Module1::Style::OkCancel;

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
const char *const SelectOkOrCancel = "Select OK to continue or Cancel to terminate program.";
const char *const GpibErrorTitle = "GPIB ERROR #";
const char *const DeviceNotConfigured = "Device not configured.\n\nCorrect problem and restart.";
const char *const DeviceErrorTitle = "Device Error";

bool HasBit(std::int16_t status, std::int16_t bit) { return (status & bit) != 0; }

// A driver that failed by itself (an adapter gone from its port) names what went away first.
std::string DriverFailureLine(std::int16_t code) {
  const std::string failure = code == VBIB32::EDVR ? VBIB32::DriverFailure() : std::string();
  return failure.empty() ? failure : failure + LF;
}

std::int16_t ShowText(const QString &prompt, std::int16_t style, const std::string &title) {
  return Module1::ShowMessBox(prompt, style, skeld::FromGpib(title));
}

std::int16_t Show(const std::string &prompt, std::int16_t style, const std::string &title) {
  return ShowText(skeld::FromGpib(prompt), style, title);
}

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

const char *ErrorText(std::int16_t code) {
  using namespace gpibcodes;
  switch (code) {
  case EDVR:
    return "Operating system error.";
  case ECIC:
    return "Function requires GPIB board to be CIC.";
  case ENOL:
    return "No listener on write function.";
  case EADR:
    return "GPIB board not addressed correctly.";
  case EARG:
    return "Invalid argument to function call.";
  case ESAC:
    return "GPIB board not system controller as required.";
  case EABO:
    return "I/O operation aborted - timeout.";
  case ENEB:
    return "Non-existent GPIB board.";
  case EOIP:
    return "Asynchronous I/O in progress.";
  case ECAP:
    return "No capability for operation.";
  case EFSO:
    return "File system error.";
  case EBUS:
    return "GPIB bus eror.";
  case ESTB:
    return "Serial poll status queue owerflow.";
  case ESRQ:
    return "SRQ stuck in on position.";
  case ETAB:
    return "Table problem.";
  default:
    return "Unknown error.";
  }
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

void WaitSeconds(float seconds) {
  if (!(seconds > 0.0f))
    return;
  using Clock = std::chrono::steady_clock;
  // A pause longer than a few decades is a pause for the rest of the run.
  const double capped = std::min(static_cast<double>(seconds), 1e9);
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(capped));

  if (QCoreApplication::instance() == nullptr) {
    std::this_thread::sleep_until(deadline);
    return;
  }
  // Each pass sleeps in a loop of its own until a timer ends it, so window events are
  // handled meanwhile; a handler that waits itself nests its own loop, and this pass then
  // ends once that inner one has. Looping on the clock covers loops ended early.
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline)
      return;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
    const long long ms = std::min<long long>((left + 999) / 1000, std::numeric_limits<int>::max());
    QEventLoop loop;
    QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    if (loop.exec() != 0) {
      // The application is quitting and no event loop runs any more.
      std::this_thread::sleep_until(deadline);
      return;
    }
  }
}

void ReportGpibError() {
  if (!HasBit(VBIB32::ibsta, VBIB32::ERR))
    return;
  const std::int16_t code = VBIB32::iberr;
  const std::int16_t button = Show(DriverFailureLine(code) + ErrorText(code) + LF + SelectOkOrCancel,
                                   StyleExclamationOkCancel, GpibErrorTitle + Str(code));
  if (button == Module1::IdCancel) {
    skeld::EndProgram(ExitStatus);
    return;
  }
  GpibWriteFailed = -1;
}

void ReportDeviceError() {
  Show(DeviceNotConfigured, StyleStop, DeviceErrorTitle);
  skeld::EndProgram(ExitStatus);
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
