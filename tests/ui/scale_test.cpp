// The rules by which the layout's units meet device pixels, and the cursor
// made for the system's size.

#include <gtest/gtest.h>

#include <cmath>

#include "app/assets/assets.h"
#include "ui/paint.h"
#include "ui/scale.h"

namespace tinctora::ui {
namespace {

constexpr double kScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.25, 3.0, 96.0 / 72.0};

TEST(Scale, EdgesRoundHalfUpAndComeBackFromTheirDevicePixel) {
  EXPECT_EQ(DeviceEdge(607, 1.5), 911);  // 910.5
  EXPECT_EQ(DeviceEdge(401, 1.5), 602);  // 601.5
  EXPECT_EQ(DeviceEdge(607, 1.25), 759);
  EXPECT_EQ(DeviceEdge(-3, 1.5), -4);    // -4.5 rounds up to -4
  for (const double s : kScales) {
    for (int a = -40; a < 2000; ++a) {
      // A toolkit that places in its own scaled units finds the layout
      // place again from the device edge, and so the same pixel.
      ASSERT_EQ(static_cast<int>(std::lround(DeviceEdge(a, s) / s)), a) << a << " at " << s;
      ASSERT_LE(DeviceEdge(a, s), DeviceEdge(a + 1, s));
    }
  }
  EXPECT_EQ(LineWidth(1.0), 1);
  EXPECT_EQ(LineWidth(1.25), 1);
  EXPECT_EQ(LineWidth(1.5), 2);
  EXPECT_EQ(LineWidth(2.0), 2);
  EXPECT_EQ(DeviceLength(1, 0.4), 1);
}

TEST(Scale, EveryDevicePixelOfAClientLandsOnOneUnitAndEveryUnitOnItsPixels) {
  for (const double s : kScales) {
    for (const int units : {1, 9, 36, 182, 211, 219}) {
      const int pixels = DeviceEdge(units, s);
      int last = -1;
      for (int d = 0; d < pixels; ++d) {
        const int u = LayoutOffset(d, pixels, units, s);
        ASSERT_GE(u, 0);
        ASSERT_LT(u, units);
        ASSERT_GE(u, last);
        last = u;
      }
      for (int u = 0; u < units; ++u) {
        const int d = DeviceOffset(u, pixels, units, s);
        ASSERT_GE(d, 0);
        ASSERT_LT(d, pixels);
        ASSERT_EQ(LayoutOffset(d, pixels, units, s), u) << u << " of " << units << " at " << s;
      }
      // Outside the client the offsets go on at the same rate.
      EXPECT_LT(LayoutOffset(-1, pixels, units, s), 0);
      EXPECT_GE(LayoutOffset(pixels, pixels, units, s), units);
    }
  }
}

int DrawnPixels(const CursorImage& cursor) {
  int n = 0;
  for (int y = 0; y < cursor.picture.Height(); ++y) {
    for (int x = 0; x < cursor.picture.Width(); ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * cursor.picture.Width() + x;
      if (cursor.picture.mask[i] == 0 || (cursor.picture.colour.At(x, y) & 0xFFFFFF) != 0) ++n;
    }
  }
  return n;
}

TEST(ScaleCursor, TheReticleIsMadeAtTheSystemsSizeItsPixelsWhole) {
  const auto reticle = DecodeCursor(app::ReticleCursor());
  ASSERT_TRUE(reticle.has_value());
  ASSERT_EQ(reticle->picture.Width(), 32);
  const int drawn = DrawnPixels(*reticle);
  // At 1: as it is.
  const CursorImage same = ScaleCursor(*reticle, 32);
  EXPECT_EQ(same.picture.Width(), 32);
  EXPECT_EQ(same.hotSpot, reticle->hotSpot);
  EXPECT_EQ(DrawnPixels(same), drawn);
  // At 1.5 (48): twice as large, the clear margin cut, the hot spot on the
  // middle of its doubled pixel, which is the pixel the reticle centres on.
  const CursorImage large = ScaleCursor(*reticle, 48);
  EXPECT_EQ(large.picture.Width(), 48);
  EXPECT_EQ(large.picture.Height(), 48);
  EXPECT_EQ(DrawnPixels(large), 4 * drawn);
  const int hx = reticle->hotSpot.x;
  const int hy = reticle->hotSpot.y;
  EXPECT_EQ(large.picture.colour.At(large.hotSpot.x, large.hotSpot.y), reticle->picture.colour.At(hx, hy));
  EXPECT_EQ(large.picture.mask[static_cast<std::size_t>(large.hotSpot.y) * 48 + large.hotSpot.x],
            reticle->picture.mask[static_cast<std::size_t>(hy) * 32 + hx]);
  // At 1.25 (40): the nearest whole number is 1, the reticle centred in 40.
  const CursorImage near = ScaleCursor(*reticle, 40);
  EXPECT_EQ(near.picture.Width(), 40);
  EXPECT_EQ(DrawnPixels(near), drawn);
  EXPECT_EQ(near.hotSpot.x, hx + 4);
  // At 2 (64): twice, nothing cut.
  const CursorImage twice = ScaleCursor(*reticle, 64);
  EXPECT_EQ(twice.picture.Width(), 64);
  EXPECT_EQ(twice.hotSpot.x, 2 * hx + 1);
  EXPECT_EQ(DrawnPixels(twice), 4 * drawn);
}

TEST(ScalePicture, ThePadsReticleGrowsAWholeNumberOfTimesWhileWhatItDrawsFits) {
  const auto reticle = DecodePicture(app::ReticleCursor());
  ASSERT_TRUE(reticle.has_value());
  const auto black = [](const Image& image) {
    int n = 0;
    for (int y = 0; y < image.Height(); ++y) {
      for (int x = 0; x < image.Width(); ++x) n += (image.At(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
    }
    return n;
  };
  // The pad's client area: 36 units, 36 pixels at 1, 55 at 1.5, 74 at 2.
  Image one(36, 36);
  PaintPicBox(one, RgbPixel(255, 255, 255), &*reticle, PictureMode::CentreScaleDown, StretchQuality::Halftone, 1.0);
  const int atOne = black(one);
  ASSERT_GT(atOne, 0);
  // At 1.5 the whole 64-pixel picture would not fit, but its 38-pixel
  // drawing does: twice as large, each pixel a 2 x 2 block, nothing cut.
  Image half(55, 55);
  PaintPicBox(half, RgbPixel(255, 255, 255), &*reticle, PictureMode::CentreScaleDown, StretchQuality::Halftone, 1.5);
  EXPECT_EQ(black(half), 4 * atOne);
  Image two(74, 74);
  PaintPicBox(two, RgbPixel(255, 255, 255), &*reticle, PictureMode::CentreScaleDown, StretchQuality::Halftone, 2.0);
  EXPECT_EQ(black(two), 4 * atOne);
  // Too small for its drawing even once: shrunk as before.
  Image tiny(12, 12);
  PaintPicBox(tiny, RgbPixel(255, 255, 255), &*reticle, PictureMode::CentreScaleDown, StretchQuality::Halftone, 2.0);
  EXPECT_LT(black(tiny), atOne);
}

}  // namespace
}  // namespace tinctora::ui
