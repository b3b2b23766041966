#include "platform/Download.h"
#include "support/Files.h"
#include "support/LocalHttpServer.h"
#include "support/ScopedSeam.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

class Download : public ::testing::Test {
protected:
  QTemporaryDir dir_;
  QString path_ = dir_.path() + QStringLiteral("/versions.txt");
  std::string Path() const { return QFile::encodeName(path_).toStdString(); }

  void WriteOld() { ASSERT_TRUE(WriteFile(path_, "old data\n")); }
  QStringList Leftovers() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(Download, WritesTheBodyOnSuccess) {
  WriteOld();
  LocalHttpServer server({HttpReply("200 OK", "Skeld Error Log Viewer:1.4\r\n")});
  EXPECT_TRUE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
  server.Finish();
  EXPECT_EQ(ReadFile(path_), QByteArray("Skeld Error Log Viewer:1.4\r\n"));
  ASSERT_EQ(server.requestLines.size(), 1u);
  EXPECT_EQ(server.requestLines[0], "GET /dl/swv.txt HTTP/1.1");
  EXPECT_EQ(Leftovers(), QStringList{QStringLiteral("versions.txt")});
}

TEST_F(Download, FollowsRedirects) {
  LocalHttpServer server({HttpReply("302 Found", "", "Location: /moved/swv.txt\r\n"),
                          HttpReply("200 OK", "Skeld Error Log Viewer:2.0")});
  EXPECT_TRUE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
  server.Finish();
  EXPECT_EQ(ReadFile(path_), QByteArray("Skeld Error Log Viewer:2.0"));
  ASSERT_EQ(server.requestLines.size(), 2u);
  EXPECT_EQ(server.requestLines[1], "GET /moved/swv.txt HTTP/1.1");
}

// Ten redirects are followed; the eleventh is not.
TEST_F(Download, FollowsAtMostTenRedirects) {
  for (const int redirects : {10, 11}) {
    SCOPED_TRACE(redirects);
    std::vector<HttpAnswer> answers;
    for (int i = 1; i <= redirects; ++i)
      answers.emplace_back(HttpReply("302 Found", "moved", "Location: /hop" + std::to_string(i) + "\r\n"));
    answers.emplace_back(HttpReply("200 OK", "Skeld Error Log Viewer:2.0"));
    LocalHttpServer server(answers);
    EXPECT_EQ(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()), redirects == 10);
    server.Finish();
    ASSERT_EQ(server.requestLines.size(), 11u);
    EXPECT_EQ(server.requestLines.back(), "GET /hop10 HTTP/1.1");
    if (redirects == 10) {
      EXPECT_EQ(ReadFile(path_), QByteArray("Skeld Error Log Viewer:2.0"));
    }
  }
}

// A connection that never completes ends by whichever limit runs out first, before any
// request was sent.
TEST_F(Download, ALimitEndsATransferThatNeverConnects) {
  using std::chrono::milliseconds;
  const skeld::DownloadLimits cases[] = {
      {milliseconds(300), milliseconds(30000), 1 << 20},
      {milliseconds(30000), milliseconds(300), 1 << 20},
  };
  for (const auto &limits : cases) {
    const ScopedSeam shorter(skeld::SetDownloadLimits, limits);
    const FullBacklogPort port;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(
        skeld::DownloadToFile("http://127.0.0.1:" + std::to_string(port.Port()) + "/dl/swv.txt", Path()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(QFile::exists(path_));
  }
}

// Each failure leaves the earlier file exactly as it was, with no partial copy beside it.
TEST_F(Download, FailuresLeaveTheOldFile) {
  const struct {
    const char *what;
    std::string reply;
  } cases[] = {
      {"not found", HttpReply("404 Not Found", "<html>gone</html>")},
      {"server error", HttpReply("500 Internal Server Error", "oops")},
      {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nSkeld Error"},
      {"far too large", HttpReply("200 OK", std::string((1 << 20) + 1, 'x'))},
      {"redirect off the web", HttpReply("302 Found", "", "Location: file:///etc/hostname\r\n")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    WriteOld();
    LocalHttpServer server({c.reply});
    EXPECT_FALSE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
    EXPECT_EQ(ReadFile(path_), QByteArray("old data\n"));
    EXPECT_EQ(Leftovers(), QStringList{QStringLiteral("versions.txt")});
  }
}

// The cap lets a reply of exactly its size through; one byte more fails (above).
TEST_F(Download, KeepsAReplyOfExactlyTheCap) {
  const std::string body(1 << 20, 'x');
  LocalHttpServer server({HttpReply("200 OK", body)});
  EXPECT_TRUE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
  EXPECT_EQ(ReadFile(path_).size(), static_cast<qsizetype>(body.size()));
}

// The time limits the program runs with; the update check tests shorten them to see them act.
TEST(DownloadLimits, TenSecondsToConnectThirtyInAll) {
  const ScopedSeam limits(skeld::SetDownloadLimits, skeld::DownloadLimits{});
  EXPECT_EQ(limits.Previous().connect, std::chrono::seconds(10));
  EXPECT_EQ(limits.Previous().total, std::chrono::seconds(30));
  EXPECT_EQ(limits.Previous().maxBytes, 1 << 20);
}

TEST_F(Download, RefusedConnectionFails) {
  int port = 0;
  {
    LocalHttpServer closed({});
    port = closed.Port();
  }
  EXPECT_FALSE(skeld::DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/dl/swv.txt", Path()));
  EXPECT_FALSE(QFile::exists(path_));
}

TEST_F(Download, NowhereToWriteFails) {
  LocalHttpServer server({HttpReply("200 OK", "data")});
  EXPECT_FALSE(skeld::DownloadToFile(server.Url("/dl/swv.txt"),
                                     QFile::encodeName(dir_.path() + "/missing/versions.txt").toStdString()));
  server.Finish();
  EXPECT_TRUE(server.requestLines.empty()) << "fetched although it could not be kept";
}

} // namespace
