#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The program's own GPIB helpers: bus set-up and listener search, opening an instrument
// by its identification reply, writing commands, reading replies, and the error reports.
namespace VBIB32QX {

constexpr int ListenerSlots = 15;

extern std::int16_t ListenerAddr[ListenerSlots];
extern std::int16_t FreeListener[ListenerSlots];
extern std::int16_t ListenerDev[ListenerSlots];
extern std::int16_t GpibWriteFailed;
extern std::int16_t DevTimeout;
extern std::int16_t DevGpibAddr;
extern std::int16_t SpareDevHeld;
extern std::int16_t SpareDev;

void InitGpibBus(std::int16_t &mode);
std::int16_t OpenGpibDevice(std::string &query, std::string &expected);
void GpibWrite(std::int16_t &handle, const std::string &command);
std::string GpibRead(std::int16_t &handle);
std::string GpibQuery(std::int16_t &handle, const std::string &command);
// The GPIB address of the listener opened as handle; 0 when no listener holds it.
std::int16_t ListenerAddressOf(std::int16_t handle);
// Pauses, letting window events run; the time passes by the pause clock.
void WaitSeconds(float seconds);

// How a pause lets its time pass. Without one set, it sleeps in the event loop on the wall
// clock; tests set one that moves their own time on at once. Returns the previous one.
using PauseClock = std::function<void(double seconds)>;
PauseClock SetPauseClock(PauseClock clock);

void ReportGpibError();
void ReportDeviceError();

// Str(n): decimal with a sign position, a leading space when not negative.
std::string Str(int n);

// Back to the program-start state (tests).
void ResetModuleState();

} // namespace VBIB32QX
