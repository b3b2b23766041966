#pragma once

#include "ui/MessBoxLayout.h"
#include "ui/MessBoxStyle.h"

#include <QDialog>

#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;

// The program's own modal message window: a white panel sized to the prompt and up to three
// right-aligned buttons. One object serves the whole run; every showing reloads it from the
// request stored in Module1.
class MessBox : public QDialog {
  Q_OBJECT
public:
  static MessBox &Instance();
  // Makes this window the one that shows every ShowMessBox request.
  static void RegisterAsPresenter();

  // Loads the current request, shows the box modally and returns once a button was chosen
  // or the box was closed.
  void ShowModal();

  // What the last load computed, in twips, and the style it decoded.
  const MessBoxLayout &Layout() const { return layout_; }
  const MessBoxStyle &DecodedStyle() const { return style_; }
  std::int16_t DefaultButtonIndex() const { return defaultButton_; }
  QPushButton *Button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

  // Closing the box other than by a button answers as Button 0, so it never consents.
  void reject() override;

protected:
  bool event(QEvent *e) override;
  bool eventFilter(QObject *watched, QEvent *e) override;

private:
  MessBox();
  // Lays the box out to fit an area of the screen of this size (no limit when empty).
  void Form_Load(QSize screenArea);
  void Form_Activate();
  void Button_Click(int index);
  void PressEnterLater();
  QPushButton *DefaultButton() const;

  QFrame *Frame_Msg = nullptr;
  QFrame *Line_Msg = nullptr;
  QLabel *Label_Msg = nullptr;
  std::array<QPushButton *, MessBoxButtonCount> buttons_{};
  std::array<QString, MessBoxButtonCount> captions_;

  std::int16_t defaultButton_ = 0;
  unsigned showing_ = 0;
  MessBoxStyle style_;
  MessBoxLayout layout_;
};
