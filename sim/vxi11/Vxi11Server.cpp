// The simulated VXI-11 instrument: the core channel of a TDS 3000C with Ethernet (inst0, the
// first TDS of the bus description) and of a LAN/GPIB gateway (gpib0,N, the instrument at N),
// served by the system's ONC RPC library and registered with the portmapper.
#include "Vxi11Core.h"

#include "sim/Listener.h"
#include "sim/SimBus.h"
#include "sim/Trace.h"

#include <rpc/pmap_clnt.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

extern "C" void device_core_1(struct svc_req *request, SVCXPRT *transport);

namespace {

// Device_ErrorCode values.
constexpr long NoError = 0;
constexpr long DeviceNotAccessible = 3;
constexpr long InvalidLink = 4;
constexpr long IoTimeout = 15;
constexpr long IoError = 17;
constexpr long InvalidAddress = 21;

constexpr long ReasonRequestCount = 1;
constexpr long ReasonEnd = 4;
constexpr unsigned long MaxRecvSize = 1024; // small, so that a long command comes in pieces

struct Server {
  gpibsim::BusDescription bus;
  std::map<int, std::unique_ptr<gpibsim::Listener>> listeners; // by address
  int firstScope = 0;
  std::map<long, int> links; // link id -> address
  long nextLink = 1;
  std::map<long, std::string> pending; // a command split over several writes, by link
  std::FILE *trace = nullptr;
};

Server &S() {
  static Server server;
  return server;
}

void Trace(const char *format, long lid, const std::string &text) {
  if (!S().trace)
    return;
  std::fprintf(S().trace, format, lid, gpibsim::EscapeBytes(text).c_str());
  std::fputc('\n', S().trace);
  std::fflush(S().trace);
}

gpibsim::Listener *ListenerOf(long lid) {
  const auto link = S().links.find(lid);
  if (link == S().links.end())
    return nullptr;
  const auto it = S().listeners.find(link->second);
  return it == S().listeners.end() ? nullptr : it->second.get();
}

bool KnownLink(long lid) { return S().links.count(lid) != 0; }

// A time-out takes the client's io_timeout, as on a real instrument, unless the description
// shortens it.
void WaitForTimeout(const gpibsim::Listener *listener, unsigned long ioTimeoutMs) {
  long ms = static_cast<long>(ioTimeoutMs);
  if (listener && listener->Description().timeoutsTakeMs >= 0)
    ms = std::min<long>(ms, listener->Description().timeoutsTakeMs);
  else if (S().bus.timeoutsTakeMs > 0)
    ms = std::min<long>(ms, S().bus.timeoutsTakeMs);
  if (ms > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The connection resets: the kernel sends RST for a socket closed with a zero linger.
[[noreturn]] void ResetConnection(SVCXPRT *transport) {
  linger reset{1, 0};
  setsockopt(transport->xp_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
  Trace("link %ld %s", 0L, "connection reset");
  std::_Exit(0);
}

void Unregister(int) {
  pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
  std::_Exit(0);
}

bool Load(const char *path, std::string &error) {
  gpibsim::BusDescription bus = gpibsim::DefaultBus();
  if (path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
      error = std::string("cannot read ") + path;
      return false;
    }
    if (!gpibsim::ParseBusDescription(text.str(), path, bus, error))
      return false;
  }
  S().bus = bus;
  for (const gpibsim::ListenerDescription &l : bus.listeners) {
    S().listeners[l.address] = std::make_unique<gpibsim::Listener>(l);
    if (l.kind == "tds" && (S().firstScope == 0 || l.address < S().firstScope))
      S().firstScope = l.address;
  }
  return true;
}

} // namespace

extern "C" {

Create_LinkResp *create_link_1_svc(Create_LinkParms *parms, struct svc_req *) {
  static Create_LinkResp resp;
  resp = Create_LinkResp{};
  resp.maxRecvSize = MaxRecvSize;
  const std::string device = parms->device ? parms->device : "";
  int address = 0;
  if (device == "inst0") {
    address = S().firstScope;
    if (address == 0)
      resp.error = DeviceNotAccessible;
  } else if (device.rfind("gpib0,", 0) == 0) {
    char *end = nullptr;
    address = static_cast<int>(std::strtol(device.c_str() + 6, &end, 10));
    if (end == device.c_str() + 6 || *end || address < 1 || address > 30)
      resp.error = InvalidAddress;
  } else {
    resp.error = DeviceNotAccessible;
  }
  if (resp.error == NoError) {
    resp.lid = S().nextLink++;
    S().links[resp.lid] = address;
  }
  Trace("link %ld create %s", resp.lid, device);
  return &resp;
}

Device_WriteResp *device_write_1_svc(Device_WriteParms *parms, struct svc_req *request) {
  static Device_WriteResp resp;
  resp = Device_WriteResp{};
  if (!KnownLink(parms->lid)) {
    resp.error = InvalidLink;
    return &resp;
  }
  gpibsim::Listener *listener = ListenerOf(parms->lid);
  const std::string bytes(parms->data.data_val, parms->data.data_len);
  std::string &command = S().pending[parms->lid];
  command += bytes;
  if (!listener) {
    command.clear();
    WaitForTimeout(listener, parms->io_timeout);
    resp.error = IoError;
    return &resp;
  }
  resp.size = parms->data.data_len;
  if (!(parms->flags & 0x08))
    return &resp;
  Trace("link %ld write \"%s\"", parms->lid, command);
  const gpibsim::Listener::WriteResult result = listener->Write(command);
  command.clear();
  if (listener->Gone())
    ResetConnection(request->rq_xprt);
  if (!result.ok) {
    resp.error = IoError;
    resp.size = 0;
  }
  return &resp;
}

Device_ReadResp *device_read_1_svc(Device_ReadParms *parms, struct svc_req *) {
  static Device_ReadResp resp;
  static std::string data;
  resp = Device_ReadResp{};
  data.clear();
  gpibsim::Listener *listener = ListenerOf(parms->lid);
  if (!KnownLink(parms->lid)) {
    resp.error = InvalidLink;
    return &resp;
  }
  if (!listener) {
    WaitForTimeout(listener, parms->io_timeout);
    resp.error = IoTimeout;
    return &resp;
  }
  const gpibsim::Listener::ReadResult read = listener->Read(parms->requestSize);
  if (read.timedOut) {
    WaitForTimeout(listener, parms->io_timeout);
    resp.error = IoTimeout;
    Trace("link %ld read timed out%s", parms->lid, "");
    return &resp;
  }
  data = read.chunk;
  resp.data.data_val = data.data();
  resp.data.data_len = static_cast<u_int>(data.size());
  if (read.end)
    resp.reason = ReasonEnd;
  else if (data.size() >= parms->requestSize)
    resp.reason = ReasonRequestCount;
  else if (read.noEnd)
    resp.error = IoError;
  Trace("link %ld read \"%s\"", parms->lid, data);
  return &resp;
}

Device_ReadStbResp *device_readstb_1_svc(Device_GenericParms *parms, struct svc_req *) {
  static Device_ReadStbResp resp;
  resp = Device_ReadStbResp{};
  if (!KnownLink(parms->lid))
    resp.error = InvalidLink;
  else if (!ListenerOf(parms->lid))
    resp.error = IoError;
  Trace("link %ld readstb%s", parms->lid, "");
  return &resp;
}

Device_Error *device_clear_1_svc(Device_GenericParms *parms, struct svc_req *) {
  static Device_Error resp;
  resp = Device_Error{};
  if (!KnownLink(parms->lid))
    resp.error = InvalidLink;
  else if (gpibsim::Listener *listener = ListenerOf(parms->lid))
    listener->Clear();
  else
    resp.error = IoError;
  S().pending.erase(parms->lid);
  Trace("link %ld clear%s", parms->lid, "");
  return &resp;
}

Device_Error *destroy_link_1_svc(Device_Link *lid, struct svc_req *) {
  static Device_Error resp;
  resp = Device_Error{};
  if (S().links.erase(*lid) == 0)
    resp.error = InvalidLink;
  S().pending.erase(*lid);
  Trace("link %ld destroy%s", *lid, "");
  return &resp;
}

int device_core_1_freeresult(SVCXPRT *, xdrproc_t, caddr_t) { return 1; }

} // extern "C"

// vxi11sim [BUS.json] [TRACE]: serves until a signal, then leaves the portmapper.
int main(int argc, char **argv) {
  std::string error;
  if (!Load(argc > 1 && argv[1][0] ? argv[1] : nullptr, error)) {
    std::fprintf(stderr, "vxi11sim: %s\n", error.c_str());
    return 2;
  }
  if (argc > 2 && argv[2][0])
    S().trace = std::fopen(argv[2], "a");
  SVCXPRT *transport = svctcp_create(RPC_ANYSOCK, 0, 0);
  if (!transport) {
    std::fprintf(stderr, "vxi11sim: cannot open a TCP socket\n");
    return 1;
  }
  pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
  if (!svc_register(transport, DEVICE_CORE, DEVICE_CORE_VERSION, device_core_1, IPPROTO_TCP)) {
    std::fprintf(stderr, "vxi11sim: the portmapper does not take the core program (is rpcbind running?)\n");
    return 1;
  }
  std::signal(SIGTERM, Unregister);
  std::signal(SIGINT, Unregister);
  std::printf("vxi11sim: serving on port %u\n", static_cast<unsigned>(transport->xp_port));
  std::fflush(stdout);
  svc_run();
  return 1;
}
