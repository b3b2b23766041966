#include "app/ReadCommand.h"

#include "app/ScopeStartUp.h"
#include "app/TdsConversation.h"
#include "app/TerminalText.h"
#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "output/ErrorLogFormats.h"
#include "platform/EndProgram.h"
#include "platform/GpibText.h"
#include "route/Route.h"
#include "route/RouteInstall.h"
#include "route/plus/AdapterPorts.h"
#include "ui/Module1.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace skeld {

namespace {

constexpr int LogRead = 0;
constexpr int ReadFailed = 1;
constexpr int BadCommandLine = 2;

const char *const ReadName = "read";
const char *const FormatName = "format";
const char *const OutputName = "output";
const char *const ClearName = "clear";
const char *const YesName = "yes";
const char *const AllName = "all";

const char *const ExitStatusHelp =
    "\n\nExit status: 0 when the log was read (also when it is empty), or the window was\n"
    "closed; 1 when no scope answers, its model is not supported, its firmware is refused\n"
    "(--read), GPIB failed or the log could not be written (the message is on standard\n"
    "error); 2 for a bad command line.";

int Refuse(char **argv, const QString &why) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName()),
               qPrintable(why));
  return BadCommandLine;
}

bool ParseFormat(const QString &text, ErrorLogOutput::LogFormat &format) {
  using ErrorLogOutput::LogFormat;
  if (text == QLatin1String("text"))
    format = LogFormat::Text;
  else if (text == QLatin1String("csv"))
    format = LogFormat::Csv;
  else if (text == QLatin1String("json"))
    format = LogFormat::Json;
  else
    return false;
  return true;
}

bool WriteStandardOutput(const QByteArray &bytes) {
#ifdef _WIN32
  // The bytes as they are: no CR added before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::size_t size = static_cast<std::size_t>(bytes.size());
  return std::fwrite(bytes.constData(), 1, size, stdout) == size && std::fflush(stdout) == 0;
}

// Writes the bytes where --output says; false after telling why on standard error.
bool WriteLog(const QString &output, const QByteArray &bytes) {
  if (output.isEmpty()) {
    if (WriteStandardOutput(bytes))
      return true;
    std::fputs("The error log could not be written to standard output.\n", stderr);
    return false;
  }
  if (const QString failure = ErrorLogOutput::WriteLogFile(output, bytes); !failure.isEmpty()) {
    std::fprintf(stderr, "The error log could not be written to\n%s\n\n%s\n", qPrintable(output),
                 qPrintable(failure));
    return false;
  }
  return true;
}

// How the start-up conversation with one scope went.
struct ScopeRun {
  ErrorLogOutput::LogReading reading;
  std::int16_t handle = 0;
  bool logRead = false; // the reading step was reached
  bool refused = false; // its firmware was refused
  int failures = 0;     // boxes told on standard error
};

// The program's end for one scope of several: the others are still read.
struct ScopeEnded {
  int code;
};

// The window's start-up conversation through the route installed, its boxes told on standard
// error; a fatal one ends the program, or throws ScopeEnded when a handler is set for it.
void RunScope(const route::Route &where, ScopeRun &run) {
  Module1::SetMessBoxResponder([&run](const Module1::MessBoxRequest &request) {
    ++run.failures;
    return Module1::AnswerOnStandardError(request);
  });
  const auto forget = qScopeGuard([] { Module1::SetMessBoxResponder(nullptr); });
  // The address has a field of its own.
  run.reading.gpibInterface = route::RouteText(route::Route(where.way));
  OpenScope(run.handle);
  std::int16_t zeroEndsLog = 0;
  StartUpSteps steps;
  steps.identified = [&](const ScopeIdentity &identity) {
    run.reading.model = FromGpib(identity.model);
    zeroEndsLog = identity.zeroEndsLog;
  };
  steps.connected = [&] {
    if (where.IsBus())
      run.reading.gpibAddress = VBIB32QX::DevGpibAddr;
  };
  steps.read = [&] {
    run.logRead = true;
    // A reading cut off by the program's end still has its date.
    run.reading.time = QDateTime::currentDateTime();
    TdsConversation(run.handle).ReadLog(zeroEndsLog, [&](const std::string &entry) {
      run.reading.entries.append(FromGpib(entry));
    });
    run.reading.time = QDateTime::currentDateTime();
  };
  const ScopeIdentity id = ContinueStartUp(run.handle, steps);
  if (id.support == ScopeSupport::FirmwareRefused) {
    run.refused = true;
    std::fprintf(stderr, "%s\n",
                 qPrintable(FirmwareRefusal(FromGpibOneLine(id.model)).join(QLatin1Char('\n'))));
  }
}

// RunScope with the program's end turned into a return: the code a fatal report would have
// ended the program with, so that what was read before it can still be written.
std::optional<int> RunScopeToItsEnd(const route::Route &where, ScopeRun &run) {
  const EndProgramHandler previous = SetEndProgramHandler([](int code) { throw ScopeEnded{code}; });
  std::optional<int> ended;
  try {
    RunScope(where, run);
  } catch (const ScopeEnded &end) {
    ended = end.code;
  }
  SetEndProgramHandler(previous);
  return ended;
}

// The addresses of the listeners that answer "ID?" as a TDS, in address order. A bus without
// listeners ends the program as a single reading would.
std::vector<int> TdsAddresses() {
  Module1::SetMessBoxResponder(Module1::AnswerOnStandardError);
  const auto forget = qScopeGuard([] { Module1::SetMessBoxResponder(nullptr); });
  VBIB32QX::ResetModuleState();
  VBIB32QX::DevTimeout = VBIB32::T3s;
  std::int16_t fatal = 1;
  VBIB32QX::InitGpibBus(fatal);
  std::vector<int> addresses;
  for (;;) {
    std::string query = "ID?";
    std::string silent = "!TDS";
    const std::int16_t handle = VBIB32QX::OpenGpibDevice(query, silent);
    if (handle == 0)
      break;
    addresses.push_back(VBIB32QX::ListenerAddressOf(handle));
  }
  std::sort(addresses.begin(), addresses.end());
  return addresses;
}

// --all: every TDS on the bus, each read as --address would read it alone.
int ReadEveryScope(route::RouteInstall &install, ErrorLogOutput::LogFormat format, const QString &output) {
  const std::vector<int> addresses = TdsAddresses();
  QList<ErrorLogOutput::LogReading> readings;
  bool failed = false;
  for (const int address : addresses) {
    install.ChooseAddress(address);
    VBIB32QX::ResetModuleState();
    ScopeRun run;
    if (RunScopeToItsEnd(install.Where(), run))
      ++run.failures;
    if (run.logRead && output.isEmpty())
      MakeSafeForTerminal(format, run.reading);
    if (run.logRead)
      readings.append(run.reading);
    if (run.failures > 0 || run.refused || !run.logRead) {
      failed = true;
      std::fprintf(stderr, "The scope at GPIB address %d was not read to the end of its log.\n", address);
    }
  }
  if (addresses.empty()) {
    // No TDS answered: the single reading says so in its own words, and ends.
    install.ChooseAddress(std::nullopt);
    VBIB32QX::ResetModuleState();
    ScopeRun run;
    RunScope(install.Where(), run);
    return ReadFailed;
  }
  if (!WriteLog(output, ErrorLogOutput::FormatLogs(format, readings)))
    return ReadFailed;
  return failed ? ReadFailed : LogRead;
}

// The route is tried before any conversation, so that one that cannot be used is told once:
// a route's driver writes its own line, the driver library's failure comes with the other ways
// to the bus. Later failures are told by the driver too, and the reports leave them out.
std::unique_ptr<route::RouteInstall> ConnectOnce(const route::Route &where) {
  VBIB32::SetFailuresToldWhereTheyHappen(true);
  QString why;
  std::unique_ptr<route::RouteInstall> install = route::RouteInstall::Connect(where, why);
  if (!install && where.IsLibrary())
    std::fprintf(stderr, "GPIB driver library could not be used: %s\n\n%s\n", qPrintable(why),
                 gpibadapter::NoDriverAdvice().c_str());
  return install;
}

} // namespace

void AddReadOptions(QCommandLineParser &parser) {
  parser.setApplicationDescription(parser.applicationDescription() + QLatin1String(ExitStatusHelp));
  parser.addOption(
      {QLatin1String(ReadName),
       QStringLiteral("Reads the log without a window and writes it to standard output; messages go "
                      "to standard error and nothing waits for a key.")});
  parser.addOption(
      {QLatin1String(FormatName),
       QStringLiteral("With --read: text (the layout of Copy to File, the default), csv or json."),
       QStringLiteral("FORMAT")});
  parser.addOption({QLatin1String(OutputName),
                    QStringLiteral("With --read: writes the log to FILE, replacing it only once complete."),
                    QStringLiteral("FILE")});
  parser.addOption({QLatin1String(ClearName),
                    QStringLiteral("With --read: clears the log in the scope once it has been read and "
                                   "written without failure; needs --yes.")});
  parser.addOption({QLatin1String(YesName), QStringLiteral("Confirms --clear.")});
  parser.addOption({QLatin1String(AllName),
                    QStringLiteral("With --read: reads every TDS on the bus, one after the other, in address "
                                   "order; exit status 0 only when each was read.")});
}

std::optional<int> RunReadCommand(int &argc, char **argv, const QCommandLineParser &parser,
                                  const route::Route &where) {
  if (!parser.isSet(QLatin1String(ReadName))) {
    for (const char *name : {FormatName, OutputName, ClearName, YesName, AllName})
      if (parser.isSet(QLatin1String(name)))
        return Refuse(argv, QStringLiteral("--%1 is used with --read").arg(QLatin1String(name)));
    return std::nullopt;
  }
  ErrorLogOutput::LogFormat format = ErrorLogOutput::LogFormat::Text;
  if (parser.isSet(QLatin1String(FormatName)) &&
      !ParseFormat(parser.value(QLatin1String(FormatName)), format))
    return Refuse(argv, QStringLiteral("--format: \"%1\" is not text, csv or json")
                            .arg(parser.value(QLatin1String(FormatName))));
  const bool clear = parser.isSet(QLatin1String(ClearName));
  if (clear && !parser.isSet(QLatin1String(YesName)))
    return Refuse(argv, QStringLiteral("--clear erases the log in the scope; confirm it with --yes"));
  const QString output = parser.value(QLatin1String(OutputName));
  if (parser.isSet(QLatin1String(OutputName)) && output.isEmpty())
    return Refuse(argv, QStringLiteral("--output: no file named"));
  const bool all = parser.isSet(QLatin1String(AllName));
  if (all && where.address)
    return Refuse(argv, QStringLiteral("--all reads every scope on the bus; it takes no address"));
  if (all && clear)
    return Refuse(argv, QStringLiteral("--clear clears one scope; name it with --address instead of --all"));

  // No widgets and no fonts: the events the pauses let run are the route's only.
  QCoreApplication app(argc, argv);
  const std::unique_ptr<route::RouteInstall> install = ConnectOnce(where);
  if (!install)
    return ReadFailed;
  if (all)
    return ReadEveryScope(*install, format, output);

  ScopeRun run;
  const std::optional<int> ended = RunScopeToItsEnd(where, run);
  if (run.refused)
    return ReadFailed;
  // Ended before the log was reached: there is nothing to write.
  if (ended && !run.logRead)
    return *ended;
  if (output.isEmpty())
    MakeSafeForTerminal(format, run.reading);
  // What was read is written also after a failure, even one that ends the program (a link
  // lost on a write), which the status tells.
  if (!WriteLog(output, ErrorLogOutput::FormatLog(format, run.reading)))
    return ReadFailed;
  if (ended)
    return *ended;
  // Cleared only when the whole log is safely written.
  if (run.failures > 0)
    return ReadFailed;
  if (clear)
    TdsConversation(run.handle).Clear();
  return run.failures > 0 ? ReadFailed : LogRead;
}

} // namespace skeld
