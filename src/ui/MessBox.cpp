#include "ui/MessBox.h"

#include "platform/Twips.h"
#include "ui/Module1.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

using skeld::PixelsToTwips;
using skeld::TwipsRect;
using skeld::TwipsSize;

namespace {

// One text line of this font is 13 pixels high: 195 twips, the height the layout is made for.
QFont BoxFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

} // namespace

MessBox &MessBox::Instance() {
  static MessBox *box = new MessBox;
  return *box;
}

void MessBox::RegisterAsPresenter() {
  Module1::SetMessBoxResponder([](const Module1::MessBoxRequest &) {
    Instance().ShowModal();
    return Module1::ButtonCode();
  });
}

MessBox::MessBox()
    : QDialog(nullptr,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("MessBox"));
  setWindowModality(Qt::ApplicationModal);
  setFont(BoxFont());

  Frame_Msg = new QFrame(this);
  Frame_Msg->setObjectName(QStringLiteral("Frame_Msg"));
  Frame_Msg->setFrameShape(QFrame::NoFrame);
  Frame_Msg->setAutoFillBackground(true);
  QPalette panel = Frame_Msg->palette();
  panel.setColor(QPalette::Window, Qt::white);
  Frame_Msg->setPalette(panel);

  Line_Msg = new QFrame(Frame_Msg);
  Line_Msg->setObjectName(QStringLiteral("Line_Msg"));
  Line_Msg->setAutoFillBackground(true);
  QPalette line = Line_Msg->palette();
  line.setColor(QPalette::Window, line.color(QPalette::WindowText));
  Line_Msg->setPalette(line);

  Label_Msg = new QLabel(Frame_Msg);
  Label_Msg->setObjectName(QStringLiteral("Label_Msg"));
  Label_Msg->setTextFormat(Qt::PlainText);
  Label_Msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Label_Msg->setAutoFillBackground(true);
  Label_Msg->setTextInteractionFlags(Qt::NoTextInteraction);

  for (int i = 0; i < MessBoxButtonCount; ++i) {
    auto *button = new QPushButton(this);
    button->setObjectName(QStringLiteral("Button"));
    button->setProperty("index", i);
    // Enter is handled here, on the focused button only: no button is ever the box's default.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->installEventFilter(this);
    connect(button, &QPushButton::clicked, this, [this, i] { Button_Click(i); });
    buttons_[static_cast<std::size_t>(i)] = button;
  }
  setTabOrder(buttons_[0], buttons_[1]);
  setTabOrder(buttons_[1], buttons_[2]);
}

void MessBox::ShowModal() {
  QWidget *owner = QApplication::activeWindow();
  if (owner == this)
    owner = nullptr;
  Form_Load();
  skeld::CentreOnOwner(*this, owner, TwipsSize(layout_.windowWidth, layout_.windowHeight));
  exec();
}

void MessBox::Form_Load() {
  const Module1::MessBoxRequest &request = Module1::CurrentRequest();
  ++showing_;
  defaultButton_ = 0;

  for (QPushButton *button : buttons_)
    button->setHidden(false);

  Label_Msg->setText(request.prompt);
  Label_Msg->adjustSize();

  style_ = DecodeStyle(request.style);
  defaultButton_ = style_.defaultButton;

  layout_ =
      LayOutMessBox(PixelsToTwips(Label_Msg->width()), PixelsToTwips(Label_Msg->height()), style_.buttonSet);

  captions_ = ButtonCaptions(style_.buttonSet);
  for (int i = 0; i < MessBoxButtonCount; ++i) {
    QPushButton *button = Button(i);
    button->setText(captions_[static_cast<std::size_t>(i)]);
    button->setHidden(captions_[static_cast<std::size_t>(i)].isEmpty());
    button->setGeometry(TwipsRect(layout_.buttonLeft[static_cast<std::size_t>(i)], layout_.buttonTop,
                                  MessBoxLayout::ButtonWidth, MessBoxLayout::ButtonHeight));
  }

  setFixedSize(TwipsSize(layout_.ClientWidth(), layout_.ClientHeight()));
  Frame_Msg->setGeometry(TwipsRect(0, 0, layout_.panelWidth, layout_.panelHeight));
  Line_Msg->setGeometry(TwipsRect(0, 0, layout_.lineX2, skeld::TwipsPerPixel));
  Label_Msg->setGeometry(
      TwipsRect(MessBoxLayout::LabelLeft, MessBoxLayout::LabelTop, layout_.labelWidth, layout_.labelHeight));

  setWindowTitle(request.title + IconTag(style_.icon));

  // Each showing starts like a freshly loaded window: the focus on the first button in tab
  // order, or on the one the style names.
  if (QPushButton *preferred = DefaultButton())
    preferred->setFocus();
  else
    Button(0)->setFocus();
}

void MessBox::Form_Activate() {
  if (QPushButton *preferred = DefaultButton())
    preferred->setFocus();
}

// The button the style's default-button index names; none for index 0 or for a button
// that does not exist or is hidden in this set.
QPushButton *MessBox::DefaultButton() const {
  if (defaultButton_ < 1 || defaultButton_ >= MessBoxButtonCount)
    return nullptr;
  QPushButton *button = Button(defaultButton_);
  return button->isHidden() ? nullptr : button;
}

void MessBox::Button_Click(int index) {
  Module1::SetButtonCode(ButtonCodeForCaption(captions_[static_cast<std::size_t>(index)]));
  accept();
}

void MessBox::reject() {
  Module1::SetButtonCode(ButtonCodeForCaption(captions_[0]));
  QDialog::reject();
}

// Esc chooses like Enter: an Enter keystroke goes to the focused button once the events
// already queued have run, without waiting for it. A keystroke meant for a box that has
// closed in the meantime is dropped, so it cannot answer the next box.
void MessBox::PressEnterLater() {
  const unsigned showing = showing_;
  QMetaObject::invokeMethod(
      this,
      [this, showing] {
        if (showing != showing_ || !isVisible())
          return;
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget())) {
          QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
          QCoreApplication::sendEvent(focused, &press);
        }
      },
      Qt::QueuedConnection);
}

bool MessBox::event(QEvent *e) {
  const bool handled = QDialog::event(e);
  if (e->type() == QEvent::WindowActivate)
    Form_Activate();
  return handled;
}

bool MessBox::eventFilter(QObject *watched, QEvent *e) {
  auto *button = qobject_cast<QPushButton *>(watched);
  if (button && e->type() == QEvent::KeyPress) {
    const auto *key = static_cast<QKeyEvent *>(e);
    switch (key->key()) {
    case Qt::Key_Escape:
      PressEnterLater();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (!key->isAutoRepeat())
        button->click();
      return true;
    default:
      break;
    }
  }
  return QDialog::eventFilter(watched, e);
}
