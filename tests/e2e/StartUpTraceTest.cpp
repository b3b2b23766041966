#include "support/BusTrace.h"
#include "support/Files.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const QString BusFile = QStringLiteral(SKELD_SOURCE_DIR "/tests/data/bus-20-entries.json");

std::vector<std::string> ReadTrace(const QString &path) {
  return bustrace::Lines(ReadFile(path).toStdString());
}

std::vector<std::string> LogOfBusFile() {
  std::vector<std::string> log;
  const QJsonArray entries = QJsonDocument::fromJson(ReadFile(BusFile))
                                 .object()[QStringLiteral("listeners")][0][QStringLiteral("log")]
                                 .toArray();
  for (const auto &entry : entries)
    log.push_back(entry.toString().toStdString());
  return log;
}

TEST(EndToEnd, StartUpReadsTheWholeLogWithTheExpectedCommands) {
  const std::vector<std::string> log = LogOfBusFile();
  ASSERT_EQ(log.size(), 20u);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString tracePath = dir.filePath(QStringLiteral("trace.txt"));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("LD_LIBRARY_PATH"), QStringLiteral(SKELD_BINARY_DIR "/sim"));
  env.insert(QStringLiteral("GPIBSIM_BUS"), BusFile);
  env.insert(QStringLiteral("GPIBSIM_TRACE"), tracePath);

  QProcess viewer;
  viewer.setProcessEnvironment(env);
  viewer.setProcessChannelMode(QProcess::ForwardedChannels);
  viewer.start(QStringLiteral(SKELD_BINARY_DIR "/skeld-errlog"), {});
  ASSERT_TRUE(viewer.waitForStarted(10000));

  // The log is read when the end item ("" and a line feed) has come back.
  std::vector<std::string> trace;
  const bool ended = QTest::qWaitFor(
      [&] {
        trace = ReadTrace(tracePath);
        const std::vector<std::string> replies = bustrace::QuotedOf(trace, "ibrd");
        return viewer.state() != QProcess::Running ||
               std::find(replies.begin(), replies.end(), "\"\"\n") != replies.end();
      },
      60000);
  const bool stillRunning = viewer.state() == QProcess::Running;
  viewer.kill();
  viewer.waitForFinished(10000);
  ASSERT_TRUE(ended) << "the log was not read within 60 s";
  ASSERT_TRUE(stillRunning) << "the viewer ended with status " << viewer.exitCode();
  trace = ReadTrace(tracePath);

  // Board set-up first, then the listener search, then the scope's commands.
  std::vector<std::string> entries;
  for (const std::string &line : trace)
    entries.push_back(line.substr(0, line.find(' ')));
  const auto firstWrite = std::find(entries.begin(), entries.end(), "ibwrt");
  ASSERT_NE(firstWrite, entries.end());
  const std::vector<std::string> before(entries.begin(), firstWrite);
  const auto ifc = std::find(before.begin(), before.end(), "SendIFC");
  const auto sre = std::find(before.begin(), before.end(), "ibsre");
  const auto lstn = std::find(before.begin(), before.end(), "FindLstn");
  ASSERT_NE(lstn, before.end());
  EXPECT_LT(ifc, sre);
  EXPECT_LT(sre, lstn);

  std::vector<std::string> expected{"ID?", "ID?", "HEAD 0", "PASSWORD BRAMBLE", "ERRLOG?"};
  expected.insert(expected.end(), 20, "ERRLOG:NEXT?");
  EXPECT_EQ(bustrace::QuotedOf(trace, "ibwrt"), expected);

  // Every entry came back once, in order, then the end item.
  std::vector<std::string> logReplies;
  for (const std::string &reply : bustrace::QuotedOf(trace, "ibrd"))
    if (reply.size() > 3 && reply.front() == '"')
      logReplies.push_back(reply.substr(1, reply.size() - 3));
  EXPECT_EQ(logReplies, log);
}

} // namespace
