// Placement arithmetic of the control layout, without a window.
#include <gtest/gtest.h>

#include <vector>

#include "ui/framework/layout_math.h"

namespace tarvik {
namespace {

TEST(LayoutMath, RoundingOfTheShares) {
  EXPECT_EQ(LayoutOffset(3, LayoutShare::Quarter), 1);    // 0.75 + 0.5
  EXPECT_EQ(LayoutOffset(-3, LayoutShare::Quarter), 0);   // -0.25 truncates to 0
  EXPECT_EQ(LayoutOffset(-5, LayoutShare::Half), -2);     // -2.0
  EXPECT_EQ(LayoutOffset(-7, LayoutShare::Quarter), -1);  // -1.25
  EXPECT_EQ(LayoutOffset(-5, LayoutShare::All), -4);      // -4.5
  EXPECT_EQ(LayoutOffset(5, LayoutShare::All), 5);
  EXPECT_EQ(LayoutOffset(5, LayoutShare::Half), 3);
  EXPECT_EQ(LayoutOffset(-5, LayoutShare::ThreeQuarters), -3);  // -3.75 + 0.5
  EXPECT_EQ(LayoutOffset(2, LayoutShare::ThreeQuarters), 2);
  EXPECT_EQ(LayoutOffset(-1, LayoutShare::Half), 0);
  EXPECT_EQ(LayoutOffset(1000, LayoutShare::None), 0);
  // Absurd sizes stay defined.
  EXPECT_GT(LayoutOffset(3.0e10f, LayoutShare::All), 2000000000);
  EXPECT_LT(LayoutOffset(-3.0e10f, LayoutShare::All), -2000000000);
}

TEST(LayoutMath, FirstMatchingFlagWins) {
  EXPECT_EQ(LeftShare(0), LayoutShare::All);
  EXPECT_EQ(LeftShare(LAYOUT_LEFT_FIXED | LAYOUT_LEFT_HALF), LayoutShare::None);
  EXPECT_EQ(LeftShare(LAYOUT_LEFT_HALF | LAYOUT_LEFT_QUARTER), LayoutShare::ThreeQuarters);
  EXPECT_EQ(LeftShare(LAYOUT_LEFT_QUARTER), LayoutShare::Quarter);
  EXPECT_EQ(TopShare(LAYOUT_TOP_HALF), LayoutShare::Half);
  EXPECT_EQ(TopShare(LAYOUT_TOP_FIXED | LAYOUT_TOP_QUARTER), LayoutShare::None);
  EXPECT_EQ(WidthShare(0), LayoutShare::None);
  EXPECT_EQ(WidthShare(LAYOUT_WIDTH_ALL | LAYOUT_WIDTH_HALF), LayoutShare::All);
  EXPECT_EQ(WidthShare(LAYOUT_WIDTH_HALF | LAYOUT_WIDTH_QUARTER), LayoutShare::ThreeQuarters);
  EXPECT_EQ(HeightShare(LAYOUT_HEIGHT_QUARTER), LayoutShare::Quarter);
  EXPECT_EQ(HeightShare(LAYOUT_HEIGHT_ALL), LayoutShare::All);
  // The other bits do not take part.
  EXPECT_EQ(LeftShare(LAYOUT_CLIENT_COORDS | LAYOUT_KEEP_SIZE | LAYOUT_KEEP_POS), LayoutShare::All);
}

TEST(LayoutMath, DeltaStartsFromTheInitialClient) {
  float dx = 0, dy = 0;
  LayoutDelta({0, 0, 1000, 400}, 1200, 450, dx, dy);
  EXPECT_EQ(dx, 200.0f);
  EXPECT_EQ(dy, 50.0f);
  LayoutDelta({10, 20, 1010, 420}, 995, 400, dx, dy);
  EXPECT_EQ(dx, -5.0f);
  EXPECT_EQ(dy, 0.0f);
}

// The main window's six registrations over a 1000 x 400 client.
struct MainLayout {
  std::vector<LayoutItem> items;
  LayoutRect initial{0, 0, 1000, 400};
  MainLayout() {
    auto add = [&](int l, int t, int w, int h, std::uint16_t f) {
      items.push_back({l, t, l + w, t + h, w, h, f});
    };
    add(0, 378, 1000, 22, 0xA008);   // status bar
    add(530, 10, 250, 200, 0x4A08);  // schema combo box 1019
    add(5, 5, 450, 370, 0xD208);     // area list 1002
    add(465, 45, 530, 330, 0x5A08);  // type list 1003
    add(465, 10, 60, 24, 0x4808);    // label 1021
    add(790, 10, 200, 24, 0x4008);   // match label 1022
  }
  std::vector<LayoutPlacement> At(int w, int h) const {
    float dx, dy;
    LayoutDelta(initial, w, h, dx, dy);
    std::vector<LayoutPlacement> out;
    for (const LayoutItem& it : items) out.push_back(PlaceItem(it, dx, dy));
    return out;
  }
};

bool Same(const LayoutPlacement& p, const LayoutItem& i) {
  return p.left == i.left && p.top == i.top && p.width == i.width && p.height == i.height;
}

TEST(LayoutMath, MainWindowExamples) {
  MainLayout m;
  auto initial = m.At(1000, 400);
  for (std::size_t i = 0; i < m.items.size(); ++i) EXPECT_TRUE(Same(initial[i], m.items[i])) << i;

  auto wide = m.At(1200, 400);
  EXPECT_EQ(wide[2].width, 450 + 100);  // area list
  EXPECT_EQ(wide[2].left, 5);
  EXPECT_EQ(wide[3].left, 465 + 100);  // type list
  EXPECT_EQ(wide[3].width, 530 + 100);
  EXPECT_EQ(wide[1].left, 530 + 100);  // combo box
  EXPECT_EQ(wide[1].width, 250 + 100);
  EXPECT_EQ(wide[4].left, 465 + 100);  // label 1021
  EXPECT_EQ(wide[4].width, 60);
  EXPECT_EQ(wide[5].left, 790 + 200);    // label 1022
  EXPECT_EQ(wide[0].width, 1000 + 200);  // status bar
  EXPECT_EQ(wide[0].left, 0);

  auto tall = m.At(1000, 450);
  EXPECT_EQ(tall[2].height, 370 + 50);
  EXPECT_EQ(tall[3].height, 330 + 50);
  EXPECT_EQ(tall[0].top, 378 + 50);
  EXPECT_EQ(tall[0].height, 22);
  for (int i : {1, 4, 5})
    EXPECT_EQ(tall[static_cast<std::size_t>(i)].top, m.items[static_cast<std::size_t>(i)].top);

  auto narrow = m.At(995, 400);
  EXPECT_EQ(narrow[3].left, 465 - 2);  // half shares: -2
  EXPECT_EQ(narrow[2].width, 450 - 2);
  EXPECT_EQ(narrow[5].left, 790 - 4);  // whole shares: -4
  EXPECT_EQ(narrow[0].width, 1000 - 4);

  auto wider = m.At(1005, 400);
  EXPECT_EQ(wider[3].left, 465 + 3);
  EXPECT_EQ(wider[5].left, 790 + 5);
  EXPECT_EQ(wider[0].width, 1000 + 5);
}

}  // namespace
}  // namespace tarvik
