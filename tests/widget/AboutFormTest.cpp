#include "platform/Download.h"
#include "platform/OpenUrl.h"
#include "platform/Twips.h"
#include "platform/VersionText.h"
#include "support/FakeMessBoxes.h"
#include "support/Files.h"
#include "support/LocalHttpServer.h"
#include "support/ScopedEnv.h"
#include "support/ScopedSeam.h"
#include "ui/errAboutForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using skeld::TwipsRect;

errAboutForm *OpenForm() {
  for (QWidget *widget : QApplication::topLevelWidgets())
    if (widget->objectName() == QStringLiteral("errAboutForm") && widget->isVisible())
      return qobject_cast<errAboutForm *>(widget);
  return nullptr;
}

template <typename T> T *Control(errAboutForm &form, const char *name) {
  T *control = form.findChild<T *>(QLatin1String(name));
  EXPECT_NE(control, nullptr) << name;
  return control;
}

// Shows the About window through its entry point and runs act on it while it is up; closes it
// with "Close" if act left it open. Returns the window object that was shown.
errAboutForm *ShowAboutAnd(QWidget *owner, const std::function<void(errAboutForm &)> &act) {
  errAboutForm *shown = nullptr;
  QTimer::singleShot(0, [&] {
    shown = qobject_cast<errAboutForm *>(QApplication::activeModalWidget());
    if (!shown) {
      ADD_FAILURE() << "no About window is up";
      if (errAboutForm *form = OpenForm())
        form->hide();
      return;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->isActiveWindow(); }, 5000));
    act(*shown);
    if (shown->isVisible())
      Control<QPushButton>(*shown, "Command_OK")->click();
  });
  errAboutForm::ShowAbout(owner);
  EXPECT_EQ(OpenForm(), nullptr);
  return shown;
}

class About : public ::testing::Test {
protected:
  void SetUp() override {
    skeld::VersionText = QStringLiteral("1.3");
    skeld::BuildDate = QStringLiteral("Feb 2025");
  }

  QStringList opened_;
  ScopedSeam<skeld::UrlOpener> opener_{skeld::SetUrlOpener, [this](const QString &url) { opened_ << url; }};
};

TEST_F(About, LoadsCaptionTextAndLayout) {
  ShowAboutAnd(nullptr, [](errAboutForm &form) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("About Skeld Error Log Viewer"));
    EXPECT_EQ(form.size(), skeld::TwipsSize(3990, 2145));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    auto *about = Control<QLabel>(form, "Label_About");
    EXPECT_EQ(about->text(), QStringLiteral("Version: 1.3,  Date: Feb 2025\n\n") + errAboutForm::CreditLine +
                                 QStringLiteral("\n\n"));
    EXPECT_EQ(about->geometry(), TwipsRect(240, 240, 3495, 735));
    // The credit line must fit on its own line: a wrapped part would fall below the label.
    EXPECT_LE(about->fontMetrics().horizontalAdvance(errAboutForm::CreditLine), about->width());

    auto *mail = Control<QLabel>(form, "Label_eMail");
    EXPECT_EQ(mail->text(), errAboutForm::ContactAddress);
    EXPECT_EQ(mail->pos(), TwipsRect(240, 1080, 0, 0).topLeft());
    EXPECT_EQ(mail->size(), mail->sizeHint());
    EXPECT_TRUE(mail->font().underline());
    EXPECT_DOUBLE_EQ(mail->font().pointSizeF(), 8.25);
    EXPECT_LE(mail->geometry().right(), form.width());

    auto *close = Control<QPushButton>(form, "Command_OK");
    auto *check = Control<QPushButton>(form, "Command_CheckUpdate");
    EXPECT_EQ(close->text(), QStringLiteral("Close"));
    EXPECT_EQ(check->text(), QStringLiteral("Check for Update"));
    EXPECT_EQ(close->geometry(), TwipsRect(2640, 1560, 1095, 375));
    EXPECT_EQ(check->geometry(), TwipsRect(240, 1560, 1455, 375));
    EXPECT_EQ(check->geometry(), QRect(16, 104, 97, 25));
  });
}

// Each showing starts from a fresh load, in the one window object of the run.
TEST_F(About, OneWindowFocusOnCloseAtEveryShowing) {
  errAboutForm *first = ShowAboutAnd(nullptr, [](errAboutForm &form) {
    EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>(form, "Command_OK"));
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>(form, "Command_CheckUpdate"));
    skeld::VersionText = QStringLiteral("1.4");
  });
  errAboutForm *second = ShowAboutAnd(nullptr, [](errAboutForm &form) {
    EXPECT_EQ(QApplication::focusWidget(), Control<QPushButton>(form, "Command_OK"));
    EXPECT_TRUE(Control<QLabel>(form, "Label_About")->text().startsWith(QStringLiteral("Version: 1.4,")));
  });
  EXPECT_EQ(first, second);
  int forms = 0;
  for (QWidget *widget : QApplication::topLevelWidgets())
    forms += widget->objectName() == QStringLiteral("errAboutForm");
  EXPECT_EQ(forms, 1);
}

TEST_F(About, CloseEscOnEitherButtonAndTheCloseBoxClose) {
  const std::pair<const char *, std::function<void(errAboutForm &)>> ways[] = {
      {"Close", [](errAboutForm &form) { Control<QPushButton>(form, "Command_OK")->click(); }},
      {"Esc on Close",
       [](errAboutForm &form) { QTest::keyClick(Control<QPushButton>(form, "Command_OK"), Qt::Key_Escape); }},
      {"Esc on Check for Update",
       [](errAboutForm &form) {
         auto *check = Control<QPushButton>(form, "Command_CheckUpdate");
         check->setFocus();
         QTest::keyClick(check, Qt::Key_Escape);
       }},
      {"close box", [](errAboutForm &form) { form.close(); }},
  };
  for (const auto &way : ways) {
    SCOPED_TRACE(way.first);
    bool closed = false;
    ShowAboutAnd(nullptr, [&](errAboutForm &form) {
      way.second(form);
      closed = !form.isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_TRUE(opened_.isEmpty());
  }
}

TEST_F(About, CentredOnItsOwner) {
  QWidget owner;
  owner.setGeometry(120, 90, 640, 480);
  owner.show();
  ShowAboutAnd(&owner, [&](errAboutForm &form) {
    // Window frames may shift it by their width of a few pixels.
    const QPoint offset = form.geometry().center() - owner.geometry().center();
    EXPECT_LE(std::abs(offset.x()), 3) << offset.x();
    EXPECT_LE(std::abs(offset.y()), 3) << offset.y();
  });
}

TEST_F(About, MailLabelClickStartsAMail) {
  ShowAboutAnd(nullptr, [](errAboutForm &form) {
    QTest::mouseClick(Control<QLabel>(form, "Label_eMail"), Qt::LeftButton);
  });
  EXPECT_EQ(opened_, QStringList{QStringLiteral(
                         "mailto:support@skeld-instruments.example?subject=Skeld%20Error%20Log%20Viewer")});
}

// The whole check with the download answered here: the box shown and the page opened.
class AboutCheck : public About {
protected:
  // Clicks "Check for Update" once in a showing of the window; the window stays open.
  void RunCheck() {
    ShowAboutAnd(nullptr, [](errAboutForm &form) {
      Control<QPushButton>(form, "Command_CheckUpdate")->click();
      EXPECT_TRUE(form.isVisible());
    });
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }

  QTemporaryDir temp_;
  FakeMessBoxes boxes_;
  std::function<bool(const QString &path)> download_;
  std::vector<std::string> downloads_;
  ScopedSeam<skeld::Downloader> downloader_{
      skeld::SetDownloader, [this](const std::string &url, const std::string &path) {
        EXPECT_EQ(QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape()
                                                    : Qt::ArrowCursor,
                  Qt::WaitCursor);
        downloads_.push_back(url + " -> " + path);
        return download_(QString::fromStdString(path));
      }};
};

const char *const AskInfo = "\n\nGoto the Program Homepage for info ?";

struct CheckCase {
  const char *what;
  bool downloaded;
  const char *file; // what the download leaves; nullptr: no file from it
  std::int16_t answer;
  std::string prompt;
  std::int16_t style;
  bool pageOpened;
};

const CheckCase CheckCases[] = {
    {"download failed, Yes", false, nullptr, 6, std::string("Web Datafile not foud.") + AskInfo, 4, true},
    {"download failed, No", false, nullptr, 7, std::string("Web Datafile not foud.") + AskInfo, 4, false},
    {"downloaded but no file, Yes", true, nullptr, 6, std::string("Downloaded Datafile not foud.") + AskInfo,
     4, true},
    {"downloaded but no file, No", true, nullptr, 7, std::string("Downloaded Datafile not foud.") + AskInfo,
     4, false},
    {"no entry, Yes", true, "Scope Tool:2.0\r\n", 6, std::string("No data for this program found.") + AskInfo,
     4, true},
    {"no entry, No", true, "", 7, std::string("No data for this program found.") + AskInfo, 4, false},
    {"newer, Yes", true, "Skeld Error Log Viewer:1.4\r\n", 6,
     "A newer version  ( 1.4 )  is available.\n\nGoto the Program Homepage to download ?", 4, true},
    // The newer file of the case before is still on disk; a failed download never reads it.
    {"failed after an earlier newer file", false, nullptr, 7, std::string("Web Datafile not foud.") + AskInfo,
     4, false},
    {"newer with a blank, No", true, "Skeld Error Log Viewer: 1.4\r\n", 7,
     "A newer version  (  1.4 )  is available.\n\nGoto the Program Homepage to download ?", 4, false},
    {"same version", true, "Skeld Error Log Viewer:1.3\r\n", 1, "This is the latest version.", 0, false},
    {"1.10 is not newer", true, "Skeld Error Log Viewer:1.10\r\n", 1, "This is the latest version.", 0,
     false},
};

TEST_F(AboutCheck, TellsTheOutcomeAndOffersTheProgramPage) {
  ScopedEnv appData("AppData", temp_.path().toLocal8Bit());
  const QString workFolder = temp_.path() + QStringLiteral("/vbTemp");
  const QString localFile = workFolder + QStringLiteral("/versions.txt");
  for (const CheckCase &c : CheckCases) {
    SCOPED_TRACE(c.what);
    download_ = [&](const QString &path) {
      EXPECT_TRUE(QFileInfo(workFolder).isDir());
      if (c.file)
        EXPECT_TRUE(WriteFile(path, c.file));
      else if (c.downloaded)
        QFile::remove(path);
      return c.downloaded;
    };
    downloads_.clear();
    boxes_.shown.clear();
    opened_.clear();
    boxes_.AnswerNext(c.answer);
    RunCheck();

    EXPECT_EQ(downloads_, std::vector<std::string>{"http://www.skeld-instruments.example/dl/swv.txt -> " +
                                                   QFile::encodeName(localFile).toStdString()});
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].prompt, QString::fromStdString(c.prompt));
    EXPECT_EQ(boxes_.shown[0].style, c.style);
    EXPECT_EQ(boxes_.shown[0].title, QStringLiteral("Current version: 1.3"));
    EXPECT_EQ(opened_,
              c.pageOpened
                  ? QStringList{QStringLiteral("http://www.skeld-instruments.example/dl/SkeldErrLog.htm")}
                  : QStringList{});
  }
}

// Without "AppData" the work folder goes under the per-user data folder, made with its parents.
// Windows has no such stand-in: there it is the root of the current drive.
#ifndef _WIN32
TEST_F(AboutCheck, WorkFolderMadeUnderTheDataFolderWithoutAppData) {
  ScopedEnv appData("AppData");
  const QString dataHome = temp_.path() + QStringLiteral("/fresh/share");
  ScopedEnv xdg("XDG_DATA_HOME", dataHome.toLocal8Bit());
  download_ = [](const QString &path) { return WriteFile(path, "Skeld Error Log Viewer:1.3\n"); };
  RunCheck();
  EXPECT_TRUE(QFileInfo(dataHome + QStringLiteral("/vbTemp")).isDir());
  EXPECT_TRUE(QFile::exists(dataHome + QStringLiteral("/vbTemp/versions.txt")));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].prompt, QStringLiteral("This is the latest version."));
}
#endif

// The real download, sent through a local proxy that keeps it waiting. The window goes on
// answering meanwhile, with the wait cursor up; a second click and "Close" start nothing;
// the check ends by the limit that applies and reports a failed download.
using std::chrono::milliseconds;
using std::chrono::seconds;

// A server that was not stopped by the limit gives up after 5 s, so a missing limit shows as
// a check that took too long rather than one that never ends.
constexpr seconds GiveUp(5);

struct StallCase {
  const char *what;
  std::optional<HttpAnswer> answer; // none: the connect never completes
  skeld::DownloadLimits limits;
  milliseconds endsBy; // the limit that ends the check
};

const StallCase StallCases[] = {
    {"accepts and never answers", HttpAnswer("", {}, GiveUp), {seconds(10), seconds(1)}, seconds(1)},
    {"one byte a second",
     HttpAnswer(HttpReply("200 OK", "Skeld Error Log Viewer:1.4"), seconds(1), GiveUp),
     {seconds(10), seconds(1)},
     seconds(1)},
    {"connect never completes", std::nullopt, {seconds(1), seconds(4)}, seconds(1)},
};

TEST_F(About, CheckKeepsTheWindowAnsweringUntilItsTimeLimit) {
  QTemporaryDir temp;
  ScopedEnv appData("AppData", temp.path().toLocal8Bit());
  ScopedEnv noProxy("no_proxy");
  ScopedEnv noProxyUpper("NO_PROXY");
  FakeMessBoxes boxes;
  for (const StallCase &c : StallCases) {
    SCOPED_TRACE(c.what);
    std::optional<LocalHttpServer> server;
    std::optional<FullBacklogPort> fullQueue;
    if (c.answer)
      server.emplace(std::vector<HttpAnswer>{*c.answer});
    else
      fullQueue.emplace();
    const int port = server ? server->Port() : fullQueue->Port();
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + QByteArray::number(port));
    const ScopedSeam limits(skeld::SetDownloadLimits, c.limits);
    boxes.shown.clear();

    QElapsedTimer clock;
    std::vector<qint64> ticks;
    bool cursorShown = false;
    ShowAboutAnd(nullptr, [&](errAboutForm &form) {
      auto *check = Control<QPushButton>(form, "Command_CheckUpdate");
      QTimer timer;
      timer.setInterval(10);
      QObject::connect(&timer, &QTimer::timeout, [&] {
        ticks.push_back(clock.elapsed());
        if (ticks.size() != 1)
          return;
        const QCursor *cursor = QGuiApplication::overrideCursor();
        cursorShown = cursor && cursor->shape() == Qt::WaitCursor;
        check->click();
        Control<QPushButton>(form, "Command_OK")->click();
      });
      timer.start();
      clock.start();
      check->click();
      ticks.push_back(clock.elapsed());
      EXPECT_TRUE(form.isVisible());
    });

    const qint64 took = ticks.back();
    EXPECT_GE(took, c.endsBy.count() - 50);
    EXPECT_LT(took, c.endsBy.count() + 1000);
    qint64 longestGap = ticks.front();
    for (std::size_t i = 1; i < ticks.size(); ++i)
      longestGap = std::max(longestGap, ticks[i] - ticks[i - 1]);
    // A window held by the download is silent for the whole limit; a busy machine delays a
    // tick by tens of milliseconds. The bound tells the two apart, it measures nothing.
    EXPECT_LT(longestGap, c.endsBy.count() / 2) << "the window did not answer for so many milliseconds";
    EXPECT_TRUE(cursorShown);
    ASSERT_EQ(boxes.shown.size(), 1u) << "one check, one message";
    EXPECT_EQ(boxes.shown[0].prompt, QStringLiteral("Web Datafile not foud.") + QLatin1String(AskInfo));
    if (server) {
      server->Finish();
      EXPECT_EQ(server->requestLines,
                std::vector<std::string>{"GET http://www.skeld-instruments.example/dl/swv.txt HTTP/1.1"});
    }
  }
  EXPECT_TRUE(opened_.isEmpty());
}

} // namespace
