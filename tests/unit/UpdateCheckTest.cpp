#include "ui/UpdateCheck.h"
#include "support/ScopedEnv.h"

#include <QDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using UpdateCheck::Outcome;

const QString Title = QStringLiteral("Skeld Error Log Viewer");

struct FileCase {
  const char *what;
  QByteArray data;
  const char *running;
  Outcome outcome;
  const char *version; // the entry's version text as the message shows it
};

const FileCase FileCases[] = {
    {"newer", "Skeld Error Log Viewer:1.4\r\n", "1.3", Outcome::Newer, "1.4"},
    {"blank after the colon stays", "Skeld Error Log Viewer: 1.4\n", "1.3", Outcome::Newer, " 1.4"},
    {"same version", "Skeld Error Log Viewer:1.3", "1.3", Outcome::Latest, "1.3"},
    {"1.10 counts 1.1", "Skeld Error Log Viewer:1.10\n", "1.3", Outcome::Latest, "1.10"},
    {"older than running", "Skeld Error Log Viewer:1.4", "1.41", Outcome::Latest, "1.4"},
    {"title in capitals", "SKELD ERROR LOG VIEWER:2", "1.3", Outcome::Newer, "2"},
    {"title inside other text", "The new skeld error log viewer pro:1.5", "1.3", Outcome::Newer, "1.5"},
    {"only the field with the title counts", "Scope Tool:9.9,Skeld Error Log Viewer:1.4,Other:0.1\n", "1.3",
     Outcome::Newer, "1.4"},
    {"blanks before a field skipped", "Scope Tool:9.9,   Skeld Error Log Viewer:1.35", "1.3", Outcome::Newer,
     "1.35"},
    {"line ends separate, CR LF is one", "Scope Tool:9.9\r\nSkeld Error Log Viewer:1.2\r\n", "1.3",
     Outcome::Latest, "1.2"},
    {"first entry wins", "Skeld Error Log Viewer:1.2\nSkeld Error Log Viewer:1.9\n", "1.3", Outcome::Latest,
     "1.2"},
    {"quoted field holds commas", "\"Skeld Error Log Viewer:1.4, build 7\",next:9\n", "1.3", Outcome::Newer,
     "1.4, build 7"},
    {"quoted title with a comma", "x, \"Skeld Error Log Viewer, Linux:1.5\"", "1.3", Outcome::Newer, "1.5"},
    {"text after a closing quote dropped", "\"Skeld Error Log Viewer:1.4\" junk,x", "1.3", Outcome::Newer,
     "1.4"},
    {"open quote ends with its line", "\"Skeld Error Log Viewer:1.4\nnext", "1.3", Outcome::Newer, "1.4"},
    {"8-bit text", "Skeld Error Log Viewer:1.4 \xa9 Skeld", "1.3", Outcome::Newer, "1.4 \xc2\xa9 Skeld"},
    {"no colon: the whole field, no number", "Skeld Error Log Viewer", "1.3", Outcome::Latest,
     "Skeld Error Log Viewer"},
    {"no number", "Skeld Error Log Viewer:beta", "1.3", Outcome::Latest, "beta"},
    {"empty version", "Skeld Error Log Viewer:", "1.3", Outcome::Latest, ""},
    {"empty file", "", "1.3", Outcome::NoEntry, ""},
    {"no entry", "Scope Tool:1.0\nOther Tool:2.0\n", "1.3", Outcome::NoEntry, ""},
    {"title split by a comma", "Skeld Error,Log Viewer:2.0", "1.3", Outcome::NoEntry, ""},
    {"title split by a line end", "Skeld Error Log\nViewer:2.0", "1.3", Outcome::NoEntry, ""},
};

TEST(UpdateCheck, JudgesVersionFiles) {
  for (const FileCase &c : FileCases) {
    SCOPED_TRACE(c.what);
    const UpdateCheck::Verdict verdict = UpdateCheck::Judge(c.data, Title, QString::fromLatin1(c.running));
    EXPECT_EQ(verdict.outcome, c.outcome);
    EXPECT_EQ(verdict.version, QString::fromUtf8(c.version));
  }
}

TEST(UpdateCheck, VersionValueIsTheLeadingDecimalNumber) {
  const struct {
    const char *text;
    double value;
  } cases[] = {{"1.4", 1.4}, {" 1.4", 1.4}, {"\t2", 2.0},      {"1.10", 1.1}, {"1.2.3", 1.2}, {".5", 0.5},
               {"3.", 3.0},  {"-1", -1.0},  {"1.4 beta", 1.4}, {"1 4", 1.0},  {"abc", 0.0},   {"", 0.0},
               {"  ", 0.0},  {"+", 0.0},    {".", 0.0},        {"1e5", 1.0},  {"1,5", 1.0},   {"v1.4", 0.0}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_DOUBLE_EQ(UpdateCheck::VersionValue(QString::fromLatin1(c.text)), c.value);
  }
  // Too long to hold: the largest of all rather than a failure.
  EXPECT_TRUE(std::isinf(UpdateCheck::VersionValue(QString(400, QLatin1Char('9')))));
}

TEST(UpdateCheck, AddressesOnTheHomepage) {
  EXPECT_EQ(UpdateCheck::RemoteDataUrl(), QStringLiteral("http://www.skeld-instruments.example/dl/swv.txt"));
  EXPECT_EQ(UpdateCheck::ProgramPageUrl(),
            QStringLiteral("http://www.skeld-instruments.example/dl/SkeldErrLog.htm"));
}

TEST(UpdateCheck, WorkFolderUnderTheDataFolder) {
  ScopedEnv home("HOME", "/home/tester");
  {
    ScopedEnv appData("AppData", "/data/roaming");
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(UpdateCheck::WorkFolder(), QStringLiteral("/data/roaming/vbTemp"));
    EXPECT_EQ(UpdateCheck::LocalDataFile(UpdateCheck::WorkFolder()),
              QStringLiteral("/data/roaming/vbTemp/versions.txt"));
  }
#ifdef _WIN32
  {
    // The root of the current drive.
    ScopedEnv appData("AppData", "");
    EXPECT_EQ(UpdateCheck::WorkFolder(), QStringLiteral("/vbTemp"));
  }
#else
  {
    ScopedEnv appData("AppData");
    ScopedEnv xdg("XDG_DATA_HOME", "/xdg");
    EXPECT_EQ(UpdateCheck::WorkFolder(), QStringLiteral("/xdg/vbTemp"));
  }
  {
    ScopedEnv appData("AppData", "");
    ScopedEnv xdg("XDG_DATA_HOME");
    EXPECT_EQ(UpdateCheck::WorkFolder(), QStringLiteral("/home/tester/.local/share/vbTemp"));
  }
#endif
}

} // namespace
