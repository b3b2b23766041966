#include "gpib/adapter/GpibInterface.h"

namespace gpibadapter {
namespace {

const char *const Accepted = "use ni, prologix:PORT, prologix-tcp:HOST[:PORT] or ar488:PORT";

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
  error = QStringLiteral("bad interface %1: %2; %3").arg(Quoted(text), why, QLatin1String(Accepted));
  return false;
}

bool HasBlank(const QString &text) {
  for (const QChar c : text)
    if (c.isSpace() || c.category() == QChar::Other_Control)
      return true;
  return false;
}

// HOST, HOST:PORT, [V6], [V6]:PORT.
bool ParseHostPort(const QString &text, const QString &rest, GpibInterface &out, QString &error) {
  QString host = rest;
  QString port;
  if (rest.startsWith(QLatin1Char('['))) {
    const int close = rest.indexOf(QLatin1Char(']'));
    if (close < 0)
      return Fail(error, text, QStringLiteral("no ']' after the IPv6 address"));
    host = rest.mid(1, close - 1);
    const QString after = rest.mid(close + 1);
    if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
      return Fail(error, text, QStringLiteral("only \":PORT\" may follow ']'"));
    port = after.mid(1);
    if (after == QLatin1String(":"))
      return Fail(error, text, QStringLiteral("empty TCP port"));
  } else {
    const int colon = rest.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
      if (rest.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return Fail(error, text, QStringLiteral("write an IPv6 address in brackets"));
      host = rest.left(colon);
      port = rest.mid(colon + 1);
      if (port.isEmpty())
        return Fail(error, text, QStringLiteral("empty TCP port"));
    }
  }
  if (host.isEmpty())
    return Fail(error, text, QStringLiteral("no host"));
  out.port = host;
  out.tcpPort = DefaultPrologixTcpPort;
  if (!port.isEmpty()) {
    bool ok = false;
    const uint value = port.toUInt(&ok, 10);
    // toUInt takes a sign and blanks; a port is plain digits.
    bool digits = true;
    for (const QChar c : port)
      digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    if (!ok || !digits || value < 1 || value > 65535)
      return Fail(error, text, QStringLiteral("TCP port \"%1\" is not a number from 1 to 65535").arg(port));
    out.tcpPort = static_cast<quint16>(value);
  }
  return true;
}

} // namespace

QString GpibInterface::Place() const {
  if (!tcp)
    return port;
  const QString host = port.contains(QLatin1Char(':')) ? QLatin1Char('[') + port + QLatin1Char(']') : port;
  return host + QLatin1Char(':') + QString::number(tcpPort);
}

bool ParseGpibInterface(const QString &text, GpibInterface &out, QString &error) {
  GpibInterface where;
  if (text == QLatin1String("ni")) {
    out = where;
    return true;
  }
  if (text.isEmpty())
    return Fail(error, text, QStringLiteral("empty"));
  if (HasBlank(text))
    return Fail(error, text, QStringLiteral("blanks or control characters"));
  const int colon = text.indexOf(QLatin1Char(':'));
  const QString kind = colon < 0 ? text : text.left(colon);
  const QString rest = colon < 0 ? QString() : text.mid(colon + 1);

  if (kind == QLatin1String("prologix") || kind == QLatin1String("ar488")) {
    where.kind = kind == QLatin1String("ar488") ? GpibInterface::Kind::Ar488 : GpibInterface::Kind::Prologix;
    if (rest.isEmpty())
      return Fail(error, text, QStringLiteral("no serial port after \"%1:\"").arg(kind));
    where.port = rest;
  } else if (kind == QLatin1String("prologix-tcp")) {
    where.kind = GpibInterface::Kind::Prologix;
    where.tcp = true;
    if (rest.isEmpty())
      return Fail(error, text, QStringLiteral("no host after \"prologix-tcp:\""));
    if (!ParseHostPort(text, rest, where, error))
      return false;
  } else if (kind == QLatin1String("ni")) {
    return Fail(error, text, QStringLiteral("\"ni\" takes no port"));
  } else {
    return Fail(error, text, QStringLiteral("unknown interface \"%1\"").arg(kind));
  }
  out = where;
  return true;
}

QString InterfaceText(const GpibInterface &where) {
  switch (where.kind) {
  case GpibInterface::Kind::Ni:
    return QStringLiteral("ni");
  case GpibInterface::Kind::Ar488:
    return QStringLiteral("ar488:") + where.port;
  case GpibInterface::Kind::Prologix:
    break;
  }
  if (!where.tcp)
    return QStringLiteral("prologix:") + where.port;
  // The usual port is left out, as a user types it.
  if (where.tcpPort != DefaultPrologixTcpPort)
    return QStringLiteral("prologix-tcp:") + where.Place();
  return QStringLiteral("prologix-tcp:") + (where.port.contains(QLatin1Char(':'))
                                                ? QLatin1Char('[') + where.port + QLatin1Char(']')
                                                : where.port);
}

QString InterfaceForms() {
  return QStringLiteral("ni                        the NI-488.2 driver library (default)\n"
                        "prologix:PORT             Prologix GPIB-USB on a serial port (/dev/ttyUSB0, COM3)\n"
                        "prologix-tcp:HOST[:PORT]  Prologix GPIB-ETHERNET (port 1234 by default)\n"
                        "ar488:PORT                AR488 on a serial port (/dev/ttyACM0, COM4)");
}

} // namespace gpibadapter
