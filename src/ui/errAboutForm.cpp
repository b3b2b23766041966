#include "ui/errAboutForm.h"

#include "platform/AppDataFolder.h"

#include "platform/AppInfo.h"
#include "platform/Download.h"
#include "platform/OpenUrl.h"
#include "platform/Twips.h"
#include "platform/VersionText.h"
#include "ui/Module1.h"
#include "ui/UpdateCheck.h"
#include "ui/WindowPlacement.h"

#include "ui/WaitCursor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QUrl>
#include <QWindow>

#include <optional>

using skeld::TwipsRect;

const QString errAboutForm::ContactAddress = QStringLiteral("support@skeld-instruments.example");
const QString errAboutForm::MailSubject = QStringLiteral("Skeld Error Log Viewer");
const QString errAboutForm::CreditLine = QStringLiteral("Written by the Skeld Instruments team.");

namespace {

// A version file is a few lines; the entry stands near its start.
constexpr qint64 MaxVersionFileBytes = 1024 * 1024;

const QString CaptionPrefix = QStringLiteral("About ");

// "MS Sans Serif" 8.25 pt is not on Linux; its metric stand-in keeps the labels' sizes.
QFont FormFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(8.25);
  return font;
}

} // namespace

errAboutForm::errAboutForm()
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      Label_About(new QLabel(this)), Label_eMail(new QLabel(this)), Command_OK(new QPushButton(this)),
      Command_CheckUpdate(new QPushButton(this)) {
  setObjectName(QStringLiteral("errAboutForm"));
  setWindowModality(Qt::ApplicationModal);
  setFont(FormFont());
  setFixedSize(skeld::TwipsSize(3990, 2145));

  Label_About->setObjectName(QStringLiteral("Label_About"));
  Label_About->setTextFormat(Qt::PlainText);
  Label_About->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label_About->setWordWrap(true);
  Label_About->setGeometry(TwipsRect(240, 240, 3495, 735));

  Label_eMail->setObjectName(QStringLiteral("Label_eMail"));
  Label_eMail->setTextFormat(Qt::PlainText);
  QFont mailFont = FormFont();
  mailFont.setUnderline(true);
  Label_eMail->setFont(mailFont);
  Label_eMail->setText(ContactAddress);
  Label_eMail->move(skeld::TwipsToPixels(240), skeld::TwipsToPixels(1080));
  Label_eMail->adjustSize();
  Label_eMail->setCursor(Qt::PointingHandCursor);
  Label_eMail->installEventFilter(this);

  Command_OK->setObjectName(QStringLiteral("Command_OK"));
  Command_OK->setText(QStringLiteral("Close"));
  Command_OK->setGeometry(TwipsRect(2640, 1560, 1095, 375));
  Command_OK->installEventFilter(this);
  connect(Command_OK, &QPushButton::clicked, this, &errAboutForm::Command_OK_Click);

  Command_CheckUpdate->setObjectName(QStringLiteral("Command_CheckUpdate"));
  Command_CheckUpdate->setText(QStringLiteral("Check for Update"));
  Command_CheckUpdate->setGeometry(TwipsRect(240, 1560, 1455, 375));
  Command_CheckUpdate->installEventFilter(this);
  connect(Command_CheckUpdate, &QPushButton::clicked, this, &errAboutForm::Command_CheckUpdate_Click);

  setTabOrder(Command_OK, Command_CheckUpdate);
}

void errAboutForm::ShowAbout(QWidget *owner) {
  static errAboutForm *form = new errAboutForm;
  form->Form_Load();
  skeld::CentreOnOwner(*form, owner, form->size());
  form->exec();
}

QString errAboutForm::MailtoUrl() {
  return QStringLiteral("mailto:") + ContactAddress + QStringLiteral("?subject=") +
         QString::fromLatin1(QUrl::toPercentEncoding(MailSubject));
}

void errAboutForm::Form_Load() {
  setWindowTitle(CaptionPrefix + skeld::AppTitle());
  const QChar lf = QLatin1Char('\n');
  Label_About->setText(QStringLiteral("Version: ") + skeld::VersionText + QStringLiteral(",  Date: ") +
                       skeld::BuildDate + lf + lf + CreditLine + lf + lf);
  Command_OK->setFocus();
}

void errAboutForm::Command_OK_Click() {
  // The window stays up until a running check has told its outcome.
  if (checking_)
    return;
  done(QDialog::Accepted);
}

// The close box does what "Close" does.
void errAboutForm::reject() { Command_OK_Click(); }

void errAboutForm::Label_eMail_Click() { skeld::OpenUrl(MailtoUrl()); }

void errAboutForm::Command_CheckUpdate_Click() {
  // Window events run while the download waits, so a second click can arrive: one check at
  // a time.
  if (checking_)
    return;
  const QScopedValueRollback<bool> running(checking_, true);
  const QString workFolder = UpdateCheck::WorkFolder();
  // A folder that cannot be made shows as a failed download: there is nowhere to put the file.
  skeld::MakeAppDataSubfolder(workFolder);
  const QString localFile = UpdateCheck::LocalDataFile(workFolder);

  UpdateCheck::Verdict verdict{UpdateCheck::Outcome::DownloadFailed, QString()};
  {
    // The window answers meanwhile but starts nothing new; the cursor says so.
    skeld::WaitCursor wait;
    if (skeld::DownloadToFile(UpdateCheck::RemoteDataUrl().toStdString(),
                              QFile::encodeName(localFile).toStdString())) {
      QFile file(localFile);
      // A file that cannot be read is as good as missing.
      if (QFileInfo(localFile).isFile() && file.open(QIODevice::ReadOnly))
        verdict = UpdateCheck::Judge(file.read(MaxVersionFileBytes), skeld::AppTitle(), skeld::VersionText);
      else
        verdict.outcome = UpdateCheck::Outcome::FileMissing;
    }
  }

  const UpdateCheck::Message message =
      UpdateCheck::MessageFor(verdict.outcome, skeld::VersionText, verdict.version);
  const std::int16_t answer = Module1::ShowMessBox(message.prompt, message.style, message.title);
  if (UpdateCheck::OffersProgramPage(verdict.outcome) && answer != Module1::IdNo)
    skeld::OpenUrl(UpdateCheck::ProgramPageUrl());
}

bool errAboutForm::eventFilter(QObject *watched, QEvent *event) {
  if (watched == Label_eMail && event->type() == QEvent::MouseButtonRelease) {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() == Qt::LeftButton && Label_eMail->rect().contains(mouse->position().toPoint())) {
      Label_eMail_Click();
      return true;
    }
  }
  if ((watched == Command_OK || watched == Command_CheckUpdate) && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
    Command_OK_Click();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}
