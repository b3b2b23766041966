#include "app/ConnectDialog.h"
#include "route/plus/AdapterPorts.h"

#include <QApplication>

#include <cstdio>

// connect-preview [FAILURE]: the Connect dialog offered three adapter-like USB ports (made up:
// a pseudo-terminal never shows in the system's list), for looking at it; not a test.
int main(int argc, char **argv) {
  QApplication app(argc, argv);
  gpibadapter::SetPortLister([] {
    return QList<gpibadapter::PortFacts>{
        {"/dev/ttyUSB0", "FT232R USB UART", "FTDI", true, 0x0403, 0x6001},
        {"/dev/ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)", true, 0x2341, 0x0043},
        {"/dev/ttyUSB1", "USB2.0-Serial", "", true, 0x1a86, 0x7523}};
  });
  route::PlusRoute preselect;
  preselect.kind = route::PlusRoute::Kind::Prologix;
  preselect.port = QStringLiteral("/dev/ttyUSB0");
  ConnectDialog dialog(preselect, argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
  const int result = dialog.exec();
  std::printf("%s\n", result == QDialog::Accepted ? "connected" : "cancelled");
  return 0;
}
