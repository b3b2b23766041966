#include "app/ErrorLogForm.h"
#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "route/Route.h"
#include "route/RouteInstall.h"
#include "sim/SimBus.h"
#ifdef __linux__
#include "sim/usbtmc/UsbTmcSim.h"
#endif
#include "ui/Module1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "ProcessCpu.h"
#include "tests/support/BusTrace.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

// Reading a 100-entry log with Refresh through every route: the driver table in process, the
// simulated Prologix and AR488 on a pseudo-terminal, the Prologix over TCP, the scope on its
// own serial port (a pseudo-terminal, which has no rate; the time the same bytes take on a
// 9600-baud line is computed from the simulated scope's trace) and the simulated USBTMC node
// (its system calls taken over in this process), the simulated VXI-11 instrument and gateway
// on loopback (run under tests/route/lan-namespace.sh, which gives them a portmapper); then the
// Prologix
// with every reply held 16 ms as an FTDI chip's default latency timer holds it (and 1 ms, its
// low-latency setting). Each query pauses
// 0.1 s, so the reading cannot take less than 101 x 0.1 s (the last query brings the end
// item); what a query costs beyond its pause is printed. The adapter process's own time is
// not counted.
namespace {

constexpr int Entries = 100;
constexpr int Queries = Entries + 1;

std::string Log() {
  std::string json = R"({"listeners":[{"address":1,"log":[)";
  for (int i = 1; i <= Entries; ++i)
    json += (i > 1 ? "," : "") + std::string("\"Entry ") + std::to_string(i) + ", acquisition fault 0x" +
            std::to_string(100 + i) + "\"";
  return json + "]}]}";
}

// Start-up, then one Refresh measured; false when the list is not whole or a box came up.
bool Measure(const char *what, const std::function<void()> &beforeRefresh = {}) {
  int boxes = 0;
  Module1::SetMessBoxResponder([&](const Module1::MessBoxRequest &request) {
    std::fprintf(stderr, "message box: %s\n", request.prompt.toLocal8Bit().constData());
    ++boxes;
    return std::int16_t{Module1::IdOk};
  });
  VBIB32QX::ResetModuleState();
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  form.show();
  form.Form_Activate();
  if (beforeRefresh)
    beforeRefresh();
  const double cpuStart = ProcessCpuSeconds();
  QElapsedTimer clock;
  clock.start();
  form.RefreshList->click();
  const double wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  const double cpu = ProcessCpuSeconds() - cpuStart;
  std::printf("%-40s %3d entries  wall %6.3f s  wall/(%d x 0.1 s) %.4f  cpu/wall %.4f  per query beyond "
              "its pause %5.1f ms\n",
              what, form.List1->count(), wall, Entries, wall / (Entries * 0.1), cpu / wall,
              (wall - Queries * 0.1) * 1000.0 / Queries);
  Module1::SetMessBoxResponder(nullptr);
  return form.List1->count() == Entries && boxes == 0;
}

std::vector<std::string> TraceLines(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? bustrace::Lines(file.readAll().toStdString())
                                        : std::vector<std::string>{};
}

// The Refresh on the scope's own serial port, and the time its bytes would take on the wire:
// each command with its line feed out, each reply with its line feed back, 10 bits a byte
// (8N1) at 9600 baud.
bool MeasureScopeSerialPort(const QString &port, const QString &tracePath) {
  const route::RouteInstall choice(
      route::Route(route::Rs232Route{port, 9600, route::Rs232Route::Flow::RtsCts}));
  std::size_t from = 0;
  const bool ok =
      Measure("scope's serial port (pseudo-terminal)", [&] { from = TraceLines(tracePath).size(); });
  const std::vector<std::string> trace = TraceLines(tracePath);
  std::size_t sent = 0;
  std::size_t received = 0;
  for (const std::string &command : bustrace::QuotedOf(trace, "ibwrt", from))
    sent += command.size() + 1;
  for (const std::string &reply : bustrace::QuotedOf(trace, "ibrd", from))
    received += reply.size();
  constexpr double BitsPerSecond = 9600.0;
  const double wire = static_cast<double>((sent + received) * 10) / BitsPerSecond;
  std::printf("%-40s %zu bytes out, %zu bytes back: %.3f s on a 9600-baud line, %.1f ms a query "
              "(the pause is %d ms)\n",
              "  the same Refresh on the wire", sent, received, wire, wire * 1000.0 / Queries, 100);
  return ok && sent > 0 && received > 0;
}

#ifdef __linux__
// The simulated VXI-11 instrument serving the bench bus: inst0, then the gateway's bus searched
// over all 30 addresses, timed from the start to the connected caption.
bool MeasureLan(const QString &busPath) {
  if (qgetenv("SKELD_LAN_NAMESPACE") != "inside") {
    std::printf("%-40s skipped: run the bench under tests/route/lan-namespace.sh\n", "vxi11");
    return true;
  }
  QProcess server;
  server.start(QStringLiteral(VXI11SIM), {busPath});
  while (server.waitForReadyRead(5000) && !server.canReadLine()) {
  }
  bool ok = server.readLine().startsWith("vxi11sim: serving");
  {
    const route::RouteInstall choice(route::Vxi11Route{QStringLiteral("127.0.0.1"), QStringLiteral("inst0")});
    ok = Measure("vxi11 inst0 (loopback)") && ok;
  }
  {
    const route::RouteInstall choice(route::Vxi11Route{QStringLiteral("127.0.0.1"), QStringLiteral("gpib0")});
    Module1::SetMessBoxResponder([](const Module1::MessBoxRequest &) { return std::int16_t{Module1::IdOk}; });
    VBIB32QX::ResetModuleState();
    // The caption is looked at while the start waits on the network, in the event loop.
    QElapsedTimer clock;
    clock.start();
    double captionAt = -1;
    ErrorLogForm form;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (captionAt < 0 && form.windowTitle().contains(QStringLiteral("Connected to")))
        captionAt = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    });
    watch.start(1);
    form.SetSplashSeconds(0);
    form.Load();
    form.show();
    form.Form_Activate();
    watch.stop();
    const bool connected = captionAt >= 0;
    std::printf("%-40s start to the connected caption, 30 addresses probed: %.3f s\n",
                "vxi11 gateway gpib0 (loopback)", captionAt);
    Module1::SetMessBoxResponder(nullptr);
    ok = ok && connected;
  }
  ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
  server.waitForFinished(5000);
  return ok;
}
#endif

} // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const std::string busJson = Log();

  gpibsim::BusDescription bus;
  std::string error;
  if (!gpibsim::ParseBusDescription(busJson, "bench bus", bus, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  gpibsim::Configure(bus);
  VBIB32::UseDriver(&gpibsim::InProcessDriver());
  bool ok = Measure("driver table (in process)");
  VBIB32::UseDriver(nullptr);

  QTemporaryDir dir;
  QFile file(dir.filePath(QStringLiteral("bus.json")));
  if (!file.open(QIODevice::WriteOnly) || file.write(busJson.data(), static_cast<qint64>(busJson.size())) < 0)
    return 1;
  file.close();
  // Every route the conformance table runs, then the Prologix on a pseudo-terminal again
  // with its replies held as an FTDI chip's latency timer would hold them.
  struct Way {
    const char *dialect; // nullptr: the scope's own serial port
    bool tcp;
    int holdMs;
  };
  const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
  for (const Way way : {Way{"prologix", false, 0}, Way{"ar488", false, 0}, Way{"prologix", true, 0},
                        Way{nullptr, false, 0}, Way{"prologix", false, 16}, Way{"prologix", false, 1}}) {
    QProcess adapter;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GPIBSIM_BUS"), file.fileName());
    env.remove(QStringLiteral("GPIBSIM_TRACE"));
    if (!way.dialect)
      env.insert(QStringLiteral("GPIBSIM_TRACE"), tracePath);
    adapter.setProcessEnvironment(env);
    QStringList arguments{QStringLiteral("--hold-ms"), QString::number(way.holdMs)};
    if (way.dialect)
      arguments << QStringLiteral("--dialect") << QLatin1String(way.dialect);
    else
      arguments << QStringLiteral("--rs232");
    if (way.dialect)
      arguments << (way.tcp ? QStringList{QStringLiteral("--tcp"), QStringLiteral("0")}
                            : QStringList{QStringLiteral("--pty")});
    adapter.start(QStringLiteral(GPIBSIM_ADAPTER), arguments);
    while (adapter.waitForReadyRead(5000) && !adapter.canReadLine()) {
    }
    const QString endpoint = QString::fromLocal8Bit(adapter.readLine()).trimmed();
    if (!way.dialect) {
      ok = MeasureScopeSerialPort(endpoint.mid(4), tracePath) && ok;
      adapter.closeWriteChannel();
      if (!adapter.waitForFinished(5000))
        adapter.kill();
      continue;
    }
    route::PlusRoute where;
    where.kind = QLatin1String(way.dialect) == QLatin1String("ar488") ? route::PlusRoute::Kind::Ar488
                                                                      : route::PlusRoute::Kind::Prologix;
    if (endpoint.startsWith(QLatin1String("pty "))) {
      where.port = endpoint.mid(4);
    } else if (endpoint.startsWith(QLatin1String("tcp 127.0.0.1:"))) {
      where.tcp = true;
      where.port = QStringLiteral("127.0.0.1");
      where.tcpPort = endpoint.mid(14).toUShort();
    } else {
      std::fprintf(stderr, "the simulated adapter printed \"%s\"\n", qPrintable(endpoint));
      return 1;
    }
    {
      const route::RouteInstall choice(where);
      const std::string what = std::string(way.dialect) + (way.tcp ? " (TCP)" : " (pseudo-terminal)") +
                               (way.holdMs ? ", hold " + std::to_string(way.holdMs) + " ms" : std::string());
      ok = Measure(what.c_str()) && ok;
    }
    adapter.closeWriteChannel();
    if (!adapter.waitForFinished(5000))
      adapter.kill();
  }
#ifdef __linux__
  {
    QTemporaryDir root;
    if (!usbtmcsim::Configure(root.path().toStdString(), bus, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const route::RouteInstall choice(route::UsbTmcRoute{QStringLiteral("/dev/usbtmc0"), 0, 0, QString()});
    ok = Measure("usbtmc (simulated node)") && ok;
  }
  ok = MeasureLan(file.fileName()) && ok;
#endif
  if (!ok)
    std::fprintf(stderr, "expected %d entries each time and no message box\n", Entries);
  return ok ? 0 : 1;
}
