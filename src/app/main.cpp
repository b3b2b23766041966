#include "app/ErrorLogForm.h"
#include "gpib/adapter/GpibInterface.h"
#include "gpib/adapter/InterfaceChoice.h"
#include "platform/AppInfo.h"
#include "ui/FontTwins.h"
#include "ui/MessBox.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr int BadCommandLine = 2;
const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

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

} // namespace

int main(int argc, char **argv) {
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
      gpibadapter::InterfaceForms() +
      QStringLiteral("\n%1=INTERFACE chooses one too; --interface wins.")
          .arg(QLatin1String(InterfaceVariable)));
  const QCommandLineOption helpOption = parser.addHelpOption();
  const QCommandLineOption versionOption = parser.addVersionOption();
  const QCommandLineOption interfaceOption(QStringLiteral("interface"),
                                           QStringLiteral("The GPIB interface to use (see above)."),
                                           QStringLiteral("INTERFACE"));
  parser.addOption(interfaceOption);
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
  if (parser.isSet(versionOption))
    parser.showVersion();
  if (!parser.positionalArguments().isEmpty())
    return Refuse(argv,
                  QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

  const bool fromOption = parser.isSet(interfaceOption);
  const QString text = fromOption ? parser.value(interfaceOption) : qEnvironmentVariable(InterfaceVariable);
  gpibadapter::GpibInterface where;
  QString error;
  if ((fromOption || !text.isEmpty()) && !gpibadapter::ParseGpibInterface(text, where, error))
    return Refuse(argv, fromOption ? QStringLiteral("--interface: ") + error
                                   : QLatin1String(InterfaceVariable) + QStringLiteral(": ") + error);

  QApplication app(argc, argv);
  skeld::UseCoreFontsForLiberation();
  const gpibadapter::InterfaceChoice gpibInterface(where);

  MessBox::RegisterAsPresenter();
  ErrorLogForm form;
  form.Load();
  form.adjustSize();
  skeld::CentreOnScreen(form);
  form.show();
  return QApplication::exec();
}
