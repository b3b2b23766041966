#pragma once

#include "route/Route.h"
#include "route/RouteInstall.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QAbstractButton;
class QComboBox;
class QGridLayout;
class QVBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Where the user picks the GPIB interface: the driver library, a serial port that looks like
// an adapter, another serial port, or a Prologix on the network. Connect tries the choice at
// once and says in the dialog why it failed; the dialog closes once a choice works.
class ConnectDialog : public QDialog {
  Q_OBJECT

public:
  // preselect is chosen when the dialog opens; failure, when not empty, is why it could not
  // be used.
  ConnectDialog(const route::Route &preselect, const QString &failure, QWidget *parent = nullptr);

  // Shows the dialog modally, or lets a test answer it; the dialog's result.
  int Present();
  using Presenter = std::function<int(ConnectDialog &)>;
  static Presenter SetPresenter(Presenter presenter);

  // Called before each try, with the interface about to be tried.
  std::function<void(const route::Route &)> beforeTry;
  // Once accepted: the interface that worked, installed under the binding.
  std::unique_ptr<route::RouteInstall> TakeConnection() { return std::move(connection_); }

  void Connect_Click();

  struct PortRow {
    QRadioButton *choice;
    QComboBox *dialect;
    QLabel *note;
    QString port;
  };

  QRadioButton *Library;
  QLabel *LibraryNote;
  QList<PortRow> Ports;
  QLabel *NoPorts;
  QRadioButton *OtherPort;
  QLineEdit *OtherPortName;
  QComboBox *OtherDialect;
  QRadioButton *Ethernet;
  QComboBox *EthernetHost;
  // The scope's own serial port (RS-232): any serial port but an adapter's, its rate and flow
  // control as set on the scope.
  QRadioButton *ScopeSerial;
  QComboBox *ScopeSerialPort;
  QComboBox *ScopeSerialBaud;
  QComboBox *ScopeSerialFlow;
  // USB instruments (TDS 1000B/2000B/2000C), one row each.
  struct UsbRow {
    QRadioButton *choice;
    route::Route where;
  };
  QList<UsbRow> UsbInstruments;
  QLabel *NoUsb = nullptr;
  // A LAN instrument (inst0) or a LAN/GPIB gateway (VXI-11); with a GPIB address, the gateway's
  // scope at that address. The search asks the local networks' portmappers.
  QRadioButton *Lan;
  QComboBox *LanHost;
  QPushButton *SearchNetworkButton;
  QLabel *LanFound;
  // The scope's GPIB address; empty: the first TDS found.
  QLineEdit *Address;
  // Why the last try failed: beside the row of the way tried, else below the address.
  QLabel *Failure;
  // Shown when nothing here can be reached and nothing looks like an adapter.
  QLabel *DemoHint = nullptr;
  QPushButton *ConnectButton;
  QPushButton *CancelButton;

private:
  bool SelectedAddress(route::Route &where, QString &error) const;
  bool SelectedWay(route::Route &where, QString &error) const;
  void Preselect(const route::Route &where);
  void ShowFailure(const QString &text, bool ofTheWay);
  void AddScopeSerialRow(
      const std::function<void(QRadioButton *, const char *, QWidget *, QWidget *, QLabel *)> &addChoice);
  bool PreselectScopeSerial(const route::Route &where);
  bool SelectedScopeSerial(route::Route &where, QString &error) const;
  void AddLanRow(
      const std::function<void(QRadioButton *, const char *, QWidget *, QWidget *, QLabel *)> &addChoice);
  bool PreselectLan(const route::Route &where);
  bool SelectedLan(route::Route &where, QString &error) const;
  void SearchNetwork_Click();

  std::unique_ptr<route::RouteInstall> connection_;
  QGridLayout *Grid = nullptr;
  QVBoxLayout *OwnPlace = nullptr;
  QHash<QAbstractButton *, int> failureRows_;
  QString libraryNoteText_;
};
