#pragma once

#include "app/ErrorLogForm.h"

#include <QListWidget>

#include <string>
#include <vector>

// Steps of the main window that its tests repeat.
namespace formsteps {

// Loading and the first activation, with a splash that closes at once.
inline void StartUp(ErrorLogForm &form) {
  form.SetSplashSeconds(0);
  form.Load();
  form.Form_Activate();
}

inline std::vector<std::string> Items(const QListWidget *list) {
  std::vector<std::string> items;
  for (int i = 0; i < list->count(); ++i)
    items.push_back(list->item(i)->text().toStdString());
  return items;
}

} // namespace formsteps
