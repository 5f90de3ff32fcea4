#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "graphics/stretch.h"
#include "tests/graphics/image_helpers.h"

namespace tinctora::gfx {
namespace {

using testing::FromRgb;
using testing::Hex;

Image Grey(int width, int height, const std::vector<int>& levels) {
  Image image(width, height);
  for (int i = 0; i < width * height; ++i) {
    const int v = levels[static_cast<std::size_t>(i)];
    image.Set(i % width, i / width, RgbPixel(v, v, v));
  }
  return image;
}

std::vector<int> Levels(const Image& image) {
  std::vector<int> out;
  for (Pixel p : image.Pixels()) out.push_back(static_cast<int>(p & 0xFF));
  return out;
}

Image RandomImage(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.Set(x, y, random() & 0xFFFFFF);
  }
  return image;
}

Image Stretched(const Image& src, int width, int height, StretchQuality q) {
  Image dst(width, height, FromRgb(0xABCDEF));
  StretchImage(src, dst, q);
  return dst;
}

struct StretchCase {
  const char* name;
  int srcWidth, srcHeight;
  std::vector<int> src;
  int dstWidth, dstHeight;
  std::vector<int> halftone;
  std::vector<int> dropRepeat;
};

void RunStretchTable(const std::vector<StretchCase>& cases) {
  for (const StretchCase& c : cases) {
    const Image src = Grey(c.srcWidth, c.srcHeight, c.src);
    EXPECT_EQ(Levels(Stretched(src, c.dstWidth, c.dstHeight, StretchQuality::Halftone)), c.halftone)
        << "halftone: " << c.name;
    EXPECT_EQ(Levels(Stretched(src, c.dstWidth, c.dstHeight, StretchQuality::DropRepeat)), c.dropRepeat)
        << "drop-repeat: " << c.name;
  }
}

TEST(Stretch, SmallKnownImages) {
  RunStretchTable({
      {"one pixel fills everything", 1, 1, {77}, 3, 2, {77, 77, 77, 77, 77, 77}, {77, 77, 77, 77, 77, 77}},
      {"same size is a copy", 2, 2, {1, 2, 3, 4}, 2, 2, {1, 2, 3, 4}, {1, 2, 3, 4}},
      // The middle pixel straddles both source pixels equally: 127.5 rounds up.
      {"2 to 3 across", 2, 1, {0, 255}, 3, 1, {0, 128, 255}, {0, 0, 255}},
      {"doubling repeats", 2, 1, {10, 200}, 4, 1, {10, 10, 200, 200}, {10, 10, 200, 200}},
      {"halving averages pairs", 4, 1, {0, 100, 200, 255}, 2, 1, {50, 228}, {0, 200}},
      {"3 to 2 weights a half pixel", 3, 1, {0, 90, 180}, 2, 1, {30, 150}, {0, 90}},
      {"down a column", 1, 3, {0, 90, 180}, 1, 2, {30, 150}, {0, 90}},
      // Centre of 2x2 -> 3x3 is the mean of all four; edge middles of two.
      {"2x2 to 3x3", 2, 2, {0, 10, 20, 30}, 3, 3, {0, 5, 10, 10, 15, 20, 20, 25, 30}, {0, 0, 10, 0, 0, 10, 20, 20, 30}},
      {"to one pixel is the mean", 3, 2, {0, 10, 20, 30, 40, 51}, 1, 1, {25}, {0}},
  });
}

// An independent reference: overlaps computed in real numbers.
Pixel AreaAverage(const Image& src, int dw, int dh, int dx, int dy, bool& nearTie) {
  const double sx0 = static_cast<double>(dx) * src.Width() / dw;
  const double sx1 = static_cast<double>(dx + 1) * src.Width() / dw;
  const double sy0 = static_cast<double>(dy) * src.Height() / dh;
  const double sy1 = static_cast<double>(dy + 1) * src.Height() / dh;
  double sum[3] = {0, 0, 0};
  for (int y = static_cast<int>(std::floor(sy0)); y < src.Height() && y < sy1; ++y) {
    const double wy = std::min<double>(y + 1, sy1) - std::max<double>(y, sy0);
    for (int x = static_cast<int>(std::floor(sx0)); x < src.Width() && x < sx1; ++x) {
      const double w = wy * (std::min<double>(x + 1, sx1) - std::max<double>(x, sx0));
      const Pixel p = src.At(x, y);
      for (int c = 0; c < 3; ++c) sum[c] += w * ((p >> (8 * c)) & 0xFF);
    }
  }
  const double area = (sx1 - sx0) * (sy1 - sy0);
  int out[3];
  nearTie = false;
  for (int c = 0; c < 3; ++c) {
    const double v = sum[c] / area;
    nearTie = nearTie || std::abs(v - std::floor(v) - 0.5) < 1e-6;
    out[c] = static_cast<int>(std::floor(v + 0.5));
  }
  return RgbPixel(out[0], out[1], out[2]);
}

TEST(Stretch, HalftoneIsTheExactAreaAverage) {
  struct Size {
    int sw, sh, dw, dh;
  };
  for (const Size s : {Size{21, 21, 219, 215}, Size{21, 21, 221, 217}, Size{627, 377, 211, 108}, Size{5, 3, 2, 7},
                       Size{7, 9, 3, 4}, Size{11, 11, 11, 30}, Size{32, 32, 20, 20}}) {
    const Image src = RandomImage(s.sw, s.sh, static_cast<unsigned>(s.sw * 1000 + s.dw));
    const Image dst = Stretched(src, s.dw, s.dh, StretchQuality::Halftone);
    int wrong = 0;
    for (int y = 0; y < s.dh && wrong < 3; ++y) {
      for (int x = 0; x < s.dw && wrong < 3; ++x) {
        bool nearTie = false;
        const Pixel expected = AreaAverage(src, s.dw, s.dh, x, y, nearTie);
        if (nearTie) continue;  // the real-number reference cannot tell which way a tie goes
        if (dst.At(x, y) != expected) {
          ++wrong;
          ADD_FAILURE() << s.sw << "x" << s.sh << " -> " << s.dw << "x" << s.dh << " at " << x << "," << y << ": "
                        << Hex(dst.At(x, y)) << " instead of " << Hex(expected);
        }
      }
    }
  }
}

TEST(Stretch, DropRepeatTakesWholeSourcePixels) {
  const Image src = RandomImage(21, 21, 5);
  const Image dst = Stretched(src, 219, 215, StretchQuality::DropRepeat);
  for (int y = 0; y < 215; ++y) {
    for (int x = 0; x < 219; ++x) {
      ASSERT_EQ(dst.At(x, y), src.At(x * 21 / 219, y * 21 / 215)) << x << "," << y;
    }
  }
}

TEST(Stretch, ZoomSnapshotKeepsThePointerPixelAtTheCentre) {
  // The zoom view: 21 x 21 around the pointer over the 219 x 215 panel. The
  // crosshair marks column 110, row 108 when drawn at the panel's outer size.
  Image src(21, 21, FromRgb(0x000000));
  src.Set(10, 10, FromRgb(0xFF8040));
  for (const StretchQuality q : {StretchQuality::Halftone, StretchQuality::DropRepeat}) {
    const char* name = q == StretchQuality::Halftone ? "halftone" : "drop-repeat";
    const Image dst = Stretched(src, 219, 215, q);
    EXPECT_EQ(Hex(dst.At(109, 107)), "FF8040") << name;

    Image panel(219, 215);
    StretchInto(src, panel, Rect{0, 0, 221, 217}, q);
    EXPECT_EQ(Hex(panel.At(110, 108)), "FF8040") << name;
    EXPECT_EQ(Hex(panel.At(0, 0)), "000000") << name;
  }
}

TEST(Stretch, ClippedStretchMatchesTheVisiblePartOfTheWhole) {
  const Image src = RandomImage(21, 21, 9);
  for (const StretchQuality q : {StretchQuality::Halftone, StretchQuality::DropRepeat}) {
    const Image whole = Stretched(src, 221, 217, q);
    Image part(100, 90, FromRgb(0x123456));
    const Rect r{-60, -40, 161, 177};  // 221 x 217, hanging off the top left
    StretchInto(src, part, r, q);
    for (int y = 0; y < 90; ++y) {
      for (int x = 0; x < 100; ++x) {
        ASSERT_EQ(part.At(x, y), whole.At(x + 60, y + 40)) << x << "," << y;
      }
    }
    // Inside a larger image: the pixels around the rectangle stay as they were.
    Image big(60, 60, FromRgb(0x123456));
    StretchInto(src, big, Rect{5, 7, 40, 47}, q);
    const Image alone = Stretched(src, 35, 40, q);
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 60; ++x) {
        const bool inside = x >= 5 && x < 40 && y >= 7 && y < 47;
        ASSERT_EQ(big.At(x, y), inside ? alone.At(x - 5, y - 7) : FromRgb(0x123456)) << x << "," << y;
      }
    }
    // A rectangle off the image, and an empty source, leave it untouched.
    Image untouched(10, 10, FromRgb(0x123456));
    StretchInto(src, untouched, Rect{10, 0, 30, 10}, q);
    StretchInto(Image(), untouched, Rect{0, 0, 10, 10}, q);
    StretchInto(src, untouched, Rect{5, 5, 5, 9}, q);
    EXPECT_EQ(untouched.Pixels(), Image(10, 10, FromRgb(0x123456)).Pixels());
  }
}

TEST(Stretch, RepeatedGeometryGivesTheSameResult) {
  // The weights are kept between calls; a different geometry must not reuse them.
  const Image a = RandomImage(21, 21, 1);
  const Image b = RandomImage(13, 8, 2);
  const Image first = Stretched(a, 219, 215, StretchQuality::Halftone);
  const Image other = Stretched(b, 219, 215, StretchQuality::Halftone);
  EXPECT_EQ(Stretched(a, 219, 215, StretchQuality::Halftone).Pixels(), first.Pixels());
  EXPECT_EQ(Stretched(b, 219, 215, StretchQuality::Halftone).Pixels(), other.Pixels());
}

// ---------------------------------------------------------------------------
// The stretch against a straightforward one that computes every destination
// pixel on its own, over many sizes, pictures, clips and offsets.

// In units where a source pixel is dstSize long and a destination pixel
// srcSize long, destination pixel d covers [d * srcSize, (d + 1) * srcSize).
std::int64_t Overlap(std::int64_t s, std::int64_t d, std::int64_t srcSize, std::int64_t dstSize) {
  const std::int64_t lo = std::max(s * dstSize, d * srcSize);
  const std::int64_t hi = std::min((s + 1) * dstSize, (d + 1) * srcSize);
  return std::max<std::int64_t>(hi - lo, 0);
}

Image ReferenceStretch(const Image& src, int dw, int dh, StretchQuality q) {
  const std::int64_t sw = src.Width();
  const std::int64_t sh = src.Height();
  Image out(dw, dh);
  for (int dy = 0; dy < dh; ++dy) {
    for (int dx = 0; dx < dw; ++dx) {
      if (q == StretchQuality::DropRepeat) {
        out.Set(dx, dy, src.At(static_cast<int>(dx * sw / dw), static_cast<int>(dy * sh / dh)) & 0xFFFFFF);
        continue;
      }
      std::uint64_t sum[3] = {0, 0, 0};
      for (std::int64_t sy = dy * sh / dh; sy < sh; ++sy) {
        const std::int64_t wy = Overlap(sy, dy, sh, dh);
        if (wy == 0) break;
        for (std::int64_t sx = dx * sw / dw; sx < sw; ++sx) {
          const std::int64_t wx = Overlap(sx, dx, sw, dw);
          if (wx == 0) break;
          const Pixel p = src.At(static_cast<int>(sx), static_cast<int>(sy));
          for (int c = 0; c < 3; ++c) sum[c] += static_cast<std::uint64_t>(wx * wy) * ((p >> (8 * c)) & 0xFF);
        }
      }
      const std::uint64_t area = static_cast<std::uint64_t>(sw * sh);
      int v[3];
      for (int c = 0; c < 3; ++c) v[c] = static_cast<int>((sum[c] + area / 2) / area);
      out.Set(dx, dy, RgbPixel(v[0], v[1], v[2]));
    }
  }
  return out;
}

// What StretchInto must leave in dst: the reference stretched to r, its part
// inside dst copied over, every other pixel as it was.
Image ReferenceInto(const Image& src, const Image& dst, const Rect& r, StretchQuality q) {
  Image expected = dst;
  if (src.Empty() || r.Empty()) return expected;
  const Image whole = ReferenceStretch(src, r.Width(), r.Height(), q);
  for (int y = std::max(r.top, 0); y < std::min(r.bottom, dst.Height()); ++y) {
    for (int x = std::max(r.left, 0); x < std::min(r.right, dst.Width()); ++x) {
      expected.Set(x, y, whole.At(x - r.left, y - r.top));
    }
  }
  return expected;
}

// Pictures with the top byte set (it must not reach the result), and all-white
// ones, whose channel sums are the largest a size can give.
enum class Content { Mixed, White };

Image TestPicture(int width, int height, std::mt19937& random, Content content) {
  Image image(width, height);
  const bool white = content == Content::White || random() % 8 == 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.Set(x, y, white ? 0xFFFFFFFFu : static_cast<Pixel>(random()));
  }
  return image;
}

struct IntoCase {
  int srcWidth, srcHeight;
  int dstWidth, dstHeight;
  Rect r;
};

std::string Describe(const IntoCase& c, StretchQuality q) {
  return std::to_string(c.srcWidth) + "x" + std::to_string(c.srcHeight) + " into " + std::to_string(c.dstWidth) +
         "x" + std::to_string(c.dstHeight) + " at " + std::to_string(c.r.left) + "," + std::to_string(c.r.top) +
         " size " + std::to_string(c.r.Width()) + "x" + std::to_string(c.r.Height()) +
         (q == StretchQuality::Halftone ? " halftone" : " drop-repeat");
}

// Stretches two pictures with the case's geometry (the second reuses what the
// first one left behind) and compares both with the reference. Returns false
// after reporting the first differing pixel.
bool MatchesReference(const IntoCase& c, StretchQuality q, std::mt19937& random, Content second) {
  for (int round = 0; round < 2; ++round) {
    const Image src = TestPicture(c.srcWidth, c.srcHeight, random, round == 0 ? Content::Mixed : second);
    const Image before = TestPicture(c.dstWidth, c.dstHeight, random, Content::Mixed);
    Image dst = before;
    StretchInto(src, dst, c.r, q);
    const Image expected = ReferenceInto(src, before, c.r, q);
    for (int y = 0; y < c.dstHeight; ++y) {
      for (int x = 0; x < c.dstWidth; ++x) {
        if (dst.At(x, y) != expected.At(x, y)) {
          ADD_FAILURE() << Describe(c, q) << ", picture " << round << ": at " << x << "," << y << " "
                        << std::hex << dst.At(x, y) << " instead of " << expected.At(x, y);
          return false;
        }
      }
    }
  }
  return true;
}

void RunIntoCases(const std::vector<IntoCase>& cases, std::mt19937& random, Content second = Content::Mixed) {
  for (const IntoCase& c : cases) {
    for (const StretchQuality q : {StretchQuality::Halftone, StretchQuality::DropRepeat}) {
      if (!MatchesReference(c, q, random, second)) return;
    }
  }
}

TEST(StretchReference, ZoomAndPaletteGeometries) {
  std::mt19937 random(7);
  RunIntoCases(
      {
          // The zoom view: the whole snapshot, and the clipped ones at the
          // edges of the screen, drawn at the panel's outer size onto its
          // client area.
          {21, 21, 219, 215, {0, 0, 221, 217}},
          {21, 21, 219, 215, {0, 0, 219, 215}},
          {11, 11, 219, 215, {0, 0, 221, 217}},
          {11, 21, 219, 215, {0, 0, 221, 217}},
          {21, 16, 219, 215, {0, 0, 221, 217}},
          {1, 1, 219, 215, {0, 0, 221, 217}},
          // The palette shrunk into its box, and drawn at its own size.
          {627, 377, 211, 108, {0, 0, 211, 108}},
          {40, 30, 40, 30, {0, 0, 40, 30}},
      },
      random);
}

TEST(StretchReference, PicturesAroundTheLargestCompactArea) {
  // 16 x 513 = 8208 is the largest source area whose channel sums (at most
  // 255.5 x the area) fit in 21 bits; 10 x 821 is a little more.
  std::mt19937 random(19);
  std::vector<IntoCase> cases;
  for (const auto& [w, h] : {std::pair{16, 513}, std::pair{513, 16}, std::pair{10, 821}, std::pair{821, 10}}) {
    cases.push_back({w, h, 40, 40, {0, 0, 40, 40}});          // shrunk
    cases.push_back({w, h, 60, 60, {-5, -300, 55, 340}});     // stretched one way, shrunk the other
    cases.push_back({w, h, 30, 50, {0, 0, 3 * w, h / 7}});
  }
  // Larger pictures stretched up both ways, whole and clipped.
  cases.push_back({100, 90, 250, 200, {0, 0, 250, 200}});
  cases.push_back({100, 90, 120, 100, {-70, -33, 230, 257}});
  RunIntoCases(cases, random, Content::White);
}

TEST(StretchReference, OnePixelSizes) {
  std::mt19937 random(11);
  std::vector<IntoCase> cases;
  for (const int n : {1, 2, 3, 7, 20, 33}) {
    cases.push_back({1, 1, n, n, {0, 0, n, n}});      // one source pixel over everything
    cases.push_back({n, n, 1, 1, {0, 0, 1, 1}});      // everything into one pixel
    cases.push_back({n, 1, 1, n, {0, 0, 1, n}});      // a row into a column
    cases.push_back({1, n, n, 1, {0, 0, n, 1}});      // and back
    cases.push_back({n, 5, 9, 9, {0, 0, 1, 9}});      // one destination column
    cases.push_back({5, n, 9, 9, {0, 4, 9, 5}});      // one destination row
  }
  RunIntoCases(cases, random);
}

TEST(StretchReference, RandomSizesClipsAndOffsets) {
  std::mt19937 random(2024);
  // Mostly small sizes, some that upscale or shrink a lot, and pictures big
  // enough that the channel sums need more than the compact form holds.
  const auto side = [&random]() {
    const unsigned kind = random() % 10;
    if (kind < 6) return 1 + static_cast<int>(random() % 24);
    if (kind < 9) return 1 + static_cast<int>(random() % 80);
    return 81 + static_cast<int>(random() % 120);
  };
  std::vector<IntoCase> cases;
  for (int i = 0; i < 1500; ++i) {
    IntoCase c{};
    c.srcWidth = side();
    c.srcHeight = side();
    c.dstWidth = 1 + static_cast<int>(random() % 60);
    c.dstHeight = 1 + static_cast<int>(random() % 60);
    const int w = side();
    const int h = side();
    // Rectangles inside the image, hanging off any side, or larger than it.
    const int left = static_cast<int>(random() % 80) - 40;
    const int top = static_cast<int>(random() % 80) - 40;
    c.r = {left, top, left + w, top + h};
    cases.push_back(c);
  }
  RunIntoCases(cases, random);
}

TEST(StretchReference, EmptyOrOffImageRectanglesChangeNothing) {
  std::mt19937 random(3);
  RunIntoCases(
      {
          {5, 5, 10, 10, {10, 0, 30, 10}},   // right of the image
          {5, 5, 10, 10, {-20, 0, 0, 10}},   // left of it
          {5, 5, 10, 10, {0, -9, 10, 0}},    // above
          {5, 5, 10, 10, {0, 10, 10, 19}},   // below
          {5, 5, 10, 10, {5, 5, 5, 9}},      // no width
          {5, 5, 10, 10, {4, 5, 2, 9}},      // right before left
      },
      random);
}

// ---------------------------------------------------------------------------
// Drawing pictures with a mask or alpha.

TEST(DrawPicture, MaskKeepsInvertsOrReplaces) {
  Picture p;
  p.colour = Image(4, 1);
  p.colour.Set(0, 0, FromRgb(0x000000));  // mask 1: transparent
  p.colour.Set(1, 0, FromRgb(0xFFFFFF));  // mask 1: inverts the screen
  p.colour.Set(2, 0, FromRgb(0xFF0000));  // mask 0: replaces
  p.colour.Set(3, 0, FromRgb(0x0000FF));  // mask 1: XOR-ed in
  p.mask = {1, 1, 0, 1};
  Image dst(4, 1, FromRgb(0x123456));
  DrawPicture(dst, p, Rect{0, 0, 4, 1}, StretchQuality::Halftone);
  EXPECT_EQ(Hex(dst.At(0, 0)), "123456");
  EXPECT_EQ(Hex(dst.At(1, 0)), "EDCBA9");
  EXPECT_EQ(Hex(dst.At(2, 0)), "FF0000");
  EXPECT_EQ(Hex(dst.At(3, 0)), "1234A9");
}

TEST(DrawPicture, StretchedMaskStaysWholePixels) {
  Picture p;
  p.colour = Image(1, 1, FromRgb(0xFFFFFF));
  p.mask = {1};
  Image dst(5, 5, FromRgb(0x00FF00));
  DrawPicture(dst, p, Rect{1, 1, 4, 4}, StretchQuality::Halftone);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 4;
      EXPECT_EQ(Hex(dst.At(x, y)), inside ? "FF00FF" : "00FF00") << x << "," << y;
    }
  }
}

TEST(DrawPicture, AlphaBlendsAndClips) {
  Picture p;
  p.colour = Image(3, 1, FromRgb(0xFFFFFF));
  p.alpha = {0, 255, 128};
  Image dst(3, 2, FromRgb(0x000000));
  DrawPicture(dst, p, Rect{0, 0, 3, 1}, StretchQuality::Halftone);
  EXPECT_EQ(Hex(dst.At(0, 0)), "000000");
  EXPECT_EQ(Hex(dst.At(1, 0)), "FFFFFF");
  EXPECT_EQ(Hex(dst.At(2, 0)), "808080");

  // Drawn hanging off the left and the bottom: only the visible part lands.
  Image clipped(2, 2, FromRgb(0x000000));
  DrawPicture(clipped, p, Rect{-1, 1, 2, 2}, StretchQuality::Halftone);
  EXPECT_EQ(Hex(clipped.At(0, 1)), "FFFFFF");
  EXPECT_EQ(Hex(clipped.At(1, 1)), "808080");
  EXPECT_EQ(Hex(clipped.At(0, 0)), "000000");
}

TEST(DrawPicture, TranslucentPixelsRoundTheirBlend) {
  // Over black at alpha 200 the channels 1, 2, 3 give 0.78, 1.57, 2.35:
  // rounded 1, 2, 2 (truncated they would be 0, 1, 2).
  Picture picture;
  picture.colour = Image(1, 1, RgbPixel(1, 2, 3));
  picture.alpha = {200};
  for (const StretchQuality quality : {StretchQuality::Halftone, StretchQuality::DropRepeat}) {
    Image target(2, 1, RgbPixel(0, 0, 0));
    DrawPicture(target, picture, {0, 0, 1, 1}, quality);
    EXPECT_EQ(Hex(target.At(0, 0)), Hex(RgbPixel(1, 2, 2)));
    EXPECT_EQ(Hex(target.At(1, 0)), Hex(RgbPixel(0, 0, 0))) << "outside the rectangle";
  }
  // Fully opaque and fully transparent pixels are exact.
  picture.colour = Image(2, 1, RgbPixel(200, 100, 50));
  picture.alpha = {255, 0};
  Image target(2, 1, RgbPixel(9, 8, 7));
  DrawPicture(target, picture, {0, 0, 2, 1}, StretchQuality::Halftone);
  EXPECT_EQ(Hex(target.At(0, 0)), Hex(RgbPixel(200, 100, 50)));
  EXPECT_EQ(Hex(target.At(1, 0)), Hex(RgbPixel(9, 8, 7)));
}

}  // namespace
}  // namespace tinctora::gfx
