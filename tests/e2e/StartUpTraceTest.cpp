#include <QByteArray>
#include <QFile>
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

struct TraceLine {
  std::string entry; // "ibwrt", "ibrd" ...
  std::string data;  // the quoted bytes, unescaped
};

std::string Unescape(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char e = text[++i];
    if (e == 'n')
      out += '\n';
    else if (e == 'r')
      out += '\r';
    else if (e == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else
      out += e;
  }
  return out;
}

std::vector<TraceLine> ReadTrace(const QString &path) {
  std::vector<TraceLine> lines;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return lines;
  for (const QByteArray &raw : file.readAll().split('\n')) {
    const std::string line = raw.toStdString();
    if (line.empty())
      continue;
    TraceLine t;
    t.entry = line.substr(0, line.find(' '));
    const std::size_t open = line.find('"');
    const std::size_t status = line.rfind(" ibsta=");
    if (open != std::string::npos && status != std::string::npos && status > open + 1)
      t.data = Unescape(line.substr(open + 1, status - open - 2));
    lines.push_back(t);
  }
  return lines;
}

std::vector<std::string> DataOf(const std::vector<TraceLine> &trace, const std::string &entry) {
  std::vector<std::string> out;
  for (const TraceLine &t : trace)
    if (t.entry == entry)
      out.push_back(t.data);
  return out;
}

std::vector<std::string> LogOfBusFile() {
  QFile file(BusFile);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  std::vector<std::string> log;
  const QJsonArray entries = QJsonDocument::fromJson(file.readAll())
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
  std::vector<TraceLine> trace;
  const bool ended = QTest::qWaitFor(
      [&] {
        trace = ReadTrace(tracePath);
        const std::vector<std::string> replies = DataOf(trace, "ibrd");
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
  for (const TraceLine &t : trace)
    entries.push_back(t.entry);
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
  EXPECT_EQ(DataOf(trace, "ibwrt"), expected);

  // Every entry came back once, in order, then the end item.
  std::vector<std::string> logReplies;
  for (const std::string &reply : DataOf(trace, "ibrd"))
    if (reply.size() > 3 && reply.front() == '"')
      logReplies.push_back(reply.substr(1, reply.size() - 3));
  EXPECT_EQ(logReplies, log);
}

} // namespace
