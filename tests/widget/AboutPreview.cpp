#include "platform/AppInfo.h"
#include "platform/VersionText.h"
#include "ui/errAboutForm.h"

#include <QApplication>

// about-preview: shows the About window as the running program would, then exits.
int main(int argc, char **argv) {
  QApplication app(argc, argv);
  skeld::VersionText = skeld::MakeVersionText(skeld::AppMajor(), skeld::AppMinor(), skeld::AppRevision());
  skeld::BuildDate = QStringLiteral("Feb 2025");
  errAboutForm::ShowAbout(nullptr);
  return 0;
}
