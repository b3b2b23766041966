#include "app/ConnectDialog.h"

#include "app/OutsideText.h"
#include "gpib/Vbib32.h"
#include "route/RouteStartup.h"
#include "route/plus/AdapterPorts.h"
#include "route/vxi11/Vxi11Search.h"
#ifdef __linux__
#include "route/usbtmc/UsbTmcDriver.h"
#include "route/usbtmc/UsbTmcListing.h"
#endif
#include "ui/WaitCursor.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <string>
#include <utility>

namespace {

using route::PlusRoute;
using route::Route;
using Kind = route::PlusRoute::Kind;

const char *const Title = "Connect to the GPIB Bus";
const char *const Intro = "Choose how the viewer reaches the GPIB bus. A choice that reaches a scope is "
                          "used again at the next start.";
#ifdef _WIN32
const char *const DemoHintText = "No instrument at hand? \"Skeld Error Log Viewer (Simulated Scope)\" in the "
                                 "Start menu shows the viewer on a simulated scope.";
#else
const char *const DemoHintText =
    "No instrument at hand? skeld-errlog-demo shows the viewer on a simulated scope.";
#endif

ConnectDialog::Presenter &PresenterInUse() {
  static ConnectDialog::Presenter presenter;
  return presenter;
}

QComboBox *DialectBox(QWidget *parent, const char *name, Kind kind) {
  auto *box = new QComboBox(parent);
  box->setObjectName(QLatin1String(name));
  box->addItem(QStringLiteral("Prologix"), static_cast<int>(Kind::Prologix));
  box->addItem(QStringLiteral("AR488"), static_cast<int>(Kind::Ar488));
  box->setCurrentIndex(kind == Kind::Ar488 ? 1 : 0);
  return box;
}

Kind KindOf(const QComboBox *box) { return static_cast<Kind>(box->currentData().toInt()); }

// A host to type or pick again from the hosts used before; empty when the dialog opens.
QComboBox *HostBox(QWidget *parent, const char *name, const QStringList &usedBefore) {
  auto *box = new QComboBox(parent);
  box->setObjectName(QLatin1String(name));
  box->setEditable(true);
  box->addItems(usedBefore);
  box->setEditText(QString());
  box->lineEdit()->setPlaceholderText(QStringLiteral("host name or address"));
  return box;
}

QLabel *Note(QWidget *parent, const QString &text) {
  auto *label = new QLabel(OneScreenWide(text, *parent), parent);
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::WindowText));
  label->setPalette(palette);
  return label;
}

// "FT232R USB UART, FTDI, USB 0403:6001: likely a Prologix GPIB-USB"
QString PortNote(const gpibadapter::PortFacts &port) {
  QStringList parts;
  if (!port.description.isEmpty())
    parts << port.description;
  if (!port.manufacturer.isEmpty() && !port.description.contains(port.manufacturer, Qt::CaseInsensitive))
    parts << port.manufacturer;
  if (port.hasIds)
    parts << QStringLiteral("USB %1:%2")
                 .arg(port.vendor, 4, 16, QLatin1Char('0'))
                 .arg(port.product, 4, 16, QLatin1Char('0'));
  const QString likely = gpibadapter::LikelyDialect(port) == Kind::Ar488
                             ? QStringLiteral("likely an AR488")
                             : QStringLiteral("likely a Prologix GPIB-USB");
  return parts.isEmpty() ? likely : parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + likely;
}

// Choosing a row's field chooses the row; choosing the row moves to its field at once, so
// that what is typed right after its shortcut lands in the field.
void Couple(QRadioButton *choice, QWidget *field) {
  const auto enter = [choice, field] {
    choice->setChecked(true);
    if (!field->hasFocus())
      field->setFocus(Qt::ShortcutFocusReason);
  };
  QObject::connect(choice, &QRadioButton::pressed, field, enter);
  QObject::connect(choice, &QRadioButton::toggled, field, [enter](bool on) {
    if (on)
      enter();
  });
}

// Couples a row's editable list too: typing in it, or picking from it, chooses the row.
void CoupleList(QRadioButton *choice, QComboBox *field) {
  Couple(choice, field);
  QObject::connect(field, &QComboBox::editTextChanged, choice, [choice, field] {
    if (field->hasFocus())
      choice->setChecked(true);
  });
  QObject::connect(field, &QComboBox::activated, choice, [choice] { choice->setChecked(true); });
}

} // namespace

ConnectDialog::Presenter ConnectDialog::SetPresenter(Presenter presenter) {
  return std::exchange(PresenterInUse(), std::move(presenter));
}

int ConnectDialog::Present() { return PresenterInUse() ? PresenterInUse()(*this) : exec(); }

ConnectDialog::ConnectDialog(const Route &preselect, const QString &failure, QWidget *parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ConnectDialog"));
  setWindowTitle(QLatin1String(Title));
  auto *layout = new QVBoxLayout(this);
  auto *intro = new QLabel(QLatin1String(Intro), this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto *grid = new QGridLayout;
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);
  auto *group = new QButtonGroup(this);
  int row = 0;
  auto addChoice = [&](QRadioButton *choice, const char *name, QWidget *field, QWidget *dialect,
                       QLabel *note) {
    choice->setObjectName(QLatin1String(name));
    group->addButton(choice);
    grid->addWidget(choice, row, 0);
    if (field)
      grid->addWidget(field, row, 1, 1, dialect ? 1 : 2);
    if (dialect)
      grid->addWidget(dialect, row, 2);
    ++row;
    grid->addWidget(note, row++, 0, 1, 3);
    note->setIndent(24);
    // Empty, so taking no room, until a failure of this way is shown in it.
    failureRows_.insert(choice, row++);
  };
  Grid = grid;

  std::string libraryFailure;
  const bool libraryUsable = VBIB32::TryDriverBoard(libraryFailure);
  Library = new QRadioButton(QStringLiteral("NI-488.2 driver &library"), this);
  libraryNoteText_ = libraryUsable ? QStringLiteral("%1 is installed (a GPIB board).")
                                         .arg(QLatin1String(VBIB32::DefaultDriverLibrary()))
                                   : QString::fromStdString(libraryFailure);
  LibraryNote = Note(this, libraryNoteText_);
  LibraryNote->setObjectName(QStringLiteral("LibraryNote"));
  addChoice(Library, "Library", nullptr, nullptr, LibraryNote);

  const QList<gpibadapter::PortFacts> ports = gpibadapter::AdapterLikePortFacts();
  for (const gpibadapter::PortFacts &port : ports) {
    PortRow portRow{new QRadioButton(port.name, this),
                    DialectBox(this, "PortDialect", gpibadapter::LikelyDialect(port)),
                    Note(this, PortNote(port)), port.name};
    addChoice(portRow.choice, "Port", nullptr, portRow.dialect, portRow.note);
    Ports.append(portRow);
  }
  NoPorts = Note(this, QStringLiteral("No serial port here looks like a Prologix or AR488 adapter."));
  NoPorts->setObjectName(QStringLiteral("NoPorts"));
  NoPorts->setVisible(ports.isEmpty());
  if (ports.isEmpty())
    grid->addWidget(NoPorts, row++, 0, 1, 3);

  OtherPort = new QRadioButton(QStringLiteral("&Other serial port:"), this);
  OtherPortName = new QLineEdit(this);
  OtherPortName->setObjectName(QStringLiteral("OtherPortName"));
  OtherPortName->setPlaceholderText(QStringLiteral("/dev/ttyUSB1"));
  OtherDialect = DialectBox(this, "OtherDialect", Kind::Prologix);
  addChoice(OtherPort, "OtherPort", OtherPortName, OtherDialect,
            Note(this, QStringLiteral("A serial port not listed above, by its name (/dev/ttyUSB1, COM3).")));

  Ethernet = new QRadioButton(QStringLiteral("Prologix GPIB-&Ethernet:"), this);
  EthernetHost = HostBox(this, "EthernetHost", route::remembered::RecentHosts());
  addChoice(Ethernet, "Ethernet", EthernetHost, nullptr,
            Note(this, QStringLiteral("Its host name or address; TCP port %1 unless written HOST:PORT.")
                           .arg(route::DefaultPrologixTcpPort)));

#ifdef __linux__
  {
    const QList<usbtmc::UsbInstrument> instruments = usbtmc::ListInstruments();
    for (const usbtmc::UsbInstrument &instrument : instruments) {
      UsbRow usbRow{new QRadioButton(usbtmc::RowText(instrument), this), usbtmc::RouteTo(instrument)};
      const QString maker =
          instrument.manufacturer.isEmpty() ? QString() : instrument.manufacturer + QStringLiteral(", ");
      addChoice(usbRow.choice, "Usb", nullptr, nullptr,
                Note(this, QStringLiteral("%1USB %2:%3, %4")
                               .arg(maker)
                               .arg(instrument.vendor, 4, 16, QLatin1Char('0'))
                               .arg(instrument.product, 4, 16, QLatin1Char('0'))
                               .arg(route::RouteText(usbRow.where))));
      UsbInstruments.append(usbRow);
    }
    NoUsb = Note(this, QStringLiteral("No instrument on USB. %1")
                           .arg(QLatin1String(usbtmc::UsbTmcDriver::PortSettingAdvice)));
    NoUsb->setObjectName(QStringLiteral("NoUsb"));
    NoUsb->setVisible(instruments.isEmpty());
    if (instruments.isEmpty())
      grid->addWidget(NoUsb, row++, 0, 1, 3);
  }
#endif

  auto *addressRow = new QHBoxLayout;
  auto *addressLabel = new QLabel(QStringLiteral("GPIB &address of the scope:"), this);
  Address = new QLineEdit(this);
  Address->setObjectName(QStringLiteral("Address"));
  Address->setPlaceholderText(QStringLiteral("the first TDS found"));
  Address->setValidator(new QIntValidator(route::LowestAddress, route::HighestAddress, Address));
  Address->setMaximumWidth(160);
  addressLabel->setBuddy(Address);
  addressRow->addWidget(addressLabel);
  addressRow->addWidget(Address);
  addressRow->addStretch();
  layout->addLayout(addressRow);
  auto *addressNote =
      Note(this, QStringLiteral("With several scopes on one bus, the address (%1 to %2) picks one; "
                                "empty, the first scope that answers as a TDS is used.")
                     .arg(route::LowestAddress)
                     .arg(route::HighestAddress));
  addressNote->setIndent(24);
  layout->addWidget(addressNote);

  AddScopeSerialRow(addChoice);
  AddLanRow(addChoice);
  Couple(OtherPort, OtherPortName);
  CoupleList(Ethernet, EthernetHost);
  connect(OtherPortName, &QLineEdit::textEdited, OtherPort, [this] { OtherPort->setChecked(true); });

  Failure = new QLabel(this);
  Failure->setObjectName(QStringLiteral("Failure"));
  Failure->setWordWrap(true);
  Failure->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Failure->setIndent(24);
  QPalette palette = Failure->palette();
  palette.setColor(QPalette::WindowText, QColor(192, 0, 0));
  Failure->setPalette(palette);
  // A failure that is no way's own (the address) is shown here, below everything it may be about.
  OwnPlace = new QVBoxLayout;
  layout->addLayout(OwnPlace);
  OwnPlace->addWidget(Failure);

  auto *buttons = new QDialogButtonBox(this);
  ConnectButton = buttons->addButton(QStringLiteral("&Connect"), QDialogButtonBox::AcceptRole);
  ConnectButton->setObjectName(QStringLiteral("ConnectButton"));
  ConnectButton->setDefault(true);
  CancelButton = buttons->addButton(QDialogButtonBox::Cancel);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  layout->addWidget(buttons);
  connect(ConnectButton, &QPushButton::clicked, this, &ConnectDialog::Connect_Click);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

  if (!libraryUsable && Ports.isEmpty() && UsbInstruments.isEmpty()) {
    DemoHint = new QLabel(QLatin1String(DemoHintText), this);
    DemoHint->setObjectName(QStringLiteral("DemoHint"));
    DemoHint->setWordWrap(true);
    layout->insertWidget(1, DemoHint);
  }

  Preselect(preselect);
  ShowFailure(failure, true);
  // Wide enough for a port's description on one line; the wrapped texts then take their
  // height at that width.
  intro->setMinimumWidth(540);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ConnectDialog::Preselect(const Route &where) {
  Address->setText(where.address ? QString::number(*where.address) : QString());
  if (PreselectScopeSerial(where) || PreselectLan(where))
    return;
  for (const UsbRow &row : UsbInstruments) {
    if (row.where == Route(where.way)) {
      row.choice->setChecked(true);
      row.choice->setFocus();
      return;
    }
  }
  const PlusRoute *plus = where.Plus();
  if (!plus) {
    Library->setChecked(true);
    Library->setFocus();
    return;
  }
  if (plus->tcp) {
    Route host = where;
    host.address.reset();
    EthernetHost->setEditText(route::RouteText(host).section(QLatin1Char(':'), 1));
    Ethernet->setChecked(true);
    return;
  }
  for (const PortRow &row : Ports) {
    if (row.port == plus->port) {
      row.dialect->setCurrentIndex(plus->IsAr488() ? 1 : 0);
      row.choice->setChecked(true);
      row.choice->setFocus();
      return;
    }
  }
  OtherPortName->setText(plus->port);
  OtherDialect->setCurrentIndex(plus->IsAr488() ? 1 : 0);
  OtherPort->setChecked(true);
}

// Beside the row of the way it is about, when it is a way's failure and a way is chosen.
void ConnectDialog::ShowFailure(const QString &text, bool ofTheWay) {
  QAbstractButton *way = nullptr;
  for (auto it = failureRows_.cbegin(); ofTheWay && it != failureRows_.cend(); ++it)
    if (it.key()->isChecked())
      way = it.key();
  Grid->removeWidget(Failure);
  OwnPlace->removeWidget(Failure);
  if (way)
    Grid->addWidget(Failure, failureRows_.value(way), 0, 1, 3);
  else
    OwnPlace->addWidget(Failure);
  Failure->setText(OneScreenWide(text, *this));
  Failure->setVisible(!text.isEmpty());
  // The library's failure is its row's note already: said once, in red.
  LibraryNote->setVisible(!(way == Library && text == libraryNoteText_));
}

bool ConnectDialog::SelectedAddress(Route &where, QString &error) const {
  const QString address = Address->text().trimmed();
  if (address.isEmpty() || !Address->isEnabled())
    return true;
  int value = 0;
  if (!route::ParseAddress(address, value, error))
    return false;
  where.address = value;
  return true;
}

bool ConnectDialog::SelectedWay(Route &where, QString &error) const {
  if (Library->isChecked()) {
    where = Route{};
    return true;
  }
  for (const PortRow &row : Ports) {
    if (row.choice->isChecked()) {
      where = Route{};
      where.way = PlusRoute{KindOf(row.dialect), false, row.port, 0};
      return true;
    }
  }
  for (const UsbRow &row : UsbInstruments) {
    if (row.choice->isChecked()) {
      where = row.where;
      return true;
    }
  }
  if (OtherPort->isChecked()) {
    const QString name = OtherPortName->text().trimmed();
    if (name.isEmpty()) {
      error = QStringLiteral("Name the serial port.");
      return false;
    }
    const QString kind =
        KindOf(OtherDialect) == Kind::Ar488 ? QStringLiteral("ar488:") : QStringLiteral("prologix:");
    return route::ParseRoute(kind + name, where, error);
  }
  if (ScopeSerial->isChecked())
    return SelectedScopeSerial(where, error);
  if (Lan->isChecked())
    return SelectedLan(where, error);
  if (Ethernet->isChecked()) {
    const QString host = EthernetHost->currentText().trimmed();
    if (host.isEmpty()) {
      error = QStringLiteral("Name the host of the Prologix GPIB-ETHERNET.");
      return false;
    }
    return route::ParseRoute(QStringLiteral("prologix-tcp:") + host, where, error);
  }
  error = QStringLiteral("Choose one of the ways above.");
  return false;
}

void ConnectDialog::Connect_Click() {
  Route where;
  QString why;
  if (!SelectedWay(where, why)) {
    ShowFailure(why, true);
    return;
  }
  if (!SelectedAddress(where, why)) {
    ShowFailure(why, false);
    return;
  }
  if (beforeTry)
    beforeTry(where);
  {
    const skeld::WaitCursor wait;
    ConnectButton->setEnabled(false);
    connection_ = route::RouteInstall::Connect(where, why);
    ConnectButton->setEnabled(true);
  }
  if (!connection_) {
    ShowFailure(why, true);
    return;
  }
  ShowFailure(QString(), false);
  accept();
}

// ---- The scope's own serial port ---------------------------------------------------------

void ConnectDialog::AddScopeSerialRow(
    const std::function<void(QRadioButton *, const char *, QWidget *, QWidget *, QLabel *)> &addChoice) {
  ScopeSerial = new QRadioButton(QStringLiteral("Scope's own &serial port (RS-232):"), this);
  ScopeSerialPort = new QComboBox(this);
  ScopeSerialPort->setObjectName(QStringLiteral("ScopeSerialPort"));
  ScopeSerialPort->setEditable(true);
  for (const gpibadapter::PortFacts &port : gpibadapter::ScopeLikePortFacts())
    ScopeSerialPort->addItem(port.name);
  ScopeSerialPort->lineEdit()->setPlaceholderText(QStringLiteral("/dev/ttyUSB0, COM1"));

  auto *settings = new QWidget(this);
  auto *settingsRow = new QHBoxLayout(settings);
  settingsRow->setContentsMargins(0, 0, 0, 0);
  ScopeSerialBaud = new QComboBox(settings);
  ScopeSerialBaud->setObjectName(QStringLiteral("ScopeSerialBaud"));
  for (const int baud : {9600, 19200, 38400})
    ScopeSerialBaud->addItem(QStringLiteral("%1 baud").arg(baud), baud);
  ScopeSerialFlow = new QComboBox(settings);
  ScopeSerialFlow->setObjectName(QStringLiteral("ScopeSerialFlow"));
  ScopeSerialFlow->addItem(QStringLiteral("RTS/CTS"), QStringLiteral("rtscts"));
  ScopeSerialFlow->addItem(QStringLiteral("XON/XOFF"), QStringLiteral("xonxoff"));
  ScopeSerialFlow->addItem(QStringLiteral("none"), QStringLiteral("none"));
  settingsRow->addWidget(ScopeSerialBaud);
  settingsRow->addWidget(ScopeSerialFlow);

  auto *note =
      Note(this, QStringLiteral(
                     "A serial cable straight to the scope (TDS 200/1000/2000 with a communications module, "
                     "TDS 3000 with its RS-232 module); not a \"++\" adapter.\n"
                     "Baud rate: the same as in the scope's Utility menu, RS-232 setup.\n"
                     "Flow control: the same as there (hard flagging is RTS/CTS, soft flagging XON/XOFF)."));
  note->setObjectName(QStringLiteral("ScopeSerialNote"));
  addChoice(ScopeSerial, "ScopeSerial", ScopeSerialPort, settings, note);

  CoupleList(ScopeSerial, ScopeSerialPort);
  // One scope on the line: there is no GPIB address to choose.
  connect(ScopeSerial, &QRadioButton::toggled, this, [this](bool on) { Address->setEnabled(!on); });
  for (QComboBox *box : {ScopeSerialBaud, ScopeSerialFlow})
    connect(box, &QComboBox::activated, ScopeSerial, [this] { ScopeSerial->setChecked(true); });
}

bool ConnectDialog::PreselectScopeSerial(const Route &where) {
  const auto *serial = std::get_if<route::Rs232Route>(&where.way);
  if (!serial)
    return false;
  ScopeSerialPort->setEditText(serial->port);
  ScopeSerialBaud->setCurrentIndex(std::max(0, ScopeSerialBaud->findData(serial->baud)));
  if (ScopeSerialBaud->currentData().toInt() != serial->baud) {
    ScopeSerialBaud->addItem(QStringLiteral("%1 baud").arg(serial->baud), serial->baud);
    ScopeSerialBaud->setCurrentIndex(ScopeSerialBaud->count() - 1);
  }
  Route flowOnly = where;
  flowOnly.address.reset();
  const QString flow = route::RouteText(flowOnly).section(QLatin1Char(':'), 3);
  ScopeSerialFlow->setCurrentIndex(std::max(0, ScopeSerialFlow->findData(flow)));
  ScopeSerial->setChecked(true);
  return true;
}

bool ConnectDialog::SelectedScopeSerial(Route &where, QString &error) const {
  const QString port = ScopeSerialPort->currentText().trimmed();
  if (port.isEmpty()) {
    error = QStringLiteral("Name the serial port the scope is on.");
    return false;
  }
  return route::ParseRoute(QStringLiteral("rs232:%1:%2:%3")
                               .arg(port)
                               .arg(ScopeSerialBaud->currentData().toInt())
                               .arg(ScopeSerialFlow->currentData().toString()),
                           where, error);
}

// ---- A LAN instrument or a LAN/GPIB gateway (VXI-11) ---------------------------------------

void ConnectDialog::AddLanRow(
    const std::function<void(QRadioButton *, const char *, QWidget *, QWidget *, QLabel *)> &addChoice) {
  Lan = new QRadioButton(QStringLiteral("LAN instrument or LAN/GPIB gateway (&VXI-11):"), this);
  LanHost = HostBox(this, "LanHost", route::remembered::RecentLanHosts());
  SearchNetworkButton = new QPushButton(QStringLiteral("Search the &network"), this);
  SearchNetworkButton->setObjectName(QStringLiteral("SearchNetworkButton"));
  LanFound = Note(
      this, QStringLiteral("A TDS 3000B with its Ethernet module or a TDS 3000C: its host name or address. "
                           "A gateway: its host, and the scope's GPIB address below (empty: HOST:gpib0 "
                           "searches its bus)."));
  LanFound->setObjectName(QStringLiteral("LanFound"));
  addChoice(Lan, "Lan", LanHost, SearchNetworkButton, LanFound);

  CoupleList(Lan, LanHost);
  connect(SearchNetworkButton, &QPushButton::clicked, this, &ConnectDialog::SearchNetwork_Click);
}

void ConnectDialog::SearchNetwork_Click() {
  QList<vxi11::FoundInstrument> found;
  {
    const skeld::WaitCursor wait;
    SearchNetworkButton->setEnabled(false);
    found = vxi11::SearchNetwork();
    SearchNetworkButton->setEnabled(true);
  }
  if (found.isEmpty()) {
    LanFound->setText(QStringLiteral("No VXI-11 instrument answered on the local networks."));
    return;
  }
  QStringList names;
  for (const vxi11::FoundInstrument &instrument : found) {
    names << vxi11::FoundText(instrument);
    const QString host = instrument.name.isEmpty() ? instrument.address : instrument.name;
    if (LanHost->findText(host) < 0)
      LanHost->insertItem(0, host);
  }
  LanFound->setText(QStringLiteral("Found: %1").arg(names.join(QStringLiteral(", "))));
  LanHost->setCurrentIndex(
      LanHost->findText(found.first().name.isEmpty() ? found.first().address : found.first().name));
  Lan->setChecked(true);
}

bool ConnectDialog::PreselectLan(const Route &where) {
  if (!std::holds_alternative<route::Vxi11Route>(where.way))
    return false;
  Route host = where;
  host.address.reset();
  LanHost->setEditText(route::RouteText(host).section(QLatin1Char(':'), 1));
  Lan->setChecked(true);
  return true;
}

// With a GPIB address the host is a gateway: its bus, the scope at that address.
bool ConnectDialog::SelectedLan(Route &where, QString &error) const {
  QString host = LanHost->currentText().trimmed();
  if (host.isEmpty()) {
    error = QStringLiteral("Name the host of the LAN instrument or gateway.");
    return false;
  }
  if (!route::ParseRoute(QStringLiteral("vxi11:") + host, where, error))
    return false;
  auto *lan = std::get_if<route::Vxi11Route>(&where.way);
  if (!Address->text().trimmed().isEmpty() && lan && !lan->device.startsWith(QLatin1String("gpib")))
    lan->device = QStringLiteral("gpib0");
  return true;
}
