#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>

// The whole file, or "<unreadable>" when it cannot be read (so that it never equals an
// empty file).
inline QByteArray ReadFile(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline std::string ReadTextFile(const std::string &path) {
  return ReadFile(QFile::decodeName(path.c_str())).toStdString();
}

inline bool WriteFile(const QString &path, const QByteArray &bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A bus description file of the simulator's tests.
inline std::string SimDataFile(const std::string &name) { return SKELD_SOURCE_DIR "/tests/data/sim/" + name; }
