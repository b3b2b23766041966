#pragma once

#include "gpib/GpibDriverApi.h"
#include "sim/Listener.h"
#include "sim/SimBus.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace gpibsim {

// What one driver call did: the status it leaves, and what the trace shows of it.
struct CallResult {
  int ibsta = 0;
  std::optional<int> iberr;  // set with ERR; the last error stays otherwise
  std::optional<long> count; // bytes (or addresses) transferred, when the call moves any
  int pad = -1;              // the address the call was about; -1 for board calls
  int sleepMs = 0;           // a time-out that is to take time
};

// The interface board at address 0, the instruments of a description and the device
// descriptors handed out. Not thread-safe: the driver entries serialise the calls.
class Bus {
public:
  explicit Bus(const BusDescription &description);

  CallResult Dev(int board, int pad, int sad, int tmo, int &ud);
  CallResult Write(int ud, const void *buf, long cnt);
  CallResult Read(int ud, void *buf, long cnt, std::string &delivered);
  CallResult Clear(int ud);
  CallResult SerialPoll(int ud, char *spr);
  CallResult SetPad(int ud, int pad);
  CallResult SetTimeout(int ud, int tmo);
  CallResult Ask(int ud, int option, int *value);
  CallResult Wait(int ud, int mask);
  CallResult RemoteEnable(int board, int v);
  CallResult InterfaceClear(int board);
  CallResult FindListeners(int board, const Addr4882_t pads[], Addr4882_t results[], int limit);

  std::vector<std::string> StoredLog(int address) const;
  std::optional<ListenerDescription> FirstScope() const;

private:
  struct Descriptor {
    int pad = 0;
    int sad = 0;
    int tmo = 0;
    bool lastReadTimedOut = false;
  };

  Descriptor *Find(int ud);
  Listener *ListenerAt(int pad);
  CallResult TimedOut(int pad) const;

  std::map<int, Descriptor> descriptors_;
  std::map<int, Listener> listeners_;
  int nextDescriptor_ = 32; // never the same number as an address
  int findlstnError_ = 0;
  int timeoutsTakeMs_ = 0;
  std::map<int, int> listenerTimeoutsTakeMs_;
};

} // namespace gpibsim
