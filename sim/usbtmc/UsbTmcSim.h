#pragma once

#include "sim/SimBus.h"

#include <sys/types.h>

#include <string>

// Simulated USBTMC instruments behind the kernel driver's interface: /dev/usbtmcN answers
// open, read, write, ioctl and close as the usbtmc driver does, with the instrument N of a bus
// description (in order) behind it. A folder stands for the system: sys/ holds the sysfs tree
// a listing reads, dev/ one file per node whose mode is the node's (without read and write
// for its owner, opening fails with EACCES). Unplugging removes both.
namespace usbtmcsim {

// Serves bus from root; writes the tree there first when root has no sys/ yet.
bool Configure(const std::string &root, const gpibsim::BusDescription &bus, std::string &error);
// The tree of bus under root: vendor 0x0699, product 0x0368, the model from the ID reply
// and serial C012345 + N for a TDS; a multimeter of another vendor for other instruments.
bool WriteTree(const std::string &root, const gpibsim::BusDescription &bus, std::string &error);
// The instrument behind node index goes away afterMs into its next wait for a reply.
void UnplugDuringWait(int index, int afterMs);
// Every operation as one line to the file (empty: none).
void TraceTo(const std::string &path);

// What the interposed calls ask. Configured from USBTMCSIM_ROOT, GPIBSIM_BUS and
// GPIBSIM_TRACE on first use when Configure was not called.
bool IsNode(const char *path);
// "/sys/..." as the path under the root; empty when the path is not redirected.
std::string Redirected(const char *path);
bool Owns(int fd);
int Open(const char *path);
ssize_t Read(int fd, void *buf, size_t count);
ssize_t Write(int fd, const void *buf, size_t count);
int Ioctl(int fd, unsigned long request, void *arg);
void Close(int fd);

} // namespace usbtmcsim
