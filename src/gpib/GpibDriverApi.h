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

// The entries, each as X(return type, name, (parameters), (arguments)); a new entry is added
// here and reaches the table, the loader and the simulated driver from this list.
#define GPIB_DRIVER_CALLS(X)                                                                                 \
  X(int, ibdev, (int board, int pad, int sad, int tmo, int eot, int eos), (board, pad, sad, tmo, eot, eos))  \
  X(int, ibwrt, (int ud, const void *buf, long cnt), (ud, buf, cnt))                                         \
  X(int, ibrd, (int ud, void *buf, long cnt), (ud, buf, cnt))                                                \
  X(int, ibclr, (int ud), (ud))                                                                              \
  X(int, ibrsp, (int ud, char *spr), (ud, spr))                                                              \
  X(int, ibpad, (int ud, int pad), (ud, pad))                                                                \
  X(int, ibtmo, (int ud, int tmo), (ud, tmo))                                                                \
  X(int, ibask, (int ud, int option, int *value), (ud, option, value))                                       \
  X(int, ibwait, (int ud, int mask), (ud, mask))                                                             \
  X(int, ibsre, (int board, int v), (board, v))                                                              \
  X(void, SendIFC, (int board), (board))                                                                     \
  X(void, FindLstn, (int board, const Addr4882_t pads[], Addr4882_t results[], int limit),                   \
    (board, pads, results, limit))

// The calling thread's status after a call, where the driver does not register variables.
#define GPIB_DRIVER_STATUS(X)                                                                                \
  X(int, ThreadIbsta, (), ())                                                                                \
  X(int, ThreadIberr, (), ())                                                                                \
  X(int, ThreadIbcnt, (), ())                                                                                \
  X(long, ThreadIbcntl, (), ())

// Exported by the Windows driver only; absent elsewhere.
#define GPIB_DRIVER_REGISTRATION(X)                                                                          \
  X(int, RegisterGpibGlobalsForThread, (int *sta, int *err, int *cnt, long *cntl), (sta, err, cnt, cntl))    \
  X(int, UnregisterGpibGlobalsForThread, (), ())

#define GPIB_DRIVER_POINTER(ret, name, params, args) ret(GPIB_CALL *name) params = nullptr;
struct GpibDriverApi {
  GPIB_DRIVER_CALLS(GPIB_DRIVER_POINTER)
  GPIB_DRIVER_STATUS(GPIB_DRIVER_POINTER)
  GPIB_DRIVER_REGISTRATION(GPIB_DRIVER_POINTER)
};
#undef GPIB_DRIVER_POINTER
