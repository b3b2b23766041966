#include "ui/MessBox.h"

#include "platform/Twips.h"
#include "ui/Module1.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QWindow>
#include <QtMath>

#include <algorithm>
#include <limits>

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

// What the box adds around its label, in twips: to the width, and to the height past one line.
constexpr int LabelToWindowWidth = 310;
constexpr int LabelToWindowHeight = 345 + 930;

// A prompt too large for the screen loses the middle of each line that is too wide and,
// with too many lines, its middle lines; both ends, where the question stands, stay.
QString FitPrompt(const QString &prompt, const QFontMetrics &metrics, int maxWidth, int maxLines) {
  QStringList lines = prompt.split(QLatin1Char('\n'));
  if (lines.size() > maxLines) {
    const int kept = std::max(maxLines, 1) - 1; // one line shows the gap
    const int head = (kept + 1) / 2;
    const int tail = kept - head;
    lines = lines.mid(0, head) + QStringList{QStringLiteral("\u2026")} + lines.mid(lines.size() - tail);
  }
  for (QString &line : lines)
    if (metrics.horizontalAdvance(line) > maxWidth)
      line = metrics.elidedText(line, Qt::ElideMiddle, maxWidth);
  return lines.join(QLatin1Char('\n'));
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
  QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect();
  Form_Load(area.size());
  const QSize outer = TwipsSize(layout_.windowWidth, layout_.windowHeight);
  skeld::CentreOnOwner(*this, owner, outer);
  if (screen)
    skeld::KeepInside(*this, outer, area);
  exec();
}

void MessBox::Form_Load(QSize screenArea) {
  const Module1::MessBoxRequest &request = Module1::CurrentRequest();
  ++showing_;
  defaultButton_ = 0;

  for (QPushButton *button : buttons_)
    button->setHidden(false);

  // The window, label plus its margins, may be no larger than the screen's free area.
  int maxLabelWidth = std::numeric_limits<int>::max();
  int maxLabelHeight = std::numeric_limits<int>::max();
  if (!screenArea.isEmpty()) {
    maxLabelWidth = PixelsToTwips(screenArea.width()) - LabelToWindowWidth;
    maxLabelHeight = PixelsToTwips(screenArea.height()) - LabelToWindowHeight;
    const QFontMetrics metrics(Label_Msg->font());
    // The label sets its lines a whole number of pixels apart.
    const int lineHeight = PixelsToTwips(qCeil(QFontMetricsF(Label_Msg->font()).lineSpacing()));
    Label_Msg->setText(FitPrompt(request.prompt, metrics, maxLabelWidth / skeld::TwipsPerPixel,
                                 maxLabelHeight / lineHeight));
  } else {
    Label_Msg->setText(request.prompt);
  }
  Label_Msg->adjustSize();

  style_ = DecodeStyle(request.style);
  defaultButton_ = style_.defaultButton;

  layout_ = LayOutMessBox(std::min(PixelsToTwips(Label_Msg->width()), maxLabelWidth),
                          std::min(PixelsToTwips(Label_Msg->height()), maxLabelHeight), style_.buttonSet);

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
