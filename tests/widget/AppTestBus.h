#pragma once

#include "app/ErrorLogForm.h"
#include "support/ProgramEnd.h"
#include "support/ScopeBus.h"
#include "support/SimulatedBus.h"

#include <QListWidget>
#include <QString>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace apptest {

using namespace scopebus;

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
