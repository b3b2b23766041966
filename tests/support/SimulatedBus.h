#pragma once

#include "gpib/Vbib32.h"
#include "gpib/Vbib32Qx.h"
#include "sim/SimBus.h"
#include "support/InstantPauses.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

// The in-process simulated bus for one test: the program's driver binding talks to it, every
// driver call lands in `trace`, and the GPIB module starts from its program-start state.
// Without a description the bus is the default one (a TDS 3054 at address 1). Pauses pass at
// once on the bus's own clock (`pauses`).
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
    std::size_t n = 0;
    for (const std::string &line : trace)
      if (line.find(text) != std::string::npos)
        ++n;
    return n;
  }

  // Calls of one driver entry ("ibdev", "ibrd" ...).
  std::size_t Calls(const std::string &entry) const {
    std::size_t n = 0;
    for (const std::string &line : trace)
      if (line == entry || line.rfind(entry + " ", 0) == 0)
        ++n;
    return n;
  }

  // The bytes of every ibwrt, in order, with the trace's escapes undone.
  std::vector<std::string> Written() const { return QuotedOf("ibwrt"); }
  // The bytes every ibrd returned, in order.
  std::vector<std::string> Read() const { return QuotedOf("ibrd"); }

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

  std::vector<std::string> trace;

  // text as a JSON string literal, for building bus descriptions.
  static std::string JsonString(const std::string &text) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (u < 0x20) {
        out += "\\u00";
        out += hex[u >> 4];
        out += hex[u & 0xF];
      } else {
        out += c;
      }
    }
    return out + "\"";
  }

  // Undoes the trace's C escapes of one quoted field; pos is just after the opening quote.
  static std::string Unquote(const std::string &line, std::size_t pos) {
    std::string out;
    while (pos < line.size() && line[pos] != '"') {
      char c = line[pos++];
      if (c == '\\' && pos < line.size()) {
        const char e = line[pos++];
        switch (e) {
        case 'n':
          c = '\n';
          break;
        case 'r':
          c = '\r';
          break;
        case 't':
          c = '\t';
          break;
        case '0':
          c = '\0';
          break;
        case 'x': {
          int value = 0;
          for (int digits = 0;
               digits < 2 && pos < line.size() && std::isxdigit(static_cast<unsigned char>(line[pos]));
               ++digits)
            value = value * 16 + HexValue(line[pos++]);
          c = static_cast<char>(value);
          break;
        }
        default:
          c = e;
        }
      }
      out.push_back(c);
    }
    return out;
  }

  InstantPauses pauses;

private:
  void Install(const gpibsim::BusDescription &description) {
    gpibsim::Configure(description);
    VBIB32::UseDriver(&gpibsim::InProcessDriver());
    gpibsim::SetTraceSink([this](const std::string &line) { trace.push_back(line); });
    VBIB32QX::ResetModuleState();
  }

  std::vector<std::string> QuotedOf(const std::string &entry) const {
    std::vector<std::string> out;
    for (const std::string &line : trace) {
      if (line.rfind(entry + " ", 0) != 0)
        continue;
      const std::size_t quote = line.find('"');
      if (quote != std::string::npos)
        out.push_back(Unquote(line, quote + 1));
    }
    return out;
  }

  static int HexValue(char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    return (c | 0x20) - 'a' + 10;
  }
};
