#include "platform/qt/wayland/frozen_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tinctora::qtb {
namespace {

bool Overlap(const gfx::Rect& a, const gfx::Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

TEST(FrozenLayout, OutputsKeepTheirArrangementAndAllTheirPixels) {
  // One output at 1.5 beside one at 1, and one at 2 below both: a layout in
  // logical units no single scale maps onto the physical pixels.
  const std::vector<OutputPlace> outputs = {
      {{0, 0, 1280, 720}, 1920, 1080},
      {{1280, 0, 3200, 1080}, 1920, 1080},
      {{0, 1080, 960, 1620}, 1920, 1080},
  };
  const std::vector<FrozenPlace> placed = PlaceFrozenOutputs(outputs);
  ASSERT_EQ(placed.size(), 3u);
  EXPECT_DOUBLE_EQ(placed[0].scale, 1.5);
  EXPECT_DOUBLE_EQ(placed[1].scale, 1.0);
  EXPECT_DOUBLE_EQ(placed[2].scale, 2.0);
  // Each at its logical corner times 2, the largest scale, its own size.
  EXPECT_EQ(placed[0].bounds, (gfx::Rect{0, 0, 1920, 1080}));
  EXPECT_EQ(placed[1].bounds, (gfx::Rect{2560, 0, 4480, 1080}));
  EXPECT_EQ(placed[2].bounds, (gfx::Rect{0, 2160, 1920, 3240}));
  for (std::size_t i = 0; i < placed.size(); ++i) {
    for (std::size_t j = i + 1; j < placed.size(); ++j) EXPECT_FALSE(Overlap(placed[i].bounds, placed[j].bounds));
  }
}

TEST(FrozenLayout, OneScaleEverywhereIsTheLayoutInPhysicalPixels) {
  const std::vector<OutputPlace> outputs = {{{0, 0, 1280, 720}, 1920, 1080}, {{1280, 0, 2560, 720}, 1920, 1080}};
  const std::vector<FrozenPlace> placed = PlaceFrozenOutputs(outputs);
  EXPECT_EQ(placed[1].bounds, (gfx::Rect{1920, 0, 3840, 1080}));
  // Outputs left of or above the layout's origin stay there.
  const std::vector<OutputPlace> left = {{{-1920, 0, 0, 1080}, 1920, 1080}, {{0, 0, 1920, 1080}, 1920, 1080}};
  EXPECT_EQ(PlaceFrozenOutputs(left)[0].bounds, (gfx::Rect{-1920, 0, 0, 1080}));
}

TEST(FrozenLayout, ThePixelUnderAPointerPositionAtFractionalScales) {
  const FrozenPlace at150{{1920, 0, 3840, 1080}, 1.5};
  // Physical pixel 301 is logical 200.666..., which the compositor's
  // 1/256 fixed point rounds either way.
  EXPECT_EQ(PixelUnder(301 / 1.5, 0, at150), (gfx::Point{1920 + 301, 0}));
  EXPECT_EQ(PixelUnder(200.6640625, 0, at150), (gfx::Point{1920 + 301, 0}));  // a hair below
  EXPECT_EQ(PixelUnder(200.66796875, 0, at150), (gfx::Point{1920 + 301, 0}));  // a hair above
  // Inside a pixel, and the pixel next to it.
  EXPECT_EQ(PixelUnder(200.9, 10.5, at150), (gfx::Point{1920 + 301, 15}));
  EXPECT_EQ(PixelUnder(201.0, 10.0, at150), (gfx::Point{1920 + 301, 15}));
  EXPECT_EQ(PixelUnder(201.34, 10.0, at150), (gfx::Point{1920 + 302, 15}));
  const FrozenPlace at125{{0, 0, 2400, 1350}, 1.25};
  for (int p = 0; p < 2400; p += 7) {
    const double logical = p / 1.25;
    const double fixed = std::floor(logical * 256 + 0.5) / 256;  // as the compositor sends it
    ASSERT_EQ(PixelUnder(fixed, 0, at125).x, p) << "physical pixel " << p;
  }
}

TEST(FrozenLayout, APointerOnTheEdgeStaysOnTheOutput) {
  const FrozenPlace at2{{0, 0, 3840, 2160}, 2.0};
  EXPECT_EQ(PixelUnder(1920.0, 1080.0, at2), (gfx::Point{3839, 2159}));
  EXPECT_EQ(PixelUnder(-0.5, -3.0, at2), (gfx::Point{0, 0}));
}

TEST(FrozenLayout, TheScreensOfOneDesktopPicture) {
  // Two screens side by side, the portal's picture at twice the layout.
  const gfx::Rect desktop{0, 0, 2560, 720};
  EXPECT_EQ(ScreenInDesktopPicture({1280, 0, 2560, 720}, desktop, 5120, 1440), (gfx::Rect{2560, 0, 5120, 1440}));
  EXPECT_EQ(ScreenInDesktopPicture({0, 0, 1280, 720}, desktop, 5120, 1440), (gfx::Rect{0, 0, 2560, 1440}));
  // A layout that does not start at the origin.
  EXPECT_EQ(ScreenInDesktopPicture({-1280, 0, 0, 720}, {-1280, 0, 1280, 720}, 2560, 720),
            (gfx::Rect{0, 0, 1280, 720}));
  // A picture smaller than the layout says, or no desktop at all: what fits, or nothing.
  EXPECT_EQ(ScreenInDesktopPicture({0, 0, 1280, 720}, desktop, 2560, 700), (gfx::Rect{0, 0, 1280, 700}));
  EXPECT_TRUE(ScreenInDesktopPicture({0, 0, 10, 10}, {}, 100, 100).Empty());
}

}  // namespace
}  // namespace tinctora::qtb
