#include "FakeSpooler.h"
#include "output/ErrorLogExport.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "output/PrintModule.h"
#include "output/PrintSurface.h"
#include "support/FakeMessBoxes.h"
#include "support/ScopedSeam.h"

#include <QApplication>
#include <QDir>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

constexpr double kMillimetresPerPoint = 25.4 / 72.0;
constexpr double kMargin = 10; // mm, all round, so positions are checked inside the printable area
constexpr double kTolerance = 0.3;

struct Word {
  QString text;
  double x;      // mm from the page's left edge
  double y;      // mm from the page's top edge to the top of the text
  double right;  // mm from the page's left edge
  double bottom; // mm from the page's top edge
};

struct Page {
  double width; // mm
  double height;
  std::vector<Word> words;
};

QString RunTool(const QString &tool, const QStringList &arguments) {
  QProcess process;
  process.start(tool, arguments);
  if (!process.waitForFinished(30000) || process.exitCode() != 0)
    return QString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

// Pages with their words and positions, from pdftotext -bbox.
std::vector<Page> PdfPages(const QString &pdf) {
  const QString html = RunTool("pdftotext", {"-bbox", pdf, "-"});
  std::vector<Page> pages;
  static const QRegularExpression tag(
      R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  const auto mm = [](const QRegularExpressionMatch &m, int n) {
    return m.captured(n).toDouble() * kMillimetresPerPoint;
  };
  for (auto match = tag.globalMatch(html); match.hasNext();) {
    const QRegularExpressionMatch m = match.next();
    if (!m.captured(1).isEmpty()) {
      pages.push_back(Page{mm(m, 1), mm(m, 2), {}});
      continue;
    }
    if (pages.empty())
      pages.push_back(Page{0, 0, {}});
    QString text = m.captured(7);
    text.replace("&quot;", "\"").replace("&amp;", "&");
    pages.back().words.push_back(Word{text, mm(m, 3), mm(m, 4), mm(m, 5), mm(m, 6)});
  }
  return pages;
}

// Each printed line: its words joined by one space, its position inside the printable area.
struct Line {
  QString text;
  double x;
  double y;
};
std::vector<Line> Lines(const Page &page) {
  std::vector<Line> lines;
  for (const Word &w : page.words) {
    if (!lines.empty() && std::abs(lines.back().y - (w.y - kMargin)) <= 1)
      lines.back().text += ' ' + w.text;
    else
      lines.push_back(Line{w.text, w.x - kMargin, w.y - kMargin});
  }
  return lines;
}

void ExpectLines(const std::vector<Line> &actual, const std::vector<Line> &expected, const char *what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].text, expected[i].text) << what << " line " << i;
    EXPECT_NEAR(actual[i].x, expected[i].x, kTolerance) << what << " line " << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, kTolerance) << what << " line " << i;
  }
}

// Prints to PDF files in a temporary folder through the print dialog's answerer.
class PrintTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
#ifdef _WIN32
    GTEST_SKIP() << "reads the printout back with poppler's pdftotext and pdffonts, Linux programs";
#endif
    ASSERT_FALSE(QStandardPaths::findExecutable("pdftotext").isEmpty()) << "poppler-utils missing";
    outputFile = Pdf(1);
    spooler.defaultName = "Office";
    spooler.printers["Office"] = FakeSpooler::Printer{"LPT1:", 0, 0, 0, false};
  }

  QString Pdf(int job) const { return JobOutputFile(temp_.path() + "/log.pdf", job); }
  QString Header(const QString &model) const { return ErrorLogOutput::LogHeaderText(model); }

  QTemporaryDir temp_;
  FakeMessBoxes boxes;
  FakeSpooler spooler;
  std::optional<int> copies = 1;
  std::function<void()> onDialog;
  QString outputFile;
  int dialogs = 0;
  ScopedSeam<ErrorLogOutput::PrintDialogAnswer> dialog_{
      ErrorLogOutput::SetPrintDialogAnswer, [this](QPrinter &printer) -> std::optional<int> {
        ++dialogs;
        if (onDialog)
          onDialog();
        if (!copies)
          return std::nullopt;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(outputFile);
        printer.setPageMargins(QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Millimeter);
        return copies;
      }};
};

TEST_F(PrintTest, HeaderThenOneLinePerEntryAtFixedPositions) {
  ErrorLogOutput::PrintErrorLog({"first entry", "", "third, with \"quotes\"", "fourth"}, "TDS 3054", nullptr);

  const auto pages = PdfPages(Pdf(1));
  ASSERT_EQ(pages.size(), 1u);
  ExpectLines(Lines(pages[0]),
              {{Header("TDS 3054"), 8, 15},
               {"first entry", 8, 25},
               {"third, with \"quotes\"", 8, 35},
               {"fourth", 8, 40}},
              "first copy");
  EXPECT_FALSE(QFileInfo::exists(Pdf(2)));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(spooler.calls.empty()) << "no switch when the default stayed";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(spooler.waitCursorAtRead, (std::vector<bool>{false, true}));
}

TEST_F(PrintTest, EveryCopyIsTheWholeLogInAJobOfItsOwnGoingOnOverPages) {
  struct Case {
    const char *what;
    int entries;
    int copies;
  };
  for (const Case &c : {Case{"an empty log, two copies", 0, 2}, Case{"a long log, three copies", 150, 3}}) {
    copies = c.copies;
    QStringList entries;
    for (int i = 1; i <= c.entries; ++i)
      entries << QString("%1, \"Fault %2\"").arg(i).arg(i * 7, 4, 10, QLatin1Char('0'));
    ErrorLogOutput::PrintErrorLog(entries, "TDS 3054", nullptr);

    const QStringList document = QStringList{Header("TDS 3054")} + entries;
    for (int job = 1; job <= c.copies; ++job) {
      QStringList printed;
      const auto pages = PdfPages(Pdf(job));
      ASSERT_FALSE(pages.empty()) << c.what << ", copy " << job;
      for (std::size_t p = 0; p < pages.size(); ++p) {
        const Page &page = pages[p];
        const double printableBottom = page.height - kMargin;
        for (const Word &w : page.words)
          EXPECT_TRUE(w.x >= kMargin && w.right <= page.width - kMargin &&
                      w.bottom <= printableBottom + kTolerance)
              << c.what << ", copy " << job << ", page " << p << ": " << w.text.toStdString() << " outside";
        const std::vector<Line> lines = Lines(page);
        ASSERT_FALSE(lines.empty()) << c.what << ", copy " << job << ", page " << p;
        // The header at 15 mm, the first entry 10 mm below it; every later page starts at 15 mm.
        for (std::size_t k = 0; k < lines.size(); ++k) {
          const double top = p == 0 && k > 0 ? 20 + 5.0 * k : 15 + 5.0 * k;
          EXPECT_NEAR(lines[k].y, top, kTolerance)
              << c.what << ", copy " << job << ", page " << p << " line " << k;
          printed << lines[k].text;
        }
        // A page goes on to the next only when one more line would not fit.
        if (p + 1 < pages.size()) {
          EXPECT_GT(page.words.back().bottom + 5, printableBottom) << c.what << ", page " << p;
        }
      }
      EXPECT_EQ(printed, document) << c.what << ", copy " << job;
      EXPECT_EQ(RunTool("pdftotext", {"-layout", Pdf(job), "-"}),
                RunTool("pdftotext", {"-layout", Pdf(1), "-"}))
          << c.what << ": copy " << job << " differs from the first";
    }
    EXPECT_FALSE(QFileInfo::exists(Pdf(c.copies + 1))) << c.what;
    EXPECT_TRUE(boxes.shown.empty()) << c.what;
  }
}

TEST_F(PrintTest, PrintedInTheNarrowFont) {
  ErrorLogOutput::PrintErrorLog({"x"}, "M", nullptr);
  const QString fonts = RunTool("pdffonts", {Pdf(1)});
  EXPECT_TRUE(fonts.contains("LiberationSansNarrow")) << fonts.toStdString();
}

TEST_F(PrintTest, CancelPrintsNothingSwitchesNothingSaysNothing) {
  copies = std::nullopt;
  onDialog = [this] { spooler.defaultName = "Lab"; };
  ErrorLogOutput::PrintErrorLog({"a"}, "M", nullptr);

  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(QDir(temp_.path()).isEmpty());
  EXPECT_TRUE(spooler.calls.empty());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(spooler.waitCursorAtRead, (std::vector<bool>{false}));
}

TEST_F(PrintTest, DefaultChangedByTheDialogIsSwitchedBackOnEveryPath) {
  struct Case {
    const char *what;
    bool fails;
  };
  for (const Case &c : {Case{"printed", false}, Case{"file cannot be written", true}}) {
    FakeMessBoxes localBoxes;
    spooler.calls.clear();
    spooler.defaultName = "Office";
    outputFile = c.fails ? temp_.path() + "/missing/log.pdf" : Pdf(1);
    onDialog = [this] { spooler.defaultName = "Lab"; };

    ErrorLogOutput::PrintErrorLog({"a"}, "M", nullptr);

    EXPECT_EQ(spooler.defaultName, "Office") << c.what;
    ASSERT_FALSE(spooler.calls.empty()) << c.what;
    EXPECT_EQ(spooler.calls[1], "Open [Office]") << c.what;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << c.what;
    if (!c.fails) {
      EXPECT_TRUE(localBoxes.shown.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(localBoxes.shown.size(), 1u) << c.what;
    EXPECT_EQ(localBoxes.shown[0].prompt,
              "The error log could not be printed.\nThe file could not be written: " +
                  QDir::toNativeSeparators(outputFile));
    EXPECT_EQ(localBoxes.shown[0].style, 48);
    EXPECT_EQ(localBoxes.shown[0].title, "Print");
  }
}

TEST_F(PrintTest, NoPrinterInstalledIsNamedAsTheReason) {
  spooler.printers.clear();
  spooler.defaultName = "";
  outputFile.clear(); // as the dialog leaves the printer when there is none: a PDF with no file
  ErrorLogOutput::PrintErrorLog({"a"}, "M", nullptr);

  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].prompt, "The error log could not be printed.\nNo printer is installed.");
  EXPECT_EQ(boxes.shown[0].style, 48);
  EXPECT_EQ(boxes.shown[0].title, "Print");
  EXPECT_TRUE(QDir(temp_.path()).isEmpty());
}

TEST_F(PrintTest, NoDefaultBeforeTheDialogMeansNothingToSwitchBackTo) {
  spooler.defaultName = "";
  onDialog = [this] { spooler.defaultName = "Lab"; };
  ErrorLogOutput::PrintErrorLog({"a"}, "M", nullptr);
  EXPECT_TRUE(spooler.calls.empty());
  EXPECT_TRUE(QFileInfo::exists(Pdf(1)));
}

TEST(PrintTextTest, PositionRulesInTwips) {
  QPrinter printer(QPrinter::HighResolution);
  PrintSurface surface(printer);
  struct Step {
    const char *what;
    bool move; // MovePrintPos instead of PrintText
    float x;
    float y;
    float expectedX;
    float expectedY;
  };
  const Step steps[] = {
      {"positive sets", false, 8, 15, 453.6f, 850.5f},
      {"zero keeps", false, 0, 0, 453.6f, 850.5f},
      {"negative moves right and down", false, -2, -5, 567.0f, 1134.0f},
      {"move: column absolute, y down", true, 8, -5, 453.6f, 1417.5f},
      {"move ignores both signs", true, -8, 5, 453.6f, 1701.0f},
      {"positive y sets again", false, 0, 1, 453.6f, 56.7f},
  };
  for (const Step &s : steps) {
    if (s.move)
      PrintModule::MovePrintPos(surface, s.x, s.y);
    else
      PrintModule::PrintText(surface, QString(), s.x, s.y, 0);
    EXPECT_NEAR(surface.CurrentX(), s.expectedX, 0.01) << s.what;
    EXPECT_NEAR(surface.CurrentY(), s.expectedY, 0.01) << s.what;
  }
  EXPECT_EQ(surface.JobsSent(), 0) << "positions alone open no job";
  EXPECT_DOUBLE_EQ(TwipsToDevicePixels(453.6, 1200), 378.0);
}

TEST(PrintTextTest, PaletteIndexOutsideTheSixteenIsBlack) {
  struct Case {
    std::int16_t index;
    QColor colour;
  };
  const Case cases[] = {{0, QColor(0, 0, 0)},   {4, QColor(128, 0, 0)},      {7, QColor(192, 192, 192)},
                        {9, QColor(0, 0, 255)}, {15, QColor(255, 255, 255)}, {16, QColor(0, 0, 0)},
                        {-1, QColor(0, 0, 0)},  {32767, QColor(0, 0, 0)}};
  for (const Case &c : cases)
    EXPECT_EQ(PrintModule::PaletteColour(c.index), c.colour) << c.index;

  QTemporaryDir temp;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(temp.path() + "/c.pdf");
  PrintSurface surface(printer);
  PrintModule::PrintText(surface, "red", 8, 8, 4);
  EXPECT_EQ(surface.TextColor(), QColor(128, 0, 0));
  PrintModule::PrintText(surface, "", 8, 8, 9);
  EXPECT_EQ(surface.TextColor(), QColor(128, 0, 0)) << "an empty text sets no colour";
  PrintModule::PrintText(surface, "black", 8, 8, 16);
  EXPECT_EQ(surface.TextColor(), QColor(0, 0, 0));
  surface.EndDoc();
  EXPECT_EQ(surface.JobsSent(), 1);
}

TEST(PrintDialogTest, RealDialogHidesFileAndSelectionAndStartsAtOneCopy) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setCopyCount(3);
  const auto dialog = ErrorLogOutput::MakePrintDialog(nullptr, printer);
  EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintToFile));
  EXPECT_FALSE(dialog->testOption(QAbstractPrintDialog::PrintSelection));
  EXPECT_EQ(printer.copyCount(), 1);
}

TEST(PrintDialogTest, CancelInTheRealDialogPrintsAndSwitchesNothing) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows print dialog is the system's own, not a widget the test can answer";
#endif
  FakeMessBoxes boxes;
  FakeSpooler spooler;
  spooler.defaultName = "Office";
  bool cancelled = false;
  QTimer poll; // answers the modal dialog from inside its own event loop
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
      cancelled = true;
      dialog->reject();
    }
  });
  poll.start(10);
  ErrorLogOutput::PrintErrorLog({"a"}, "M", nullptr);
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(spooler.calls.empty());
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(spooler.waitCursorAtRead, (std::vector<bool>{false}));
}

TEST(PrintJobFileTest, LaterJobsGetNumberedFiles) {
  EXPECT_EQ(JobOutputFile("/a/log.pdf", 1), "/a/log.pdf");
  EXPECT_EQ(JobOutputFile("/a/log.pdf", 2), "/a/log-2.pdf");
  EXPECT_EQ(JobOutputFile("/a/x.y.pdf", 3), "/a/x.y-3.pdf");
  EXPECT_EQ(JobOutputFile("/a/log", 2), "/a/log-2");
  EXPECT_EQ(JobOutputFile("", 2), "");
}

} // namespace
