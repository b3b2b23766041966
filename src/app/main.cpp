#include "app/ErrorLogForm.h"
#include "platform/AppInfo.h"
#include "ui/MessBox.h"
#include "ui/WindowPlacement.h"

#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(skeld::AppTitle());
  QApplication::setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(skeld::AppMajor()).arg(skeld::AppMinor()).arg(skeld::AppRevision()));

  MessBox::RegisterAsPresenter();
  ErrorLogForm form;
  form.Load();
  form.adjustSize();
  skeld::CentreOnScreen(form);
  form.show();
  return QApplication::exec();
}
