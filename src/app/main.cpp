#include "app/ErrorLogForm.h"
#include "gpib/adapter/InterfaceChoice.h"
#include "gpib/adapter/InterfaceSpec.h"
#include "platform/AppInfo.h"
#include "ui/MessBox.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>

namespace {

constexpr int BadCommandLine = 2;
const char *const InterfaceVariable = "SKELD_GPIB_INTERFACE";

int Refuse(const QString &why) {
  std::fprintf(stderr, "%s: %s\n", qPrintable(QFileInfo(QCoreApplication::applicationFilePath()).fileName()),
               qPrintable(why));
  return BadCommandLine;
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(skeld::AppTitle());
  QApplication::setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(skeld::AppMajor()).arg(skeld::AppMinor()).arg(skeld::AppRevision()));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral(
          "Reads the error log of a Tektronix TDS oscilloscope over GPIB.\n\nInterfaces (SPEC):\n") +
      gpibadapter::InterfaceForms() +
      QStringLiteral("\n%1=SPEC chooses one too; --interface wins.").arg(QLatin1String(InterfaceVariable)));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption interfaceOption(QStringLiteral("interface"),
                                           QStringLiteral("The GPIB interface to use (see above)."),
                                           QStringLiteral("SPEC"));
  parser.addOption(interfaceOption);
  if (!parser.parse(QApplication::arguments()))
    return Refuse(parser.errorText());
  if (parser.isSet(QStringLiteral("help")))
    parser.showHelp(0);
  if (parser.isSet(QStringLiteral("version")))
    parser.showVersion();
  if (!parser.positionalArguments().isEmpty())
    return Refuse(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

  const bool fromOption = parser.isSet(interfaceOption);
  const QString text = fromOption ? parser.value(interfaceOption) : qEnvironmentVariable(InterfaceVariable);
  gpibadapter::InterfaceSpec spec;
  QString error;
  if ((fromOption || !text.isEmpty()) && !gpibadapter::ParseInterfaceSpec(text, spec, error))
    return Refuse(fromOption ? QStringLiteral("--interface: ") + error
                             : QLatin1String(InterfaceVariable) + QStringLiteral(": ") + error);
  const gpibadapter::InterfaceChoice gpibInterface(spec);

  MessBox::RegisterAsPresenter();
  ErrorLogForm form;
  form.Load();
  form.adjustSize();
  skeld::CentreOnScreen(form);
  form.show();
  return QApplication::exec();
}
