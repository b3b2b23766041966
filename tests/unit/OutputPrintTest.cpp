#include "FakeSpooler.h"
#include "output/ErrorLogExport.h"
#include "output/ErrorLogOutput.h"
#include "output/OutputDialogs.h"
#include "output/PrintModule.h"
#include "output/PrintSurface.h"
#include "support/FakeMessBoxes.h"

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
  double x; // mm from the page's left edge
  double y; // mm from the page's top edge to the top of the text
};

QString RunTool(const QString &tool, const QStringList &arguments) {
  QProcess process;
  process.start(tool, arguments);
  if (!process.waitForFinished(30000) || process.exitCode() != 0)
    return QString();
  return QString::fromUtf8(process.readAllStandardOutput());
}

// Words with their positions, from pdftotext -bbox, page by page.
std::vector<std::vector<Word>> PdfWords(const QString &pdf) {
  const QString html = RunTool("pdftotext", {"-bbox", pdf, "-"});
  std::vector<std::vector<Word>> pages;
  static const QRegularExpression tag(
      R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="[\d.]+" yMax="[\d.]+">([^<]*)</word>)re");
  for (auto match = tag.globalMatch(html); match.hasNext();) {
    const QRegularExpressionMatch m = match.next();
    if (m.captured(0) == "<page ") {
      pages.emplace_back();
      continue;
    }
    if (pages.empty())
      pages.emplace_back();
    QString text = m.captured(3);
    text.replace("&quot;", "\"").replace("&amp;", "&");
    pages.back().push_back(Word{text, m.captured(1).toDouble() * kMillimetresPerPoint,
                                m.captured(2).toDouble() * kMillimetresPerPoint});
  }
  return pages;
}

// The first word of every printed line, as "text@x,y" in whole tenths of a millimetre
// inside the printable area.
struct Line {
  QString firstWord;
  double x;
  double y;
};
std::vector<Line> Lines(const std::vector<Word> &words) {
  std::vector<Line> lines;
  for (const Word &w : words)
    if (lines.empty() || std::abs(lines.back().y - (w.y - kMargin)) > 1)
      lines.push_back(Line{w.text, w.x - kMargin, w.y - kMargin});
  return lines;
}

void ExpectLines(const std::vector<Line> &actual, const std::vector<Line> &expected, const char *what) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].firstWord, expected[i].firstWord) << what << " line " << i;
    EXPECT_NEAR(actual[i].x, expected[i].x, kTolerance) << what << " line " << i;
    EXPECT_NEAR(actual[i].y, expected[i].y, kTolerance) << what << " line " << i;
  }
}

// Prints to PDF files in a temporary folder through the print dialog's answerer.
class PrintTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    ASSERT_FALSE(QStandardPaths::findExecutable("pdftotext").isEmpty()) << "poppler-utils missing";
    previous_ = ErrorLogOutput::SetPrintDialogAnswer([this](QPrinter &printer) -> std::optional<int> {
      ++dialogs;
      if (onDialog)
        onDialog();
      if (!copies)
        return std::nullopt;
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(outputFile);
      printer.setPageMargins(QMarginsF(kMargin, kMargin, kMargin, kMargin), QPageLayout::Millimeter);
      return copies;
    });
    outputFile = Pdf(1);
    spooler.defaultName = "Office";
    spooler.printers["Office"] = FakeSpooler::Printer{"LPT1:", 0, 0, 0, false};
  }
  void TearDown() override { ErrorLogOutput::SetPrintDialogAnswer(previous_); }

  QString Pdf(int job) const { return JobOutputFile(temp_.path() + "/log.pdf", job); }
  QString Header(const QString &model) const { return ErrorLogOutput::LogHeaderText(model); }

  QTemporaryDir temp_;
  ErrorLogOutput::PrintDialogAnswer previous_;
  FakeMessBoxes boxes;
  FakeSpooler spooler;
  std::optional<int> copies = 1;
  std::function<void()> onDialog;
  QString outputFile;
  int dialogs = 0;
};

TEST_F(PrintTest, HeaderThenOneLinePerEntryAtFixedPositions) {
  ErrorLogOutput::PrintErrorLog({"first entry", "", "third, with \"quotes\"", "fourth"}, "TDS 3054", nullptr);

  const auto pages = PdfWords(Pdf(1));
  ASSERT_EQ(pages.size(), 1u);
  ExpectLines(Lines(pages[0]), {{"Error", 8, 15}, {"first", 8, 25}, {"third,", 8, 35}, {"fourth", 8, 40}},
              "first copy");
  QStringList header;
  for (const Word &w : pages[0])
    if (std::abs(w.y - pages[0][0].y) < 1)
      header << w.text;
  EXPECT_EQ(header.join(' '), Header("TDS 3054"));
  EXPECT_FALSE(QFileInfo::exists(Pdf(2)));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(spooler.calls.empty()) << "no switch when the default stayed";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(spooler.waitCursorAtRead, (std::vector<bool>{false, true}));
}

TEST_F(PrintTest, EachCopyIsItsOwnJobAndOnlyTheFirstHasTheHeader) {
  copies = 3;
  ErrorLogOutput::PrintErrorLog({"alpha", "beta"}, "TDS 754C", nullptr);

  ExpectLines(Lines(PdfWords(Pdf(1)).at(0)), {{"Error", 8, 15}, {"alpha", 8, 25}, {"beta", 8, 30}}, "copy 1");
  // A new job starts at the top of the printable area, so its entries begin 5 mm down.
  for (int job : {2, 3})
    ExpectLines(Lines(PdfWords(Pdf(job)).at(0)), {{"alpha", 8, 5}, {"beta", 8, 10}}, "later copy");
  EXPECT_FALSE(QFileInfo::exists(Pdf(4)));
}

TEST_F(PrintTest, EmptyListPrintsTheHeaderAloneOnce) {
  copies = 2;
  ErrorLogOutput::PrintErrorLog({}, "", nullptr);

  ExpectLines(Lines(PdfWords(Pdf(1)).at(0)), {{"Error", 8, 15}}, "header only");
  EXPECT_FALSE(QFileInfo::exists(Pdf(2))) << "a copy with nothing on it is no job";
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
  for (const Case &c : {Case{"printed", false}, Case{"printer refused", true}}) {
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
    EXPECT_EQ(localBoxes.shown[0].prompt, "The error log could not be printed.\n\n" + outputFile);
    EXPECT_EQ(localBoxes.shown[0].style, 48);
    EXPECT_EQ(localBoxes.shown[0].title, "Print");
  }
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
