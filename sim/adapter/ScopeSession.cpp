#include "sim/adapter/ScopeSession.h"

#include "sim/GpibCodes.h"

#include <QRegularExpression>

#include <algorithm>

namespace gpibsim {
namespace {

constexpr long ChunkBytes = 512;
// A line the scope's input buffer would never hold; what comes beyond it is dropped.
constexpr qsizetype LongestLine = 64 * 1024;

bool Tds3000(const std::string &id) {
  static const QRegularExpression model(QStringLiteral("TDS ?3[0-9]{3}"));
  return model.match(QString::fromStdString(id)).hasMatch();
}

} // namespace

ScopeSession::ScopeSession(QObject *parent)
    : QObject(parent), driver_(InProcessDriver()), scope_(FirstScope()) {
  if (scope_)
    ud_ = driver_.ibdev(0, scope_->address, 0, T3s, 1, 0);
}

void ScopeSession::Reset() { line_.clear(); }

void ScopeSession::Receive(const QByteArray &bytes) {
  for (const char c : bytes) {
    if (vanished_ || !scope_)
      return;
    if (c == '\0') {
      Break();
    } else if (c == '\n') {
      QByteArray command = std::exchange(line_, QByteArray());
      if (command.endsWith('\r'))
        command.chop(1);
      if (!command.isEmpty())
        Execute(command.toStdString());
    } else if (line_.size() < LongestLine) {
      line_ += c;
    }
  }
}

void ScopeSession::Break() {
  line_.clear();
  driver_.ibclr(ud_);
  if (Tds3000(scope_->id))
    emit send("DCL\n");
}

bool ScopeSession::Disconnects(const std::string &command) {
  const int occurrence = ++occurrences_[command];
  return std::any_of(scope_->faults.begin(), scope_->faults.end(), [&](const Fault &f) {
    return f.kind == "disconnect" && f.command == command && (f.nth == 0 || f.nth == occurrence);
  });
}

// A query's reply goes out as the bus gives it: ended by a line feed after END, without one
// after a reply that ends in an error, and nothing at all after a time-out.
void ScopeSession::Execute(const std::string &command) {
  if (Disconnects(command)) {
    vanished_ = true;
    emit vanish();
    return;
  }
  driver_.ibwrt(ud_, command.data(), static_cast<long>(command.size()));
  if (command.find('?') == std::string::npos)
    return;
  QByteArray out;
  char buffer[ChunkBytes];
  // Ends: every read takes bytes from a finite reply, or fails.
  for (;;) {
    driver_.ibrd(ud_, buffer, ChunkBytes);
    const int status = driver_.ThreadIbsta();
    const long got = std::clamp(driver_.ThreadIbcntl(), 0L, ChunkBytes);
    out.append(buffer, static_cast<int>(got));
    if (status & END) {
      // The scope's line end is the message end; one it sends on the bus already serves.
      if (!out.endsWith('\n'))
        out += '\n';
      break;
    }
    if ((status & (TIMO | ERR)) || got == 0) {
      // A reply that does not end on the bus has no line end on the line either.
      while (out.endsWith('\n') || out.endsWith('\r'))
        out.chop(1);
      break;
    }
  }
  if (!out.isEmpty())
    emit send(out);
}

} // namespace gpibsim
