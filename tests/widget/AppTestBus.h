#pragma once

#include "app/ErrorLogForm.h"
#include "support/ProgramEnd.h"
#include "support/SimulatedBus.h"

#include <QListWidget>
#include <QString>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace apptest {

constexpr char Tds3054[] = "TEK/TDS 3054,CF:91.1CT,FV:v3.39 TDS3FFT:v1.00";

// A bus with one scope at address 1; more keys of the listener go in extra (",\"key\":...").
inline std::string ScopeBus(const std::string &id, const std::vector<std::string> &log,
                            const std::string &extra = std::string()) {
  std::string json = R"({"listeners":[{"address":1,"id":)" + SimulatedBus::JsonString(id) + R"(,"log":[)";
  for (std::size_t i = 0; i < log.size(); ++i)
    json += (i ? "," : "") + SimulatedBus::JsonString(log[i]);
  return json + "]" + extra + "}]}";
}

// Log entries the way a scope words them: blanks and commas inside are part of the text.
inline std::vector<std::string> Entries(int count) {
  std::vector<std::string> entries;
  for (int i = 1; i <= count; ++i)
    entries.push_back(" Entry " + std::to_string(i) + ", acq fault 0x1" + std::to_string(i) + " ");
  return entries;
}

inline std::vector<std::string> Items(const QListWidget *list) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i)
    items.push_back(list->item(i)->text().toStdString());
  return items;
}

inline std::size_t CountOf(const std::vector<std::string> &lines, const std::string &text) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), text));
}

// The commands written since the trace held `from` lines.
inline std::vector<std::string> WrittenSince(const SimulatedBus &bus, std::size_t from) {
  std::vector<std::string> written;
  for (std::size_t i = from; i < bus.trace.size(); ++i) {
    const std::string &line = bus.trace[i];
    if (line.rfind("ibwrt ", 0) == 0)
      written.push_back(SimulatedBus::Unquote(line, line.find('"') + 1));
  }
  return written;
}

// The status code the program ended with, or -1 when it did not end.
inline int EndCode(const std::function<void()> &action) {
  try {
    action();
  } catch (const ProgramEnded &end) {
    return end.code;
  }
  return -1;
}

// Loading and the first activation, with a splash that closes at once.
inline void StartUp(ErrorLogForm &form) {
  form.SetSplashSeconds(0);
  form.Load();
  form.Form_Activate();
}

inline std::vector<std::string> ReadCommands(int nextQueries) {
  std::vector<std::string> commands{"ERRLOG?"};
  commands.insert(commands.end(), static_cast<std::size_t>(nextQueries), "ERRLOG:NEXT?");
  return commands;
}

inline std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

} // namespace apptest
