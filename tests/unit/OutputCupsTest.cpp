// The CUPS spooler against a private cupsd that this test starts as root on its own socket,
// with queues on file:///dev/null, CUPS_SERVER pointing at it and HOME in a temporary folder.

#include "output/DefaultPrinter.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "output/Spooler.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/ScopedSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

class PrivateCupsd {
public:
  // Empty when running, else why not.
  QString Start() {
    if (geteuid() != 0)
      return "not root";
    const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/usr/local/sbin"});
    lpadmin_ = QStandardPaths::findExecutable("lpadmin", {"/usr/sbin", "/usr/bin"});
    if (cupsd.isEmpty() || lpadmin_.isEmpty())
      return "cupsd or lpadmin missing";
    if (!dir_.isValid())
      return "no temporary folder";
    const QString d = dir_.path();
    for (const char *sub : {"conf", "spool", "cache", "state", "log", "tmp", "client", "home"})
      QDir(d).mkdir(sub);
    const QByteArray files = "ServerRoot " + (d + "/conf").toUtf8() + "\nRequestRoot " +
                             (d + "/spool").toUtf8() + "\nCacheDir " + (d + "/cache").toUtf8() +
                             "\nStateDir " + (d + "/state").toUtf8() + "\nTempDir " + (d + "/tmp").toUtf8() +
                             "\nAccessLog " + (d + "/log/access").toUtf8() + "\nErrorLog " +
                             (d + "/log/error").toUtf8() + "\nPageLog " + (d + "/log/page").toUtf8() +
                             "\nPrintcap " + (d + "/printcap").toUtf8() + "\nFileDevice Yes\n";
    const QByteArray conf = "Listen " + Socket().toUtf8() +
                            "\nBrowsing No\nWebInterface No\nDefaultAuthType None\nLogLevel warn\n"
                            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    if (!WriteFile(d + "/conf/cups-files.conf", files) || !WriteFile(d + "/conf/cupsd.conf", conf))
      return "cannot write the configuration";
    qputenv("CUPS_SERVER", Socket().toUtf8());
    qputenv("CUPS_SERVERROOT", (d + "/client").toUtf8());
    qputenv("HOME", Home().toUtf8());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(cupsd, {"-f", "-c", d + "/conf/cupsd.conf", "-s", d + "/conf/cups-files.conf"});
    if (!process_.waitForStarted(5000))
      return "cupsd did not start";
    if (!QTest::qWaitFor(
            [this] { return QFileInfo::exists(Socket()) || process_.state() != QProcess::Running; }, 15000) ||
        process_.state() != QProcess::Running)
      return "cupsd did not listen: " + QString::fromUtf8(process_.readAll() + ReadFile(d + "/log/error"));
    for (const char *queue : {"skeld-alpha", "skeld-beta", "skeld-closed"}) {
      const QString shared = std::strcmp(queue, "skeld-beta") == 0 ? "true" : "false";
      const QString failed =
          Run(lpadmin_, {"-p", queue, "-E", "-v", "file:///dev/null", "-o", "printer-is-shared=" + shared});
      if (!failed.isEmpty())
        return failed;
    }
    // A queue that refuses every job, as an administrator's cupsreject leaves it.
    return Run(QStandardPaths::findExecutable("cupsreject", {"/usr/sbin", "/usr/bin"}), {"skeld-closed"});
  }

  ~PrivateCupsd() {
    if (process_.state() != QProcess::NotRunning) {
      process_.terminate();
      if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
      }
    }
  }

  // The jobs the server holds for a queue, finished or not.
  int JobCount(const QString &queue) const {
    QProcess lpstat;
    lpstat.start("lpstat", {"-W", "all", "-o", queue});
    if (!lpstat.waitForFinished(15000))
      return -1;
    return int(QString::fromUtf8(lpstat.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts).size());
  }

  // The copies asked for in each job the server holds for a queue, by job id.
  static std::map<int, int> JobCopies(const QString &queue) {
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    const QByteArray uri = "ipp://localhost/printers/" + queue.toUtf8();
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    static const char *const wanted[] = {"job-id", "copies"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    std::map<int, int> copies;
    int job = 0;
    int count = 1; // a job that names no copies makes one
    const auto endOfJob = [&] {
      if (job != 0)
        copies[job] = count;
      job = 0;
      count = 1;
    };
    // Each job is a group of attributes in no fixed order; separators lie between groups.
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
      const char *name = ippGetName(a);
      if (ippGetGroupTag(a) != IPP_TAG_JOB || !name)
        endOfJob();
      else if (std::strcmp(name, "job-id") == 0)
        job = ippGetInteger(a, 0);
      else if (std::strcmp(name, "copies") == 0)
        count = ippGetInteger(a, 0);
    }
    endOfJob();
    ippDelete(response);
    return copies;
  }

  QString Socket() const { return dir_.path() + "/cups.sock"; }
  QString Home() const { return dir_.path() + "/home"; }
  QString UserOptions() const { return Home() + "/.cups/lpoptions"; }

  // Back to no user default.
  void ClearUserOptions() const {
    QFile::remove(Home() + "/.cups");
    QDir(Home() + "/.cups").removeRecursively();
  }

private:
  // Empty when the tool ran and succeeded, else why not.
  static QString Run(const QString &tool, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(tool, arguments);
    if (!process.waitForFinished(15000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
      return tool + " " + arguments.join(' ') + " failed: " + QString::fromUtf8(process.readAll());
    return QString();
  }

  QTemporaryDir dir_{"/tmp/skeld-cups-XXXXXX"};
  QString lpadmin_;
  QProcess process_;
};

class CupsSpoolerTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    server_ = new PrivateCupsd;
    why_ = new QString(server_->Start());
  }
  static void TearDownTestSuite() {
    delete server_;
    delete why_;
    server_ = nullptr;
  }
  void SetUp() override {
    if (*why_ == "not root" || why_->endsWith("missing"))
      GTEST_SKIP() << why_->toStdString();
    ASSERT_TRUE(why_->isEmpty()) << why_->toStdString();
    server_->ClearUserOptions();
  }

  static DefaultPrinter::PrinterInfo5 Level5(const char *name, std::vector<std::int32_t> &buffer) {
    DefaultPrinter::Spooler &spooler = DefaultPrinter::SystemSpooler();
    DefaultPrinter::PrinterHandle handle = nullptr;
    DefaultPrinter::PrinterInfo5 info{};
    if (!spooler.Open(name, &handle))
      return info;
    std::uint32_t needed = 0;
    EXPECT_FALSE(spooler.GetInfo(handle, 5, nullptr, 0, &needed));
    EXPECT_EQ(spooler.LastError(), DefaultPrinter::kErrorInsufficientBuffer);
    buffer = DefaultPrinter::Level5Buffer(needed);
    EXPECT_TRUE(
        spooler.GetInfo(handle, 5, reinterpret_cast<unsigned char *>(buffer.data()), needed, &needed));
    std::memcpy(&info, buffer.data(), sizeof info);
    spooler.Close(handle);
    return info;
  }

  static PrivateCupsd *server_;
  static QString *why_;
  FakeMessBoxes boxes;
};

PrivateCupsd *CupsSpoolerTest::server_ = nullptr;
QString *CupsSpoolerTest::why_ = nullptr;

TEST_F(CupsSpoolerTest, QueuesReadAsLevel5Information) {
  DefaultPrinter::Spooler &spooler = DefaultPrinter::SystemSpooler();
  EXPECT_EQ(spooler.PlatformId(), DefaultPrinter::kPlatformWin32Windows);
  DefaultPrinter::PrinterHandle handle = nullptr;
  EXPECT_FALSE(spooler.Open("skeld-none", &handle));
  EXPECT_EQ(spooler.LastError(), DefaultPrinter::kErrorInvalidPrinterName);

  std::vector<std::int32_t> buffer;
  const DefaultPrinter::PrinterInfo5 alpha = Level5("skeld-alpha", buffer);
  EXPECT_EQ(DefaultPrinter::TextFromPointer(alpha.pPrinterName), "skeld-alpha");
  EXPECT_EQ(DefaultPrinter::TextFromPointer(alpha.pPortName), "file:///dev/null");
  EXPECT_EQ(alpha.Attributes, 0u);
  const DefaultPrinter::PrinterInfo5 beta = Level5("skeld-beta", buffer);
  EXPECT_EQ(DefaultPrinter::TextFromPointer(beta.pPrinterName), "skeld-beta");
  EXPECT_EQ(beta.Attributes, DefaultPrinter::kPrinterAttributeShared);
  EXPECT_EQ(spooler.DefaultPrinterName(), "");
}

TEST_F(CupsSpoolerTest, SwitchMakesTheQueueTheUsersDefault) {
  DefaultPrinter::Spooler &spooler = DefaultPrinter::SystemSpooler();
  DefaultPrinter::SwitchDefaultPrinter("skeld-beta");
  EXPECT_EQ(spooler.DefaultPrinterName(), "skeld-beta");
  EXPECT_TRUE(ReadFile(server_->UserOptions()).contains("Default skeld-beta"));
  std::vector<std::int32_t> buffer;
  EXPECT_EQ(Level5("skeld-beta", buffer).Attributes,
            DefaultPrinter::kPrinterAttributeDefault | DefaultPrinter::kPrinterAttributeShared);

  DefaultPrinter::SwitchDefaultPrinter("skeld-alpha");
  EXPECT_EQ(spooler.DefaultPrinterName(), "skeld-alpha");
  EXPECT_EQ(Level5("skeld-beta", buffer).Attributes, DefaultPrinter::kPrinterAttributeShared);
  EXPECT_TRUE(boxes.shown.empty());

  // An unknown queue changes nothing and says nothing.
  DefaultPrinter::SwitchDefaultPrinter("skeld-none");
  EXPECT_EQ(spooler.DefaultPrinterName(), "skeld-alpha");
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(CupsSpoolerTest, FailedWriteOfTheUserDefaultIsReported) {
  // The user's options folder is a file: the default cannot be stored.
  ASSERT_TRUE(WriteFile(server_->Home() + "/.cups", "in the way"));
  DefaultPrinter::SwitchDefaultPrinter("skeld-beta");

  EXPECT_EQ(DefaultPrinter::SystemSpooler().DefaultPrinterName(), "");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_TRUE(boxes.shown[0].prompt.startsWith("SetPrinterFailed. Error code: "))
      << boxes.shown[0].prompt.toStdString();
  const QString code = boxes.shown[0].prompt.mid(int(std::strlen("SetPrinterFailed. Error code: ")));
  EXPECT_GT(code.toUInt(), 0u) << code.toStdString();
  EXPECT_EQ(boxes.shown[0].style, 0);
}

TEST_F(CupsSpoolerTest, PrintingSendsOneSingleCopyJobPerCopyOrReportsTheRefusal) {
  struct Case {
    const char *what;
    const char *queue;
    bool refused;
  };
  const Case cases[] = {{"accepting queue", "skeld-beta", false},
                        {"queue that rejects jobs", "skeld-closed", true}};
  for (const Case &c : cases) {
    FakeMessBoxes localBoxes;
    DefaultPrinter::SwitchDefaultPrinter("skeld-alpha");
    // As the real dialog leaves it: the printer chosen, three copies asked for.
    const ScopedSeam answer(ErrorLogOutput::SetPrintDialogAnswer,
                            [&c](QPrinter &printer) -> std::optional<int> {
                              printer.setPrinterName(c.queue);
                              printer.setCopyCount(3);
                              return 3;
                            });
    const std::map<int, int> before = PrivateCupsd::JobCopies(c.queue);
    ErrorLogOutput::PrintErrorLog({"one", "two"}, "TDS 3054", nullptr);

    std::vector<int> copiesPerNewJob;
    for (const auto &[job, copies] : PrivateCupsd::JobCopies(c.queue))
      if (before.count(job) == 0)
        copiesPerNewJob.push_back(copies);
    const std::vector<int> expected = c.refused ? std::vector<int>() : std::vector<int>{1, 1, 1};
    EXPECT_EQ(copiesPerNewJob, expected) << c.what;
    EXPECT_EQ(server_->JobCount("skeld-alpha"), 0) << c.what;
    EXPECT_EQ(DefaultPrinter::SystemSpooler().DefaultPrinterName(), "skeld-alpha") << c.what;
    if (!c.refused) {
      EXPECT_TRUE(localBoxes.shown.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(localBoxes.shown.size(), 1u) << c.what;
    // The second line in the spooler's own words.
    EXPECT_EQ(localBoxes.shown[0].prompt,
              QString("The error log could not be printed.\nThe printer's queue "
                      "refused the job: Destination \"%1\" is not accepting jobs.")
                  .arg(c.queue));
    EXPECT_EQ(localBoxes.shown[0].style, 48);
    EXPECT_EQ(localBoxes.shown[0].title, "Print");
  }
}

} // namespace
