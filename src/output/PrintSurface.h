#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>

class QPrinter;

// Twips (1/1440 inch) to device pixels at the printer's resolution.
constexpr double TwipsToDevicePixels(double twips, int dotsPerInch) { return twips * dotsPerInch / 1440.0; }

// The printer or its driver refused a job; the spooler's words for it, when it gave any.
struct PrintFailed {
  QString spoolerSaid;
};

// The printer as the print command draws on it: the printer the print dialog sets up, with
// a current position in twips from the top-left of the printable area, a font and a text
// colour. A print job opens at its first text and goes to the printer at EndDoc; each job
// after the first printed to a file gets its own file, "name-2.pdf", "name-3.pdf"...
class PrintSurface {
public:
  explicit PrintSurface(QPrinter &printer);
  ~PrintSurface();
  PrintSurface(const PrintSurface &) = delete;
  PrintSurface &operator=(const PrintSurface &) = delete;

  // The system default printer, which the surface follows until a dialog chooses another.
  QString DeviceName() const;

  float CurrentX() const { return currentX_; }
  float CurrentY() const { return currentY_; }
  void SetCurrentX(float twips) { currentX_ = twips; }
  void SetCurrentY(float twips) { currentY_ = twips; }

  void SetFont(const QFont &font);
  QFont Font() const { return font_; }
  void SetTextColor(const QColor &colour) { textColor_ = colour; }
  QColor TextColor() const { return textColor_; }

  // Draws the text with its top-left corner at the current position; the position moves to
  // the end of the text on the same line. Throws PrintFailed when no job can be opened.
  void PrintWithoutLineEnd(const QString &text);

  // Whether a line of text whose top is at the given height ends above the bottom of the
  // printable area.
  bool LineFits(float topTwips) const;

  // Starts a new page of the open job and goes back to its top-left. Throws PrintFailed
  // when the printer cannot start the page.
  void NewPage();

  // Sends the open job, if any, to the printer; the next job starts at the top-left.
  // Throws PrintFailed when the printer or its spooler refuses the job.
  void EndDoc();

  int JobsSent() const { return jobsSent_; }

private:
  void BeginJob();

  QPrinter &printer_;
  QPainter painter_;
  QString firstOutputFile_; // as the dialog chose it, taken when the first job opens
  QFont font_;
  QColor textColor_ = Qt::black;
  float currentX_ = 0;
  float currentY_ = 0;
  int jobsSent_ = 0;
};

// The output file of the given job (1 = the first): the first keeps the chosen name.
QString JobOutputFile(const QString &firstFile, int job);
