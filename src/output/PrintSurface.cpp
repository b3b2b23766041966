#include "output/PrintSurface.h"

#include "output/Spooler.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPrinter>

namespace {
constexpr double kTwipsPerInch = 1440.0;
}

QString JobOutputFile(const QString &firstFile, int job) {
  if (job <= 1 || firstFile.isEmpty())
    return firstFile;
  const QFileInfo info(firstFile);
  const QString suffix = info.suffix();
  const QString numbered = info.completeBaseName() + QLatin1Char('-') + QString::number(job);
  return info.dir().filePath(suffix.isEmpty() ? numbered : numbered + QLatin1Char('.') + suffix);
}

PrintSurface::PrintSurface(QPrinter &printer) : printer_(printer) {}

QString PrintSurface::DeviceName() const {
  return QString::fromLocal8Bit(DefaultPrinter::ActiveSpooler().DefaultPrinterName().c_str());
}

PrintSurface::~PrintSurface() {
  if (painter_.isActive())
    painter_.end();
}

void PrintSurface::SetFont(const QFont &font) {
  font_ = font;
  if (painter_.isActive())
    painter_.setFont(font_);
}

void PrintSurface::BeginJob() {
  if (jobsSent_ == 0)
    firstOutputFile_ = printer_.outputFileName();
  if (!firstOutputFile_.isEmpty())
    printer_.setOutputFileName(JobOutputFile(firstOutputFile_, jobsSent_ + 1));
  if (!painter_.begin(&printer_))
    throw PrintFailed{};
  painter_.setFont(font_);
}

void PrintSurface::PrintWithoutLineEnd(const QString &text) {
  if (!painter_.isActive())
    BeginJob();
  const QFontMetricsF metrics(font_, &printer_);
  const double x = TwipsToDevicePixels(currentX_, printer_.logicalDpiX());
  const double y = TwipsToDevicePixels(currentY_, printer_.logicalDpiY());
  painter_.setPen(textColor_);
  painter_.drawText(QPointF(x, y + metrics.ascent()), text);
  currentX_ += static_cast<float>(metrics.horizontalAdvance(text) * kTwipsPerInch / printer_.logicalDpiX());
}

bool PrintSurface::LineFits(float topTwips) const {
  const QFontMetricsF metrics(font_, &printer_);
  const double bottom = TwipsToDevicePixels(topTwips, printer_.logicalDpiY()) + metrics.height();
  return bottom <= printer_.height();
}

void PrintSurface::NewPage() {
  currentX_ = 0;
  currentY_ = 0;
  // A job not yet opened is still on its first page, which is empty.
  if (painter_.isActive() && !printer_.newPage())
    throw PrintFailed{};
}

void PrintSurface::EndDoc() {
  currentX_ = 0;
  currentY_ = 0;
  if (!painter_.isActive())
    return;
  if (!painter_.end())
    throw PrintFailed{};
  // The job was handed to the spooler without a word on whether it was taken.
  if (printer_.outputFormat() == QPrinter::NativeFormat) {
    const std::string refusal = DefaultPrinter::ActiveSpooler().LastJobRefusal();
    if (!refusal.empty())
      throw PrintFailed{QString::fromLocal8Bit(refusal.c_str())};
  }
  ++jobsSent_;
}
