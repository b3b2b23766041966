#include "gpib/Vbib32Qx.h"

#include "gpib/Vbib32.h"
#include "gpib/Vbib32QxBoxes.h"
#include "platform/EndProgram.h"

namespace VBIB32QX {

using namespace detail;

namespace {

const char *const SelectOkOrCancel = "Select OK to continue or Cancel to terminate program.";
const char *const GpibErrorTitle = "GPIB ERROR #";
const char *const DeviceNotConfigured = "Device not configured.\n\nCorrect problem and restart.";
const char *const DeviceErrorTitle = "Device Error";

const char *ErrorText(std::int16_t code) {
  using namespace gpibcodes;
  switch (code) {
  case EDVR:
    return "Operating system error.";
  case ECIC:
    return "Function requires GPIB board to be CIC.";
  case ENOL:
    return "No listener on write function.";
  case EADR:
    return "GPIB board not addressed correctly.";
  case EARG:
    return "Invalid argument to function call.";
  case ESAC:
    return "GPIB board not system controller as required.";
  case EABO:
    return "I/O operation aborted - timeout.";
  case ENEB:
    return "Non-existent GPIB board.";
  case EOIP:
    return "Asynchronous I/O in progress.";
  case ECAP:
    return "No capability for operation.";
  case EFSO:
    return "File system error.";
  case EBUS:
    return "GPIB bus eror.";
  case ESTB:
    return "Serial poll status queue owerflow.";
  case ESRQ:
    return "SRQ stuck in on position.";
  case ETAB:
    return "Table problem.";
  default:
    return "Unknown error.";
  }
}

} // namespace

void ReportGpibError() {
  if (!HasBit(VBIB32::ibsta, VBIB32::ERR))
    return;
  const std::int16_t code = VBIB32::iberr;
  const std::int16_t button = Show(DriverFailureLine(code) + ErrorText(code) + LF + SelectOkOrCancel,
                                   StyleExclamationOkCancel, GpibErrorTitle + Str(code));
  if (button == Module1::IdCancel) {
    skeld::EndProgram(ExitStatus);
    return;
  }
  GpibWriteFailed = -1;
}

void ReportDeviceError() {
  Show(DeviceNotConfigured, StyleStop, DeviceErrorTitle);
  skeld::EndProgram(ExitStatus);
}

} // namespace VBIB32QX
