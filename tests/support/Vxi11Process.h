#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

// The simulated VXI-11 instrument (vxi11sim) on a bus of its own, registered with the
// portmapper of the network namespace the test runs in (lan-namespace.sh). Stopped with a
// signal, it leaves the portmapper; Kill ends it as a power cut would.
class Vxi11Process {
public:
  explicit Vxi11Process(const QByteArray &busJson) {
    QFile bus(dir_.filePath(QStringLiteral("bus.json")));
    EXPECT_TRUE(bus.open(QIODevice::WriteOnly) && bus.write(busJson) == busJson.size());
    bus.close();
    process.start(QStringLiteral(VXI11SIM), {bus.fileName(), dir_.filePath(QStringLiteral("trace.txt"))});
    while (process.waitForReadyRead(5000) && !process.canReadLine()) {
    }
    serving = process.readLine().startsWith("vxi11sim: serving");
    EXPECT_TRUE(serving) << process.readAllStandardError().toStdString();
  }
  ~Vxi11Process() {
    if (process.state() == QProcess::NotRunning)
      return;
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(5000))
      process.kill();
    process.waitForFinished(5000);
  }
  Vxi11Process(const Vxi11Process &) = delete;
  Vxi11Process &operator=(const Vxi11Process &) = delete;

  void Kill() { process.kill(); }
  // Whether the test runs where a portmapper of its own serves (inside lan-namespace.sh).
  static bool InNamespace() { return qgetenv("SKELD_LAN_NAMESPACE") == "inside"; }
  QByteArray Trace() const {
    QFile file(dir_.filePath(QStringLiteral("trace.txt")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QProcess process;
  bool serving = false;

private:
  QTemporaryDir dir_;
};
