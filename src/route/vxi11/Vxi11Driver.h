#pragma once

#include "route/EmulatedDriver.h"
#include "route/Route.h"
#include "route/vxi11/RpcClient.h"

#include <QString>

#include <map>
#include <memory>

namespace vxi11 {

// The driver entries carried out over the VXI-11 core channel: a link per instrument
// (inst0, or gpib0,N behind a gateway), device_write with END on the last byte, device_read
// until its END reason, device_clear, device_readstb. Through a gateway's whole bus (gpib0)
// the listener search opens a link per address and reads its status byte. The links are
// destroyed when the driver lets go of the connection.
class Vxi11Driver : public route::EmulatedDriver {
public:
  explicit Vxi11Driver(const route::Vxi11Route &where);
  ~Vxi11Driver() override;

  static constexpr quint32 CoreProgram = 0x0607AF;
  static constexpr quint32 CoreVersion = 1;

protected:
  bool Open(QString &why) override;
  void Close() override;
  QString GoneBetweenCalls() override;
  int Write(const Device &device, const QByteArray &data) override;
  int Read(const Device &device, char *buf, int wanted, long &got) override;
  int Clear(const Device &device) override;
  int Poll(const Device &device, int &statusByte) override;
  int FindListeners(const std::vector<int> &offered, std::set<int> &answered) override;
  QString LostText(const QString &reason) const override;
  const char *Noun() const override;

private:
  struct Link {
    qint32 id = 0;
    quint32 maxRecvSize = 0;
  };
  enum class Answer { Done, DeviceError, Failed };
  // One core channel call; Failed means the connection is lost (Lost already called).
  Answer CallCore(quint32 procedure, const QByteArray &args, QByteArray &results,
                  std::chrono::milliseconds io, const QString &when, int &status);
  // The link to the instrument at pad, made on first use; nullptr with status set on failure.
  const Link *LinkFor(int pad, int &status);
  // A call that takes Device_GenericParms on the link to device; false with status set when it
  // did not come back.
  bool GenericCall(const Device &device, quint32 procedure, const QString &when, QByteArray &results,
                   int &status);
  bool CreateLink(const QString &device, Link &link, qint32 &error, int &status);
  void DestroyLink(const Link &link);
  int ConnectionLost(const QString &reason);
  // A device error as the driver's status: TIMO for a time-out, the nearest error code else.
  int DeviceFailure(qint32 error, bool writing);
  bool IsGateway() const { return where_.device.startsWith(QLatin1String("gpib")); }
  QString DeviceName(int pad) const;

  route::Vxi11Route where_;
  std::unique_ptr<RpcClient> client_;
  std::map<int, Link> links_; // by address; inst0 under 0
  bool opening_ = false;
  bool lost_ = false;
  QString openFailure_;
};

} // namespace vxi11
