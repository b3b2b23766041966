#pragma once

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QtGlobal>

namespace skeld {

// The per-user application data folder: the variable "AppData" when set (an empty value
// counts as unset). Linux has no such variable, so there the per-user data folder stands in.
inline QString AppDataFolder() {
  if (!qEnvironmentVariableIsEmpty("AppData"))
    return qEnvironmentVariable("AppData");
#ifdef Q_OS_WIN
  return QString();
#else
  const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
  if (!xdg.isEmpty())
    return xdg;
  return QDir::homePath() + QStringLiteral("/.local/share");
#endif
}

// A built-in folder name such as "\Skeld Error Log" below the data folder; its backslashes
// are path separators on every platform.
inline QString AppDataPath(const QString &builtInName) {
  QString name = builtInName;
  name.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return QDir::cleanPath(AppDataFolder() + name);
}

// Makes a folder below the data folder unless something of that name exists. Only the last
// level is made under "AppData"; the stand-in data folder may itself be missing on a new
// account, so there the whole path is made.
inline bool MakeAppDataSubfolder(const QString &path) {
  if (QFileInfo::exists(path))
    return true;
  return qEnvironmentVariableIsEmpty("AppData") ? QDir().mkpath(path) : QDir().mkdir(path);
}

} // namespace skeld
