#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <map>
#include <set>
#include <vector>

// A scripted "++" adapter on a TCP port of 127.0.0.1: it answers the commands a driver
// sends, keeps every line it got (data with the escapes undone), and can stay mute, leave
// EOI off or go away in the middle of a read.
class FakeAdapterPeer {
public:
  FakeAdapterPeer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { Accept(); });
  }
  quint16 Port() const { return server_.serverPort(); }

  QByteArray version = "Prologix GPIB-USB Controller version 6.107";
  bool mute = false;
  bool endWithEoi = true;
  int vanishAtRead = 0; // 1-based ++read during which the connection is dropped; 0: never
  int statusByte = 0;
  std::set<int> listeners{1};
  QByteArray garbage; // when set, the answer to every ++spoll and ++fndl
  // What the instrument at pad replies to the last data written to it.
  std::function<QByteArray(int pad, const QByteArray &written)> reply = [](int, const QByteArray &written) {
    return "echo " + written;
  };

  struct Line {
    bool command; // began with an unescaped "++"
    QByteArray bytes;
  };
  std::vector<Line> received;

  std::vector<QByteArray> Commands() const { return Of(true); }
  std::vector<QByteArray> Data() const { return Of(false); }

private:
  std::vector<QByteArray> Of(bool command) const {
    std::vector<QByteArray> out;
    for (const Line &line : received)
      if (line.command == command)
        out.push_back(line.bytes);
    return out;
  }

  void Accept() {
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
      socket_ = socket;
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Take(socket); });
    }
  }

  void Take(QTcpSocket *socket) {
    for (const char c : socket->readAll()) {
      if (escaped_) {
        line_.bytes += c;
        escaped_ = false;
      } else if (c == 27) {
        escaped_ = true;
        plain_ = false;
      } else if (c == '\n') {
        line_.command = plain_ && line_.bytes.startsWith("++");
        received.push_back(line_);
        Answer(socket, line_);
        line_ = Line{};
        plain_ = true;
      } else {
        line_.bytes += c;
      }
    }
  }

  void Answer(QTcpSocket *socket, const Line &line) {
    if (!line.command) {
      written_[addr_] = line.bytes;
      return;
    }
    if (mute)
      return;
    const QList<QByteArray> words = line.bytes.mid(2).split(' ');
    const QByteArray &name = words[0];
    const int argument = words.size() > 1 ? words[1].toInt() : -1;
    if (name == "ver") {
      socket->write(version + "\r\n");
    } else if (name == "addr") {
      addr_ = argument;
    } else if (name == "eot_char") {
      eot_ = static_cast<char>(argument);
    } else if (name == "eot_enable") {
      eotEnabled_ = argument == 1;
    } else if ((name == "spoll" || name == "fndl") && !garbage.isEmpty()) {
      socket->write(garbage + "\r\n");
    } else if (name == "spoll") {
      if (listeners.count(argument >= 0 ? argument : addr_))
        socket->write(QByteArray::number(statusByte) + "\r\n");
    } else if (name == "fndl") {
      QByteArray list;
      for (const int pad : listeners)
        list += (list.isEmpty() ? "" : " ") + QByteArray::number(pad);
      socket->write(list + "\r\n");
    } else if (name == "read") {
      const QByteArray text = reply(addr_, written_[addr_]);
      if (++reads_ == vanishAtRead) {
        socket->write(text.left(text.size() / 2));
        socket->flush();
        socket->abort();
        return;
      }
      socket->write(endWithEoi && eotEnabled_ ? text + eot_ : text);
    }
  }

  QTcpServer server_;
  QTcpSocket *socket_ = nullptr;
  Line line_;
  bool escaped_ = false;
  bool plain_ = true;
  int addr_ = 0;
  int reads_ = 0;
  char eot_ = 0;
  bool eotEnabled_ = false;
  std::map<int, QByteArray> written_;
};
