#pragma once

#include "support/Sockets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How the server answers one connection once its request has arrived: bytes sent all at
// once, or one every `pace`; the connection stays open at least `hold` after the request
// (a server that keeps the client waiting), and paced bytes not sent by then are dropped.
struct HttpAnswer {
  HttpAnswer(std::string bytes, std::chrono::milliseconds pace = {}, std::chrono::milliseconds hold = {})
      : bytes(std::move(bytes)), pace(pace), hold(hold) {}
  std::string bytes;
  std::chrono::milliseconds pace;
  std::chrono::milliseconds hold;
};

inline std::string HttpReply(const std::string &status, const std::string &body,
                             const std::string &headers = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

// A listening socket on 127.0.0.1 with a free port.
inline int ListenOnLoopback(int backlog, int &port) {
  if (!SocketsReady())
    ADD_FAILURE() << "no sockets";
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
    ADD_FAILURE() << "no listening socket";
  port = ntohs(address.sin_port);
  return fd;
}

// A one-thread HTTP server on 127.0.0.1: answers each connection with the next answer and
// records the request lines it was sent.
class LocalHttpServer {
public:
  explicit LocalHttpServer(std::vector<HttpAnswer> answers) : answers_(std::move(answers)) {
    listener_ = ListenOnLoopback(4, port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalHttpServer() { Finish(); }
  LocalHttpServer(const LocalHttpServer &) = delete;
  LocalHttpServer &operator=(const LocalHttpServer &) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string &path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Stops serving; afterwards requestLines holds what arrived.
  void Finish() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    stopped_.notify_all();
    if (thread_.joinable())
      thread_.join();
    if (listener_ >= 0)
      CloseSocket(listener_);
    listener_ = -1;
  }

  std::vector<std::string> requestLines;

private:
  bool WaitReadable(int fd) {
    pollfd p{static_cast<decltype(pollfd::fd)>(fd), POLLIN, 0};
    while (!stop_)
      if (poll(&p, 1, 50) > 0)
        return true;
    return false;
  }

  // Sleeps until the time given or until Finish; false once finishing.
  bool SleepUntil(std::chrono::steady_clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !stopped_.wait_until(lock, until, [this] { return stop_.load(); });
  }

  void Answer(int client, const HttpAnswer &answer) {
    const auto deadline = std::chrono::steady_clock::now() + answer.hold;
    if (answer.pace.count() == 0) {
      send(client, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
    } else {
      auto next = std::chrono::steady_clock::now();
      for (const char byte : answer.bytes) {
        if (next > deadline || !SleepUntil(next) || send(client, &byte, 1, MSG_NOSIGNAL) != 1)
          break;
        next += answer.pace;
      }
    }
    SleepUntil(deadline);
  }

  void Serve() {
    for (const HttpAnswer &answer : answers_) {
      if (!WaitReadable(listener_))
        return;
      const int client = accept(listener_, nullptr, nullptr);
      std::string request;
      char buffer[1024];
      while (request.find("\r\n\r\n") == std::string::npos && WaitReadable(client)) {
        const auto n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
          break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      requestLines.push_back(request.substr(0, request.find("\r\n")));
      Answer(client, answer);
      CloseSocket(client);
    }
  }

  std::vector<HttpAnswer> answers_;
  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::condition_variable stopped_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A port on 127.0.0.1 whose queue of connections is full, so that a connect to it hangs
// until it times out: the listener takes one waiting connection and already holds it.
class FullBacklogPort {
public:
  FullBacklogPort() {
    listener_ = ListenOnLoopback(0, port_);
    queued_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (connect(queued_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
      ADD_FAILURE() << "cannot fill the queue";
    // The queue counts the connection once the handshake's last packet has arrived.
    for (int tries = 0; tries < 1000 && QueueLength() < 1; ++tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GE(QueueLength(), 1u) << "the queue did not fill";
  }
  ~FullBacklogPort() {
    CloseSocket(queued_);
    CloseSocket(listener_);
  }
  FullBacklogPort(const FullBacklogPort &) = delete;
  FullBacklogPort &operator=(const FullBacklogPort &) = delete;

  int Port() const { return port_; }

private:
  unsigned QueueLength() const {
#ifdef _WIN32
    // A listener reads as readable while a connection waits to be accepted.
    pollfd p{static_cast<SOCKET>(listener_), POLLIN, 0};
    return poll(&p, 1, 0) > 0 ? 1 : 0;
#else
    tcp_info info{};
    socklen_t length = sizeof info;
    // For a listening socket this field holds the number of connections not yet accepted.
    return getsockopt(listener_, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 ? info.tcpi_unacked : 0;
#endif
  }

  int listener_ = -1;
  int queued_ = -1;
  int port_ = 0;
};
