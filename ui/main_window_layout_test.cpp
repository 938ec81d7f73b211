#include <gtest/gtest.h>

#include "ui/main_window_layout.h"

namespace zelvane {
namespace {

struct LayoutCase {
  int dpi;
  LayoutRect client, label, command;
};

// 100 %, 125 %, 150 % and 200 % scaling; halves round up, as MulDiv does.
const LayoutCase kLayoutCases[] = {
    {96, {0, 0, 312, 139}, {8, 8, 297, 57}, {96, 80, 113, 41}},
    {120, {0, 0, 390, 174}, {10, 10, 371, 71}, {120, 100, 141, 51}},
    {144, {0, 0, 468, 209}, {12, 12, 446, 86}, {144, 120, 170, 62}},
    {192, {0, 0, 624, 278}, {16, 16, 594, 114}, {192, 160, 226, 82}},
};

TEST(MainWindowLayout, ControlsInPixelsAtEachScale) {
  for (const LayoutCase& c : kLayoutCases) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(ControlRect(kMainWindowClientTwips, c.dpi), c.client);
    EXPECT_EQ(ControlRect(kStatusLabelTwips, c.dpi), c.label);
    EXPECT_EQ(ControlRect(kRunButtonTwips, c.dpi), c.command);
  }
}

// At any scale the label and the button stay inside the client area and apart from each other.
TEST(MainWindowLayout, ControlsFitTheClientAreaAtEveryScale) {
  for (int dpi = 72; dpi <= 480; ++dpi) {
    SCOPED_TRACE(dpi);
    const LayoutRect client = ControlRect(kMainWindowClientTwips, dpi);
    for (const LayoutRect& twips : {kStatusLabelTwips, kRunButtonTwips}) {
      const LayoutRect r = ControlRect(twips, dpi);
      EXPECT_GT(r.left, 0);
      EXPECT_GT(r.top, 0);
      EXPECT_LT(r.left + r.width, client.width);
      EXPECT_LT(r.top + r.height, client.height);
    }
    const LayoutRect label = ControlRect(kStatusLabelTwips, dpi);
    const LayoutRect command = ControlRect(kRunButtonTwips, dpi);
    EXPECT_LT(label.top + label.height, command.top);
  }
}

}  // namespace
}  // namespace zelvane
