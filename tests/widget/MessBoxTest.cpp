#include "ui/MessBox.h"
#include "platform/Twips.h"
#include "ui/FontTwins.h"
#include "ui/Module1.h"
#include "ui/UpdateCheck.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace {

using skeld::PixelsToTwips;
using skeld::TwipsToPixels;

QPushButton *ButtonAt(MessBox &box, int index) {
  for (QPushButton *button : box.findChildren<QPushButton *>(QStringLiteral("Button")))
    if (button->property("index").toInt() == index)
      return button;
  return nullptr;
}

// Shows a real box through ShowMessBox and runs `act` on it while it is up; returns what
// ShowMessBox returned.
std::int16_t ShowAnd(const QString &prompt, std::int16_t style, const QString &title,
                     const std::function<void(MessBox &)> &act) {
  QTimer::singleShot(0, [&] {
    auto *box = qobject_cast<MessBox *>(QApplication::activeModalWidget());
    if (!box) {
      ADD_FAILURE() << "no message box is up";
      MessBox::Instance().hide();
      return;
    }
    EXPECT_TRUE(QTest::qWaitFor([box] { return box->isActiveWindow(); }, 5000)) << "box never activated";
    act(*box);
    if (!QTest::qWaitFor([box] { return !box->isVisible(); }, 5000)) {
      ADD_FAILURE() << "box still open after the test's action";
      box->hide();
    }
    // Offscreen on Windows, a box closed from inside this callback leaves its loop asleep
    // until some later event comes (30 s); one more lets it see that it has ended.
    QTimer::singleShot(0, [] {});
  });
  return Module1::ShowMessBox(prompt, style, title);
}

void PressKeys(MessBox &box, const std::vector<Qt::Key> &keys) {
  for (Qt::Key key : keys)
    QTest::keyClick(box.windowHandle(), key);
}

struct StyleCase {
  std::int16_t style;
  const char *captions[3]; // Button 0 to 2; nullptr = hidden
  const char *tag;
  int focus;
  int minLabelWidth;
  std::int16_t dismissal;
};

// Ordered so that boxes with all three buttons follow boxes that hid some.
const StyleCase StyleCases[] = {
    {0, {"OK", nullptr, nullptr}, "", 0, 1115, 1},
    {4, {"No", "Yes", nullptr}, "", 0, 2315, 7},
    {2, {"Ignore", "Retry", "Abort"}, "", 0, 3515, 5},
    {16, {"OK", nullptr, nullptr}, "  <Critical>", 0, 1115, 1},
    {48, {"OK", nullptr, nullptr}, "  < ! >", 0, 1115, 1},
    {3, {"Cancel", "No", "Yes"}, "", 0, 3515, 2},
    {49, {"Cancel", "OK", nullptr}, "  < ! >", 0, 2315, 2},
    {292, {"No", "Yes", nullptr}, "  < ? >", 1, 2315, 7},
    {5, {"Cancel", "Retry", nullptr}, "", 0, 2315, 2},
    {64, {"OK", nullptr, nullptr}, "  <Info>", 0, 1115, 1},
    {545, {"Cancel", "OK", nullptr}, "  < ? >", 0, 2315, 2}, // names Button 2, which set 1 hides
};

// A short one-line prompt: the set's minimum width and the design height; closing the box
// answers as its rightmost button.
TEST(MessBox, ButtonsCaptionFocusAndGeometryPerStyle) {
  for (const StyleCase &c : StyleCases) {
    SCOPED_TRACE(c.style);
    const std::int16_t code =
        ShowAnd(QStringLiteral("Hi"), c.style, QStringLiteral("Title"), [&](MessBox &box) {
          EXPECT_EQ(box.windowTitle(), QStringLiteral("Title") + QLatin1String(c.tag));

          const MessBoxLayout &layout = box.Layout();
          const int width = c.minLabelWidth + 310;
          EXPECT_EQ(layout.labelWidth, c.minLabelWidth);
          EXPECT_EQ(layout.windowWidth, width);
          EXPECT_EQ(layout.windowHeight, 1500);
          EXPECT_EQ(layout.buttonTop, 600);
          EXPECT_EQ(box.size(), QSize(TwipsToPixels(width - 90), TwipsToPixels(1125)));

          for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            QPushButton *button = ButtonAt(box, i);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->isVisible(), c.captions[i] != nullptr);
            if (c.captions[i]) {
              EXPECT_EQ(button->text(), QLatin1String(c.captions[i]));
            }
            const int left = width - 1305 - 1200 * i;
            EXPECT_EQ(layout.buttonLeft[static_cast<std::size_t>(i)], left);
            EXPECT_EQ(button->geometry(), QRect(TwipsToPixels(left), TwipsToPixels(600), TwipsToPixels(1095),
                                                TwipsToPixels(375)));
            EXPECT_FALSE(button->isDefault());
          }
          EXPECT_EQ(QApplication::focusWidget(), ButtonAt(box, c.focus));

          auto *label = box.findChild<QLabel *>(QStringLiteral("Label_Msg"));
          ASSERT_NE(label, nullptr);
          EXPECT_EQ(label->text(), QStringLiteral("Hi"));
          EXPECT_EQ(label->geometry(), QRect(8, 8, TwipsToPixels(c.minLabelWidth), 13));

          box.close();
        });
    EXPECT_EQ(code, c.dismissal);
  }
}

TEST(MessBox, HeightFollowsTheNumberOfLines) {
  const struct {
    const char *prompt;
    int lines;
  } cases[] = {
      {"One line only", 1},
      {"This will clear the error log in the scope.\nAre you sure you want to do this ?", 2},
      {"First paragraph.\n\nSecond paragraph.", 3},
      {"a\nb\nc\nd\ne", 5},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.prompt);
    ShowAnd(QString::fromLatin1(c.prompt), 4, QStringLiteral("Lines"), [&](MessBox &box) {
      auto *label = box.findChild<QLabel *>(QStringLiteral("Label_Msg"));
      auto *panel = box.findChild<QFrame *>(QStringLiteral("Frame_Msg"));
      ASSERT_NE(label, nullptr);
      ASSERT_NE(panel, nullptr);
      const MessBoxLayout &layout = box.Layout();
      const int labelHeight = PixelsToTwips(label->height());
      EXPECT_EQ(layout.labelHeight, labelHeight);
      EXPECT_EQ(labelHeight, 195 * c.lines) << "one text line should measure 195 twips";

      const int panelHeight = c.lines > 1 ? labelHeight + 240 : 495;
      const int buttonTop = c.lines > 1 ? labelHeight + 345 : 600;
      const int windowHeight = c.lines > 1 ? buttonTop + 930 : 1500;
      EXPECT_EQ(layout.panelHeight, panelHeight);
      EXPECT_EQ(layout.buttonTop, buttonTop);
      EXPECT_EQ(layout.windowHeight, windowHeight);

      EXPECT_EQ(panel->height(), TwipsToPixels(panelHeight));
      EXPECT_EQ(box.height(), TwipsToPixels(windowHeight - 375));
      for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ButtonAt(box, i)->y(), TwipsToPixels(buttonTop)) << i;
      // The buttons sit below the panel.
      EXPECT_GT(ButtonAt(box, 0)->y(), panel->geometry().bottom());
      box.close();
    });
  }
}

TEST(MessBox, WidePromptWidensTheWindow) {
  const QString prompt =
      QStringLiteral("GPIB bus eror. The instrument did not answer in time; check the cable, the "
                     "address and the power switch, then start again.");
  for (std::int16_t style : {std::int16_t{0}, std::int16_t{4}, std::int16_t{2}}) {
    SCOPED_TRACE(style);
    ShowAnd(prompt, style, QStringLiteral("Wide"), [&](MessBox &box) {
      auto *label = box.findChild<QLabel *>(QStringLiteral("Label_Msg"));
      auto *panel = box.findChild<QFrame *>(QStringLiteral("Frame_Msg"));
      auto *line = box.findChild<QFrame *>(QStringLiteral("Line_Msg"));
      ASSERT_NE(label, nullptr);
      ASSERT_NE(panel, nullptr);
      ASSERT_NE(line, nullptr);
      const int labelWidth = PixelsToTwips(label->width());
      ASSERT_GT(labelWidth, 3515) << "prompt is not wider than every minimum";
      EXPECT_EQ(label->width(), label->sizeHint().width()) << "label keeps the width of its text";

      const int width = labelWidth + 310;
      const MessBoxLayout &layout = box.Layout();
      EXPECT_EQ(layout.labelWidth, labelWidth);
      EXPECT_EQ(layout.windowWidth, width);
      EXPECT_EQ(layout.panelWidth, width);
      EXPECT_EQ(box.width(), TwipsToPixels(width - 90));
      EXPECT_EQ(panel->width(), TwipsToPixels(width));
      EXPECT_EQ(line->geometry(), QRect(0, 0, TwipsToPixels(width), 1));
      for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ButtonAt(box, i)->x(), TwipsToPixels(width - 1305 - 1200 * i)) << i;
      // Right-aligned: the rightmost button ends 120 twips inside the client area.
      EXPECT_EQ(ButtonAt(box, 0)->geometry().right() + 1, TwipsToPixels(width - 210));
      box.close();
    });
  }
}

TEST(MessBox, KeysAndClicksChooseButtons) {
  const struct {
    std::int16_t style;
    std::vector<Qt::Key> keys;
    int click; // index clicked after the keys, -1 for none
    std::int16_t expected;
  } cases[] = {
      {4, {Qt::Key_Escape}, -1, 7},
      {49, {Qt::Key_Escape}, -1, 2},
      {292, {Qt::Key_Escape}, -1, 6},
      {4, {Qt::Key_Return}, -1, 7},
      {0, {Qt::Key_Return}, -1, 1},
      {49, {Qt::Key_Enter}, -1, 2},
      {4, {Qt::Key_Space}, -1, 7},
      {4, {Qt::Key_Tab, Qt::Key_Return}, -1, 6},
      {3, {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Escape}, -1, 6},
      {3, {Qt::Key_Tab, Qt::Key_Space}, -1, 7},
      {3, {}, 2, 6},
      {2, {}, 0, 5},
      {2, {}, 1, 4},
      {2, {}, 2, 3},
      {5, {}, 1, 4},
      {1, {}, 1, 1},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.style << ", click " << c.click);
    const std::int16_t code =
        ShowAnd(QStringLiteral("Choose"), c.style, QStringLiteral("Keys"), [&](MessBox &box) {
          PressKeys(box, c.keys);
          if (c.click >= 0)
            QTest::mouseClick(ButtonAt(box, c.click), Qt::LeftButton);
        });
    EXPECT_EQ(code, c.expected);
  }
}

TEST(MessBox, DismissalAnswersAsTheRightmostButton) {
  EXPECT_EQ(
      ShowAnd(QStringLiteral("Clear?"), 4, QStringLiteral("Reject"), [](MessBox &box) { box.reject(); }), 7);
  EXPECT_EQ(ShowAnd(QStringLiteral("Go on?"), 49, QStringLiteral("Close"),
                    [](MessBox &box) { box.windowHandle()->close(); }),
            2);
}

// The Enter that Esc sends arrives later; when the box was closed in between, the closing
// stands and the keystroke is dropped: it chooses nothing, in this box or in the next one.
TEST(MessBox, EnterFromEscIsDroppedOnceTheBoxClosed) {
  const std::int16_t first = ShowAnd(QStringLiteral("Clear?"), 292, QStringLiteral("Esc"), [](MessBox &box) {
    QWidget *focused = box.focusWidget();
    ASSERT_EQ(focused, ButtonAt(box, 1));
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(focused, &esc);
    box.close();
  });
  EXPECT_EQ(first, 7);

  const std::int16_t second =
      ShowAnd(QStringLiteral("Really?"), 292, QStringLiteral("Esc"), [](MessBox &box) {
        QCoreApplication::processEvents();
        ASSERT_TRUE(box.isVisible()) << "answered before anyone chose";
        QTest::mouseClick(ButtonAt(box, 0), Qt::LeftButton);
      });
  EXPECT_EQ(second, 7);
}

// Every activation puts the focus back on the button the style names.
TEST(MessBox, ActivationFocusesTheNamedButton) {
  const std::int16_t code = ShowAnd(QStringLiteral("Sure?"), 292, QStringLiteral("Focus"), [](MessBox &box) {
    QTest::keyClick(box.windowHandle(), Qt::Key_Tab);
    ASSERT_EQ(box.focusWidget(), ButtonAt(box, 0));
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(&box, &activate);
    QTest::keyClick(box.windowHandle(), Qt::Key_Return);
  });
  EXPECT_EQ(code, 6);
}

TEST(MessBox, CentredOnTheActiveWindowAndModal) {
  QWidget owner;
  owner.setGeometry(100, 120, 600, 400);
  owner.show();
  owner.activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return owner.isActiveWindow(); }, 5000));

  ShowAnd(QStringLiteral("Centred"), 0, QStringLiteral("Owner"), [&](MessBox &box) {
    EXPECT_EQ(QApplication::activeModalWidget(), &box);
    EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
    const QSize outer = skeld::TwipsSize(box.Layout().windowWidth, box.Layout().windowHeight);
    const QPoint centre = box.frameGeometry().topLeft() + QPoint(outer.width() / 2, outer.height() / 2);
    const QPoint expected = owner.frameGeometry().center();
    EXPECT_LE((centre - expected).manhattanLength(), 2) << centre.x() << ',' << centre.y();
    box.close();
  });
  owner.hide();
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 5000));

  ShowAnd(QStringLiteral("Centred"), 0, QStringLiteral("Screen"), [&](MessBox &box) {
    const QSize outer = skeld::TwipsSize(box.Layout().windowWidth, box.Layout().windowHeight);
    const QPoint centre = box.frameGeometry().topLeft() + QPoint(outer.width() / 2, outer.height() / 2);
    const QPoint expected = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((centre - expected).manhattanLength(), 2) << centre.x() << ',' << centre.y();
    box.close();
  });
}

// Prompts too large for the screen: the box and its buttons stay inside the screen's free
// area, also beside an owner at the screen's edge, and both ends of the prompt, where the
// question stands, can still be read.
TEST(MessBox, NeverLargerThanTheScreen) {
  QStringList manyLines;
  for (int i = 0; i < 5000; ++i)
    manyLines << QStringLiteral("Line %1").arg(i);
  const QString longVersion = UpdateCheck::MessageFor(UpdateCheck::Outcome::Newer, QStringLiteral("1.3"),
                                                      QString(100000, QLatin1Char('9')))
                                  .prompt;
  const struct {
    const char *what;
    QString prompt;
    const char *first; // how the shown text begins and ends
    const char *last;
    bool ownerAtTheEdge;
  } cases[] = {
      {"100,000-digit version", longVersion, "A newer version  ( 999",
       "Goto the Program Homepage to download ?", false},
      {"the same beside an owner at the edge", longVersion, "A newer version  ( 999",
       "Goto the Program Homepage to download ?", true},
      {"5,000 lines", manyLines.join(QLatin1Char('\n')), "Line 0\nLine 1\n", "\nLine 4999", false},
  };
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    QWidget owner;
    if (c.ownerAtTheEdge) {
      owner.setGeometry(area.right() - 100, area.top() + 40, 200, 150);
      owner.show();
      owner.activateWindow();
      ASSERT_TRUE(QTest::qWaitFor([&] { return owner.isActiveWindow(); }, 5000));
    }
    const std::int16_t code = ShowAnd(c.prompt, 4, QStringLiteral("Current version: 1.3"), [&](MessBox &box) {
      EXPECT_TRUE(area.contains(box.frameGeometry()))
          << "box " << box.frameGeometry().x() << ',' << box.frameGeometry().y() << ' '
          << box.frameGeometry().width() << 'x' << box.frameGeometry().height();
      for (int i = 0; i < 2; ++i) {
        QPushButton *button = ButtonAt(box, i);
        EXPECT_TRUE(button->isVisible());
        EXPECT_TRUE(box.rect().contains(button->geometry())) << i;
        EXPECT_TRUE(area.contains(QRect(button->mapToGlobal(QPoint(0, 0)), button->size()))) << i;
      }
      auto *label = box.findChild<QLabel *>(QStringLiteral("Label_Msg"));
      ASSERT_NE(label, nullptr);
      EXPECT_TRUE(label->text().startsWith(QLatin1String(c.first))) << label->text().left(40).toStdString();
      EXPECT_TRUE(label->text().endsWith(QLatin1String(c.last))) << label->text().right(40).toStdString();
      EXPECT_LE(label->sizeHint().width(), label->width());
      EXPECT_LE(label->sizeHint().height(), label->height());
      QTest::keyClick(box.windowHandle(), Qt::Key_Tab);
      QTest::keyClick(box.windowHandle(), Qt::Key_Return);
    });
    EXPECT_EQ(code, 6) << "Yes, reached by Tab and Enter";
  }
}

// Windows has no Liberation faces: each is drawn in the core font it has the widths of.
TEST(FontTwins, LiberationFacesFallBackToTheCoreFontsOnWindowsOnly) {
  skeld::UseCoreFontsForLiberation();
  const struct {
    const char *family;
    QStringList onWindows;
  } cases[] = {
      {"Liberation Sans", {"Arial", "MS Sans Serif"}},
      {"Liberation Sans Narrow", {"Arial Narrow", "Arial"}},
      {"Liberation Serif", {"Times New Roman"}},
  };
  for (const auto &c : cases) {
#ifdef _WIN32
    // Qt keeps the names in lower case.
    QStringList expected;
    for (const QString &name : c.onWindows)
      expected << name.toLower();
    EXPECT_EQ(QFont::substitutes(QString::fromLatin1(c.family)), expected) << c.family;
#else
    EXPECT_TRUE(QFont::substitutes(QString::fromLatin1(c.family)).isEmpty()) << c.family;
#endif
  }
}

} // namespace
