#include "output/DefaultPrinter.h"
#include "output/ErrorLogExport.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "output/PrintModule.h"
#include "output/PrintSurface.h"
#include "output/Spooler.h"
#include "ui/Module1.h"

#include "ui/WaitCursor.h"

#include <QApplication>
#include <QDir>
#include <QPrinter>

#include <cstdint>
#include <optional>

namespace ErrorLogOutput {

namespace {
#ifdef Q_OS_WIN
constexpr char kFontFamily[] = "Arial Narrow";
#else
// The metric twin of Arial Narrow: the same widths, so the same lines.
constexpr char kFontFamily[] = "Liberation Sans Narrow";
#endif
constexpr qreal kFontPoints = 10;
constexpr float kColumn = 8;
constexpr float kTopMargin = 15; // the header, and the first line of every later page
constexpr float kLineStep = 5;
constexpr std::int16_t kBlack = 0;
constexpr char kFailureTitle[] = "Print";
constexpr char kFailurePrompt[] = "The error log could not be printed.";
constexpr char kQueueRefused[] = "The printer's queue refused the job: ";
constexpr char kFileNotWritten[] = "The file could not be written: ";
constexpr char kNoPrinter[] = "No printer is installed.";
constexpr char kPrinterFailed[] = "The printer %1 could not take the job.";
constexpr char kUnnamedPrinterFailed[] = "The printer could not take the job.";

// The second line of the failure box: why, as far as anyone said.
QString FailureReason(const QPrinter &printer, const PrintFailed &failure) {
  if (!failure.spoolerSaid.isEmpty())
    return QLatin1String(kQueueRefused) + failure.spoolerSaid;
  if (!printer.outputFileName().isEmpty())
    return QLatin1String(kFileNotWritten) + QDir::toNativeSeparators(printer.outputFileName());
  if (!DefaultPrinter::ActiveSpooler().AnyPrinterInstalled())
    return QLatin1String(kNoPrinter);
  return printer.printerName().isEmpty() ? QLatin1String(kUnnamedPrinterFailed)
                                         : QString::fromLatin1(kPrinterFailed).arg(printer.printerName());
}
} // namespace

void PrintErrorLog(const QStringList &entries, const QString &scopeModel, QWidget *owner) {
  QPrinter printer(QPrinter::HighResolution);
  PrintSurface surface(printer);
  // Where the print dialog makes the chosen printer the system default (Windows), the
  // default is put back afterwards; elsewhere both reads agree and nothing is switched.
  const QString savedPrinter = surface.DeviceName();
  const std::optional<int> copies = AskPrintSetup(owner, printer);
  if (!copies)
    return;
  // Every copy is a job of its own, so the printer must make one of each.
  printer.setCopyCount(1);

  std::optional<QString> failure;
  QString printerNow;
  {
    skeld::WaitCursor wait;
    try {
      surface.SetFont(QFont(QLatin1String(kFontFamily), kFontPoints));
      const QString header = LogHeaderText(scopeModel);
      // Every copy is the whole document: the header, then every entry, page after page.
      for (int copy = 1; copy <= *copies; ++copy) {
        PrintModule::PrintText(surface, header, kColumn, kTopMargin, kBlack);
        PrintModule::MovePrintPos(surface, kColumn, -kLineStep);
        const qsizetype count = entries.size();
        for (qsizetype i = 0; i < count; ++i) {
          const bool fits = surface.LineFits(
              surface.CurrentY() + static_cast<float>(kLineStep * PrintModule::kTwipsPerMillimetre));
          if (!fits)
            surface.NewPage();
          PrintModule::PrintText(surface, entries.at(i), kColumn, fits ? -kLineStep : kTopMargin, kBlack);
        }
        surface.EndDoc();
      }
    } catch (const PrintFailed &failed) {
      failure = FailureReason(printer, failed);
    }
    printerNow = surface.DeviceName();
  }
  // With no default before the dialog there is nothing to go back to.
  if (!savedPrinter.isEmpty() && printerNow != savedPrinter)
    DefaultPrinter::SwitchDefaultPrinter(savedPrinter);
  // The user must not believe the log was printed when it was not.
  if (failure)
    Module1::ShowMessBox(QLatin1String(kFailurePrompt) + QLatin1Char('\n') + *failure,
                         Module1::Style::Exclamation, QLatin1String(kFailureTitle));
}

} // namespace ErrorLogOutput
