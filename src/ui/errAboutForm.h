#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About window: title, version, build date, a credit line and the contact address, and
// the check for a newer version against the homepage's version data file. One object serves
// the whole run; each showing loads it afresh.
class errAboutForm : public QDialog {
  Q_OBJECT

public:
  // Shows the About window modally, centred on owner (the screen when null), and returns
  // once it has been closed.
  static void ShowAbout(QWidget *owner);

  static const QString ContactAddress;
  static const QString MailSubject;
  static const QString CreditLine;

  // The mailto address a click on the contact label opens.
  static QString MailtoUrl();

  void reject() override;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  errAboutForm();
  void Form_Load();
  void Command_OK_Click();
  void Command_CheckUpdate_Click();
  void Label_eMail_Click();

  QLabel *Label_About;
  QLabel *Label_eMail;
  QPushButton *Command_OK;
  QPushButton *Command_CheckUpdate;
  bool checking_ = false;
};
