#pragma once

#include <cstdint>

// The entries of an NI-488.2-compatible driver library, declared from their C call
// contracts. The binding resolves them at run time; the simulated bus provides them too.
#if defined(_WIN32) && !defined(_WIN64)
#define GPIB_CALL __stdcall
#else
#define GPIB_CALL
#endif

using Addr4882_t = std::uint16_t;
constexpr Addr4882_t NOADDR = 0xFFFF;

struct GpibDriverApi {
  int(GPIB_CALL *ibdev)(int board, int pad, int sad, int tmo, int eot, int eos) = nullptr;
  int(GPIB_CALL *ibwrt)(int ud, const void *buf, long cnt) = nullptr;
  int(GPIB_CALL *ibrd)(int ud, void *buf, long cnt) = nullptr;
  int(GPIB_CALL *ibclr)(int ud) = nullptr;
  int(GPIB_CALL *ibrsp)(int ud, char *spr) = nullptr;
  int(GPIB_CALL *ibpad)(int ud, int pad) = nullptr;
  int(GPIB_CALL *ibtmo)(int ud, int tmo) = nullptr;
  int(GPIB_CALL *ibask)(int ud, int option, int *value) = nullptr;
  int(GPIB_CALL *ibwait)(int ud, int mask) = nullptr;
  int(GPIB_CALL *ibsre)(int board, int v) = nullptr;
  void(GPIB_CALL *SendIFC)(int board) = nullptr;
  void(GPIB_CALL *FindLstn)(int board, const Addr4882_t pads[], Addr4882_t results[], int limit) = nullptr;
  int(GPIB_CALL *ThreadIbsta)() = nullptr;
  int(GPIB_CALL *ThreadIberr)() = nullptr;
  int(GPIB_CALL *ThreadIbcnt)() = nullptr;
  long(GPIB_CALL *ThreadIbcntl)() = nullptr;
  // Exported by the Windows driver only; absent elsewhere.
  int(GPIB_CALL *RegisterGpibGlobalsForThread)(int *sta, int *err, int *cnt, long *cntl) = nullptr;
  int(GPIB_CALL *UnregisterGpibGlobalsForThread)() = nullptr;
};
