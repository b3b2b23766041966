#pragma once

#include "gpib/GpibDriverApi.h"
#include "sim/GpibCodes.h"
#include "sim/SimBus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// A controller on the in-process simulated bus: configures it, collects the trace and
// offers the few exchanges the tests repeat.
class SimSession {
public:
  SimSession() { Start(gpibsim::DefaultBus()); }
  explicit SimSession(const std::string &json) {
    gpibsim::BusDescription description;
    std::string error;
    if (!gpibsim::ParseBusDescription(json, "test bus", description, error))
      ADD_FAILURE() << error;
    Start(description);
  }
  explicit SimSession(const gpibsim::BusDescription &description) { Start(description); }
  ~SimSession() { gpibsim::SetTraceSink(nullptr); }
  SimSession(const SimSession &) = delete;
  SimSession &operator=(const SimSession &) = delete;

  int Open(int pad) { return api.ibdev(0, pad, 0, 11, 1, 0); }

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

private:
  void Start(const gpibsim::BusDescription &description) {
    gpibsim::Configure(description);
    gpibsim::SetTraceSink([this](const std::string &line) { trace.push_back(line); });
  }
};

inline std::string SimDataFile(const std::string &name) { return SKELD_SOURCE_DIR "/tests/data/sim/" + name; }

inline std::string ReadTextFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}
