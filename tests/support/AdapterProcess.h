#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

// The gpibsim-adapter executable on a bus of its own, reached as a host reaches it: the
// pseudo-terminal or TCP port it prints. Its standard input is a pipe; closing it must end
// the adapter, which the destructor checks.
class AdapterProcess {
public:
  AdapterProcess(const QStringList &arguments, const QByteArray &busJson) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!busJson.isEmpty()) {
      QFile bus(dir_.filePath(QStringLiteral("bus.json")));
      EXPECT_TRUE(bus.open(QIODevice::WriteOnly) && bus.write(busJson) == busJson.size());
      env.insert(QStringLiteral("GPIBSIM_BUS"), bus.fileName());
    }
    env.insert(QStringLiteral("GPIBSIM_TRACE"), dir_.filePath(QStringLiteral("trace.txt")));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QStringLiteral(GPIBSIM_ADAPTER), arguments);
    while (process.waitForReadyRead(5000) && !process.canReadLine()) {
    }
    endpoint = QString::fromLocal8Bit(process.readLine()).trimmed();
  }
  ~AdapterProcess() {
    if (process.state() == QProcess::NotRunning)
      return;
    process.closeWriteChannel();
    const bool ended = process.waitForFinished(5000);
    EXPECT_TRUE(ended) << "the adapter outlived the end of its standard input";
    if (!ended)
      process.kill();
    process.waitForFinished(5000);
    EXPECT_EQ(process.exitCode(), 0);
  }
  AdapterProcess(const AdapterProcess &) = delete;
  AdapterProcess &operator=(const AdapterProcess &) = delete;

  // The lines of GPIBSIM_TRACE so far.
  std::vector<std::string> Trace() const {
    QFile file(dir_.filePath(QStringLiteral("trace.txt")));
    std::vector<std::string> lines;
    if (file.open(QIODevice::ReadOnly))
      for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.isEmpty())
          lines.push_back(line.toStdString());
    return lines;
  }

  QProcess process;
  QString endpoint; // the line it printed

private:
  QTemporaryDir dir_;
};

// The host's end of the link: the pseudo-terminal's slave side or a TCP connection.
class AdapterHost {
public:
  explicit AdapterHost(const QString &endpoint) {
    if (endpoint.startsWith(QLatin1String("pty "))) {
      fd_ = open(endpoint.mid(4).toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    } else if (endpoint.startsWith(QLatin1String("tcp 127.0.0.1:"))) {
      socket_ = std::make_unique<QTcpSocket>();
      socket_->connectToHost(QStringLiteral("127.0.0.1"), endpoint.mid(14).toUShort());
      if (!socket_->waitForConnected(5000))
        socket_.reset();
    }
  }
  ~AdapterHost() {
    if (fd_ >= 0)
      close(fd_);
  }
  AdapterHost(const AdapterHost &) = delete;
  AdapterHost &operator=(const AdapterHost &) = delete;

  bool Connected() const { return fd_ >= 0 || socket_; }

  void Send(const QByteArray &bytes) {
    if (socket_) {
      socket_->write(bytes);
      socket_->waitForBytesWritten(5000);
    } else {
      EXPECT_EQ(write(fd_, bytes.constData(), static_cast<std::size_t>(bytes.size())), bytes.size());
    }
  }

  // What arrives until it ends with end, or what came within ms.
  QByteArray ReadUntil(const QByteArray &end, int ms = 5000) {
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (!got.endsWith(end) && Wait(deadline, got) == State::Open) {
    }
    return got;
  }
  // Everything that arrives within ms.
  QByteArray ReadFor(int ms) {
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (Wait(deadline, got) == State::Open) {
    }
    return got;
  }
  // Whether the adapter closes the link within ms.
  bool Closes(int ms) {
    QByteArray ignored;
    const QDeadlineTimer deadline(ms);
    State state;
    while ((state = Wait(deadline, ignored)) == State::Open) {
    }
    return state == State::Closed;
  }

private:
  enum class State { Open, Closed, TimeUp };

  // Waits for bytes until the deadline and appends them.
  State Wait(const QDeadlineTimer &deadline, QByteArray &got) {
    const int ms = static_cast<int>(deadline.remainingTime());
    if (ms <= 0)
      return State::TimeUp;
    if (socket_) {
      if (socket_->bytesAvailable() == 0 && !socket_->waitForReadyRead(ms))
        return socket_->state() == QAbstractSocket::ConnectedState ? State::TimeUp : State::Closed;
      got += socket_->readAll();
      return State::Open;
    }
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0)
      return State::TimeUp;
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      got.append(buffer, static_cast<int>(n));
      return State::Open;
    }
    return n < 0 && errno == EAGAIN ? State::Open : State::Closed;
  }

  int fd_ = -1;
  std::unique_ptr<QTcpSocket> socket_;
};
