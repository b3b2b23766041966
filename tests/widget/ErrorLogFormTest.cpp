#include "app/ErrorLogForm.h"
#include "gpib/Vbib32Qx.h"
#include "platform/Twips.h"
#include "support/FakeMessBoxes.h"
#include "support/FormSteps.h"
#include "support/ProgramEnd.h"
#include "support/ScopeBus.h"
#include "support/SimulatedBus.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace formsteps;
using namespace scopebus;

const QString BaseCaption = QStringLiteral("Skeld Error Log Viewer, v1.3 - Feb 2025 / QX");

class ErrorLogFormTest : public ::testing::Test {
protected:
  EndProgramCatcher catcher;
  FakeMessBoxes boxes;
};

TEST_F(ErrorLogFormTest, ControlsStandWhereDesigned) {
  ErrorLogForm form;
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Error Log"));
  EXPECT_EQ(form.centralWidget()->size(), skeld::TwipsSize(12000, 2985));

  struct Control {
    const char *name;
    QString caption;
    QRect geometry;
    bool enabled;
  };
  const Control controls[] = {
      {"RefreshList", QStringLiteral("&Refresh"), skeld::TwipsRect(240, 2520, 855, 315), true},
      {"ClearErrorLog", QStringLiteral("&Clear Error Log"), skeld::TwipsRect(3840, 2520, 1335, 315), false},
      {"Close", QStringLiteral("&Exit"), skeld::TwipsRect(10440, 2520, 1335, 315), true},
  };
  for (const Control &c : controls) {
    auto *button = form.findChild<QPushButton *>(QLatin1String(c.name));
    ASSERT_NE(button, nullptr) << c.name;
    EXPECT_EQ(button->text(), c.caption) << c.name;
    EXPECT_EQ(button->geometry(), c.geometry) << c.name;
    EXPECT_EQ(button->isEnabled(), c.enabled) << c.name;
  }
  auto *list = form.findChild<QListWidget *>(QStringLiteral("List1"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->geometry(), skeld::TwipsRect(240, 0, 11535, 2400));
  auto *label = form.findChild<QLabel *>(QStringLiteral("Label1"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->geometry(), skeld::TwipsRect(1200, 2520, 2535, 315));
  EXPECT_EQ(label->text(), QString());
  EXPECT_EQ(QFontInfo(label->font()).family(), QStringLiteral("Liberation Sans"));
  EXPECT_DOUBLE_EQ(label->font().pointSizeF(), 9.75);

  // Tab indexes: ClearErrorLog 0, Close 1, RefreshList 2, List1 3.
  std::vector<QWidget *> tabStops;
  QWidget *w = form.ClearErrorLog;
  do {
    if (w->focusPolicy() & Qt::TabFocus)
      tabStops.push_back(w);
    w = w->nextInFocusChain();
  } while (w != form.ClearErrorLog);
  EXPECT_EQ(tabStops, (std::vector<QWidget *>{form.ClearErrorLog, form.Close, form.RefreshList, form.List1}));

  auto *file = form.findChild<QMenu *>(QStringLiteral("F"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->title(), QStringLiteral("&File"));
  const QList<QAction *> bar = form.menuBar()->actions();
  ASSERT_EQ(bar.size(), 2);
  EXPECT_EQ(bar[0], file->menuAction());
  EXPECT_EQ(bar[1]->objectName(), QStringLiteral("errAbout"));
  EXPECT_EQ(bar[1]->text(), QStringLiteral("&About"));
  const QList<QAction *> entries = file->actions();
  ASSERT_EQ(entries.size(), 6);
  const std::pair<QString, QString> expected[] = {
      {QStringLiteral("PrintErrorLog"), QStringLiteral("&Print")},
      {QStringLiteral("SendErrorLogToFile"), QStringLiteral("Copy to &File")},
      {QStringLiteral("ConnectInterface"), QStringLiteral("C&onnect...")},
      {QStringLiteral("ClearErrorLog0"), QStringLiteral("C&lear")},
      {QStringLiteral("F1"), QString()},
      {QStringLiteral("E"), QStringLiteral("&Exit")}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(entries[i]->objectName(), expected[i].first);
    EXPECT_EQ(entries[i]->text(), expected[i].second);
    EXPECT_TRUE(entries[i]->isEnabled());
  }
  EXPECT_TRUE(entries[4]->isSeparator());
}

TEST_F(ErrorLogFormTest, StartUpOnTheDefaultBusCaptionsAndReadsTheLog) {
  SimulatedBus bus;
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  EXPECT_EQ(form.windowTitle(), BaseCaption);
  EXPECT_EQ(VBIB32QX::DevTimeout, 12);
  EXPECT_NE(form.scopeHandle(), 0);
  form.Form_Activate();

  EXPECT_EQ(form.windowTitle(), BaseCaption + QStringLiteral("   -   Connected to TDS 3054 @ GPIB Addr: 1"));
  EXPECT_EQ(form.scopeModel(), QStringLiteral("TDS 3054"));
  EXPECT_EQ(Items(form.List1), gpibsim::StoredLog(1));
  EXPECT_GT(form.List1->count(), 0);
  EXPECT_EQ(form.VerErr(), QStringLiteral("2025-02-14 - v1.3"));
  EXPECT_EQ(bus.Written(), StartUpCommands(form.List1->count()));
  EXPECT_TRUE(boxes.shown.empty());
}

// What a screen reader is given: every entry of the list by its text, each button by its
// caption without the mnemonic, the count beside them. The Windows Qt is built for this too.
TEST_F(ErrorLogFormTest, AScreenReaderReadsTheListAndTheButtons) {
  SimulatedBus bus;
  ErrorLogForm form;
  StartUp(form);
  form.show();

  QAccessibleInterface *list = QAccessible::queryAccessibleInterface(form.List1);
  ASSERT_NE(list, nullptr) << "built without accessibility";
  EXPECT_EQ(list->role(), QAccessible::List);
  std::vector<std::string> read;
  for (int i = 0; i < list->childCount(); ++i)
    read.push_back(list->child(i)->text(QAccessible::Name).toStdString());
  EXPECT_EQ(read, Items(form.List1));
  EXPECT_FALSE(read.empty());

  const std::pair<QWidget *, QString> named[] = {{form.RefreshList, QStringLiteral("Refresh")},
                                                 {form.ClearErrorLog, QStringLiteral("Clear Error Log")},
                                                 {form.Close, QStringLiteral("Exit")}};
  for (const auto &[widget, name] : named) {
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(button, nullptr) << name.toStdString();
    EXPECT_EQ(button->role(), QAccessible::Button) << name.toStdString();
    EXPECT_EQ(button->text(QAccessible::Name), name);
  }
  QAccessibleInterface *count = QAccessible::queryAccessibleInterface(form.findChild<QLabel *>("Label1"));
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->text(QAccessible::Name).trimmed(),
            QStringLiteral("%1 logged errors found.").arg(read.size()));
}

TEST_F(ErrorLogFormTest, CaptionNamesTheScopesAddress) {
  SimulatedBus bus(
      Bus({Plain(3, {{"ID?", "OTHER INSTRUMENT\n"}}), Scope("TEK/TDS 2012,CF:91.1CT,FV:v1.0").At(7)}));
  ErrorLogForm form;
  StartUp(form);
  EXPECT_EQ(form.windowTitle(), BaseCaption + QStringLiteral("   -   Connected to TDS 2012 @ GPIB Addr: 7"));
}

TEST_F(ErrorLogFormTest, CaptionShowsAddressZeroWhenNoListenerHoldsTheHandle) {
  SimulatedBus bus(ScopeBus(Tds3054, {}));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  VBIB32QX::ListenerDev[1] = 0;
  form.Form_Activate();
  EXPECT_TRUE(form.windowTitle().endsWith(QStringLiteral("Connected to TDS 3054 @ GPIB Addr: 0")))
      << form.windowTitle().toStdString();
}

struct ShownModelCase {
  std::string id;
  QString shown;
  bool accepted;
};

class ShownModel : public ErrorLogFormTest, public ::testing::WithParamInterface<ShownModelCase> {};

// Control bytes from the scope must neither cut the caption (NUL) nor break or vanish from
// it; the model itself keeps every byte.
TEST_P(ShownModel, ControlBytesShowAsVisibleStandIns) {
  const ShownModelCase &c = GetParam();
  SimulatedBus bus(ScopeBus(c.id, {"first"}));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  const int code = EndCode([&] { form.Form_Activate(); });
  const std::string model = c.id.substr(4, c.id.find(',') - 4);
  EXPECT_EQ(form.scopeModel(), QString::fromLatin1(model.data(), static_cast<qsizetype>(model.size())));
  if (c.accepted) {
    EXPECT_EQ(code, -1);
    EXPECT_EQ(form.windowTitle(), BaseCaption + QStringLiteral("   -   Connected to ") + c.shown +
                                      QStringLiteral(" @ GPIB Addr: 1"));
  } else {
    EXPECT_EQ(code, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].prompt, c.shown + QStringLiteral(" is NOT supported by this software."));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ShownModel,
    ::testing::Values(ShownModelCase{std::string("TEK/TDS 3054\0X\n\x1b\b\r,CF:91.1CT,FV:v3.39", 37),
                                     QStringLiteral("TDS 3054\u2400X\u240a\u241b\u2408\u240d"), true},
                      // Bytes 0xC2 0x85 are two characters here: a letter and a C1 control.
                      ShownModelCase{std::string("TEK/TDS 9\0\x7f\xc2\x85,CF:91.1CT", 23),
                                     QStringLiteral("TDS 9\u2400\u2421\u00c2\ufffd"), false}));

struct ModelCase {
  const char *id;
  bool accepted;
  std::int16_t zeroEndsLog;
  const char *model;
};

class ModelTableOnTheBus : public ErrorLogFormTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(ModelTableOnTheBus, AcceptsOrEndsTheProgram) {
  const ModelCase &c = GetParam();
  // Scopes of the 310 to 380 family end their log with "0".
  SimulatedBus bus(ScopeBus(c.id, {"first", "second"}).EndItem(c.zeroEndsLog ? "0" : ""));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  const int code = EndCode([&] { form.Form_Activate(); });
  EXPECT_EQ(form.scopeModel(), QLatin1String(c.model));
  if (c.accepted) {
    EXPECT_EQ(code, -1);
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(form.zeroEndsLog(), c.zeroEndsLog);
    EXPECT_EQ(Items(form.List1), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(form.windowTitle().contains(QStringLiteral("Connected to ") + QLatin1String(c.model)));
  } else {
    EXPECT_EQ(code, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].prompt,
              QLatin1String(c.model) + QStringLiteral(" is NOT supported by this software."));
    EXPECT_EQ(boxes.shown[0].style, 16);
    EXPECT_EQ(boxes.shown[0].title, QStringLiteral("TDS"));
    EXPECT_EQ(form.windowTitle(), BaseCaption);
    EXPECT_EQ(bus.Written(), (std::vector<std::string>{"ID?", "ID?"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelTableOnTheBus,
    ::testing::Values(ModelCase{"TEK/TDS 340,CF:91.1CT,FV:v1.0", true, 1, "TDS 340"},
                      ModelCase{"TEK/TDS 350,CF:91.1CT,FV:v1.0", true, 1, "TDS 350"},
                      ModelCase{"TEK/TDS 380,CF:91.1CT,FV:v1.0", true, 1, "TDS 380"},
                      ModelCase{"TEK/TDS 210,CF:91.1CT,FV:v1.0", true, 0, "TDS 210"},
                      ModelCase{"TEK/TDS 420,CF:91.1CT,FV:v1.0", true, 0, "TDS 420"},
                      ModelCase{"TEK/TDS 820,CF:91.1CT,FV:v1.0", true, 0, "TDS 820"},
                      ModelCase{"TEK/TDS 1012,CF:91.1CT,FV:v1.0", true, 0, "TDS 1012"},
                      ModelCase{"TEK/TDS 2024,CF:91.1CT,FV:v1.0", true, 0, "TDS 2024"},
                      ModelCase{"TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00", true, 0, "TDS 3054"},
                      // The firmware test belongs to the TDS 3000 family only.
                      ModelCase{"TEK/TDS 340,CF:91.1CT,FV:v3.41", true, 1, "TDS 340"},
                      ModelCase{"TEK/TDS 830,CF:91.1CT,FV:v1.0", false, 0, "TDS 830"},
                      ModelCase{"TEK/TDS 1001,CF:91.1CT,FV:v1.0", false, 0, "TDS 1001"},
                      ModelCase{"TEK/TDS 2025,CF:91.1CT,FV:v1.0", false, 0, "TDS 2025"},
                      ModelCase{"TEK/TDS 3065,CF:91.1CT,FV:v3.39", false, 0, "TDS 3065"},
                      ModelCase{"TEK/TDS 5104,CF:91.1CT,FV:v3.39", false, 0, "TDS 5104"},
                      ModelCase{"TEK/TDS3054,CF:91.1CT,FV:v3.39", false, 0, "TDS3054"},
                      // Replies the model cannot be cut from.
                      ModelCase{"TEK/TDS 3054 CF:91.1CT", false, 0, "TDS 3054 CF:91.1CT"},
                      ModelCase{"Tek/Tds 3054,CF:91.1CT", false, 0, "ID Tek/Tds 3054,CF:91.1CT"}));

TEST_F(ErrorLogFormTest, RefusedFirmwareExplainsAndSendsNothingMore) {
  SimulatedBus bus(ScopeBus("TEK/TDS 3054,CF:91.1CT,FV:v3.41 TDS3FFT:v1.00", Entries(3)));
  ErrorLogForm form;
  StartUp(form);

  EXPECT_EQ(form.windowTitle(), BaseCaption + QStringLiteral("   -   Connected to TDS 3054 @ GPIB Addr: 1"));
  EXPECT_EQ(Items(form.List1),
            (std::vector<std::string>{
                "TDS 3054 with Firmware 3.41 does not support viewing or clearing", "the Errorlog via GPIB.",
                "To do that you must load an earlier Firmware e.g. 3.39.",
                "It could be downloaded here:  http://www.skeld-instruments.example/dl/docs/3.39.zip",
                "The latest Firmware could be found on Tek's website."}));
  EXPECT_EQ(form.List1->font().pointSize(), 18);
  EXPECT_EQ(form.List1->palette().color(QPalette::Text), QColor(255, 0, 0));
  EXPECT_FALSE(form.RefreshList->isEnabled());
  EXPECT_FALSE(form.ClearErrorLog->isEnabled());
  EXPECT_FALSE(form.ClearErrorLog0->isEnabled());
  EXPECT_FALSE(form.PrintErrorLog->isEnabled());
  EXPECT_FALSE(form.SendErrorLogToFile->isEnabled());
  EXPECT_EQ(form.Label1->text(), QString());
  EXPECT_TRUE(boxes.shown.empty());

  // The disabled commands cannot be reached.
  form.RefreshList->click();
  form.ClearErrorLog0->trigger();
  form.ClearErrorLog->click();
  EXPECT_EQ(bus.Written(), (std::vector<std::string>{"ID?", "ID?"}));
  EXPECT_EQ(bus.Count("HEAD"), 0u);
  EXPECT_EQ(bus.Count("PASSWORD"), 0u);
  EXPECT_EQ(bus.Count("ERRLOG"), 0u);
  EXPECT_EQ(form.List1->count(), 5);
}

TEST_F(ErrorLogFormTest, StartUpRunsOnceWhateverActivatesTheWindowLater) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(2)));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  form.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.activated() && !form.reading(); }, 20000));
  ASSERT_EQ(form.List1->count(), 2);
  const QString caption = form.windowTitle();
  const std::size_t traceLines = bus.trace.size();

  // Another modal window closing, the About entry, a message box, the platform's activation.
  QDialog modal(&form);
  QTimer::singleShot(0, &modal, &QDialog::accept);
  modal.exec();
  QString aboutCaption;
  QTimer::singleShot(0, [&aboutCaption] {
    if (QWidget *about = QApplication::activeModalWidget()) {
      aboutCaption = about->windowTitle();
      about->close();
    }
  });
  form.errAbout->trigger();
  EXPECT_EQ(aboutCaption, QStringLiteral("About Skeld Error Log Viewer"));
  Module1::ShowMessBox(QStringLiteral("Something"), 0, QStringLiteral("Title"));
  form.activateWindow();
  QEvent activate(QEvent::WindowActivate);
  QCoreApplication::sendEvent(&form, &activate);
  // Whatever the activations queued runs before this.
  bool drained = false;
  QTimer::singleShot(0, [&drained] { drained = true; });
  ASSERT_TRUE(QTest::qWaitFor([&drained] { return drained; }));

  EXPECT_EQ(bus.trace.size(), traceLines);
  EXPECT_EQ(form.windowTitle(), caption);
  EXPECT_EQ(caption.count(QStringLiteral("Connected to")), 1);
  EXPECT_EQ(Items(form.List1), Entries(2));
  EXPECT_EQ(bus.Written(), StartUpCommands(2));
}

enum class ExitWay { Button, Menu, ClosingTheWindow };

// The real end of the program, in a child process: status 0, nothing sent, no box.
class ExitTest : public ::testing::TestWithParam<ExitWay> {};

TEST_P(ExitTest, EndsAtOnceWithStatusZeroSendingNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        FakeMessBoxes boxes;
        SimulatedBus bus(ScopeBus(Tds3054, Entries(1)));
        ErrorLogForm form;
        StartUp(form);
        // From here on a driver call or a message box ends the run with another status.
        gpibsim::SetTraceSink([](const std::string &) { std::_Exit(3); });
        boxes.onShow = [](const Module1::MessBoxRequest &) { std::_Exit(4); };
        switch (GetParam()) {
        case ExitWay::Button:
          form.Close->click();
          break;
        case ExitWay::Menu:
          form.E->trigger();
          break;
        case ExitWay::ClosingTheWindow:
          form.close();
          break;
        }
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Ways, ExitTest,
                         ::testing::Values(ExitWay::Button, ExitWay::Menu, ExitWay::ClosingTheWindow));

} // namespace
