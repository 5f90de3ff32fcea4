#include "ui/colour_popup.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace tinctora::ui {
namespace {

using Hit = ColourPopup::Hit;

TEST(ColourPopup, EveryPointOfTheGridBelongsToOnePreset) {
  // Each swatch's own pixels hit it; the gaps between swatches belong to a
  // neighbour, so no click inside the grid is lost.
  std::set<int> hitSomewhere;
  for (int i = 0; i < 32; ++i) {
    const Rect r = ColourPopup::SwatchRect(i);
    for (const Point p : {Point{r.left, r.top}, Point{r.right - 1, r.bottom - 1}, Point{(r.left + r.right) / 2, r.top}}) {
      EXPECT_EQ(ColourPopup::HitTest(p), (Hit{Hit::Kind::Preset, i})) << "preset " << i;
    }
  }
  const Rect first = ColourPopup::SwatchRect(0);
  const Rect last = ColourPopup::SwatchRect(31);
  for (int y = first.top; y < last.bottom; ++y) {
    for (int x = first.left; x < last.right; ++x) {
      const Hit hit = ColourPopup::HitTest({x, y});
      ASSERT_EQ(hit.kind, Hit::Kind::Preset) << x << "," << y;
      hitSomewhere.insert(hit.index);
    }
  }
  EXPECT_EQ(hitSomewhere.size(), 32u);
  // Presets run in rows of eight.
  EXPECT_EQ(ColourPopup::SwatchRect(8).left, ColourPopup::SwatchRect(0).left);
  EXPECT_GT(ColourPopup::SwatchRect(8).top, ColourPopup::SwatchRect(7).top);
}

TEST(ColourPopup, TheOtherEntryAndTheEdges) {
  const Rect other = ColourPopup::OtherRect();
  EXPECT_EQ(ColourPopup::HitTest({(other.left + other.right) / 2, (other.top + other.bottom) / 2}).kind,
            Hit::Kind::Other);
  EXPECT_LE(other.bottom, ColourPopup::kHeight);
  EXPECT_GT(other.top, ColourPopup::SwatchRect(31).bottom - 1);
  EXPECT_EQ(ColourPopup::HitTest({-1, 5}).kind, Hit::Kind::Nothing);
  EXPECT_EQ(ColourPopup::HitTest({0, 0}).kind, Hit::Kind::Nothing);
  EXPECT_EQ(ColourPopup::HitTest({ColourPopup::kWidth + 3, 10}).kind, Hit::Kind::Nothing);
  EXPECT_EQ(ColourPopup::HitTest({5, ColourPopup::kHeight + 2}).kind, Hit::Kind::Nothing);
  EXPECT_EQ(ColourPopup::Presets().size(), 32u);
  EXPECT_EQ(ColourPopup::OtherEntry(), "\xC6\xE4\xCB\xFC\xD1\xD5\xC9\xAB...");
}

TEST(ColourPopup, OpensBelowTheChooserAndStaysOnItsDisplay) {
  const std::vector<Rect> displays{{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
  const Rect anchor{500, 700, 550, 730};
  EXPECT_EQ(ColourPopup::Placement(anchor, displays),
            (Rect{500, 730, 500 + ColourPopup::kWidth, 730 + ColourPopup::kHeight}));
  // No room below: above the chooser.
  const Rect low{500, 1060, 550, 1079};
  EXPECT_EQ(ColourPopup::Placement(low, displays).bottom, 1060);
  // At the right edge of the primary display: moved left onto it.
  const Rect right{1900, 100, 1919, 130};
  EXPECT_EQ(ColourPopup::Placement(right, displays).right, 1920);
  // On the second display it stays there.
  const Rect second{1930, 100, 1980, 130};
  EXPECT_EQ(ColourPopup::Placement(second, displays).left, 1930);
  const Rect secondEdge{3190, 990, 3199, 1020};
  const Rect placed = ColourPopup::Placement(secondEdge, displays);
  EXPECT_EQ(placed.right, 3200);
  EXPECT_EQ(placed.bottom, 990);
}

}  // namespace
}  // namespace tinctora::ui
