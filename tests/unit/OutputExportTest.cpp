#include "output/ErrorLogExport.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/ScopedEnv.h"
#include "support/ScopedSeam.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#endif

namespace {

using ErrorLogOutput::SaveDialogSetup;

#ifndef _WIN32
// A full device of the test's own where it may make one, so that a writer that replaced its
// target with a new file would replace only that.
QString FullDevice(const QString &folder) {
  const QByteArray path = QFile::encodeName(folder + "/full");
  return ::mknod(path.constData(), S_IFCHR | 0666, makedev(1, 7)) == 0 ? QFile::decodeName(path)
                                                                       : QStringLiteral("/dev/full");
}

// Writes past this many bytes fail as on a full disk (EFBIG rather than a signal).
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) : previousSignal_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousSignal_);
  }
  FileSizeLimit(const FileSizeLimit &) = delete;
  FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
  void (*previousSignal_)(int);
  rlimit previous_{};
};

// A 64 KiB tmpfs over a folder (root only), which can be made read-only.
class SmallFileSystem {
public:
  explicit SmallFileSystem(const QString &folder)
      : folder_(QFile::encodeName(folder)),
        mounted_(::mount("tmpfs", folder_.constData(), "tmpfs", 0, "size=64k") == 0) {}
  ~SmallFileSystem() {
    if (mounted_)
      ::umount2(folder_.constData(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem &) = delete;
  SmallFileSystem &operator=(const SmallFileSystem &) = delete;

  bool Mounted() const { return mounted_; }
  bool MakeReadOnly() {
    return ::mount("tmpfs", folder_.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=64k") == 0;
  }

private:
  QByteArray folder_;
  bool mounted_;
};
#endif

// AppData in a temporary folder, the save dialog answered with a path in it.
class ExportTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

  QString Folder() const { return temp_.path() + "/Skeld Error Log"; }
  QByteArray Expected(const QString &model, const QByteArray &entryLines) const {
    return "\r\n" + ErrorLogOutput::LogHeaderText(model).toLatin1() + "\r\n\r\n" + entryLines;
  }

  QTemporaryDir temp_;
  ScopedEnv appData_{"AppData", temp_.path().toLocal8Bit()};
  ScopedEnv xdg_{"XDG_DATA_HOME", (temp_.path() + "/xdg").toLocal8Bit()};
  ScopedEnv home_{"HOME"};
  FakeMessBoxes boxes;
  std::vector<SaveDialogSetup> setups;
  std::optional<QString> answer = Folder() + "/ErrorLog1";
  QString fileType; // as chosen in the dialog; empty: the first
  ScopedSeam<ErrorLogOutput::SaveDialogAnswer> dialog_{
      ErrorLogOutput::SetSaveDialogAnswer,
      [this](const SaveDialogSetup &setup) -> std::optional<ErrorLogOutput::SaveChoice> {
        setups.push_back(setup);
        if (!answer)
          return std::nullopt;
        return ErrorLogOutput::SaveChoice(*answer, fileType);
      }};
};

const QString kText = "Error Log Files (*.txt)", kCsv = "CSV Files (*.csv)", kJson = "JSON Files (*.json)";

TEST_F(ExportTest, EmptyListGivesBlankHeaderBlankAndTheDialogIsSetUp) {
  ErrorLogOutput::SendErrorLogToFile({}, "TDS 3054", nullptr);

  EXPECT_EQ(ReadFile(*answer), Expected("TDS 3054", ""));
  ASSERT_EQ(setups.size(), 1u);
  EXPECT_EQ(setups[0].title, "Save the Error Log");
  EXPECT_EQ(setups[0].folder, Folder());
  EXPECT_EQ(setups[0].fileName, "ErrorLog1");
  EXPECT_EQ(setups[0].filter, "Error Log Files (*.txt)");
  EXPECT_EQ(setups[0].otherFilters, (QStringList{"CSV Files (*.csv)", "JSON Files (*.json)"}));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, TypedNameAndFileTypeDecideTheFormatAndTheName) {
  using ErrorLogOutput::LogFormat;
  struct Case {
    QString typed;
    QString fileType;
    QString written;
    LogFormat format;
  };
  const Case cases[] = {
      {"ErrorLog1", kText, "ErrorLog1", LogFormat::Text},
      {"ErrorLog1", QString(), "ErrorLog1", LogFormat::Text},
      {"export1.csv", kText, "export1.csv", LogFormat::Csv},
      {"export2", kJson, "export2.json", LogFormat::Json},
      {"EXPORT.CSV", kJson, "EXPORT.CSV", LogFormat::Csv},
      {"notes.Txt", kCsv, "notes.Txt", LogFormat::Text},
      {"log.2024", kCsv, "log.2024.csv", LogFormat::Csv},
      {"log.2024", kText, "log.2024", LogFormat::Text},
      {"export.", kJson, "export.json", LogFormat::Json},
      {"v1.2/log", kCsv, "v1.2/log.csv", LogFormat::Csv},
  };
  const std::map<LogFormat, QByteArray> starts = {{LogFormat::Text, "\r\nError Log from M"},
                                                  {LogFormat::Csv, "index,entry\r\n1,a\r\n"},
                                                  {LogFormat::Json, "{"}};
  for (const Case &c : cases) {
    const QString what = c.typed + " as " + c.fileType;
    const ErrorLogOutput::SaveTarget target =
        ErrorLogOutput::SaveTargetFor(Folder() + "/" + c.typed, c.fileType);
    EXPECT_EQ(target.path, Folder() + "/" + c.written) << what.toStdString();
    EXPECT_EQ(target.format, c.format) << what.toStdString();

    QDir(Folder()).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Folder() + "/" + c.typed).path()));
    answer = Folder() + "/" + c.typed;
    fileType = c.fileType;
    ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
    EXPECT_TRUE(ReadFile(Folder() + "/" + c.written).startsWith(starts.at(c.format))) << what.toStdString();
    EXPECT_EQ(QDir(QFileInfo(Folder() + "/" + c.written).path()).entryList(QDir::Files).size(), 1)
        << what.toStdString();
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, ReplacingAFileUnderANameTheDialogDidNotShowIsAskedFirst) {
  ASSERT_TRUE(QDir().mkpath(Folder()));
  const QString written = Folder() + "/export2.json";
  ASSERT_TRUE(WriteFile(written, "old"));
  answer = Folder() + "/export2";
  fileType = kJson;
  const QString question = QDir::toNativeSeparators(written) + " already exists.\nDo you want to replace it?";

  boxes.AnswerNext(Module1::IdNo);
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(ReadFile(written), "old");
  boxes.AnswerNext(Module1::IdYes);
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_TRUE(ReadFile(written).startsWith("{"));
  ASSERT_EQ(boxes.shown.size(), 2u);
  for (const Module1::MessBoxRequest &box : boxes.shown) {
    EXPECT_EQ(box.prompt, question);
    EXPECT_EQ(box.style, Module1::Style::YesNo | Module1::Style::Exclamation);
    EXPECT_EQ(box.title, "Save the Error Log");
  }

  // The dialog itself asked about the name it returned.
  answer = written;
  ErrorLogOutput::SendErrorLogToFile({"b"}, "M", nullptr);
  EXPECT_EQ(boxes.shown.size(), 2u);
  EXPECT_TRUE(ReadFile(written).contains("\"b\""));
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
    EXPECT_EQ(ReadFile(*answer), header + c.lines) << c.what;
  }
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, FolderComesFromAppDataOrTheUserDataFolder) {
  qputenv("AppData", (temp_.path() + "/").toLocal8Bit());
  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
  EXPECT_EQ(setups.back().folder, Folder());
  EXPECT_TRUE(QFileInfo(Folder()).isDir());

#ifndef _WIN32
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
#endif
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExportTest, ExistingFolderIsKeptWithItsFiles) {
  ASSERT_TRUE(QDir().mkdir(Folder()));
  ASSERT_TRUE(WriteFile(Folder() + "/keep.txt", "kept"));

  ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);

  EXPECT_EQ(ReadFile(Folder() + "/keep.txt"), "kept");
  EXPECT_EQ(ReadFile(*answer), Expected("M", "a\r\n"));
}

TEST_F(ExportTest, SecondExportToTheSameNameReplacesTheWholeFile) {
  ErrorLogOutput::SendErrorLogToFile({"a long first entry", "and another"}, "M", nullptr);
  ErrorLogOutput::SendErrorLogToFile({"b"}, "M", nullptr);
  EXPECT_EQ(ReadFile(*answer), Expected("M", "b\r\n"));
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
#ifdef _WIN32
      // In the words of the Windows version at hand: only that there are some.
      {"folder of the target missing", temp_.path() + "/missing/log.txt", QString()},
#else
      {"folder of the target missing", temp_.path() + "/missing/log.txt", "No such file or directory"},
#endif
      {"target is a folder", temp_.path(), "refers to a directory"},
#ifndef _WIN32
      {"device full while writing", FullDevice(temp_.path()), "No space left on device"},
#endif
  };
  for (const Case &c : cases) {
    boxes.shown.clear();
    answer = c.target;
    ErrorLogOutput::SendErrorLogToFile({"a"}, "M", nullptr);
    ASSERT_EQ(boxes.shown.size(), 1u) << c.what;
    EXPECT_EQ(boxes.shown[0].style, 48) << c.what;
    EXPECT_EQ(boxes.shown[0].title, "Copy to File") << c.what;
    const QString start =
        "The error log could not be written to\n" + QDir::toNativeSeparators(c.target) + "\n\n";
    EXPECT_TRUE(boxes.shown[0].prompt.startsWith(start))
        << c.what << ": " << boxes.shown[0].prompt.toStdString();
    EXPECT_GT(boxes.shown[0].prompt.size(), start.size()) << c.what << ": no reason given";
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
  EXPECT_EQ(boxes.shown[0].prompt, "The error log could not be written to\n" +
                                       QDir::toNativeSeparators(temp_.path() + "/no/such/Skeld Error Log") +
                                       "\n\nThe folder could not be created.");
  EXPECT_EQ(boxes.shown[0].style, 48);
  EXPECT_EQ(boxes.shown[0].title, "Copy to File");
}

// The faults come from Linux: a file size limit and small file systems mounted for the test.
#ifndef _WIN32
TEST_F(ExportTest, FailedExportLeavesTheOldFileWholeAndNothingBesideIt) {
  enum class Fault { FileSizeLimit, FullFileSystem, ReadOnlyFileSystem };
  struct Case {
    const char *what;
    Fault fault;
    const char *reason;
  };
  const Case cases[] = {
      {"file size limit reached mid-entry", Fault::FileSizeLimit, "File too large"},
      {"file system full", Fault::FullFileSystem, "No space left on device"},
      {"read-only file system", Fault::ReadOnlyFileSystem, "is not writable"},
  };
  const QByteArray old = Expected("TDS 754C", "an earlier export\r\n");
  QStringList entries;
  for (int i = 0; i < 2000; ++i)
    entries << QString("%1, \"Fault %1\", ").arg(i) + QString(40, QLatin1Char('x'));

  for (const Case &c : cases) {
    const QString dir = temp_.path() + "/case" + QString::number(int(c.fault));
    ASSERT_TRUE(QDir().mkdir(dir)) << c.what;
    std::optional<SmallFileSystem> fileSystem;
    if (c.fault != Fault::FileSizeLimit) {
      if (geteuid() != 0) {
        std::cout << "[  SKIPPED ] " << c.what << ": mounting needs root\n";
        continue;
      }
      fileSystem.emplace(dir);
      ASSERT_TRUE(fileSystem->Mounted()) << c.what;
    }
    answer = dir + "/ErrorLog1";
    ASSERT_TRUE(WriteFile(*answer, old)) << c.what;
    if (c.fault == Fault::ReadOnlyFileSystem) {
      ASSERT_TRUE(fileSystem->MakeReadOnly()) << c.what;
    }
    boxes.shown.clear();
    {
      std::optional<FileSizeLimit> limit;
      if (c.fault == Fault::FileSizeLimit)
        limit.emplace(old.size());
      ErrorLogOutput::SendErrorLogToFile(entries, "TDS 3054", nullptr);
    }

    EXPECT_EQ(ReadFile(*answer).toStdString(), old.toStdString()) << c.what;
    EXPECT_EQ(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{"ErrorLog1"})
        << c.what;
    ASSERT_EQ(boxes.shown.size(), 1u) << c.what;
    EXPECT_TRUE(boxes.shown[0].prompt.contains(c.reason))
        << c.what << ": " << boxes.shown[0].prompt.toStdString();
  }
}

#endif

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

TEST(ExportDialogTest, RealSaveDialogReturnsTheNameAsTypedOnlyInAFolderThatExists) {
  QTemporaryDir temp;
  const QString currentDir = QDir::currentPath();
  ASSERT_NE(QDir(currentDir).canonicalPath(), QDir(temp.path()).canonicalPath());
  ASSERT_TRUE(QDir(temp.path()).mkdir("sub"));
  ASSERT_TRUE(WriteFile(temp.path() + "/notes.txt", "x"));
  struct Case {
    const char *what;
    QString typed;
    QString missingFolder; // empty: accepted
    QString fileType;      // chosen in the list; empty: as it opens
  };
  const QString text = kText, csv = kCsv, json = kJson;
  const Case cases[] = {
      {"folder missing", "missing/ErrorLog1", temp.path() + "/missing", {}},
      {"a file where the folder should be", "notes.txt/ErrorLog1", temp.path() + "/notes.txt", {}},
      {"full path, two levels missing", temp.path() + "/no/such/ErrorLog1", temp.path() + "/no/such", {}},
      {"existing subfolder", "sub/ErrorLog1", QString(), {}},
      {"the start folder", "ErrorLog1", QString(), {}},
      {"folder missing, CSV chosen", "missing/log.csv", temp.path() + "/missing", csv},
      {"JSON chosen", "sub/log.json", QString(), json},
  };
  for (const Case &c : cases) {
    FakeMessBoxes boxes;
    int answered = 0;
    bool stillOpen = false;
    // Answers from inside the dialog's own event loop: types the name and accepts; a dialog
    // still open afterwards is closed.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
      if (!dialog)
        return;
      if (answered++ > 0) {
        stillOpen = true;
        dialog->reject();
        return;
      }
      EXPECT_EQ(dialog->nameFilters(), (QStringList{text, csv, json})) << c.what;
      EXPECT_EQ(dialog->selectedNameFilter(), text) << c.what;
      if (!c.fileType.isEmpty())
        dialog->selectNameFilter(c.fileType);
      auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(c.typed);
      // As a native dialog may do: browsing moves the process's current folder.
      QDir::setCurrent(temp.path());
      static_cast<QDialog *>(dialog)->accept(); // QFileDialog::accept runs; it is protected there
    });
    poll.start(10);
    const std::optional<ErrorLogOutput::SaveChoice> chosen = ErrorLogOutput::AskSavePath(
        nullptr, SaveDialogSetup{"Save the Error Log", temp.path(), "ErrorLog1", text, {csv, json}});

    EXPECT_EQ(QDir::currentPath(), currentDir) << c.what;
    if (c.missingFolder.isEmpty()) {
      ASSERT_TRUE(chosen.has_value()) << c.what;
      EXPECT_EQ(chosen->path, QDir(temp.path()).absoluteFilePath(c.typed)) << c.what;
      EXPECT_EQ(chosen->filter, c.fileType.isEmpty() ? text : c.fileType) << c.what;
      EXPECT_FALSE(stillOpen) << c.what;
      EXPECT_TRUE(boxes.shown.empty()) << c.what;
      continue;
    }
    EXPECT_FALSE(chosen.has_value()) << c.what;
    EXPECT_TRUE(stillOpen) << c.what;
    ASSERT_EQ(boxes.shown.size(), 1u) << c.what;
    EXPECT_EQ(boxes.shown[0].prompt, "The folder does not exist:\n" +
                                         QDir::toNativeSeparators(c.missingFolder) +
                                         "\n\nChoose a folder that exists, or create it here first.")
        << c.what;
    EXPECT_EQ(boxes.shown[0].style, 48) << c.what;
    EXPECT_EQ(boxes.shown[0].title, "Save the Error Log") << c.what;
  }
}

} // namespace
