#include "app/ErrorLogForm.h"
#include "output/ErrorLogExport.h"
#include "output/OutputDialogs.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/FormSteps.h"
#include "support/ScopeBus.h"
#include "support/ScopedEnv.h"
#include "support/ScopedSeam.h"
#include "support/SimulatedBus.h"

#include <QAction>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace formsteps;
using namespace scopebus;

// The listed log on its way out: the file and print commands get exactly what the list shows.
class OutputFromTheWindow : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(temp.isValid()); }

  QTemporaryDir temp;
  ScopedEnv appData{"AppData", temp.path().toLocal8Bit()};
  FakeMessBoxes boxes;
};

TEST_F(OutputFromTheWindow, CopyToFileWritesTheHeaderAndTheListedEntries) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(3)));
  ErrorLogForm form;
  StartUp(form);
  const QString path = temp.filePath(QStringLiteral("ErrorLog1"));
  QString startFolder;
  const ScopedSeam answer(ErrorLogOutput::SetSaveDialogAnswer,
                          [&](const ErrorLogOutput::SaveDialogSetup &setup) {
                            startFolder = setup.folder;
                            return std::optional<QString>(path);
                          });
  const std::size_t traceLines = bus.trace.size();

  form.SendErrorLogToFile->trigger();

  EXPECT_EQ(startFolder, temp.path() + QStringLiteral("/Skeld Error Log"));
  QByteArray expected =
      "\r\n" + ErrorLogOutput::LogHeaderText(QStringLiteral("TDS 3054")).toLatin1() + "\r\n\r\n";
  for (const std::string &entry : Entries(3))
    expected += QByteArray::fromStdString(entry) + "\r\n";
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(bus.trace.size(), traceLines) << "the export does not talk to the scope";
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(OutputFromTheWindow, PrintPrintsTheListedEntries) {
#ifdef _WIN32
  GTEST_SKIP() << "reads the printout back with poppler's pdftotext, a Linux program";
#endif
  SimulatedBus bus(ScopeBus(Tds3054, Entries(2)));
  ErrorLogForm form;
  StartUp(form);
  const QString pdf = temp.filePath(QStringLiteral("log.pdf"));
  const ScopedSeam answer(ErrorLogOutput::SetPrintDialogAnswer, [&](QPrinter &printer) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    return std::optional<int>(1);
  });

  form.PrintErrorLog->trigger();

  QProcess text;
  text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  ASSERT_TRUE(text.waitForFinished(30000));
  const QString printed = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(printed.contains(QStringLiteral("Error Log from TDS 3054, S/N ________________ /")))
      << printed.toStdString();
  for (const std::string &entry : Entries(2))
    EXPECT_TRUE(printed.contains(QString::fromStdString(entry).trimmed())) << printed.toStdString();
  EXPECT_TRUE(boxes.shown.empty());
}

} // namespace
