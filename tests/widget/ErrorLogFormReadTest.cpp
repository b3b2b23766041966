#include "app/ErrorLogForm.h"
#include "output/OutputDialogs.h"
#include "support/FakeMessBoxes.h"
#include "support/FormSteps.h"
#include "support/ProgramEnd.h"
#include "support/ScopeBus.h"
#include "support/ScopedSeam.h"
#include "support/SimulatedBus.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace formsteps;
using namespace scopebus;

class ReadTest : public ::testing::Test {
protected:
  EndProgramCatcher catcher;
  FakeMessBoxes boxes;
};

struct CountCase {
  int entries;
  const char *line;
};

class CountLine : public ReadTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(CountLine, MatchesTheListAndTheCommands) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(GetParam().entries)));
  ErrorLogForm form;
  StartUp(form);
  EXPECT_EQ(Items(form.List1), Entries(GetParam().entries));
  EXPECT_EQ(form.Label1->text(), QLatin1String(GetParam().line));
  const bool any = GetParam().entries > 0;
  EXPECT_EQ(form.ClearErrorLog->isEnabled(), any);
  EXPECT_EQ(form.ClearErrorLog0->isEnabled(), any);
  EXPECT_EQ(form.PrintErrorLog->isEnabled(), any);
  EXPECT_EQ(form.SendErrorLogToFile->isEnabled(), any);
  EXPECT_TRUE(form.RefreshList->isEnabled());
  // With entries to act on, the keyboard goes to Clear.
  EXPECT_EQ(form.focusWidget() == form.ClearErrorLog, any);
}

INSTANTIATE_TEST_SUITE_P(Entries, CountLine,
                         ::testing::Values(CountCase{0, " No logged errors found."},
                                           CountCase{1, " 1 logged error found."},
                                           CountCase{12, " 12 logged errors found."}));

TEST_F(ReadTest, RefreshUnlocksAgainAndReReads) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(2)));
  ErrorLogForm form;
  StartUp(form);
  const std::size_t from = bus.trace.size();
  form.Label1->setText(QStringLiteral("stale"));
  form.RefreshList->click();
  EXPECT_EQ(bus.Written(from), Concat({"HEAD 0", "PASSWORD BRAMBLE"}, ReadCommands(2)));
  EXPECT_EQ(Items(form.List1), Entries(2));
  EXPECT_EQ(form.Label1->text(), QStringLiteral(" 2 logged errors found."));
}

struct ClearCase {
  const char *name;
  std::vector<std::int16_t> answers;
  bool viaMenu;
  std::size_t questions;
  bool cleared;
};

class Clearing : public ReadTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(Clearing, AsksTwiceBeforeClearing) {
  const ClearCase &c = GetParam();
  SimulatedBus bus(ScopeBus(Tds3054, Entries(3)));
  ErrorLogForm form;
  StartUp(form);
  ASSERT_TRUE(form.ClearErrorLog->isEnabled());
  const std::size_t from = bus.trace.size();
  for (const std::int16_t answer : c.answers)
    boxes.AnswerNext(answer);

  if (c.viaMenu)
    form.ClearErrorLog0->trigger();
  else
    form.ClearErrorLog->click();

  ASSERT_EQ(boxes.shown.size(), c.questions);
  const QString prompts[] = {
      QStringLiteral("This will clear the error log in the scope.\nAre you sure you want to do this ?"),
      QStringLiteral("Click Yes to confirm.")};
  for (std::size_t i = 0; i < c.questions; ++i) {
    EXPECT_EQ(boxes.shown[i].prompt, prompts[i]);
    EXPECT_EQ(boxes.shown[i].style, 4);
    EXPECT_EQ(boxes.shown[i].title, QStringLiteral("Clear Error Log"));
  }
  if (c.cleared) {
    EXPECT_EQ(bus.Written(from), Concat({"ERRLOG CLEAR"}, ReadCommands(1)));
    EXPECT_EQ(bus.Count("ERRLOG CLEAR"), 1u);
    EXPECT_TRUE(gpibsim::StoredLog(1).empty());
    EXPECT_EQ(form.List1->count(), 0);
    EXPECT_EQ(form.Label1->text(), QStringLiteral(" No logged errors found."));
    EXPECT_FALSE(form.ClearErrorLog->isEnabled());
    EXPECT_FALSE(form.ClearErrorLog0->isEnabled());
    EXPECT_FALSE(form.PrintErrorLog->isEnabled());
    EXPECT_FALSE(form.SendErrorLogToFile->isEnabled());
  } else {
    EXPECT_EQ(bus.trace.size(), from);
    EXPECT_EQ(Items(form.List1), Entries(3));
    EXPECT_EQ(gpibsim::StoredLog(1).size(), 3u);
  }
}

constexpr std::int16_t Yes = Module1::IdYes;
constexpr std::int16_t No = Module1::IdNo;

INSTANTIATE_TEST_SUITE_P(Answers, Clearing,
                         ::testing::Values(ClearCase{"NoButton", {No}, false, 1, false},
                                           ClearCase{"YesNoButton", {Yes, No}, false, 2, false},
                                           ClearCase{"YesYesButton", {Yes, Yes}, false, 2, true},
                                           ClearCase{"NoMenu", {No}, true, 1, false},
                                           ClearCase{"YesNoMenu", {Yes, No}, true, 2, false},
                                           ClearCase{"YesYesMenu", {Yes, Yes}, true, 2, true}),
                         [](const ::testing::TestParamInfo<ClearCase> &info) {
                           return std::string(info.param.name);
                         });

TEST_F(ReadTest, AFailedClearIsReportedAndTheLogStillReRead) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(2)).Faults({WriteError("ERRLOG CLEAR", 0, 6)}));
  ErrorLogForm form;
  StartUp(form);
  const std::size_t from = bus.trace.size();
  boxes.AnswerNext(Yes);
  boxes.AnswerNext(Yes);
  boxes.AnswerNext(Module1::IdOk); // go on after the GPIB error

  form.ClearErrorLog->click();

  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[2].title, QStringLiteral("GPIB ERROR # 6"));
  EXPECT_EQ(boxes.shown[2].style, 49);
  EXPECT_EQ(bus.Written(from), Concat({"ERRLOG CLEAR"}, ReadCommands(2)));
  EXPECT_EQ(Items(form.List1), Entries(2)) << "the scope still holds its log, and the list says so";
  EXPECT_EQ(form.Label1->text(), QStringLiteral(" 2 logged errors found."));
}

// Clicks every log command at each pause of a reading under way.
class BusyClicker {
public:
  BusyClicker(ErrorLogForm &form, SimulatedBus &bus) : bus_(bus) {
    bus.pauses.onPause = [this, &form] {
      if (!form.reading())
        return;
      form.RefreshList->click();
      form.ClearErrorLog->click();
      form.ClearErrorLog0->trigger();
      form.PrintErrorLog->trigger();
      form.SendErrorLogToFile->trigger();
      ++clicks;
    };
  }
  ~BusyClicker() { bus_.pauses.onPause = nullptr; }
  int clicks = 0;

private:
  SimulatedBus &bus_;
};

TEST_F(ReadTest, CommandsDuringAReadingStartNothing) {
  int dialogs = 0;
  const ScopedSeam save(ErrorLogOutput::SetSaveDialogAnswer, [&](const ErrorLogOutput::SaveDialogSetup &) {
    ++dialogs;
    return std::optional<QString>();
  });
  const ScopedSeam print(ErrorLogOutput::SetPrintDialogAnswer, [&](QPrinter &) {
    ++dialogs;
    return std::optional<int>();
  });
  SimulatedBus bus(ScopeBus(Tds3054, Entries(12)));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  {
    BusyClicker clicker(form, bus);
    form.Form_Activate();
    EXPECT_GT(clicker.clicks, 5);
  }
  EXPECT_EQ(Items(form.List1), Entries(12));
  EXPECT_EQ(bus.Written(), StartUpCommands(12));
  EXPECT_TRUE(boxes.shown.empty());

  // The same during a Refresh.
  const std::size_t from = bus.trace.size();
  {
    BusyClicker clicker(form, bus);
    form.RefreshList->click();
    EXPECT_GT(clicker.clicks, 5);
  }
  EXPECT_EQ(Items(form.List1), Entries(12));
  EXPECT_EQ(bus.Written(from), Concat({"HEAD 0", "PASSWORD BRAMBLE"}, ReadCommands(12)));
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(form.reading());
  EXPECT_EQ(dialogs, 0) << "no print or save dialog during a reading";
}

struct GreyedCase {
  const char *name;
  std::function<void(ErrorLogForm &, FakeMessBoxes &)> command;
  bool enabledAfter;
  int readingPauses; // one a query
};

class GreyedWhileReading : public ReadTest, public ::testing::WithParamInterface<GreyedCase> {};

// A log command that looks clickable while the list fills would be ignored without a word.
TEST_P(GreyedWhileReading, LogCommandsAreGreyedUntilTheListIsRead) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(3)));
  ErrorLogForm form;
  StartUp(form);
  const auto enabledCommands = [&form] {
    return form.PrintErrorLog->isEnabled() + form.SendErrorLogToFile->isEnabled() +
           form.ClearErrorLog->isEnabled() + form.ClearErrorLog0->isEnabled();
  };
  ASSERT_EQ(enabledCommands(), 4);
  int samples = 0;
  int enabledSeen = 0;
  bus.pauses.onPause = [&] {
    if (form.reading()) {
      ++samples;
      enabledSeen += enabledCommands();
    }
  };
  GetParam().command(form, boxes);
  EXPECT_EQ(samples, GetParam().readingPauses);
  EXPECT_EQ(enabledSeen, 0);
  EXPECT_EQ(enabledCommands(), GetParam().enabledAfter ? 4 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, GreyedWhileReading,
    ::testing::Values(GreyedCase{"Refresh",
                                 [](ErrorLogForm &form, FakeMessBoxes &) { form.RefreshList->click(); }, true,
                                 4},
                      GreyedCase{"Clear",
                                 [](ErrorLogForm &form, FakeMessBoxes &boxes) {
                                   boxes.AnswerNext(Module1::IdYes);
                                   boxes.AnswerNext(Module1::IdYes);
                                   form.ClearErrorLog->click();
                                 },
                                 false, 2}),
    [](const ::testing::TestParamInfo<GreyedCase> &info) { return std::string(info.param.name); });

TEST_F(ReadTest, WindowKeepsHandlingEventsWhileReading) {
  SimulatedBus bus(ScopeBus(Tds3054, Entries(100)));
  ErrorLogForm form;
  form.SetSplashSeconds(0);
  form.Load();
  int ticks = 0;
  QTimer ticker;
  ticker.setInterval(0);
  QObject::connect(&ticker, &QTimer::timeout, [&] { ticks += form.reading() ? 1 : 0; });
  ticker.start();
  form.Form_Activate();
  ASSERT_EQ(form.List1->count(), 100);
  // "ID?", "ERRLOG?" and 100 "ERRLOG:NEXT?", each with its 0.1 s pause, and every pause
  // lets the window's events run.
  EXPECT_EQ(bus.pauses.pauses, 102);
  EXPECT_NEAR(bus.pauses.elapsed, 10.2, 1e-3);
  EXPECT_GE(ticks, bus.pauses.pauses);
}

} // namespace
