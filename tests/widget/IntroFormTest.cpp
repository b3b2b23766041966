#include "app/IntroForm.h"
#include "app/ErrorLogForm.h"
#include "platform/Twips.h"
#include "platform/VersionText.h"
#include "support/FakeMessBoxes.h"
#include "support/ProgramEnd.h"
#include "support/SimulatedBus.h"

#include <QFontInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Watches the splash of one Intro call from inside its modal loop, without blocking it:
// onShown runs at the first look that finds it visible, onRunning at the first that finds
// its timer running.
class SplashWatch {
public:
  using Step = std::function<void(IntroForm &)>;
  SplashWatch(QWidget &owner, Step onShown, Step onRunning = nullptr)
      : onShown_(std::move(onShown)), onRunning_(std::move(onRunning)) {
    poll_.setInterval(1);
    QObject::connect(&poll_, &QTimer::timeout, [this, &owner] {
      auto *splash = owner.findChild<IntroForm *>();
      if (!splash || !splash->isVisible())
        return;
      if (!shown) {
        shown = true;
        QObject::connect(splash->Timer1, &QTimer::timeout, [this] { ++ticks; });
        QObject::connect(splash, &QDialog::finished,
                         [this, splash] { timerRunningAtClose = splash->Timer1->isActive(); });
        if (onShown_)
          onShown_(*splash);
      } else if (!running && splash->Timer1->isActive()) {
        running = true;
        if (onRunning_)
          onRunning_(*splash);
      }
    });
    poll_.start();
  }

  bool shown = false;
  bool running = false;
  int ticks = 0;
  bool timerRunningAtClose = true;

private:
  Step onShown_;
  Step onRunning_;
  QTimer poll_;
};

class IntroTest : public ::testing::Test {
protected:
  void SetUp() override { form.Load(); }
  EndProgramCatcher catcher;
  FakeMessBoxes boxes;
  SimulatedBus bus;
  ErrorLogForm form;
};

TEST_F(IntroTest, ShowsTheTitleForTheGivenTime) {
  QString text;
  QString family;
  double points = 0;
  QColor colour;
  int interval = 0;
  Qt::TimerType type = Qt::CoarseTimer;
  QPoint labelAt;
  QPoint centreOffset;
  SplashWatch watch(
      form,
      [&](IntroForm &splash) {
        text = splash.Label1->text();
        family = QFontInfo(splash.Label1->font()).family();
        points = splash.Label1->font().pointSizeF();
        colour = splash.Label1->palette().color(QPalette::WindowText);
        interval = splash.Timer1->interval();
        type = splash.Timer1->timerType();
        labelAt = splash.Label1->pos();
        centreOffset = splash.frameGeometry().center() - splash.screen()->availableGeometry().center();
      },
      // The given time has been checked: let it pass at once.
      [](IntroForm &splash) { splash.Timer1->setInterval(0); });
  std::int16_t seconds = 1;
  form.Intro(seconds);

  ASSERT_TRUE(watch.shown);
  EXPECT_EQ(text, QStringLiteral("Skeld Error Log Viewer, v1.3 - Feb 2025 / QX"));
  EXPECT_EQ(family, QStringLiteral("Liberation Serif"));
  EXPECT_DOUBLE_EQ(points, 14.25);
  EXPECT_EQ(colour, QColor(0, 0, 255));
  EXPECT_EQ(interval, 1000);
  EXPECT_EQ(type, Qt::PreciseTimer);
  EXPECT_EQ(labelAt, QPoint(skeld::TwipsToPixels(240), skeld::TwipsToPixels(240)));
  EXPECT_LE(centreOffset.manhattanLength(), 2);
  EXPECT_TRUE(watch.running);
  EXPECT_EQ(watch.ticks, 1);
  EXPECT_FALSE(watch.timerRunningAtClose);
}

enum class ClickOn { Text, Window };

class SplashClick : public IntroTest, public ::testing::WithParamInterface<ClickOn> {};

TEST_P(SplashClick, ClosesAtOnceAndTheTimerNeverFires) {
  SplashWatch watch(form, nullptr, [&](IntroForm &splash) {
    if (GetParam() == ClickOn::Text)
      QTest::mouseClick(splash.Label1, Qt::LeftButton);
    else
      QTest::mouseClick(&splash, Qt::LeftButton, {}, QPoint(3, splash.height() - 3));
  });
  std::int16_t seconds = 2;
  form.Intro(seconds);
  ASSERT_TRUE(watch.running);
  // A tick would mean it stayed until its time ran out.
  EXPECT_EQ(watch.ticks, 0);
  EXPECT_FALSE(watch.timerRunningAtClose);
}

INSTANTIATE_TEST_SUITE_P(Places, SplashClick, ::testing::Values(ClickOn::Text, ClickOn::Window));

TEST_F(IntroTest, WidthIsTheTextPlus600TwipsWhateverTheVersion) {
  std::vector<int> labelWidths;
  for (const char *version : {"1.3", "12.345678"}) {
    skeld::VersionText = QLatin1String(version);
    int labelWidth = 0;
    int textWidth = 0;
    int splashWidth = 0;
    SplashWatch watch(form, [&](IntroForm &splash) {
      labelWidth = splash.Label1->width();
      textWidth = splash.Label1->sizeHint().width();
      splashWidth = splash.width();
      QTest::mouseClick(splash.Label1, Qt::LeftButton);
    });
    std::int16_t seconds = 2;
    form.Intro(seconds);
    ASSERT_TRUE(watch.shown);
    EXPECT_EQ(labelWidth, textWidth) << version;
    EXPECT_EQ(skeld::PixelsToTwips(splashWidth), skeld::PixelsToTwips(labelWidth) + 600) << version;
    labelWidths.push_back(labelWidth);
  }
  EXPECT_GT(labelWidths[1], labelWidths[0]);
}

// A click handled while the splash is being activated closes it before its timer starts;
// the timer must then stay off.
TEST(IntroForm, ClickDuringActivationLeavesTheTimerOff) {
  IntroForm splash;
  splash.Timer1->setInterval(1000);
  splash.show();
  const QPointF inside(3, 3);
  QCoreApplication::postEvent(&splash,
                              new QMouseEvent(QEvent::MouseButtonRelease, inside, splash.mapToGlobal(inside),
                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(&splash, &activate);
  EXPECT_FALSE(splash.isVisible());
  EXPECT_FALSE(splash.Timer1->isActive());
}

} // namespace
