// gpibsim-adapter --dialect prologix|ar488 (--pty | --tcp PORT) [--vanish-after-reads N] [--mute]
//                 [--hold-ms MS] [--late-read N:MS] [--flood-ver]
// gpibsim-adapter --rs232 [--hold-ms MS]
// A simulated "++" GPIB adapter on the simulated bus (GPIBSIM_BUS, GPIBSIM_TRACE as for
// libgpib.so.0), or with --rs232 the bus's first TDS on its own serial port (a
// pseudo-terminal). Prints where to reach it on one line, then serves until it is killed or
// its standard input ends.
#include "sim/SimBus.h"
#include "sim/adapter/SimulatedAdapter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

using gpibsim::SimulatedAdapter;

constexpr int UsageStatus = 2;

std::optional<SimulatedAdapter::Options> ParseOptions(const QStringList &arguments, QString &error) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("A simulated Prologix or AR488 GPIB adapter on the simulated bus."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption dialect(QStringLiteral("dialect"), QStringLiteral("The \"++\" dialect spoken."),
                                   QStringLiteral("prologix|ar488"));
  const QCommandLineOption pty(QStringLiteral("pty"), QStringLiteral("Serve on a new pseudo-terminal."));
  const QCommandLineOption tcp(QStringLiteral("tcp"),
                               QStringLiteral("Serve on 127.0.0.1:PORT (0: a free port)."),
                               QStringLiteral("PORT"));
  const QCommandLineOption vanish(
      QStringLiteral("vanish-after-reads"),
      QStringLiteral("Serve N ++read commands; at the next one close the link and end."),
      QStringLiteral("N"));
  const QCommandLineOption mute(QStringLiteral("mute"), QStringLiteral("Never answer anything."));
  const QCommandLineOption hold(
      QStringLiteral("hold-ms"),
      QStringLiteral("Hold every reply MS milliseconds before it goes out (the latency "
                     "timer of a USB serial chip)."),
      QStringLiteral("MS"));
  const QCommandLineOption late(
      QStringLiteral("late-read"),
      QStringLiteral("The reply to the Nth ++read goes out MS milliseconds late; what follows waits."),
      QStringLiteral("N:MS"));
  const QCommandLineOption flood(QStringLiteral("flood-ver"),
                                 QStringLiteral("Answer ++ver with 64 MiB of bytes and no line end."));
  const QCommandLineOption rs232(
      QStringLiteral("rs232"),
      QStringLiteral("No adapter: the bus's first TDS on its own serial port, a new pseudo-terminal."));
  parser.addOptions({dialect, pty, tcp, vanish, mute, hold, late, flood, rs232});

  if (!parser.parse(arguments)) {
    error = parser.errorText();
    return std::nullopt;
  }
  if (parser.isSet(help)) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    std::exit(0);
  }
  SimulatedAdapter::Options options;
  const QString name = parser.value(dialect);
  bool ok = true;
  options.scopePort = parser.isSet(rs232);
  if (options.scopePort) {
    for (const QCommandLineOption &adapterOnly : {dialect, tcp, vanish, mute, late, flood})
      if (parser.isSet(adapterOnly))
        error = QStringLiteral("--rs232 takes no --") + adapterOnly.names().front();
  } else if (name == QLatin1String("prologix"))
    options.dialect = gpibsim::Dialect::Prologix;
  else if (name == QLatin1String("ar488"))
    options.dialect = gpibsim::Dialect::Ar488;
  else
    error = QStringLiteral("--dialect must be prologix or ar488");
  if (parser.isSet(pty) == parser.isSet(tcp) && !options.scopePort)
    error = QStringLiteral("give exactly one of --pty and --tcp PORT");
  if (parser.isSet(tcp)) {
    options.transport = SimulatedAdapter::Transport::Tcp;
    options.port = parser.value(tcp).toUShort(&ok);
    if (!ok)
      error = QStringLiteral("--tcp needs a port from 0 to 65535");
  }
  if (parser.isSet(vanish)) {
    options.vanishAfterReads = parser.value(vanish).toInt(&ok);
    if (!ok || options.vanishAfterReads < 0)
      error = QStringLiteral("--vanish-after-reads needs a count from 0");
  }
  if (!parser.positionalArguments().isEmpty())
    error = QStringLiteral("unexpected argument ") + parser.positionalArguments().front();
  options.mute = parser.isSet(mute);
  if (parser.isSet(hold)) {
    options.holdMs = parser.value(hold).toInt(&ok);
    if (!ok || options.holdMs < 0 || options.holdMs > 10000)
      error = QStringLiteral("--hold-ms needs milliseconds from 0 to 10000");
  }
  if (parser.isSet(late)) {
    const QStringList parts = parser.value(late).split(QLatin1Char(':'));
    bool msOk = false;
    if (parts.size() == 2) {
      options.lateRead = parts[0].toInt(&ok);
      options.lateMs = parts[1].toInt(&msOk);
    }
    if (!ok || !msOk || options.lateRead < 1 || options.lateMs < 0 || options.lateMs > 60000)
      error = QStringLiteral("--late-read needs N:MS, a read from 1 and milliseconds from 0 to 60000");
  }
  options.floodVersion = parser.isSet(flood);
  if (!error.isEmpty())
    return std::nullopt;
  return options;
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  QString error;
  const std::optional<SimulatedAdapter::Options> options = ParseOptions(app.arguments(), error);
  if (!options) {
    std::fprintf(stderr, "gpibsim-adapter: %s\n", qPrintable(error));
    return UsageStatus;
  }

  gpibsim::ConfigureFromEnvironment();
  SimulatedAdapter adapter(*options);
  if (!adapter.Start(error)) {
    std::fprintf(stderr, "gpibsim-adapter: %s\n", qPrintable(error));
    return 1;
  }
  QObject::connect(&adapter, &SimulatedAdapter::vanished, &app, [] { QCoreApplication::exit(0); });

  // The end of standard input ends the adapter: a test that started it with a pipe closes it.
  std::optional<QSocketNotifier> input;
  if (fcntl(STDIN_FILENO, F_GETFD) != -1) {
    input.emplace(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&*input, &QSocketNotifier::activated, &app, [] {
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
        QCoreApplication::exit(0);
    });
  }

  std::printf("%s\n", qPrintable(adapter.Endpoint()));
  std::fflush(stdout);
  return app.exec();
}
