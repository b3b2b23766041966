#pragma once

#include "gpib/GpibCodes.h"
#include "gpib/GpibDriverApi.h"

#include <cstdint>
#include <functional>
#include <string>

// The program's binding to the GPIB driver: every entry is wrapped so that the driver's
// status is copied into ibsta and iberr right after the call. Text travels as 8-bit bytes.
namespace VBIB32 {

// The driver's codes as the 16-bit values the binding hands on.
constexpr std::int16_t ERR = static_cast<std::int16_t>(gpibcodes::ERR);
constexpr std::int16_t TIMO = gpibcodes::TIMO;
constexpr std::int16_t END = gpibcodes::END;
constexpr std::int16_t CMPL = gpibcodes::CMPL;

constexpr std::int16_t T1s = gpibcodes::T1s;
constexpr std::int16_t T3s = gpibcodes::T3s;
constexpr std::int16_t T10s = gpibcodes::T10s;
constexpr std::int16_t IbaTMO = gpibcodes::IbaTMO;
constexpr std::int16_t EDVR = gpibcodes::EDVR;

// Status of the last wrapped call.
extern std::int16_t ibsta;
extern std::int16_t iberr;

void SendIFC(std::int16_t board);
void ibsre(std::int16_t board, std::int16_t v);
// pads ends with NOADDR (-1); the driver writes up to limit addresses into results from entry 0.
void FindLstn(std::int16_t board, const std::int16_t *pads, std::int16_t *results, std::int16_t limit);
std::int16_t ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo, std::int16_t eot,
                   std::int16_t eos);
void ibpad(std::int16_t ud, std::int16_t pad);
void ibclr(std::int16_t ud);
void ibtmo(std::int16_t ud, std::int16_t tmo);
// spr: at least two bytes; the status byte lands in the first.
void ibrsp(std::int16_t ud, char *spr);
void ibwrt(std::int16_t ud, const std::string &text);
void ibwait(std::int16_t ud, std::int16_t mask);
// The driver overwrites the start of buffer; its length is the byte count offered.
void ibrd(std::int16_t ud, std::string &buffer);
void ibask(std::int16_t ud, std::int16_t option, std::int16_t &value);

// Driver selection. By default the platform's driver library is loaded on first use
// (libgpib.so.0 on Linux, Gpib-32.dll on Windows). UseDriver installs a table instead
// (the in-process simulated bus, a driver double); nullptr goes back to loading.
void UseDriver(const GpibDriverApi *api);
// The same, for a table that can fail by itself (an adapter on a port that may be missing):
// DriverFailure() gives failure()'s text while that table is installed.
void UseDriver(const GpibDriverApi *api, std::function<std::string()> failure);
// Said after the library's own failure in DriverFailure(): how else the bus can be reached.
void SetLibraryFailureAdvice(std::function<std::string()> advice);
// Loads the named library in place of the platform's default on the next call (tests).
void UseDriverLibrary(const std::string &libraryName);
const char *DefaultDriverLibrary();
// Loads the driver library now, again when an earlier try failed (it may have been installed
// since); false with the loader's reason, naming the library, when it cannot be used.
bool TryDriverLibrary(std::string &failure);
// TryDriverLibrary, then the bus set-up's first call on board 0: false also when the library
// answers it with EDVR, ENEB or EARG (no board configured, none there, no kernel driver), the
// failure then naming the library, its answer and what to check. A board that answered once is
// not tried again.
bool TryDriverBoard(std::string &failure);
// The driver library's entries once it loads (TryDriverLibrary), else nullptr: a route wraps
// them to narrow the listener search to one address.
const GpibDriverApi *LoadedLibrary();
// Why the driver library could not be used, naming the library ("libgpib.so.0: cannot open
// shared object file: ..."); empty while it is usable or not yet tried. An installed table
// has the failure it was installed with, or none.
std::string DriverFailure();
// Without a window a failure is written where it happens (a route's driver, the loader), so
// the reports that follow it do not say it again: DriverFailure() is then empty.
void SetFailuresToldWhereTheyHappen(bool told);

// Registration state of the status variables, for tests of the registration rules.
bool Registered();

} // namespace VBIB32
