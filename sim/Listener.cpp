#include "sim/Listener.h"

#include <algorithm>
#include <utility>

namespace gpibsim {
namespace {

// The program adds no terminator; other controllers may send LF or CR LF.
std::string WithoutTerminator(std::string command) {
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r'))
    command.pop_back();
  return command;
}

} // namespace

Listener::Listener(const ListenerDescription &description) : description_(description) {
  if (description.kind == "tds")
    scope_.emplace(description);
}

const Fault *Listener::FaultFor(const std::string &command) {
  const bool described = std::any_of(description_.faults.begin(), description_.faults.end(),
                                     [&](const Fault &f) { return f.command == command; });
  if (!described)
    return nullptr;
  const int occurrence = ++occurrences_[command];
  for (const Fault &fault : description_.faults)
    if (fault.command == command && (fault.nth == 0 || fault.nth == occurrence))
      return &fault;
  return nullptr;
}

Listener::WriteResult Listener::Write(const std::string &bytes) {
  const std::string command = WithoutTerminator(bytes);
  const Fault *fault = FaultFor(command);
  if (fault && fault->kind == "write_error")
    return {false, fault->iberr};

  // A new command discards a reply nobody read, as IEEE 488.2 instruments do.
  output_.reset();
  // Cut off: the instrument answers nothing from this command on.
  gone_ = gone_ || (fault && fault->kind == "disconnect");
  if (gone_ || (fault && (fault->kind == "timeout" || fault->kind == "unplug"))) {
    timeoutNext_ = true;
    unplugNext_ = fault && fault->kind == "unplug";
    return {};
  }
  if (fault && fault->kind == "reply") {
    output_ = Output{fault->raw, 0, false};
    return {};
  }

  std::optional<std::string> reply;
  const auto fixed = description_.replies.find(command);
  if (fixed != description_.replies.end())
    reply = fixed->second;
  else if (scope_)
    reply = scope_->Execute(command);
  if (reply)
    output_ = Output{*reply, 0, fault && fault->kind == "no_end"};
  return {};
}

Listener::ReadResult Listener::Read(std::size_t maxBytes) {
  ReadResult result;
  if (timeoutNext_ || !output_) {
    result.unplugged = std::exchange(unplugNext_, false);
    timeoutNext_ = false;
    output_.reset();
    result.timedOut = true;
    return result;
  }
  Output &out = *output_;
  result.chunk = out.text.substr(out.sent, maxBytes);
  out.sent += result.chunk.size();
  result.noEnd = out.noEnd;
  if (out.sent >= out.text.size()) {
    result.end = !out.noEnd;
    output_.reset();
  }
  return result;
}

void Listener::Clear() {
  output_.reset();
  timeoutNext_ = false;
  unplugNext_ = false;
}

std::vector<std::string> Listener::StoredLog() const {
  return scope_ ? scope_->Log() : std::vector<std::string>{};
}

} // namespace gpibsim
