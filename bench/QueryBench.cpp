#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "sim/SimBus.h"

#include <QCoreApplication>

#include "ProcessCpu.h"

#include <chrono>
#include <cstdio>
#include <string>

// Each query pauses 0.1 s between command and reply; the pause should cost its time and
// next to no processor.
int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  constexpr int Queries = 50;
  constexpr double Pause = 0.1;

  gpibsim::Configure(gpibsim::DefaultBus());
  VBIB32::UseDriver(&gpibsim::InProcessDriver());
  VBIB32QX::DevTimeout = VBIB32::T3s;
  std::int16_t mode = 1;
  VBIB32QX::InitGpibBus(mode);
  std::string query = "ID?", expected = "TDS";
  std::int16_t handle = VBIB32QX::OpenGpibDevice(query, expected);
  if (handle == 0) {
    std::fprintf(stderr, "no instrument on the simulated bus\n");
    return 1;
  }

  std::size_t replyBytes = 0;
  const double cpuStart = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < Queries; ++i)
    replyBytes += VBIB32QX::GpibQuery(handle, "ID?").size();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ProcessCpuSeconds() - cpuStart;

  std::printf("%d GpibQuery(\"ID?\") calls, %zu reply bytes\n", Queries, replyBytes);
  std::printf("wall %.4f s, cpu %.4f s\n", wall, cpu);
  std::printf("wall / (%d x %.1f s) = %.4f (goal <= 1.03)\n", Queries, Pause, wall / (Queries * Pause));
  std::printf("cpu / wall = %.4f (goal <= 0.02)\n", cpu / wall);
  VBIB32::UseDriver(nullptr);
  return 0;
}
