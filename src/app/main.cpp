#include "app/LogLimitOption.h"
#include "app/ReadCommand.h"
#include "app/ViewerSession.h"
#include "platform/AppInfo.h"
#include "route/Route.h"
#include "route/RouteStartup.h"
#include "ui/FontTwins.h"
#include "ui/MessBox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <optional>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr int BadCommandLine = 2;
using route::InterfaceVariable;

QString ProgramName(char **argv) { return QFileInfo(QString::fromLocal8Bit(argv[0])).fileName(); }

int Refuse(char **argv, const QString &why) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(ProgramName(argv)), qPrintable(why));
  return BadCommandLine;
}

// The toolkit's own options (-platform offscreen, -style ...) are taken by the application
// object later; they are known here only so that they are not refused.
void AcceptToolkitOptions(QCommandLineParser &parser) {
  for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                           "qwindowicon", "qwindowtitle", "style", "stylesheet", "display", "geometry",
                           "title", "name", "session", "qmljsdebugger"}) {
    QCommandLineOption option{QString::fromLatin1(name)};
    option.setValueName(QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption option{QString::fromLatin1(name)};
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

#if defined(__linux__) || defined(__unix__)
// Without a display Qt's platform plugin aborts the process with a text that says nothing of
// --read; this says it first. A platform named by option or variable is left to Qt.
bool DisplayMissing(const QCommandLineParser &parser) {
  if (parser.isSet(QStringLiteral("platform")))
    return false;
  for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    if (!qEnvironmentVariableIsEmpty(name))
      return false;
  return true;
}
#endif

#ifdef _WIN32
// A windowed program starts without a console, so that the Start menu opens no console window
// beside the viewer. Started from a command prompt (--read, --help), it writes to that prompt's
// console; a pipe or file it was given (a redirection, a calling program) is kept as it is.
bool UseCallersConsole() {
  auto missing = [](DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE || GetFileType(handle) == FILE_TYPE_UNKNOWN;
  };
  const bool out = missing(STD_OUTPUT_HANDLE);
  const bool err = missing(STD_ERROR_HANDLE);
  if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS))
    return false;
  // A stream the console cannot take stays as it was: there is nowhere else to write.
  auto toConsole = [](std::FILE *stream) { return std::freopen("CONOUT$", "w", stream) != nullptr; };
  if (out)
    toConsole(stdout);
  if (err)
    toConsole(stderr);
  return true;
}
#endif

} // namespace

int main(int argc, char **argv) {
#ifdef _WIN32
  const bool tiedToConsole = UseCallersConsole();
#endif
  QCoreApplication::setApplicationName(skeld::AppTitle());
  QCoreApplication::setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(skeld::AppMajor()).arg(skeld::AppMinor()).arg(skeld::AppRevision()));

  // Read before the application object exists, so that --help, --version and a bad command
  // line need no display and open no window.
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral(
          "Reads the error log of a Tektronix TDS oscilloscope over GPIB.\n\nInterfaces (INTERFACE):\n") +
      route::RouteForms() +
      QStringLiteral("\n%1=INTERFACE chooses one too; --interface wins. Without either, the interface "
                     "that last reached a scope is used, else ni. On a bus, --address N picks the scope "
                     "at GPIB address N; without it, the first TDS found.")
          .arg(QLatin1String(InterfaceVariable)));
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption versionOption = parser.addVersionOption();
  const QCommandLineOption interfaceOption(QStringLiteral("interface"),
                                           QStringLiteral("The GPIB interface to use (see above)."),
                                           QStringLiteral("INTERFACE"));
  parser.addOption(interfaceOption);
  const QCommandLineOption addressOption(
      QStringLiteral("address"),
      QStringLiteral("The GPIB address of the scope (1 to 30); without it, the first TDS found."),
      QStringLiteral("N"));
  parser.addOption(addressOption);
  const QCommandLineOption forgetOption(QStringLiteral("forget"),
                                        QStringLiteral("Forget the remembered interface and hosts first."));
  const QCommandLineOption noRememberOption(QStringLiteral("no-remember"),
                                            QStringLiteral("Neither use nor change what is remembered."));
  parser.addOptions({forgetOption, noRememberOption});
  skeld::AddReadOptions(parser);
  skeld::AddMaxEntriesOption(parser);
  AcceptToolkitOptions(parser);
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments.append(QString::fromLocal8Bit(argv[i]));
  if (!parser.parse(arguments))
    return Refuse(argv, parser.errorText());
  if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
    QString help = parser.helpText();
    help.replace(QStringLiteral("<executable_name>"), ProgramName(argv));
    std::fputs(qPrintable(help), stdout);
    return 0;
  }
  // Written here, not by the parser, which on Windows may put it in a message box instead.
  if (parser.isSet(versionOption)) {
    std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()));
    return 0;
  }
  if (!parser.positionalArguments().isEmpty())
    return Refuse(argv,
                  QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

  if (QString why; !skeld::ApplyMaxEntriesOption(parser, why))
    return Refuse(argv, why);

  route::remembered::SetEnabled(!parser.isSet(noRememberOption));
  if (parser.isSet(forgetOption) && route::remembered::Enabled())
    route::remembered::Forget();
  const auto given = [&](const QCommandLineOption &option) {
    return parser.isSet(option) ? std::optional<QString>(parser.value(option)) : std::nullopt;
  };
  route::StartupRoute start;
  QString error;
  if (!route::ResolveStartupRoute(given(interfaceOption), given(addressOption), start, error))
    return Refuse(argv, error);

  if (const std::optional<int> status = skeld::RunReadCommand(argc, argv, parser, start.where))
    return *status;

#if defined(__linux__) || defined(__unix__)
  if (DisplayMissing(parser)) {
    std::fprintf(stderr,
                 "%s: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                 "--read reads the error log without one.\n",
                 qPrintable(ProgramName(argv)));
    return 1;
  }
#endif
#ifdef _WIN32
  // The window is not tied to the prompt it was started from: closing that prompt would end it.
  if (tiedToConsole)
    FreeConsole();
#endif
  QApplication app(argc, argv);
  skeld::UseCoreFontsForLiberation();
  MessBox::RegisterAsPresenter();
  ViewerSession session(start);
  session.Start();
  return QApplication::exec();
}
