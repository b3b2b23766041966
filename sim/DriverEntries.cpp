#include "sim/DriverEntries.h"

#include "sim/Bus.h"
#include "sim/GpibCodes.h"
#include "sim/SimBus.h"
#include "sim/Trace.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace gpibsim {
namespace {

struct ThreadStatus {
  int ibsta = 0;
  int iberr = 0;
  int ibcnt = 0;
  long ibcntl = 0;
};
thread_local ThreadStatus status;

struct State {
  std::mutex mutex;
  std::unique_ptr<Bus> bus;
  std::function<void(const std::string &)> sink;
};

State &TheState() {
  static State state;
  return state;
}

// The bus a process meets before anyone configures one.
Bus &BusOf(State &state) {
  if (!state.bus)
    state.bus = std::make_unique<Bus>(DefaultBus());
  return *state.bus;
}

// Runs one call on the bus under the lock, then leaves its status and trace line.
template <typename Call> int Run(const char *entry, const std::string *bytes, Call call) {
  State &state = TheState();
  std::unique_lock<std::mutex> lock(state.mutex);
  const CallResult r = call(BusOf(state));

  status.ibsta = r.ibsta;
  if (r.iberr)
    status.iberr = *r.iberr;
  if (r.count) {
    status.ibcnt = static_cast<int>(*r.count);
    status.ibcntl = *r.count;
  }
  if (state.sink)
    state.sink(TraceLine(entry, r.pad, bytes, r.ibsta));
  lock.unlock();
  if (r.sleepMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(r.sleepMs));
  return r.ibsta;
}

} // namespace

namespace driver {

int ibdev(int board, int pad, int sad, int tmo, int, int) {
  int ud = -1;
  Run("ibdev", nullptr, [&](Bus &bus) { return bus.Dev(board, pad, sad, tmo, ud); });
  return ud;
}

int ibwrt(int ud, const void *buf, long cnt) {
  const std::string bytes = buf && cnt > 0
                                ? std::string(static_cast<const char *>(buf), static_cast<std::size_t>(cnt))
                                : std::string();
  return Run("ibwrt", &bytes, [&](Bus &bus) { return bus.Write(ud, buf, cnt); });
}

int ibrd(int ud, void *buf, long cnt) {
  std::string delivered;
  // The trace line is written inside Run, after the read has filled delivered.
  return Run("ibrd", &delivered, [&](Bus &bus) { return bus.Read(ud, buf, cnt, delivered); });
}

int ibclr(int ud) {
  return Run("ibclr", nullptr, [&](Bus &bus) { return bus.Clear(ud); });
}

int ibrsp(int ud, char *spr) {
  return Run("ibrsp", nullptr, [&](Bus &bus) { return bus.SerialPoll(ud, spr); });
}

int ibpad(int ud, int pad) {
  return Run("ibpad", nullptr, [&](Bus &bus) { return bus.SetPad(ud, pad); });
}

int ibtmo(int ud, int tmo) {
  return Run("ibtmo", nullptr, [&](Bus &bus) { return bus.SetTimeout(ud, tmo); });
}

int ibask(int ud, int option, int *value) {
  return Run("ibask", nullptr, [&](Bus &bus) { return bus.Ask(ud, option, value); });
}

int ibwait(int ud, int mask) {
  return Run("ibwait", nullptr, [&](Bus &bus) { return bus.Wait(ud, mask); });
}

int ibsre(int board, int v) {
  return Run("ibsre", nullptr, [&](Bus &bus) { return bus.RemoteEnable(board, v); });
}

void SendIFC(int board) {
  Run("SendIFC", nullptr, [&](Bus &bus) { return bus.InterfaceClear(board); });
}

void FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) {
  Run("FindLstn", nullptr, [&](Bus &bus) { return bus.FindListeners(board, pads, results, limit); });
}

// Read after every call: left out of the trace.
int ThreadIbsta() { return status.ibsta; }
int ThreadIberr() { return status.iberr; }
int ThreadIbcnt() { return status.ibcnt; }
long ThreadIbcntl() { return status.ibcntl; }

} // namespace driver

void Configure(const BusDescription &description) {
  auto bus = std::make_unique<Bus>(description);
  State &state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.bus = std::move(bus);
  status = ThreadStatus{};
}

void ConfigureBroken() {
  BusDescription broken;
  broken.findlstnError = EBUS;
  Configure(broken);
}

void SetTraceSink(std::function<void(const std::string &)> sink) {
  State &state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.sink = std::move(sink);
}

std::vector<std::string> StoredLog(int address) {
  State &state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return BusOf(state).StoredLog(address);
}

std::optional<ListenerDescription> FirstScope() {
  State &state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return BusOf(state).FirstScope();
}

const GpibDriverApi &InProcessDriver() {
  static const GpibDriverApi api = [] {
    GpibDriverApi a;
#define GPIBSIM_TABLE_ENTRY(ret, name, params, args) a.name = driver::name;
    GPIB_DRIVER_CALLS(GPIBSIM_TABLE_ENTRY)
    GPIB_DRIVER_STATUS(GPIBSIM_TABLE_ENTRY)
#undef GPIBSIM_TABLE_ENTRY
    return a;
  }();
  return api;
}

} // namespace gpibsim
