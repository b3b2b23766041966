#pragma once

#include "gpib/GpibDriverApi.h"

// The driver entries of the simulated bus, shared by the in-process table and the C shim.
// Each one serialises on the bus, leaves the calling thread's status and traces the call.
namespace gpibsim::driver {

int ibdev(int board, int pad, int sad, int tmo, int eot, int eos);
int ibwrt(int ud, const void *buf, long cnt);
int ibrd(int ud, void *buf, long cnt);
int ibclr(int ud);
int ibrsp(int ud, char *spr);
int ibpad(int ud, int pad);
int ibtmo(int ud, int tmo);
int ibask(int ud, int option, int *value);
int ibwait(int ud, int mask);
int ibsre(int board, int v);
void SendIFC(int board);
void FindLstn(int board, const Addr4882_t pads[], Addr4882_t results[], int limit);
int ThreadIbsta();
int ThreadIberr();
int ThreadIbcnt();
long ThreadIbcntl();

} // namespace gpibsim::driver
