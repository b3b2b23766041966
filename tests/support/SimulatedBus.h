#pragma once

#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "sim/GpibCodes.h"
#include "sim/SimBus.h"
#include "support/BusDescriptions.h"
#include "support/BusTrace.h"
#include "support/InstantPauses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

// The in-process simulated bus for one test: every driver call lands in `trace`. The program's
// driver binding talks to it and the GPIB module starts from its program-start state; tests
// of the bus itself call the driver table (`api`) through the helpers below. Without a
// description the bus is the default one (a TDS 3054 at address 1). Pauses pass at once on
// the bus's own clock (`pauses`).
class SimulatedBus {
public:
  SimulatedBus() { Install(gpibsim::DefaultBus()); }
  explicit SimulatedBus(const std::string &busJson, const std::string &sourceName = "test bus") {
    gpibsim::BusDescription description;
    std::string error;
    if (!gpibsim::ParseBusDescription(busJson, sourceName, description, error))
      ADD_FAILURE() << "bus description does not parse: " << error;
    Install(description);
  }
  explicit SimulatedBus(const gpibsim::BusDescription &description) { Install(description); }
  ~SimulatedBus() {
    gpibsim::SetTraceSink(nullptr);
    VBIB32::UseDriver(nullptr);
  }
  SimulatedBus(const SimulatedBus &) = delete;
  SimulatedBus &operator=(const SimulatedBus &) = delete;

  // Lines of the trace that contain text anywhere.
  std::size_t Count(const std::string &text) const {
    return CountIf([&](const std::string &line) { return line.find(text) != std::string::npos; });
  }

  // Calls of one driver entry ("ibdev", "ibrd" ...).
  std::size_t Calls(const std::string &entry) const {
    return CountIf([&](const std::string &line) { return line == entry || line.rfind(entry + " ", 0) == 0; });
  }

  // The bytes of every ibwrt, in order, with the trace's escapes undone; from a trace line on.
  std::vector<std::string> Written(std::size_t fromLine = 0) const {
    return bustrace::QuotedOf(trace, "ibwrt", fromLine);
  }
  // The bytes every ibrd returned, in order.
  std::vector<std::string> Read() const { return bustrace::QuotedOf(trace, "ibrd"); }

  // The driver calls only, without their quoted data and status: "ibpad pad=3" ...
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (const std::string &line : trace) {
      std::string head = line.substr(0, line.find_first_of("\""));
      const std::size_t status = head.find(" ibsta=");
      if (status != std::string::npos)
        head.erase(status);
      while (!head.empty() && head.back() == ' ')
        head.pop_back();
      out.push_back(head);
    }
    return out;
  }

  // The driver table, below the binding.
  int Open(int pad) { return api.ibdev(0, pad, 0, gpibsim::T1s, 1, 0); }
  int Write(int ud, const std::string &command) {
    return api.ibwrt(ud, command.data(), static_cast<long>(command.size()));
  }
  // One ibrd of up to count bytes; the status is left in Sta().
  std::string ReadChunk(int ud, long count = 512) {
    std::string buffer(static_cast<std::size_t>(count), ' ');
    api.ibrd(ud, &buffer[0], count);
    buffer.resize(static_cast<std::size_t>(api.ThreadIbcntl()));
    return buffer;
  }
  // Write, then read the reply.
  std::string Query(int ud, const std::string &command) {
    Write(ud, command);
    return ReadReply(ud);
  }
  // Chunks until END or an error; "<TIMO>" marks a timed-out read.
  std::string ReadReply(int ud) {
    std::string reply;
    for (int chunk = 0; chunk < 100; ++chunk) {
      const std::string part = ReadChunk(ud);
      if (Sta() & gpibsim::TIMO)
        return reply + "<TIMO>";
      reply += part;
      if (Sta() & (gpibsim::END | gpibsim::ERR))
        break;
    }
    return reply;
  }
  int Sta() const { return api.ThreadIbsta(); }
  int Err() const { return api.ThreadIberr(); }

  const GpibDriverApi &api = gpibsim::InProcessDriver();
  std::vector<std::string> trace;

  // text as a JSON string literal, for descriptions written as text.
  static std::string JsonString(const std::string &text) { return busdesc::JsonString(text); }

  static std::string Unquote(const std::string &line, std::size_t pos) {
    return bustrace::Unquote(line, pos);
  }

  InstantPauses pauses;

private:
  template <typename Test> std::size_t CountIf(Test test) const {
    return static_cast<std::size_t>(std::count_if(trace.begin(), trace.end(), test));
  }

  void Install(const gpibsim::BusDescription &description) {
    gpibsim::Configure(description);
    VBIB32::UseDriver(&gpibsim::InProcessDriver());
    gpibsim::SetTraceSink([this](const std::string &line) { trace.push_back(line); });
    VBIB32QX::ResetModuleState();
  }
};
