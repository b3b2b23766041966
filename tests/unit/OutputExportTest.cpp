#include "output/ErrorLogExport.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "support/FakeMessBoxes.h"
#include "support/ScopedEnv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <optional>
#include <vector>

namespace {

using ErrorLogOutput::SaveDialogSetup;

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Keeps an environment variable as it was before the test.

// AppData in a temporary folder, the save dialog answered with a path in it.
class ExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    qputenv("AppData", temp_.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (temp_.path() + "/xdg").toLocal8Bit());
    previous_ = ErrorLogOutput::SetSaveDialogAnswer([this](const SaveDialogSetup &setup) {
      setups.push_back(setup);
      return answer;
    });
    answer = Folder() + "/ErrorLog1";
  }
  void TearDown() override { ErrorLogOutput::SetSaveDialogAnswer(previous_); }

  QString Folder() const { return temp_.path() + "/Skeld Error Log"; }
  QByteArray Expected(const QString &model, const QByteArray &entryLines) const {
    return "\r\n" + ErrorLogOutput::LogHeaderText(model).toLatin1() + "\r\n\r\n" + entryLines;
  }

  QTemporaryDir temp_;
  ScopedEnv appData_{"AppData"};
  ScopedEnv xdg_{"XDG_DATA_HOME"};
  ScopedEnv home_{"HOME"};
  ErrorLogOutput::SaveDialogAnswer previous_;
  FakeMessBoxes boxes;
  std::vector<SaveDialogSetup> setups;
  std::optional<QString> answer;
};

TEST_F(ExportTest, EmptyListGivesBlankHeaderBlankAndTheDialogIsSetUp) {
  ErrorLogOutput::SendErrorLogToFile({}, "TDS 3054", nullptr);

  EXPECT_EQ(ReadAll(*answer), Expected("TDS 3054", ""));
  ASSERT_EQ(setups.size(), 1u);
  EXPECT_EQ(setups[0].title, "Save the Error Log");
  EXPECT_EQ(setups[0].folder, Folder());
  EXPECT_EQ(setups[0].fileName, "ErrorLog1");
  EXPECT_EQ(setups[0].filter, "Error Log Files (*.txt)");
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(ExportHeaderTest, HeaderCarriesModelSerialBlankAndShortDate) {
  const QDate date(2024, 3, 7);
  const QString dateText = QLocale::system().toString(date, QLocale::ShortFormat);
  EXPECT_EQ(ErrorLogOutput::LogHeaderText("TDS 3054", date),
            "Error Log from TDS 3054, S/N ________________ / " + dateText);
  EXPECT_EQ(ErrorLogOutput::LogHeaderText("", date), "Error Log from , S/N ________________ / " + dateText);
  EXPECT_FALSE(dateText.isEmpty());
}

TEST_F(ExportTest, EntriesAreWrittenVerbatimOnePerLine) {
  struct Case {
    const char *what;
    QString model;
    QStringList entries;
    QByteArray lines;
  };
  const Case cases[] = {
      {"commas and quotes",
       "TDS 754C",
       {"1, \"Fault\", 0x12", "\"\"", " padded  "},
       "1, \"Fault\", 0x12\r\n\"\"\r\n padded  \r\n"},
      {"empty entries keep their lines", "TDS 3054", {"", "a", ""}, "\r\na\r\n\r\n"},
      {"empty model", "", {"x"}, "x\r\n"},
      {"Latin-1 stays one byte, others become one ?",
       "TDS\xC2\xB5",
       {QString::fromUtf8("caf\xC3\xA9 \xCE\xA9 \xF0\x9F\x98\x80!")},
       "caf\xE9 ? ?!\r\n"},
  };
  for (const Case &c : cases) {
    ErrorLogOutput::SendErrorLogToFile(c.entries, c.model, nullptr);
    QByteArray header = "\r\n" + ErrorLogOutput::LogHeaderText(c.model).toLatin1() + "\r\n\r\n";
    EXPECT_EQ(ReadAll(*answer), header + c.lines) << c.what;
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, FolderComesFromAppDataOrTheUserDataFolder) {
  qputenv("AppData", (temp_.path() + "/").toLocal8Bit());
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(setups.back().folder, Folder());
  EXPECT_TRUE(QFileInfo(Folder()).isDir());

  qunsetenv("AppData");
  answer = std::nullopt;
  // The stand-in data folder need not exist yet on a new account.
  ASSERT_FALSE(QFileInfo::exists(temp_.path() + "/xdg"));
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(setups.back().folder, temp_.path() + "/xdg/Skeld Error Log");
  EXPECT_TRUE(QFileInfo(setups.back().folder).isDir());

  qunsetenv("XDG_DATA_HOME");
  qputenv("HOME", temp_.path().toLocal8Bit());
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(setups.back().folder, temp_.path() + "/.local/share/Skeld Error Log");
  EXPECT_TRUE(QFileInfo(setups.back().folder).isDir());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, ExistingFolderIsKeptWithItsFiles) {
  ASSERT_TRUE(QDir().mkdir(Folder()));
  QFile keep(Folder() + "/keep.txt");
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.write("kept");
  keep.close();

  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);

  EXPECT_EQ(ReadAll(Folder() + "/keep.txt"), "kept");
  EXPECT_EQ(ReadAll(*answer), Expected("M", "a\r\n"));
}

TEST_F(ExportTest, SecondExportToTheSameNameReplacesTheWholeFile) {
  ErrorLogOutput::SendErrorLogToFile({"a long first entry", "and another"}, "M", nullptr);
  ErrorLogOutput::SendErrorLogToFile({"b"}, "M", nullptr);
  EXPECT_EQ(ReadAll(*answer), Expected("M", "b\r\n"));
}

TEST_F(ExportTest, CancelWritesNothingAndSaysNothing) {
  answer = std::nullopt;
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(setups.size(), 1u);
  EXPECT_TRUE(QDir(Folder()).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, FailuresAreReportedOnceWithPathAndReason) {
  struct Case {
    const char *what;
    QString target;
    QString reason;
  };
  const Case cases[] = {
      {"folder of the target missing", temp_.path() + "/missing/log.txt", "No such file or directory"},
      {"target is a folder", temp_.path(), "Is a directory"},
      {"device full while writing", "/dev/full", "No space left on device"},
  };
  for (const Case &c : cases) {
    boxes.shown.clear();
    answer = c.target;
    ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
    ASSERT_EQ(boxes.shown.size(), 1u) << c.what;
    EXPECT_EQ(boxes.shown[0].style, 48) << c.what;
    EXPECT_EQ(boxes.shown[0].title, "Copy to File") << c.what;
    EXPECT_TRUE(
        boxes.shown[0].prompt.startsWith("The error log could not be written to\n" + c.target + "\n\n"))
        << c.what << ": " << boxes.shown[0].prompt.toStdString();
    EXPECT_TRUE(boxes.shown[0].prompt.contains(c.reason))
        << c.what << ": " << boxes.shown[0].prompt.toStdString();
  }
}

TEST_F(ExportTest, FolderThatCannotBeMadeIsReportedBeforeAnyDialog) {
  // Only the last level is made: a missing data folder is not created.
  qputenv("AppData", (temp_.path() + "/no/such").toLocal8Bit());
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);

  EXPECT_TRUE(setups.empty());
  EXPECT_FALSE(QFileInfo::exists(temp_.path() + "/no"));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt, "The error log could not be written to\n" + temp_.path() +
                                       "/no/such/Skeld Error Log\n\nThe folder could not be created.");
  EXPECT_EQ(boxes.shown[0].style, 48);
  EXPECT_EQ(boxes.shown[0].title, "Copy to File");
}

TEST(ExportFileTest, LinesWrittenBeforeAFailureStayInTheFile) {
  QTemporaryDir temp;
  const QString path = temp.path() + "/log";
  const QString longEntry(200, QLatin1Char('x'));
  // A file size limit makes the write fail part way, as a full disk would.
  const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previousLimit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
  rlimit limit = previousLimit;
  limit.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const QString reason = ErrorLogOutput::WriteErrorLogFile(path, "header", {"a", longEntry});
  setrlimit(RLIMIT_FSIZE, &previousLimit);
  std::signal(SIGXFSZ, previousSignal);

  EXPECT_TRUE(reason.contains("File too large")) << reason.toStdString();
  const QByteArray kept = ReadAll(path);
  EXPECT_EQ(kept.size(), 100);
  EXPECT_TRUE(kept.startsWith("\r\nheader\r\n\r\na\r\nxxx")) << kept.toStdString();
}

TEST(ExportDialogTest, RealSaveDialogIsSetUpForSavingWithoutSuffix) {
  QTemporaryDir temp;
  const auto dialog = ErrorLogOutput::MakeSaveDialog(
      nullptr, SaveDialogSetup{"Save the Error Log", temp.path(), "ErrorLog1", "Error Log Files (*.txt)"});
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(dialog->windowTitle(), "Save the Error Log");
  EXPECT_EQ(dialog->directory().absolutePath(), QDir(temp.path()).absolutePath());
  EXPECT_EQ(dialog->nameFilters(), QStringList{"Error Log Files (*.txt)"});
  EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
  EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
  ASSERT_EQ(dialog->selectedFiles().size(), 1);
  EXPECT_EQ(QFileInfo(dialog->selectedFiles().constFirst()).fileName(), "ErrorLog1");
}

TEST(ExportDialogTest, RealSaveDialogReturnsTheNameAsChosenAndKeepsTheCurrentFolder) {
  QTemporaryDir temp;
  const QString currentDir = QDir::currentPath();
  ASSERT_NE(QDir(currentDir).canonicalPath(), QDir(temp.path()).canonicalPath());
  const QString chosen = temp.path() + "/ErrorLog1";
  bool answered = false;
  // Answer the modal dialog from inside its own event loop.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
      answered = true;
      // As a native dialog may do: browsing moves the process's current folder.
      QDir::setCurrent(temp.path());
      dialog->selectFile(chosen);
      static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept runs; it is protected there
    }
  });
  poll.start(10);
  const std::optional<QString> path = ErrorLogOutput::AskSavePath(
      nullptr, SaveDialogSetup{"Save the Error Log", temp.path(), "ErrorLog1", "Error Log Files (*.txt)"});
  EXPECT_TRUE(answered);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, chosen);
  EXPECT_EQ(QDir::currentPath(), currentDir);
}

} // namespace
