#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

struct Placement {
  const char *name;
  QSize window;
  QRect area;
  QPoint expected;
};

class CentredIn : public ::testing::TestWithParam<Placement> {};

TEST_P(CentredIn, KeepsTheTopLeftCornerOnTheArea) {
  const Placement &p = GetParam();
  EXPECT_EQ(skeld::CentredIn(p.window, p.area), p.expected);
}

// As QRect::center() has it (the old placement): 1280 wide, 600 wide, left edge at 339.
// A panel at the top (y 32) and a second screen to the right (x 1280) move the area's corner.
INSTANTIATE_TEST_SUITE_P(
    Sizes, CentredIn,
    ::testing::Values(Placement{"Fits", {600, 400}, {0, 0, 1280, 800}, {339, 199}},
                      Placement{"FitsExactly", {1280, 768}, {0, 32, 1280, 768}, {0, 32}},
                      Placement{"TooWide", {1400, 400}, {0, 32, 1280, 768}, {0, 215}},
                      Placement{"TooTall", {600, 900}, {1280, 0, 1280, 800}, {1619, 0}},
                      Placement{"LargerBothWays", {1500, 1000}, {1280, 32, 640, 368}, {1280, 32}},
                      Placement{"OneBeyond", {641, 369}, {0, 0, 640, 368}, {0, 0}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
