#pragma once

#include "sim/adapter/AdapterLink.h"

#include <QSocketNotifier>

#include <memory>

namespace gpibsim {

// A pseudo-terminal whose slave side a host opens like a USB serial port. The slave is raw,
// so no line discipline changes a byte in either direction.
class PtyLink : public AdapterLink {
  Q_OBJECT
public:
  using AdapterLink::AdapterLink;
  ~PtyLink() override;

  bool Open(QString &error) override;
  QString Endpoint() const override;
  void Send(const QByteArray &bytes) override;
  void Close() override;

private:
  void ReadMaster();
  void Flush();

  int master_ = -1;
  int slave_ = -1; // held open so that hosts may come and go without a hang-up on the master
  QString path_;
  QByteArray unsent_;
  std::unique_ptr<QSocketNotifier> readable_;
  std::unique_ptr<QSocketNotifier> writable_;
};

} // namespace gpibsim
