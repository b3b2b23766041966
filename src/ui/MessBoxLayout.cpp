#include "ui/MessBoxLayout.h"

namespace {
constexpr int OneLineLimit = 255; // a label taller than this holds more than one line
constexpr int LabelToButtons = 345;
constexpr int ButtonsToBottom = 930;
constexpr int LabelToPanelBottom = 240;
constexpr int LabelToWindowWidth = 310;
constexpr int ButtonRightMargin = 1305;
constexpr int ButtonPitch = 1200;
} // namespace

MessBoxLayout LayOutMessBox(int labelWidth, int labelHeight, int buttonSet) {
  MessBoxLayout layout;
  layout.labelWidth = labelWidth;
  layout.labelHeight = labelHeight;

  if (labelHeight > OneLineLimit) {
    layout.buttonTop = labelHeight + LabelToButtons;
    layout.windowHeight = layout.buttonTop + ButtonsToBottom;
    layout.panelHeight = labelHeight + LabelToPanelBottom;
  }

  const int minimum = MinLabelWidth(buttonSet);
  if (labelWidth > minimum) {
    layout.windowWidth = labelWidth + LabelToWindowWidth;
  } else {
    layout.labelWidth = minimum;
    layout.windowWidth = minimum + LabelToWindowWidth;
  }

  layout.panelWidth = layout.windowWidth;
  layout.lineX2 = layout.panelWidth;
  for (int i = 0; i < MessBoxButtonCount; ++i)
    layout.buttonLeft[i] = layout.windowWidth - ButtonRightMargin - i * ButtonPitch;
  return layout;
}
