#include "app/ReadCommand.h"

#include "app/ScopeStartUp.h"
#include "app/TdsConversation.h"
#include "app/TerminalText.h"
#include "gpib/Vbib32Qx.h"
#include "gpib/adapter/GpibInterface.h"
#include "gpib/adapter/InterfaceChoice.h"
#include "output/ErrorLogFormats.h"
#include "platform/GpibText.h"
#include "ui/Module1.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScopeGuard>

#include <cstdio>
#include <string>

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
}

std::optional<int> RunReadCommand(int &argc, char **argv, const QCommandLineParser &parser,
                                  const gpibadapter::GpibInterface &where) {
  if (!parser.isSet(QLatin1String(ReadName))) {
    for (const char *name : {FormatName, OutputName, ClearName, YesName})
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

  // No widgets and no fonts: the events the pauses let run are the adapter's only.
  QCoreApplication app(argc, argv);
  const gpibadapter::InterfaceChoice gpibInterface(where);
  // Every box of the window is a failure told here; none waits for an answer.
  int failures = 0;
  Module1::SetMessBoxResponder([&failures](const Module1::MessBoxRequest &request) {
    ++failures;
    return Module1::AnswerOnStandardError(request);
  });
  const auto forget = qScopeGuard([] { Module1::SetMessBoxResponder(nullptr); });

  ErrorLogOutput::LogReading reading;
  reading.gpibInterface = gpibadapter::InterfaceText(where);
  std::int16_t handle = 0;
  OpenScope(handle);
  std::int16_t zeroEndsLog = 0;
  StartUpSteps steps;
  steps.identified = [&](const ScopeIdentity &identity) {
    reading.model = FromGpib(identity.model);
    zeroEndsLog = identity.zeroEndsLog;
  };
  steps.connected = [&] { reading.gpibAddress = VBIB32QX::DevGpibAddr; };
  steps.read = [&] {
    TdsConversation(handle).ReadLog(
        zeroEndsLog, [&](const std::string &entry) { reading.entries.append(FromGpib(entry)); });
    reading.time = QDateTime::currentDateTime();
  };
  const ScopeIdentity id = ContinueStartUp(handle, steps);
  if (id.support == ScopeSupport::FirmwareRefused) {
    std::fprintf(stderr, "%s\n",
                 qPrintable(FirmwareRefusal(FromGpibOneLine(id.model)).join(QLatin1Char('\n'))));
    return ReadFailed;
  }

  if (output.isEmpty())
    MakeSafeForTerminal(format, reading);
  // What was read is written also after a failure, which the status tells.
  const QByteArray bytes = ErrorLogOutput::FormatLog(format, reading);
  if (output.isEmpty()) {
    if (!WriteStandardOutput(bytes)) {
      std::fputs("The error log could not be written to standard output.\n", stderr);
      return ReadFailed;
    }
  } else if (const QString failure = ErrorLogOutput::WriteLogFile(output, bytes); !failure.isEmpty()) {
    std::fprintf(stderr, "The error log could not be written to\n%s\n\n%s\n", qPrintable(output),
                 qPrintable(failure));
    return ReadFailed;
  }
  // Cleared only when the whole log is safely written.
  if (failures > 0)
    return ReadFailed;
  if (clear)
    TdsConversation(handle).Clear();
  return failures > 0 ? ReadFailed : LogRead;
}

} // namespace skeld
