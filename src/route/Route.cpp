#include "route/Route.h"

#include <QRegularExpression>
#include <QStringList>

namespace route {
namespace {

struct Form {
  const char *form;
  const char *meaning;
};

constexpr Form Forms[] = {
#define ROUTE_FORM(form, meaning) {form, meaning},
#include "route/RouteForms.def"
#undef ROUTE_FORM
};

// "use ni, prologix:PORT, ... or PRLGX-TCPIP::HOST[::PORT]::INTFC"
QString Accepted() {
  QStringList forms;
  for (const Form &f : Forms)
    forms << QLatin1String(f.form);
  const QString last = forms.takeLast();
  return QStringLiteral("use ") + forms.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

// The text as typed, with control characters written out so that the message stays one line.
QString Quoted(const QString &text) {
  QString out = QStringLiteral("\"");
  for (const QChar c : text) {
    if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
      out += QLatin1Char('\\') + c;
    else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
      out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out + QLatin1Char('"');
}

bool Fail(QString &error, const QString &text, const QString &why) {
  error = QStringLiteral("bad interface %1: %2; %3").arg(Quoted(text), why, Accepted());
  return false;
}

bool HasBlank(const QString &text) {
  for (const QChar c : text)
    if (c.isSpace() || c.category() == QChar::Other_Control)
      return true;
  return false;
}

bool Digits(const QString &text) {
  if (text.isEmpty())
    return false;
  for (const QChar c : text)
    if (c < QLatin1Char('0') || c > QLatin1Char('9'))
      return false;
  return true;
}

QString Bracketed(const QString &host) {
  return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

bool ParsePortNumber(const QString &text, const QString &port, quint16 &out, QString &error) {
  const uint value = port.toUInt();
  if (!Digits(port) || value < 1 || value > 65535)
    return Fail(error, text, QStringLiteral("TCP port \"%1\" is not a number from 1 to 65535").arg(port));
  out = static_cast<quint16>(value);
  return true;
}

// HOST, HOST:PORT, [V6], [V6]:PORT; what follows the host and its colon goes to after.
bool SplitHost(const QString &text, const QString &rest, QString &host, QString &after, QString &error) {
  if (rest.startsWith(QLatin1Char('['))) {
    const int close = rest.indexOf(QLatin1Char(']'));
    if (close < 0)
      return Fail(error, text, QStringLiteral("no ']' after the IPv6 address"));
    host = rest.mid(1, close - 1);
    after = rest.mid(close + 1);
    if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
      return Fail(error, text, QStringLiteral("only \":PORT\" may follow ']'"));
    after = after.mid(1);
    if (rest.mid(close + 1) == QLatin1String(":"))
      return Fail(error, text, QStringLiteral("empty TCP port"));
  } else {
    const int colon = rest.indexOf(QLatin1Char(':'));
    host = colon < 0 ? rest : rest.left(colon);
    after = colon < 0 ? QString() : rest.mid(colon + 1);
    if (colon >= 0 && after.isEmpty())
      return Fail(error, text, QStringLiteral("empty TCP port"));
    if (after.contains(QLatin1Char(':')))
      return Fail(error, text, QStringLiteral("write an IPv6 address in brackets"));
  }
  if (host.isEmpty())
    return Fail(error, text, QStringLiteral("no host"));
  return true;
}

bool ReadPlusTcp(const QString &text, const QString &rest, PlusRoute &plus, QString &error) {
  QString port;
  if (!SplitHost(text, rest, plus.port, port, error))
    return false;
  plus.tcp = true;
  plus.tcpPort = DefaultPrologixTcpPort;
  return port.isEmpty() || ParsePortNumber(text, port, plus.tcpPort, error);
}

bool ReadRs232(const QString &text, const QString &rest, Rs232Route &serial, QString &error) {
  const QStringList parts = rest.split(QLatin1Char(':'));
  if (parts.size() > 3 || parts.first().isEmpty())
    return Fail(error, text, QStringLiteral("write rs232:PORT[:BAUD[:FLOW]]"));
  serial.port = parts.at(0);
  if (parts.size() > 1) {
    if (!Digits(parts.at(1)) || parts.at(1).toInt() < 50 || parts.at(1).toInt() > 4000000)
      return Fail(error, text, QStringLiteral("baud rate \"%1\" is not a number").arg(parts.at(1)));
    serial.baud = parts.at(1).toInt();
  }
  if (parts.size() > 2) {
    const QString flow = parts.at(2).toLower();
    if (flow == QLatin1String("rtscts"))
      serial.flow = Rs232Route::Flow::RtsCts;
    else if (flow == QLatin1String("xonxoff"))
      serial.flow = Rs232Route::Flow::XonXoff;
    else if (flow == QLatin1String("none"))
      serial.flow = Rs232Route::Flow::None;
    else
      return Fail(error, text, QStringLiteral("flow control is rtscts, xonxoff or none"));
  }
  return true;
}

// "gpib0,N" is the gateway's bus with the scope at N chosen: its caption names a GPIB address.
bool ReadVxi11Device(const QString &text, const QString &device, Vxi11Route &lan, std::optional<int> &address,
                     QString &error) {
  static const QRegularExpression devices(QStringLiteral("^(inst[0-9]+|gpib[0-9]+)(,([0-9]+))?$"),
                                          QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = devices.match(device);
  if (!match.hasMatch() ||
      (match.capturedLength(2) > 0 && device.startsWith(QLatin1String("inst"), Qt::CaseInsensitive)))
    return Fail(error, text, QStringLiteral("device \"%1\" is not inst0, gpib0 or gpib0,N").arg(device));
  lan.device = match.captured(1).toLower();
  if (match.capturedLength(3) > 0) {
    int chosen = 0;
    QString why;
    if (!ParseAddress(match.captured(3), chosen, why))
      return Fail(error, text, why);
    address = chosen;
  }
  return true;
}

bool ReadUsbId(const QString &text, const QString &field, quint16 &out, QString &error) {
  bool ok = false;
  const uint value = field.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? field.mid(2).toUInt(&ok, 16)
                                                                                : field.toUInt(&ok, 10);
  if (!ok || value > 0xFFFF || field.contains(QLatin1Char('+')) || field.contains(QLatin1Char('-')))
    return Fail(error, text, QStringLiteral("USB id \"%1\" is not a number (0x0699 or 1689)").arg(field));
  out = static_cast<quint16>(value);
  return true;
}

// VISA resource names: the keywords in any letter case, a board number after the interface
// type, ::INSTR (or ::INTFC for the Prologix forms) at the end optional.
bool ReadVisa(const QString &text, Route &where, QString &error) {
  QString head = text.section(QStringLiteral("::"), 0, 0);
  QString rest = text.mid(head.size() + 2);
  QStringList parts;
  // A bracketed IPv6 address holds "::" of its own.
  if (rest.startsWith(QLatin1Char('['))) {
    const int close = rest.indexOf(QLatin1Char(']'));
    if (close < 0)
      return Fail(error, text, QStringLiteral("no ']' after the IPv6 address"));
    parts << rest.mid(1, close - 1);
    const QString after = rest.mid(close + 1);
    if (!after.isEmpty() && !after.startsWith(QLatin1String("::")))
      return Fail(error, text, QStringLiteral("only \"::\" may follow ']'"));
    if (!after.isEmpty())
      parts << after.mid(2).split(QStringLiteral("::"));
  } else {
    parts = rest.split(QStringLiteral("::"));
  }
  const QString type = head.toUpper();
  const auto dropEnding = [&](const char *ending) {
    if (parts.size() > 1 && parts.last().compare(QLatin1String(ending), Qt::CaseInsensitive) == 0)
      parts.removeLast();
  };
  const auto board = [&](const QString &prefix) {
    return type.startsWith(prefix) && (type.size() == prefix.size() || Digits(type.mid(prefix.size())));
  };
  if (parts.contains(QString()))
    return Fail(error, text, QStringLiteral("an empty field between \"::\""));

  if (board(QStringLiteral("PRLGX-ASRL"))) {
    dropEnding("INTFC");
    if (parts.size() != 1)
      return Fail(error, text, QStringLiteral("write PRLGX-ASRL::PORT::INTFC"));
    where.way = PlusRoute{PlusRoute::Kind::Prologix, false, parts.at(0), 0};
    return true;
  }
  if (board(QStringLiteral("PRLGX-TCPIP"))) {
    dropEnding("INTFC");
    if (parts.size() > 2)
      return Fail(error, text, QStringLiteral("write PRLGX-TCPIP::HOST[::PORT]::INTFC"));
    PlusRoute plus{PlusRoute::Kind::Prologix, true, parts.at(0), DefaultPrologixTcpPort};
    if (parts.size() == 2 && !ParsePortNumber(text, parts.at(1), plus.tcpPort, error))
      return false;
    where.way = plus;
    return true;
  }
  if (board(QStringLiteral("GPIB"))) {
    dropEnding("INSTR");
    if (type.mid(4).toInt() != 0)
      return Fail(error, text, QStringLiteral("GPIB board %1: only board 0 is used").arg(type.mid(4)));
    if (parts.size() != 1)
      return Fail(error, text, QStringLiteral("write GPIB0::N::INSTR (no secondary address)"));
    int address = 0;
    QString why;
    if (!ParseAddress(parts.at(0), address, why))
      return Fail(error, text, why);
    where.way = LibraryRoute{};
    where.address = address;
    return true;
  }
  if (type.startsWith(QLatin1String("ASRL"))) {
    const QString port = head.mid(4);
    if (port.isEmpty() || parts.size() != 1 ||
        parts.at(0).compare(QLatin1String("INSTR"), Qt::CaseInsensitive))
      return Fail(error, text, QStringLiteral("write ASRL/dev/ttyUSB0::INSTR or ASRL3::INSTR"));
    Rs232Route serial;
#ifdef _WIN32
    serial.port = Digits(port) ? QStringLiteral("COM") + port : port;
#else
    // VISA counts serial ports from 1.
    serial.port =
        Digits(port) && port.toInt() > 0 ? QStringLiteral("/dev/ttyS%1").arg(port.toInt() - 1) : port;
#endif
    where.way = serial;
    return true;
  }
  if (board(QStringLiteral("TCPIP"))) {
    if (parts.last().compare(QLatin1String("SOCKET"), Qt::CaseInsensitive) == 0)
      return Fail(error, text, QStringLiteral("a raw socket is no way to a scope here; use its VXI-11 name"));
    dropEnding("INSTR");
    if (parts.size() > 2)
      return Fail(error, text, QStringLiteral("write TCPIP0::HOST[::inst0]::INSTR"));
    Vxi11Route lan;
    lan.host = parts.at(0);
    if (parts.size() == 2 && !ReadVxi11Device(text, parts.at(1), lan, where.address, error))
      return false;
    where.way = lan;
    return true;
  }
  if (board(QStringLiteral("USB"))) {
    dropEnding("INSTR");
    if (parts.size() != 3)
      return Fail(error, text, QStringLiteral("write USB0::VENDOR::PRODUCT::SERIAL::INSTR"));
    UsbTmcRoute usb;
    if (!ReadUsbId(text, parts.at(0), usb.vendor, error) || !ReadUsbId(text, parts.at(1), usb.product, error))
      return false;
    usb.serial = parts.at(2);
    where.way = usb;
    return true;
  }
  return Fail(error, text, QStringLiteral("unknown VISA resource \"%1\"").arg(head));
}

QString FlowText(Rs232Route::Flow flow) {
  switch (flow) {
  case Rs232Route::Flow::XonXoff:
    return QStringLiteral("xonxoff");
  case Rs232Route::Flow::None:
    return QStringLiteral("none");
  case Rs232Route::Flow::RtsCts:
    break;
  }
  return QStringLiteral("rtscts");
}

QString UsbIds(const UsbTmcRoute &usb) {
  return QStringLiteral("USB0::0x%1::0x%2::%3::INSTR")
      .arg(usb.vendor, 4, 16, QLatin1Char('0'))
      .arg(usb.product, 4, 16, QLatin1Char('0'))
      .arg(usb.serial);
}

// One overload a route: what each variant prints as.
struct Printer {
  const Route &where;
  QString operator()(const LibraryRoute &) const {
    return where.address ? QStringLiteral("GPIB0::%1::INSTR").arg(*where.address) : QStringLiteral("ni");
  }
  QString operator()(const PlusRoute &plus) const {
    if (!plus.tcp)
      return (plus.IsAr488() ? QStringLiteral("ar488:") : QStringLiteral("prologix:")) + plus.port;
    // The usual port is left out, as a user types it.
    return QStringLiteral("prologix-tcp:") +
           (plus.tcpPort != DefaultPrologixTcpPort ? plus.Place() : Bracketed(plus.port));
  }
  QString operator()(const Rs232Route &serial) const {
    QString text = QStringLiteral("rs232:") + serial.port;
    if (serial.baud != 9600 || serial.flow != Rs232Route::Flow::RtsCts)
      text += QLatin1Char(':') + QString::number(serial.baud);
    if (serial.flow != Rs232Route::Flow::RtsCts)
      text += QLatin1Char(':') + FlowText(serial.flow);
    return text;
  }
  QString operator()(const UsbTmcRoute &usb) const {
    return usb.node.isEmpty() ? UsbIds(usb) : QStringLiteral("usbtmc:") + usb.node;
  }
  QString operator()(const Vxi11Route &lan) const {
    QString text = QStringLiteral("vxi11:") + Bracketed(lan.host);
    if (lan.device != QLatin1String("inst0"))
      text += QLatin1Char(':') + lan.device;
    if (where.IsBus() && where.address)
      text += QLatin1Char(',') + QString::number(*where.address);
    return text;
  }
};

struct Namer {
  QString operator()(const LibraryRoute &) const { return QStringLiteral("GPIB"); }
  QString operator()(const PlusRoute &plus) const { return QStringLiteral("GPIB ") + plus.Place(); }
  QString operator()(const Rs232Route &serial) const { return QStringLiteral("RS-232 ") + serial.port; }
  QString operator()(const UsbTmcRoute &usb) const {
    return QStringLiteral("USB ") + (!usb.node.isEmpty()     ? usb.node
                                     : !usb.serial.isEmpty() ? usb.serial
                                                             : UsbIds(usb));
  }
  QString operator()(const Vxi11Route &lan) const {
    return QStringLiteral("LAN ") + Bracketed(lan.host) +
           (lan.device == QLatin1String("inst0") ? QString() : QLatin1Char(' ') + lan.device);
  }
};

} // namespace

QString PlusRoute::Place() const {
  if (!tcp)
    return port;
  return Bracketed(port) + QLatin1Char(':') + QString::number(tcpPort);
}

bool Route::IsBus() const {
  if (const auto *lan = std::get_if<Vxi11Route>(&way))
    return lan->device.startsWith(QLatin1String("gpib"));
  return IsLibrary() || Plus();
}

bool Route::operator==(const Route &other) const {
  return RouteText(*this) == RouteText(other) && address == other.address;
}

bool ParseAddress(const QString &text, int &address, QString &error) {
  const int value = text.toInt();
  if (!Digits(text) || value < LowestAddress || value > HighestAddress) {
    error = QStringLiteral("GPIB address \"%1\" is not a number from %2 to %3")
                .arg(text)
                .arg(LowestAddress)
                .arg(HighestAddress);
    return false;
  }
  address = value;
  return true;
}

bool ReadRoute(const QString &text, Route &out, QString &error) {
  Route where;
  if (text == QLatin1String("ni")) {
    out = where;
    return true;
  }
  if (text.isEmpty())
    return Fail(error, text, QStringLiteral("empty"));
  if (HasBlank(text))
    return Fail(error, text, QStringLiteral("blanks or control characters"));
  if (text.contains(QStringLiteral("::")) && !text.startsWith(QLatin1String("prologix-tcp:")) &&
      !text.startsWith(QLatin1String("vxi11:"))) {
    if (!ReadVisa(text, where, error))
      return false;
    out = where;
    return true;
  }
  const int colon = text.indexOf(QLatin1Char(':'));
  const QString kind = colon < 0 ? text : text.left(colon);
  const QString rest = colon < 0 ? QString() : text.mid(colon + 1);
  if (kind == QLatin1String("ni"))
    return Fail(error, text, QStringLiteral("\"ni\" takes no port"));
  if (colon < 0 || rest.isEmpty()) {
    if (kind == QLatin1String("prologix") || kind == QLatin1String("ar488") || kind == QLatin1String("rs232"))
      return Fail(error, text, QStringLiteral("no serial port after \"%1:\"").arg(kind));
    if (kind == QLatin1String("prologix-tcp") || kind == QLatin1String("vxi11"))
      return Fail(error, text, QStringLiteral("no host after \"%1:\"").arg(kind));
    if (kind == QLatin1String("usbtmc"))
      return Fail(error, text, QStringLiteral("no device node after \"usbtmc:\""));
  }
  if (kind == QLatin1String("prologix") || kind == QLatin1String("ar488")) {
    where.way = PlusRoute{kind == QLatin1String("ar488") ? PlusRoute::Kind::Ar488 : PlusRoute::Kind::Prologix,
                          false, rest, 0};
  } else if (kind == QLatin1String("prologix-tcp")) {
    PlusRoute plus;
    if (!ReadPlusTcp(text, rest, plus, error))
      return false;
    where.way = plus;
  } else if (kind == QLatin1String("rs232")) {
    Rs232Route serial;
    if (!ReadRs232(text, rest, serial, error))
      return false;
    where.way = serial;
  } else if (kind == QLatin1String("usbtmc")) {
    where.way = UsbTmcRoute{rest, 0, 0, QString()};
  } else if (kind == QLatin1String("vxi11")) {
    Vxi11Route lan;
    QString device;
    if (!SplitHost(text, rest, lan.host, device, error))
      return false;
    if (!device.isEmpty() && !ReadVxi11Device(text, device, lan, where.address, error))
      return false;
    where.way = lan;
  } else {
    return Fail(error, text, QStringLiteral("unknown interface \"%1\"").arg(kind));
  }
  out = where;
  return true;
}

QString NotBuilt([[maybe_unused]] const Route &where) {
#ifndef __linux__
  if (std::holds_alternative<UsbTmcRoute>(where.way))
    return QStringLiteral("%1: USB instruments are reached through a vendor's VISA library here, "
                          "which this viewer does not have yet")
        .arg(RouteName(where));
#endif
  return QString();
}

bool ParseRoute(const QString &text, Route &out, QString &error) {
  Route where;
  if (!ReadRoute(text, where, error))
    return false;
  if (const QString why = NotBuilt(where); !why.isEmpty()) {
    error = QStringLiteral("interface %1: %2").arg(Quoted(text), why);
    return false;
  }
  out = where;
  return true;
}

QString RouteText(const Route &where) { return std::visit(Printer{where}, where.way); }

QString RouteName(const Route &where) { return std::visit(Namer{}, where.way); }

QString RouteForms() {
  int width = 0;
  for (const Form &f : Forms)
    width = std::max(width, static_cast<int>(qstrlen(f.form)));
  QStringList lines;
  for (const Form &f : Forms)
    lines << QStringLiteral("%1  %2").arg(QLatin1String(f.form), -width).arg(QLatin1String(f.meaning));
  return lines.join(QLatin1Char('\n'));
}

} // namespace route
