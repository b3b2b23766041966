#pragma once

// Status bits and error codes the simulated driver reports, with their NI-488.2 meanings.
namespace gpibsim {

constexpr int ERR = 0x8000;
constexpr int TIMO = 0x4000;
constexpr int END = 0x2000;
constexpr int CMPL = 0x0100;

constexpr int EDVR = 0;  // system error
constexpr int ENOL = 2;  // no listener on write
constexpr int EARG = 4;  // invalid argument
constexpr int EABO = 6;  // I/O aborted (timeout)
constexpr int ENEB = 7;  // no such board
constexpr int EBUS = 14; // bus error
constexpr int ETAB = 20; // table problem

constexpr int IbaPAD = 1;
constexpr int IbaSAD = 2;
constexpr int IbaTMO = 3;
constexpr int IbaEOT = 4;

constexpr int MaxTimeoutCode = 17; // T1000s

} // namespace gpibsim
