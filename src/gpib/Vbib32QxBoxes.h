#pragma once

#include "gpib/Vbib32.h"
#include "platform/GpibText.h"
#include "ui/Module1.h"

#include <QString>

#include <cstdint>
#include <string>

// What the connection and the error reports share: line ends, box styles, the exit status
// and showing a box with text from the instrument or the driver.
namespace VBIB32QX::detail {

constexpr char LF = '\n';
constexpr char CR = '\r';
constexpr int ExitStatus = 1;

constexpr std::int16_t StyleStop = Module1::Style::Critical;
constexpr std::int16_t StyleExclamation = Module1::Style::Exclamation;
constexpr std::int16_t StyleExclamationOkCancel = Module1::Style::Exclamation | Module1::Style::OkCancel;

inline bool HasBit(std::int16_t status, std::int16_t bit) { return (status & bit) != 0; }

// A driver that failed by itself (an adapter gone from its port) names what went away first.
inline std::string DriverFailureLine(std::int16_t code) {
  const std::string failure = code == VBIB32::EDVR ? VBIB32::DriverFailure() : std::string();
  return failure.empty() ? failure : failure + LF;
}

inline std::int16_t ShowText(const QString &prompt, std::int16_t style, const std::string &title) {
  return Module1::ShowMessBox(prompt, style, skeld::FromGpib(title));
}

inline std::int16_t Show(const std::string &prompt, std::int16_t style, const std::string &title) {
  return ShowText(skeld::FromGpib(prompt), style, title);
}

} // namespace VBIB32QX::detail
