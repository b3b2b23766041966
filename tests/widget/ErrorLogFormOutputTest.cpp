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
#include <QApplication>
#include <QClipboard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

// The same bus for the window (in process) and for --read (the drop-in driver).
const std::vector<std::string> Awkward = {"say \"hi\"", "a,b", "line1\r\nline2", std::string("nul\0byte", 8),
                                          "caf\xC3\xA9"};

// --read of bus in format, its JSON time left out; the window's file the same way.
QByteArray WithoutTime(QByteArray bytes) {
  const qsizetype time = bytes.indexOf("\n  \"time\": ");
  return time < 0 ? bytes : bytes.remove(time, bytes.indexOf('\n', time + 1) - time);
}

QByteArray ReadCommandOutput(const gpibsim::BusDescription &bus, const QString &format,
                             const QString &folder) {
  const QString busFile = folder + QStringLiteral("/bus.json");
  EXPECT_TRUE(WriteFile(busFile, QByteArray::fromStdString(busdesc::BusJson(bus))));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(SKELD_BINARY_DIR "/sim"));
  env.insert(QStringLiteral("GPIBSIM_BUS"), busFile);
  QProcess read;
  read.setProcessEnvironment(env);
  read.start(QStringLiteral(SKELD_BINARY_DIR "/skeld-errlog"), {"--read", "--format", format});
  EXPECT_TRUE(read.waitForFinished(60000));
  EXPECT_EQ(read.exitCode(), 0) << read.readAllStandardError().toStdString();
  return read.readAllStandardOutput();
}

TEST_F(OutputFromTheWindow, CsvAndJsonChosenInTheSaveDialogWriteWhatReadWrites) {
#ifdef _WIN32
  GTEST_SKIP() << "--read is started on the Linux drop-in simulated libgpib.so.0";
#endif
  const gpibsim::BusDescription description = ScopeBus(Tds3054, Awkward);
  SimulatedBus bus(description);
  ErrorLogForm form;
  StartUp(form);
  for (const char *format : {"csv", "json"}) {
    const QString path = temp.filePath(QStringLiteral("log.") + QLatin1String(format));
    const ScopedSeam answer(ErrorLogOutput::SetSaveDialogAnswer, [&](const ErrorLogOutput::SaveDialogSetup
                                                                         &setup) {
      const QStringList types = QStringList{setup.filter} + setup.otherFilters;
      const auto chosen = std::find_if(types.begin(), types.end(), [&](const QString &type) {
        return type.endsWith(QStringLiteral("(*.%1)").arg(QLatin1String(format)));
      });
      EXPECT_NE(chosen, types.end()) << format;
      return std::optional<ErrorLogOutput::SaveChoice>({path, chosen == types.end() ? QString() : *chosen});
    });

    form.SendErrorLogToFile->trigger();

    EXPECT_EQ(WithoutTime(ReadFile(path)).toStdString(),
              WithoutTime(ReadCommandOutput(description, QLatin1String(format), temp.path())).toStdString())
        << format;
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(OutputFromTheWindow, JsonShowsBytesThatAreNotUtf8AsReplacementCharacters) {
  SimulatedBus bus(ScopeBus(Tds3054, {"x\xFFy", "ok"}));
  ErrorLogForm form;
  StartUp(form);
  const QString path = temp.filePath(QStringLiteral("log.json"));
  const ScopedSeam answer(ErrorLogOutput::SetSaveDialogAnswer, [&](const ErrorLogOutput::SaveDialogSetup &) {
    return std::optional<ErrorLogOutput::SaveChoice>({path, QStringLiteral("JSON Files (*.json)")});
  });

  form.SendErrorLogToFile->trigger();

  const QJsonObject json = QJsonDocument::fromJson(ReadFile(path)).object();
  EXPECT_EQ(json["entries"], (QJsonArray{QStringLiteral("x\uFFFDy"), "ok"})) << ReadFile(path).toStdString();
  EXPECT_EQ(json["gpib_address"], 1);
  EXPECT_EQ(json["interface"], "ni");
}

TEST_F(OutputFromTheWindow, CopyPutsTheSelectedEntriesOnTheClipboardInListOrder) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(5)));
  ErrorLogForm form;
  StartUp(form);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(form.List1->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_FALSE(form.CopyEntries->isEnabled()) << "nothing selected yet";
  EXPECT_EQ(form.List1->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(form.List1->actions().contains(form.CopyEntries));
  const std::vector<std::string> entries = Entries(5);
  const QString expected = QString::fromStdString(entries[0] + "\n" + entries[2] + "\n" + entries[3]);

  for (int row : {3, 0, 2})
    form.List1->item(row)->setSelected(true);
  form.List1->setFocus();
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(form.List1, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected) << "Ctrl+C";

  QGuiApplication::clipboard()->clear();
  ASSERT_TRUE(form.CopyEntries->isEnabled());
  form.CopyEntries->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected) << "the context menu's entry";
}

} // namespace
