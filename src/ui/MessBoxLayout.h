#pragma once

#include "ui/MessBoxStyle.h"

#include <array>

// Where everything of the message box goes, in twips. Window width and height are the
// outer size, borders and caption included.
struct MessBoxLayout {
  static constexpr int DesignWindowWidth = 3825;
  static constexpr int DesignWindowHeight = 1500;
  static constexpr int BorderWidth = 90;   // both side borders together
  static constexpr int BorderHeight = 375; // caption bar and both borders
  static constexpr int LabelLeft = 120;
  static constexpr int LabelTop = 120;
  static constexpr int ButtonWidth = 1095;
  static constexpr int ButtonHeight = 375;

  int windowWidth = DesignWindowWidth;
  int windowHeight = DesignWindowHeight;
  int panelWidth = 3825;
  int panelHeight = 495;
  int lineX2 = 3855;
  int labelWidth = 3515;
  int labelHeight = 195;
  int buttonTop = 600;
  std::array<int, MessBoxButtonCount> buttonLeft{2520, 1320, 120};

  int ClientWidth() const { return windowWidth - BorderWidth; }
  int ClientHeight() const { return windowHeight - BorderHeight; }
};

// Lays the box out around a label that measured labelWidth by labelHeight twips for its text.
MessBoxLayout LayOutMessBox(int labelWidth, int labelHeight, int buttonSet);
