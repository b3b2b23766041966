#include "FuzzCheck.h"
#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "sim/SimBus.h"
#include "ui/Module1.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The program's reply reading, chunk joining and cleaning included, against one instrument
// on the in-process simulated bus. The first byte, modulo 3, says how the reply ends: 0 with
// END, 1 the instrument loses it before its last chunk is read (that read times out), 2 every
// chunk carries ERR instead of END. The other bytes are the reply.
namespace {

constexpr int Address = 5;
constexpr std::size_t ChunkSize = 512;

int reads = 0;
int lostAtRead = 0; // 0: never

int GPIB_CALL ReadLosingReply(int ud, void *buf, long cnt) {
  if (++reads == lostAtRead)
    gpibsim::InProcessDriver().ibclr(ud);
  return gpibsim::InProcessDriver().ibrd(ud, buf, cnt);
}

int boxes = 0;
bool readFailedBox = true;

void InstallOnce() {
  static bool installed = false;
  if (installed)
    return;
  installed = true;
  static GpibDriverApi api = gpibsim::InProcessDriver();
  api.ibrd = &ReadLosingReply;
  VBIB32::UseDriver(&api);
  Module1::SetMessBoxResponder([](const Module1::MessBoxRequest &request) {
    ++boxes;
    readFailedBox = readFailedBox &&
                    request.prompt == QStringLiteral("Read cycle failed\nOperation aborted.") &&
                    request.style == 48 && request.title == QStringLiteral("I/O Error");
    return static_cast<std::int16_t>(Module1::IdOk);
  });
}

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

std::string WithoutSurroundingSpaces(const std::string &text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return 0;
  InstallOnce();
  const int mode = data[0] % 3;
  const std::string reply(reinterpret_cast<const char *>(data) + 1, size - 1);
  const int chunks = reply.empty() ? 1 : static_cast<int>((reply.size() + ChunkSize - 1) / ChunkSize);

  gpibsim::ListenerDescription instrument;
  instrument.address = Address;
  instrument.kind = "plain";
  instrument.replies["Q?"] = reply;
  if (mode == 2) {
    gpibsim::Fault noEnd;
    noEnd.command = "Q?";
    noEnd.kind = "no_end";
    instrument.faults.push_back(noEnd);
  }
  gpibsim::BusDescription bus;
  bus.listeners.push_back(instrument);
  gpibsim::Configure(bus);
  VBIB32QX::ResetModuleState();
  reads = 0;
  lostAtRead = mode == 1 ? chunks : 0;
  boxes = 0;
  readFailedBox = true;

  std::int16_t handle = VBIB32::ibdev(0, Address, 0, VBIB32::T3s, 1, 0);
  FUZZ_CHECK(handle > 0);
  VBIB32QX::GpibWrite(handle, "Q?");
  FUZZ_CHECK(boxes == 0 && VBIB32QX::GpibWriteFailed == 0);
  const std::string got = VBIB32QX::GpibRead(handle);

  std::int16_t timeout = 0;
  VBIB32::ibask(handle, VBIB32::IbaTMO, timeout);
  FUZZ_CHECK(timeout == VBIB32::T3s);
  if (mode != 0) {
    // A failed chunk drops whatever was joined before it, and says so once.
    FUZZ_CHECK(got.empty());
    FUZZ_CHECK(boxes == 1 && readFailedBox);
    FUZZ_CHECK(reads == (mode == 1 ? chunks : 1));
    return 0;
  }
  FUZZ_CHECK(boxes == 0);
  FUZZ_CHECK(reads == chunks);
  // Joined in order with no filler inside, then cut at the end only: at most three bytes,
  // all line ends except a last one that stood after a line end.
  const std::string whole = WithoutSurroundingSpaces(reply);
  FUZZ_CHECK(whole.compare(0, got.size(), got) == 0);
  const std::string cut = whole.substr(got.size());
  FUZZ_CHECK(cut.size() <= 3);
  for (std::size_t i = 0; i + 1 < cut.size(); ++i)
    FUZZ_CHECK(IsLineEnd(cut[i]));
  const bool afterLineEnd = whole.size() >= 2 && IsLineEnd(whole[whole.size() - 2]);
  FUZZ_CHECK(cut.empty() || IsLineEnd(cut.back()) || afterLineEnd);
  // And nothing is left that should have gone.
  FUZZ_CHECK(!afterLineEnd || !cut.empty());
  FUZZ_CHECK(got.empty() || !IsLineEnd(got.back()) || cut.size() >= 2);
  FUZZ_CHECK(whole.empty() || !IsLineEnd(whole.back()) || got.size() < whole.size());
  return 0;
}
