// Preloaded (LD_PRELOAD) into the real viewer: the first window of the start that waits for the
// user is written to the file CONNECT_DIALOG_WATCH names, as its object name, its title and, for
// the Connect dialog, its library row's note; then that window is cancelled.
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QTimer>

namespace {

void Report(QDialog &dialog, const QString &path) {
  QString text = dialog.objectName() + QLatin1Char('\n') + dialog.windowTitle() + QLatin1Char('\n');
  if (const auto *note = dialog.findChild<QLabel *>(QStringLiteral("LibraryNote")))
    text += note->text() + QLatin1Char('\n');
  QFile file(path);
  if (file.open(QIODevice::WriteOnly))
    file.write(text.toUtf8());
}

void WatchTheStart() {
  const QString path = qEnvironmentVariable("CONNECT_DIALOG_WATCH");
  if (path.isEmpty())
    return;
  auto *timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
    for (QWidget *window : QApplication::topLevelWidgets()) {
      auto *dialog = qobject_cast<QDialog *>(window);
      if (!dialog || !dialog->isVisible())
        continue;
      timer->stop();
      Report(*dialog, path);
      dialog->reject();
      return;
    }
  });
  timer->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchTheStart)
