#include "platform/Download.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// A one-thread HTTP server on 127.0.0.1: answers each connection with the next canned
// reply and records the request lines it was sent.
class CannedHttpServer {
public:
  explicit CannedHttpServer(std::vector<std::string> replies) : replies_(std::move(replies)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &length) != 0)
      ADD_FAILURE() << "no listening socket";
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~CannedHttpServer() { Finish(); }

  int Port() const { return port_; }
  std::string Url(const std::string &path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Stops serving; afterwards requestLines holds what arrived.
  void Finish() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    if (listener_ >= 0)
      close(listener_);
    listener_ = -1;
  }

  std::vector<std::string> requestLines;

private:
  bool WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    while (!stop_)
      if (poll(&p, 1, 50) > 0)
        return true;
    return false;
  }

  void Serve() {
    for (const std::string &reply : replies_) {
      if (!WaitReadable(listener_))
        return;
      const int client = accept(listener_, nullptr, nullptr);
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(client)) {
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
          break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      requestLines.push_back(request.substr(0, request.find("\r\n")));
      send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
      close(client);
    }
  }

  std::vector<std::string> replies_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Reply(const std::string &status, const std::string &body, const std::string &headers = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

QByteArray Contents(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class Download : public ::testing::Test {
protected:
  QTemporaryDir dir_;
  QString path_ = dir_.path() + QStringLiteral("/versions.txt");
  std::string Path() const { return QFile::encodeName(path_).toStdString(); }

  void WriteOld() {
    QFile file(path_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("old data\n");
  }
  QStringList Leftovers() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(Download, WritesTheBodyOnSuccess) {
  WriteOld();
  CannedHttpServer server({Reply("200 OK", "Skeld Error Log Viewer:1.4\r\n")});
  EXPECT_TRUE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
  server.Finish();
  EXPECT_EQ(Contents(path_), QByteArray("Skeld Error Log Viewer:1.4\r\n"));
  ASSERT_EQ(server.requestLines.size(), 1u);
  EXPECT_EQ(server.requestLines[0], "GET /dl/swv.txt HTTP/1.1");
  EXPECT_EQ(Leftovers(), QStringList{QStringLiteral("versions.txt")});
}

TEST_F(Download, FollowsRedirects) {
  CannedHttpServer server({Reply("302 Found", "", "Location: /moved/swv.txt\r\n"),
                           Reply("200 OK", "Skeld Error Log Viewer:2.0")});
  EXPECT_TRUE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
  server.Finish();
  EXPECT_EQ(Contents(path_), QByteArray("Skeld Error Log Viewer:2.0"));
  ASSERT_EQ(server.requestLines.size(), 2u);
  EXPECT_EQ(server.requestLines[1], "GET /moved/swv.txt HTTP/1.1");
}

// Each failure leaves the earlier file exactly as it was, with no partial copy beside it.
TEST_F(Download, FailuresLeaveTheOldFile) {
  const struct {
    const char *what;
    std::string reply;
  } cases[] = {
      {"not found", Reply("404 Not Found", "<html>gone</html>")},
      {"server error", Reply("500 Internal Server Error", "oops")},
      {"cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nSkeld Error"},
      {"far too large", Reply("200 OK", std::string((1 << 20) + 1, 'x'))},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    WriteOld();
    CannedHttpServer server({c.reply});
    EXPECT_FALSE(skeld::DownloadToFile(server.Url("/dl/swv.txt"), Path()));
    EXPECT_EQ(Contents(path_), QByteArray("old data\n"));
    EXPECT_EQ(Leftovers(), QStringList{QStringLiteral("versions.txt")});
  }
}

TEST_F(Download, RefusedConnectionFails) {
  int port = 0;
  {
    CannedHttpServer closed({});
    port = closed.Port();
  }
  EXPECT_FALSE(skeld::DownloadToFile("http://127.0.0.1:" + std::to_string(port) + "/dl/swv.txt", Path()));
  EXPECT_FALSE(QFile::exists(path_));
}

TEST_F(Download, NowhereToWriteFails) {
  CannedHttpServer server({Reply("200 OK", "data")});
  EXPECT_FALSE(skeld::DownloadToFile(server.Url("/dl/swv.txt"),
                                     QFile::encodeName(dir_.path() + "/missing/versions.txt").toStdString()));
  server.Finish();
  EXPECT_TRUE(server.requestLines.empty()) << "fetched although it could not be kept";
}

} // namespace
