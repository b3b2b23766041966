#pragma once

// The status bits, error codes, option numbers and time-out codes of an NI-488.2-compatible
// driver: the one list the binding and the simulated driver both use.
namespace gpibcodes {

// ibsta bits.
constexpr int ERR = 0x8000;  // the call failed; iberr says why
constexpr int TIMO = 0x4000; // the time-out ran out
constexpr int END = 0x2000;  // the read ended with EOI or the end-of-string byte
constexpr int CMPL = 0x0100; // the I/O is complete

// iberr codes.
constexpr int EDVR = 0;  // system error (no driver, no board configured)
constexpr int ECIC = 1;  // board is not controller in charge
constexpr int ENOL = 2;  // no listener on write
constexpr int EADR = 3;  // board not addressed correctly
constexpr int EARG = 4;  // invalid argument
constexpr int ESAC = 5;  // board is not system controller
constexpr int EABO = 6;  // I/O aborted (time-out)
constexpr int ENEB = 7;  // no such board
constexpr int EOIP = 10; // asynchronous I/O in progress
constexpr int ECAP = 11; // no capability for the operation
constexpr int EFSO = 12; // file system error
constexpr int EBUS = 14; // bus error
constexpr int ESTB = 15; // serial poll status queue overflow
constexpr int ESRQ = 16; // SRQ stuck on
constexpr int ETAB = 20; // table problem

// ibask options.
constexpr int IbaPAD = 1;
constexpr int IbaSAD = 2;
constexpr int IbaTMO = 3;
constexpr int IbaEOT = 4;

// Time-out codes.
constexpr int T100ms = 9;
constexpr int T300ms = 10;
constexpr int T1s = 11;
constexpr int T3s = 12;
constexpr int T10s = 13;
constexpr int T1000s = 17; // the longest

// What ibask reports for option on a device opened with these settings (EOI on the last byte
// is always on); false for an option no driver here keeps.
inline bool DeviceOption(int option, int pad, int sad, int tmo, int &value) {
  switch (option) {
  case IbaPAD:
    value = pad;
    return true;
  case IbaSAD:
    value = sad;
    return true;
  case IbaTMO:
    value = tmo;
    return true;
  case IbaEOT:
    value = 1;
    return true;
  default:
    return false;
  }
}

} // namespace gpibcodes
