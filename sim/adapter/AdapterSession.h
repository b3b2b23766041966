#pragma once

#include "gpib/GpibDriverApi.h"
#include "sim/adapter/EscapedLineReader.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <deque>

namespace gpibsim {

enum class Dialect { Prologix, Ar488 };

// One "++" controller on the simulated bus: takes the host's bytes, acts on the bus through
// the simulated driver's own entries (so the trace shows what an NI-style controller would
// have done) and answers the host. Lines are handled one after another; a line that comes
// while a read waits out its time-out is kept until the read has ended.
class AdapterSession : public QObject {
  Q_OBJECT
public:
  struct Options {
    Dialect dialect = Dialect::Prologix;
    QByteArray version;        // the ++ver answer, without its line end
    int vanishAfterReads = -1; // -1: never
    bool mute = false;
    int lateRead = 0; // the ++read (1-based) whose reply goes out lateMs late; 0: none
    int lateMs = 0;
    bool floodVersion = false; // ++ver is answered with bytes that never end
  };

  explicit AdapterSession(const Options &options, QObject *parent = nullptr);

  void Receive(const QByteArray &bytes);
  // The host went away: its unfinished line and waiting lines are dropped, settings stay.
  void Reset();

signals:
  void send(const QByteArray &bytes);
  // The read that --vanish-after-reads counted past: the adapter is to disappear.
  void vanish();

private:
  enum class Until { Eoi, Char, Timeout };

  void ProcessPending();
  void Execute(const EscapedLineReader::Line &line);
  void Command(const QByteArray &name, const QList<QByteArray> &args);
  bool Setting(const QByteArray &name, const QList<QByteArray> &args);
  void Address(const QList<QByteArray> &args);
  void WriteData(QByteArray data);
  void Read(const QList<QByteArray> &args);
  void ReadFromBus(Until until, char stopChar);
  void SerialPoll(const QList<QByteArray> &args);
  void FindListeners(const QList<QByteArray> &args);
  bool OnDevice(int pad);
  bool Readdress(int pad);
  void WaitOut(qint64 elapsedMs);
  void Answer(const QByteArray &text);
  void Deliver(const QByteArray &bytes);
  void Flood();

  const GpibDriverApi &driver_;
  Options options_;
  EscapedLineReader reader_;
  std::deque<EscapedLineReader::Line> pending_;
  QTimer timeout_; // runs while a read waits for bytes that do not come
  bool vanished_ = false;
  int reads_ = 0;
  int served_ = 0;       // ++read commands so far
  bool holding_ = false; // the current read's reply is kept back
  QByteArray held_;      // and goes out when timeout_ ends
  QTimer flood_;
  qint64 flooded_ = 0;

  int ud_ = -1; // the device descriptor, once one is needed
  int devicePad_ = -1;

  // Power-on settings. A real adapter starts from its saved configuration; these are ours.
  int address_ = 1;
  int auto_ = 0;
  int eoi_ = 1; // kept and answered; the simulated instruments see every write end
  int eos_ = 0;
  int eotEnable_ = 0;
  int eotChar_ = '\n';
  int mode_ = 1;
  int readTimeoutMs_ = 500;
  int savecfg_ = 1;
};

} // namespace gpibsim
