#include "app/ErrorLogForm.h"
#include "gpib/Vbib32.h"
#include "sim/SimBus.h"
#include "ui/Module1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "ProcessCpu.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Measure {
  double wall = 0;
  double cpu = 0;
  int ticks = 0;
};

// Runs one reading with a 20 ms timer beside it: the ticks show the window kept handling
// events, the processor time what the reading cost.
template <typename Reading> Measure Run(ErrorLogForm &form, Reading reading) {
  Measure m;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(20);
  QObject::connect(&ticker, &QTimer::timeout, [&] { m.ticks += form.reading() ? 1 : 0; });
  ticker.start();
  const double cpuStart = ProcessCpuSeconds();
  QElapsedTimer clock;
  clock.start();
  reading();
  m.wall = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  m.cpu = ProcessCpuSeconds() - cpuStart;
  return m;
}

void Print(const char *what, int entries, const Measure &m) {
  std::printf(
      "%-22s %3d entries  wall %6.3f s  cpu %6.3f s  cpu/wall %.4f  ticks %3d (%.0f expected at 20 ms)\n",
      what, entries, m.wall, m.cpu, m.cpu / m.wall, m.ticks, m.wall / 0.020);
}

} // namespace

int main(int argc, char **argv) {
  if (!std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  constexpr int Entries = 100;

  gpibsim::BusDescription bus = gpibsim::DefaultBus();
  bus.listeners.resize(1);
  bus.listeners[0].log.clear();
  for (int i = 1; i <= Entries; ++i)
    bus.listeners[0].log.push_back("Entry " + std::to_string(i) + ", acquisition fault 0x" +
                                   std::to_string(100 + i));
  gpibsim::Configure(bus);
  VBIB32::UseDriver(&gpibsim::InProcessDriver());
  // Any message box would be a failure here; answer it and report it.
  int boxes = 0;
  Module1::SetMessBoxResponder([&](const Module1::MessBoxRequest &request) {
    std::fprintf(stderr, "message box: %s\n", request.prompt.toLocal8Bit().constData());
    ++boxes;
    return std::int16_t{Module1::IdOk};
  });

  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  const Measure startUp = Run(form, [&] {
    form.show();
    form.Form_Activate();
  });
  const int first = form.List1->count();
  const Measure refresh = Run(form, [&] { form.RefreshList->click(); });
  const int second = form.List1->count();

  Print("start-up (to the end)", first, startUp);
  Print("Refresh", second, refresh);
  const bool ok = first == Entries && second == Entries && boxes == 0;
  if (!ok)
    std::fprintf(stderr, "expected %d entries twice and no message box\n", Entries);
  return ok ? 0 : 1;
}
