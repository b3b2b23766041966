#include "ui/MessBox.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Every test executable gets a QApplication (offscreen), a private runtime folder and a
// private settings folder: no test, and no viewer a test starts, sees or changes the user's
// remembered interface.
int main(int argc, char **argv) {
  // Run without a display unless a test run asks for one.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir runtimeDir(QDir::tempPath() + QStringLiteral("/skeld-test-XXXXXX"));
  if (runtimeDir.isValid()) {
    QFile::setPermissions(runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
  }
  QTemporaryDir configDir(QDir::tempPath() + QStringLiteral("/skeld-test-config-XXXXXX"));
  if (configDir.isValid())
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  MessBox::RegisterAsPresenter();
  return RUN_ALL_TESTS();
}
