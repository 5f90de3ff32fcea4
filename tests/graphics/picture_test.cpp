#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/assets/assets.h"
#include "graphics/picture.h"
#include "tests/graphics/image_helpers.h"

namespace tinctora::gfx {
namespace {

using testing::FromRgb;
using testing::Hex;
using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------
// Building files byte by byte.

void Put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Set16(Bytes& b, std::size_t at, unsigned v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutBe32(Bytes& b, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutInfoHeader(Bytes& b, int width, int height, int bpp, std::uint32_t coloursUsed = 0) {
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(width));
  Put32(b, static_cast<std::uint32_t>(height));
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(bpp));
  Put32(b, 0);  // uncompressed
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, 0);
  Put32(b, coloursUsed);
  Put32(b, 0);
}

// Pixel rows of a DIB, each padded to 4 bytes; `row(y, out)` appends row y's
// pixel bytes. Bottom row first unless topDown.
void PutRows(Bytes& b, int height, bool topDown, const std::function<void(int, Bytes&)>& row) {
  for (int i = 0; i < height; ++i) {
    const int y = topDown ? i : height - 1 - i;
    Bytes r;
    row(y, r);
    while (r.size() % 4 != 0) r.push_back(0);
    b.insert(b.end(), r.begin(), r.end());
  }
}

// Packs palette indices of `bpp` bits, leftmost pixel in the high bits.
void PackIndices(const std::vector<int>& indices, int bpp, Bytes& out) {
  unsigned acc = 0;
  int bits = 0;
  for (int index : indices) {
    acc = (acc << bpp) | static_cast<unsigned>(index);
    bits += bpp;
    if (bits == 8) {
      out.push_back(static_cast<std::uint8_t>(acc));
      acc = 0;
      bits = 0;
    }
  }
  if (bits > 0) out.push_back(static_cast<std::uint8_t>(acc << (8 - bits)));
}

struct IconSpec {
  int width = 0;
  int height = 0;
  int bpp = 24;
  std::vector<Pixel> palette;             // for bpp <= 8
  std::vector<int> indices;               // for bpp <= 8, top row first
  std::vector<Pixel> pixels;              // for 24 and 32 bpp, top row first
  std::vector<std::uint8_t> alpha;        // for 32 bpp
  std::vector<int> mask;                  // 0/1, top row first; empty = all 0
  std::uint16_t type = 2;
  Point hotSpot{0, 0};
};

Bytes MakeIcon(const IconSpec& s) {
  Bytes image;
  PutInfoHeader(image, s.width, s.height * 2, s.bpp, static_cast<std::uint32_t>(s.palette.size()));
  for (Pixel p : s.palette) {
    image.push_back(static_cast<std::uint8_t>(p >> 16));
    image.push_back(static_cast<std::uint8_t>(p >> 8));
    image.push_back(static_cast<std::uint8_t>(p));
    image.push_back(0);
  }
  PutRows(image, s.height, false, [&](int y, Bytes& r) {
    if (s.bpp <= 8) {
      PackIndices({s.indices.begin() + y * s.width, s.indices.begin() + (y + 1) * s.width}, s.bpp, r);
      return;
    }
    for (int x = 0; x < s.width; ++x) {
      const Pixel p = s.pixels[static_cast<std::size_t>(y * s.width + x)];
      r.push_back(static_cast<std::uint8_t>(p >> 16));
      r.push_back(static_cast<std::uint8_t>(p >> 8));
      r.push_back(static_cast<std::uint8_t>(p));
      if (s.bpp == 32) r.push_back(s.alpha[static_cast<std::size_t>(y * s.width + x)]);
    }
  });
  PutRows(image, s.height, false, [&](int y, Bytes& r) {
    std::vector<int> bits(static_cast<std::size_t>(s.width), 0);
    if (!s.mask.empty()) bits.assign(s.mask.begin() + y * s.width, s.mask.begin() + (y + 1) * s.width);
    PackIndices(bits, 1, r);
  });
  Bytes file;
  Put16(file, 0);
  Put16(file, s.type);
  Put16(file, 1);
  file.push_back(static_cast<std::uint8_t>(s.width));
  file.push_back(static_cast<std::uint8_t>(s.height));
  file.push_back(0);
  file.push_back(0);
  Put16(file, static_cast<unsigned>(s.hotSpot.x));
  Put16(file, static_cast<unsigned>(s.hotSpot.y));
  Put32(file, static_cast<std::uint32_t>(image.size()));
  Put32(file, 22);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

Bytes MakeBmp(int width, int height, int bpp, bool topDown, const std::vector<Pixel>& pixels) {
  Bytes body;
  PutInfoHeader(body, width, topDown ? -height : height, bpp);
  PutRows(body, height, topDown, [&](int y, Bytes& r) {
    for (int x = 0; x < width; ++x) {
      const Pixel p = pixels[static_cast<std::size_t>(y * width + x)];
      r.push_back(static_cast<std::uint8_t>(p >> 16));
      r.push_back(static_cast<std::uint8_t>(p >> 8));
      r.push_back(static_cast<std::uint8_t>(p));
      if (bpp == 32) r.push_back(0);
    }
  });
  Bytes file{'B', 'M'};
  Put32(file, static_cast<std::uint32_t>(14 + body.size()));
  Put32(file, 0);
  Put32(file, 54);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

void PutChunk(Bytes& png, const char* kind, const Bytes& data) {
  PutBe32(png, static_cast<std::uint32_t>(data.size()));
  Bytes body(kind, kind + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  PutBe32(png, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

// A PNG file from raw scanlines (filter bytes added here).
Bytes MakePng(std::uint32_t width, std::uint32_t height, int depth, int colourType,
              const std::vector<Bytes>& rows, const Bytes& plte = {}, const Bytes& trns = {}) {
  Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.push_back(static_cast<std::uint8_t>(depth));
  ihdr.push_back(static_cast<std::uint8_t>(colourType));
  ihdr.push_back(0);
  ihdr.push_back(0);
  ihdr.push_back(0);
  PutChunk(png, "IHDR", ihdr);
  if (!plte.empty()) PutChunk(png, "PLTE", plte);
  if (!trns.empty()) PutChunk(png, "tRNS", trns);
  Bytes raw;
  for (const Bytes& row : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), row.begin(), row.end());
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(size);
  compress(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(size);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", {});
  return png;
}

Bytes ToBytes(std::span<const std::uint8_t> s) { return {s.begin(), s.end()}; }

// ---------------------------------------------------------------------------
// The palette image as the palette box shows it: a white frame around 15 rows
// of 25 flat cells, hues across, light to dark downwards, a grey ramp last.

constexpr int kCellSize = 25;
constexpr int kCellRows = 15;
constexpr int kCellColumns = 25;

int Red(Pixel p) { return static_cast<int>(p & 0xFF); }
int Green(Pixel p) { return static_cast<int>((p >> 8) & 0xFF); }
int Blue(Pixel p) { return static_cast<int>((p >> 16) & 0xFF); }

// Hue in degrees, [0, 360); a grey has none and gives -1.
double Hue(Pixel p) {
  const double r = Red(p), g = Green(p), b = Blue(p);
  const double max = std::max({r, g, b}), min = std::min({r, g, b});
  if (max == min) return -1;
  double h = max == r ? (g - b) / (max - min) : max == g ? 2 + (b - r) / (max - min) : 4 + (r - g) / (max - min);
  h *= 60;
  return h < 0 ? h + 360 : h;
}

// The fully saturated, fully bright colour of a hue, each channel rounded.
Pixel PureHue(double degrees) {
  const auto channel = [&](double n) {
    const double k = std::fmod(n + degrees / 60, 6);
    const double f = 1 - std::max(0.0, std::min({k, 4 - k, 1.0}));
    return static_cast<int>(std::lround(255 * f));
  };
  return RgbPixel(channel(5), channel(3), channel(1));
}

// Row and column from 1, as the cells are counted.
Point CellOrigin(int row, int column) { return {1 + kCellSize * (column - 1), 1 + kCellSize * (row - 1)}; }

Picture PalettePicture() {
  auto picture = DecodePicture(app::PalettePng());
  if (!picture) {
    ADD_FAILURE() << "the embedded palette does not decode";
    return {};
  }
  return *picture;
}

TEST(PaletteAsset, WhiteFrameAroundFlatCells) {
  const Picture picture = PalettePicture();
  ASSERT_EQ(picture.Width(), 2 + kCellSize * kCellColumns);
  ASSERT_EQ(picture.Height(), 2 + kCellSize * kCellRows);
  EXPECT_TRUE(picture.alpha.empty()) << "every pixel is opaque";
  EXPECT_TRUE(picture.mask.empty());

  const Image& image = picture.colour;
  for (int x = 0; x < image.Width(); ++x) {
    ASSERT_EQ(Hex(image.At(x, 0)), "FFFFFF") << "frame at " << x << ",0";
    ASSERT_EQ(Hex(image.At(x, image.Height() - 1)), "FFFFFF") << "frame at " << x << ",bottom";
  }
  for (int y = 0; y < image.Height(); ++y) {
    ASSERT_EQ(Hex(image.At(0, y)), "FFFFFF") << "frame at 0," << y;
    ASSERT_EQ(Hex(image.At(image.Width() - 1, y)), "FFFFFF") << "frame at right," << y;
  }
  for (int row = 1; row <= kCellRows; ++row) {
    for (int column = 1; column <= kCellColumns; ++column) {
      const Point o = CellOrigin(row, column);
      const Pixel colour = image.At(o.x, o.y);
      for (int y = o.y; y < o.y + kCellSize; ++y) {
        for (int x = o.x; x < o.x + kCellSize; ++x) {
          ASSERT_EQ(Hex(image.At(x, y)), Hex(colour))
              << "row " << row << " column " << column << " is not flat at " << x << "," << y;
        }
      }
      // Neighbouring cells differ, so a grid off by a pixel shows above.
      if (column > 1) {
        const Point left = CellOrigin(row, column - 1);
        EXPECT_NE(image.At(left.x, left.y), colour) << "row " << row << " columns " << column - 1 << " and " << column;
      }
    }
  }
}

TEST(PaletteAsset, HuesAcrossLightToDarkDownGreysLast) {
  const Picture picture = PalettePicture();
  ASSERT_EQ(picture.Width(), 627);
  ASSERT_EQ(picture.Height(), 377);
  const auto cell = [&](int row, int column) {
    const Point o = CellOrigin(row, column);
    return picture.colour.At(o.x + kCellSize / 2, o.y + kCellSize / 2);
  };
  const auto brightness = [](Pixel p) { return Red(p) + Green(p) + Blue(p); };

  for (int column = 1; column <= 24; ++column) {
    const double hue = 15.0 * (column - 1);
    EXPECT_EQ(Hex(cell(8, column)), Hex(PureHue(hue))) << "row 8 holds the pure hue of column " << column;
    for (int row = 1; row <= kCellRows; ++row) {
      const double off = std::fabs(std::remainder(Hue(cell(row, column)) - hue, 360.0));
      EXPECT_LT(off, 4.0) << "row " << row << " column " << column << " is " << Hex(cell(row, column));
      if (row > 1) {
        EXPECT_LT(brightness(cell(row, column)), brightness(cell(row - 1, column)))
            << "row " << row << " column " << column << " is not darker than the row above";
      }
    }
  }
  EXPECT_EQ(Hex(cell(1, 25)), "FFFFFF");
  EXPECT_EQ(Hex(cell(15, 25)), "000000");
  for (int row = 1; row <= kCellRows; ++row) {
    const Pixel p = cell(row, 25);
    EXPECT_TRUE(Red(p) == Green(p) && Green(p) == Blue(p)) << "row " << row << " of the grey ramp is " << Hex(p);
    if (row > 1) {
      EXPECT_LT(Red(p), Red(cell(row - 1, 25))) << "grey ramp at row " << row;
    }
  }
}

TEST(PaletteAsset, LandmarkCells) {
  const auto picture = DecodePicture(app::PalettePng());
  ASSERT_TRUE(picture.has_value());
  struct Cell {
    int row, column;
    unsigned rgb;
  };
  for (const Cell c : {Cell{8, 1, 0xFF0000}, Cell{15, 25, 0x000000}, Cell{1, 25, 0xFFFFFF}, Cell{8, 13, 0x00FFFF},
                       Cell{8, 17, 0x0000FF}, Cell{1, 1, 0xFBEFEF}}) {
    // Centre and the four corners of the cell.
    const int left = 1 + 25 * (c.column - 1);
    const int top = 1 + 25 * (c.row - 1);
    for (const Point p : {Point{left + 12, top + 12}, Point{left, top}, Point{left + 24, top}, Point{left, top + 24},
                          Point{left + 24, top + 24}}) {
      EXPECT_EQ(Hex(picture->colour.At(p.x, p.y)), Hex(FromRgb(c.rgb)))
          << "row " << c.row << " column " << c.column << " at " << p.x << "," << p.y;
    }
  }
}

// ---------------------------------------------------------------------------
// The reticle cursor: what the pointer shows during a pick and the picker pad
// shows while idle.

enum class CursorPixel { Transparent, Black, White, Inverting };

CursorPixel KindAt(const Picture& p, int x, int y) {
  const bool keepsScreen = p.mask[static_cast<std::size_t>(y * p.Width() + x)] != 0;
  const Pixel colour = p.colour.At(x, y);
  if (colour != 0 && colour != RgbPixel(255, 255, 255)) {
    ADD_FAILURE() << "neither black nor white at " << x << "," << y << ": " << Hex(colour);
  }
  if (keepsScreen) return colour == 0 ? CursorPixel::Transparent : CursorPixel::Inverting;
  return colour == 0 ? CursorPixel::Black : CursorPixel::White;
}

struct Reticle {
  CursorImage cursor;
  Rect drawn;  // bounding box of every pixel that changes the screen
  CursorPixel At(int x, int y) const { return KindAt(cursor.picture, x, y); }
};

Reticle DecodedReticle() {
  Reticle r;
  const auto cursor = DecodeCursor(app::ReticleCursor());
  if (!cursor || cursor->picture.mask.size() != static_cast<std::size_t>(cursor->picture.Width() * cursor->picture.Height())) {
    ADD_FAILURE() << "the embedded reticle does not decode to a cursor with a mask";
    return r;
  }
  r.cursor = *cursor;
  const Picture& p = r.cursor.picture;
  r.drawn = {p.Width(), p.Height(), 0, 0};
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      if (KindAt(p, x, y) == CursorPixel::Transparent) continue;
      r.drawn = {std::min(r.drawn.left, x), std::min(r.drawn.top, y), std::max(r.drawn.right, x + 1),
                 std::max(r.drawn.bottom, y + 1)};
    }
  }
  return r;
}

TEST(ReticleAsset, CursorCentredOnItsHotSpot) {
  const Reticle r = DecodedReticle();
  const Picture& p = r.cursor.picture;
  ASSERT_EQ(p.Width(), 32);
  ASSERT_EQ(p.Height(), 32);
  EXPECT_TRUE(p.alpha.empty());
  EXPECT_EQ(r.cursor.hotSpot, (Point{15, 16}));
  // A 19 x 19 reticle whose middle pixel is the hot spot; everything around
  // it leaves the screen as it is.
  EXPECT_EQ(r.drawn, (Rect{6, 7, 25, 26}));
  EXPECT_EQ((r.drawn.left + r.drawn.right - 1) / 2, r.cursor.hotSpot.x);
  EXPECT_EQ((r.drawn.top + r.drawn.bottom - 1) / 2, r.cursor.hotSpot.y);
  // The hot spot is the one pixel that inverts the screen.
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      const bool hot = Point{x, y} == r.cursor.hotSpot;
      EXPECT_EQ(r.At(x, y) == CursorPixel::Inverting, hot) << "at " << x << "," << y;
    }
  }
}

TEST(ReticleAsset, ARoundBlackReticleWithAWhiteEdgeAndAClearWindow) {
  const Reticle r = DecodedReticle();
  ASSERT_FALSE(r.drawn.Empty());
  const Point c = r.cursor.hotSpot;
  const int radius = (r.drawn.right - r.drawn.left) / 2;  // 9

  int black = 0;
  int white = 0;
  for (int y = r.drawn.top; y < r.drawn.bottom; ++y) {
    for (int x = r.drawn.left; x < r.drawn.right; ++x) {
      const CursorPixel k = r.At(x, y);
      black += k == CursorPixel::Black;
      white += k == CursorPixel::White;
      if (k == CursorPixel::Transparent) continue;
      const int dx = x - c.x, dy = y - c.y;
      EXPECT_LE(4 * (dx * dx + dy * dy), (2 * radius + 1) * (2 * radius + 1)) << "outside the circle at " << x << "," << y;
    }
  }
  EXPECT_GT(black, white) << "black with a white edge";

  // Coming in from outside, every row and every column meets white first.
  for (int y = r.drawn.top; y < r.drawn.bottom; ++y) {
    int x = r.drawn.left;
    while (r.At(x, y) == CursorPixel::Transparent) ++x;
    EXPECT_EQ(r.At(x, y), CursorPixel::White) << "row " << y << " starts at " << x;
  }
  for (int x = r.drawn.left; x < r.drawn.right; ++x) {
    int y = r.drawn.top;
    while (r.At(x, y) == CursorPixel::Transparent) ++y;
    EXPECT_EQ(r.At(x, y), CursorPixel::White) << "column " << x << " starts at " << y;
  }

  // A clear 3 x 3 window around the hot spot; the cross's middle lines are
  // black from the window out to the white edge in all four directions.
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (dx != 0 || dy != 0) {
        EXPECT_EQ(r.At(c.x + dx, c.y + dy), CursorPixel::Transparent) << dx << "," << dy;
      }
    }
  }
  for (const Point step : {Point{1, 0}, Point{-1, 0}, Point{0, 1}, Point{0, -1}}) {
    for (int d = 2; d < radius; ++d) {
      EXPECT_EQ(r.At(c.x + d * step.x, c.y + d * step.y), CursorPixel::Black) << "arm " << step.x << "," << step.y << " at " << d;
    }
    EXPECT_EQ(r.At(c.x + radius * step.x, c.y + radius * step.y), CursorPixel::White) << "arm end " << step.x << "," << step.y;
  }
}

TEST(ReticleAsset, SymmetricAboutTheHotSpot) {
  const Reticle r = DecodedReticle();
  ASSERT_FALSE(r.drawn.Empty());
  const Point c = r.cursor.hotSpot;
  for (int y = r.drawn.top; y < r.drawn.bottom; ++y) {
    for (int x = r.drawn.left; x < r.drawn.right; ++x) {
      EXPECT_EQ(r.At(x, y), r.At(2 * c.x - x, y)) << "left-right at " << x << "," << y;
      EXPECT_EQ(r.At(x, y), r.At(x, 2 * c.y - y)) << "top-bottom at " << x << "," << y;
    }
  }
}

TEST(ReticleAsset, DecodePictureGivesTheSameImage) {
  const auto picture = DecodePicture(app::ReticleCursor());
  const auto cursor = DecodeCursor(app::ReticleCursor());
  ASSERT_TRUE(picture.has_value());
  ASSERT_TRUE(cursor.has_value());
  EXPECT_EQ(picture->colour.Pixels(), cursor->picture.colour.Pixels());
  EXPECT_EQ(picture->mask, cursor->picture.mask);
}

// ---------------------------------------------------------------------------
// Malformed input: every case gives nothing, and none reads out of bounds
// (run under a sanitizer to see the latter).

Bytes Reticle() { return ToBytes(app::ReticleCursor()); }
Bytes Patched(Bytes b, const std::function<void(Bytes&)>& patch) {
  patch(b);
  return b;
}
Bytes Truncated(Bytes b, std::size_t n) {
  b.resize(n);
  return b;
}

Bytes SmallBmp() { return MakeBmp(3, 2, 24, false, std::vector<Pixel>(6, FromRgb(0x102030))); }
Bytes SmallPng() {
  return MakePng(2, 2, 8, 2, {Bytes{1, 2, 3, 4, 5, 6}, Bytes{7, 8, 9, 10, 11, 12}});
}

struct MalformedCase {
  const char* name;
  Bytes bytes;
};

void ExpectAllRejected(const std::vector<MalformedCase>& cases) {
  for (const MalformedCase& c : cases) {
    EXPECT_FALSE(DecodePicture(c.bytes).has_value()) << "DecodePicture accepted: " << c.name;
    EXPECT_FALSE(DecodeCursor(c.bytes).has_value()) << "DecodeCursor accepted: " << c.name;
  }
}

TEST(DecodeMalformed, GeneralAndPng) {
  const Bytes palette = ToBytes(app::PalettePng());
  ASSERT_TRUE(DecodePicture(SmallPng()).has_value()) << "the base case must decode";
  ExpectAllRejected({
      {"empty", {}},
      {"one byte", {0x89}},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"PNG signature only", Truncated(palette, 8)},
      {"PNG cut inside IHDR", Truncated(palette, 20)},
      {"PNG cut inside IDAT", Truncated(palette, palette.size() / 2)},
      {"PNG without IEND", Truncated(palette, palette.size() - 12)},
      {"PNG with bad IHDR CRC", Patched(palette, [](Bytes& b) { b[29] ^= 0xFF; })},
      {"PNG zero width", MakePng(0, 1, 8, 2, {Bytes{}})},
      {"PNG zero height", MakePng(1, 0, 8, 2, {})},
      {"PNG wider than 4096", MakePng(5000, 1, 8, 0, {Bytes(5000, 0)})},
      {"PNG taller than 4096", MakePng(1, 5000, 1, 0, std::vector<Bytes>(5000, Bytes{0}))},
      {"PNG too little image data", MakePng(4, 4, 8, 2, {Bytes(12, 0)})},
      {"PNG palette image without PLTE", MakePng(1, 1, 8, 3, {Bytes{0}})},
  });
}

TEST(DecodeMalformed, CursorFiles) {
  ASSERT_TRUE(DecodeCursor(Reticle()).has_value()) << "the base case must decode";
  ExpectAllRejected({
      {"directory header only", Truncated(Reticle(), 6)},
      {"cut inside the entry", Truncated(Reticle(), 20)},
      {"cut inside the bitmap header", Truncated(Reticle(), 40)},
      {"cut inside the mask", Truncated(Reticle(), 300)},
      {"cut by one byte", Truncated(Reticle(), 325)},
      {"reserved field set", Patched(Reticle(), [](Bytes& b) { Set16(b, 0, 1); })},
      {"unknown type", Patched(Reticle(), [](Bytes& b) { Set16(b, 2, 3); })},
      {"no images", Patched(Reticle(), [](Bytes& b) { Set16(b, 4, 0); })},
      {"more entries than fit", Patched(Reticle(), [](Bytes& b) { Set16(b, 4, 100); })},
      {"offset past the end", Patched(Reticle(), [](Bytes& b) { Set32(b, 18, 400); })},
      {"offset inside the directory", Patched(Reticle(), [](Bytes& b) { Set32(b, 18, 4); })},
      {"offset plus size overflows", Patched(Reticle(), [](Bytes& b) {
         Set32(b, 18, 0xFFFFFFF0u);
         Set32(b, 14, 0x20);
       })},
      {"size past the end", Patched(Reticle(), [](Bytes& b) { Set32(b, 14, 305); })},
      {"size too small for the bitmaps", Patched(Reticle(), [](Bytes& b) { Set32(b, 14, 200); })},
      {"header size too small", Patched(Reticle(), [](Bytes& b) { Set32(b, 22, 12); })},
      {"header size past the end", Patched(Reticle(), [](Bytes& b) { Set32(b, 22, 1000); })},
      {"zero width", Patched(Reticle(), [](Bytes& b) { Set32(b, 26, 0); })},
      {"negative width", Patched(Reticle(), [](Bytes& b) { Set32(b, 26, 0xFFFFFFE0u); })},
      {"huge width", Patched(Reticle(), [](Bytes& b) { Set32(b, 26, 100000); })},
      {"zero height", Patched(Reticle(), [](Bytes& b) { Set32(b, 30, 0); })},
      {"odd height", Patched(Reticle(), [](Bytes& b) { Set32(b, 30, 63); })},
      {"negative height", Patched(Reticle(), [](Bytes& b) { Set32(b, 30, 0xFFFFFFC0u); })},
      {"huge height", Patched(Reticle(), [](Bytes& b) { Set32(b, 30, 0x7FFFFFFEu); })},
      {"two planes", Patched(Reticle(), [](Bytes& b) { Set16(b, 34, 2); })},
      {"3 bits per pixel", Patched(Reticle(), [](Bytes& b) { Set16(b, 36, 3); })},
      {"8 bits per pixel without the data", Patched(Reticle(), [](Bytes& b) { Set16(b, 36, 8); })},
      {"compressed", Patched(Reticle(), [](Bytes& b) { Set32(b, 38, 1); })},
      {"more colours than the depth allows", Patched(Reticle(), [](Bytes& b) { Set32(b, 54, 3); })},
      {"hot spot outside", Patched(Reticle(), [](Bytes& b) { Set16(b, 10, 32); })},
  });
}

TEST(DecodeMalformed, BmpFiles) {
  ASSERT_TRUE(DecodePicture(SmallBmp()).has_value()) << "the base case must decode";
  ExpectAllRejected({
      {"file header only", Truncated(SmallBmp(), 14)},
      {"cut inside the pixels", Truncated(SmallBmp(), SmallBmp().size() - 1)},
      {"pixel offset past the end", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 10, 1000); })},
      {"pixel offset inside the header", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 10, 20); })},
      {"pixel offset overflows", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 10, 0xFFFFFFFFu); })},
      {"zero width", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 18, 0); })},
      {"zero height", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 22, 0); })},
      {"huge top-down height", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 22, static_cast<std::uint32_t>(-5000)); })},
      {"most negative height", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 22, 0x80000000u); })},
      {"16 bits per pixel", Patched(SmallBmp(), [](Bytes& b) { Set16(b, 28, 16); })},
      {"run-length compressed", Patched(SmallBmp(), [](Bytes& b) { Set32(b, 30, 1); })},
  });
}

TEST(DecodeMalformed, CorruptedBytesGiveNothingOrAConsistentPicture) {
  const std::vector<Bytes> bases = {Reticle(), SmallBmp(), SmallPng(), ToBytes(app::PalettePng())};
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    Bytes b = bases[static_cast<std::size_t>(round) % bases.size()];
    // Damage the headers mostly: that is where sizes and offsets live.
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) {
      const std::size_t at = random() % std::min<std::size_t>(b.size(), 80);
      b[at] = static_cast<std::uint8_t>(random());
    }
    if (random() % 4 == 0) b.resize(random() % b.size());
    for (const auto& picture : {DecodePicture(b), DecodeCursor(b) ? std::optional<Picture>(DecodeCursor(b)->picture)
                                                                  : std::nullopt}) {
      if (!picture) continue;
      const auto n = static_cast<std::size_t>(picture->Width()) * static_cast<std::size_t>(picture->Height());
      ASSERT_GT(n, 0u) << "round " << round;
      ASSERT_LE(picture->Width(), 4096) << "round " << round;
      ASSERT_LE(picture->Height(), 4096) << "round " << round;
      ASSERT_TRUE(picture->mask.empty() || picture->mask.size() == n) << "round " << round;
      ASSERT_TRUE(picture->alpha.empty() || picture->alpha.size() == n) << "round " << round;
    }
  }
}

// ---------------------------------------------------------------------------
// Well-formed variants.

void ExpectPixels(const Picture& p, int width, const std::vector<unsigned>& rgb, const char* what) {
  ASSERT_EQ(p.Width(), width) << what;
  ASSERT_EQ(static_cast<std::size_t>(p.Width() * p.Height()), rgb.size()) << what;
  for (std::size_t i = 0; i < rgb.size(); ++i) {
    const int x = static_cast<int>(i) % width;
    const int y = static_cast<int>(i) / width;
    EXPECT_EQ(Hex(p.colour.At(x, y)), Hex(FromRgb(rgb[i]))) << what << " at " << x << "," << y;
  }
}

TEST(DecodeIcon, TrueColourRowsBottomUpWithMask) {
  IconSpec s;
  s.width = 3;  // 9 bytes a row, padded to 12
  s.height = 2;
  s.bpp = 24;
  s.pixels = {FromRgb(0xFF0000), FromRgb(0x00FF00), FromRgb(0x0000FF),
              FromRgb(0x102030), FromRgb(0x405060), FromRgb(0x708090)};
  s.mask = {0, 1, 0, 1, 0, 0};
  s.hotSpot = {2, 1};
  const auto cursor = DecodeCursor(MakeIcon(s));
  ASSERT_TRUE(cursor.has_value());
  ExpectPixels(cursor->picture, 3, {0xFF0000, 0x00FF00, 0x0000FF, 0x102030, 0x405060, 0x708090}, "24 bpp");
  EXPECT_EQ(cursor->picture.mask, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(cursor->hotSpot, (Point{2, 1}));
}

TEST(DecodeIcon, PalettedDepths) {
  IconSpec s;
  s.width = 3;
  s.height = 2;
  s.bpp = 4;
  s.palette = {FromRgb(0x000000), FromRgb(0x112233), FromRgb(0xAABBCC)};
  s.indices = {2, 1, 0, 1, 2, 2};
  s.type = 1;  // an icon: points with its centre
  const auto icon = DecodeCursor(MakeIcon(s));
  ASSERT_TRUE(icon.has_value());
  ExpectPixels(icon->picture, 3, {0xAABBCC, 0x112233, 0x000000, 0x112233, 0xAABBCC, 0xAABBCC}, "4 bpp");
  EXPECT_TRUE(icon->picture.mask.empty()) << "an all-zero mask is opaque";
  EXPECT_EQ(icon->hotSpot, (Point{1, 1}));

  // 8 bits with a two-entry table: an index past the table shows black.
  s.bpp = 8;
  s.palette = {FromRgb(0x010203), FromRgb(0xFFFFFF)};
  s.indices = {1, 0, 7, 0, 1, 200};
  const auto eight = DecodePicture(MakeIcon(s));
  ASSERT_TRUE(eight.has_value());
  ExpectPixels(*eight, 3, {0xFFFFFF, 0x010203, 0x000000, 0x010203, 0xFFFFFF, 0x000000}, "8 bpp");
}

TEST(DecodeIcon, AlphaReplacesTheMask) {
  IconSpec s;
  s.width = 2;
  s.height = 1;
  s.bpp = 32;
  s.pixels = {FromRgb(0x123456), FromRgb(0x654321)};
  s.alpha = {255, 64};
  s.mask = {1, 1};
  const auto picture = DecodePicture(MakeIcon(s));
  ASSERT_TRUE(picture.has_value());
  ExpectPixels(*picture, 2, {0x123456, 0x654321}, "32 bpp");
  EXPECT_EQ(picture->alpha, (std::vector<std::uint8_t>{255, 64}));
  EXPECT_TRUE(picture->mask.empty());

  // All alpha bytes zero: an old-style image, the mask decides.
  s.alpha = {0, 0};
  s.mask = {1, 0};
  const auto old = DecodePicture(MakeIcon(s));
  ASSERT_TRUE(old.has_value());
  EXPECT_TRUE(old->alpha.empty());
  EXPECT_EQ(old->mask, (std::vector<std::uint8_t>{1, 0}));
}

TEST(DecodeBmp, BottomUpAndTopDown) {
  const std::vector<Pixel> pixels = {FromRgb(0xFF0000), FromRgb(0x00FF00), FromRgb(0x0000FF),
                                     FromRgb(0x010203), FromRgb(0x040506), FromRgb(0x070809)};
  const std::vector<unsigned> rgb = {0xFF0000, 0x00FF00, 0x0000FF, 0x010203, 0x040506, 0x070809};
  for (const bool topDown : {false, true}) {
    for (const int bpp : {24, 32}) {
      const auto picture = DecodePicture(MakeBmp(3, 2, bpp, topDown, pixels));
      const std::string what = std::to_string(bpp) + (topDown ? " bpp top-down" : " bpp bottom-up");
      ASSERT_TRUE(picture.has_value()) << what;
      ExpectPixels(*picture, 3, rgb, what.c_str());
      EXPECT_TRUE(picture->mask.empty() && picture->alpha.empty()) << what;
    }
  }
}

// A header's size is believed only as far as the file's image data can
// hold it: deflate expands at most about 1032 to 1.
TEST(DecodePng, DeclaredSizeMustFitTheImageData) {
  // One flat colour compresses close to that limit and still decodes.
  const Bytes flat = MakePng(4096, 512, 1, 0, std::vector<Bytes>(512, Bytes(512, 0xFF)));
  const auto decoded = DecodePicture(flat);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->Width(), 4096);
  EXPECT_EQ(decoded->Height(), 512);
  EXPECT_EQ(Hex(decoded->colour.At(4095, 511)), Hex(FromRgb(0xFFFFFF)));

  // A 60-byte file declaring 4096 x 4096 pixels (it once had 64 MB
  // allocated for them before its data ran out), and the same cut to a
  // single row of data.
  ExpectAllRejected({
      {"4096 x 4096 header, data cut off", Truncated(MakePng(4096, 4096, 8, 0, {Bytes(10, 0)}), 60)},
      {"4096 x 4096 header, one row of data", MakePng(4096, 4096, 8, 0, {Bytes(4096, 0)})},
  });
}

TEST(DecodePng, ColourTypesBecomeEightBitRgb) {
  // Palette with transparency: alpha is kept.
  const auto paletted = DecodePicture(MakePng(3, 1, 8, 3, {Bytes{0, 1, 2}}, Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255},
                                              Bytes{255, 128}));
  ASSERT_TRUE(paletted.has_value());
  ExpectPixels(*paletted, 3, {0xFF0000, 0x00FF00, 0x0000FF}, "palette");
  EXPECT_EQ(paletted->alpha, (std::vector<std::uint8_t>{255, 128, 255}));

  // 1-bit grey.
  const auto grey1 = DecodePicture(MakePng(3, 1, 1, 0, {Bytes{0b10100000}}));
  ASSERT_TRUE(grey1.has_value());
  ExpectPixels(*grey1, 3, {0xFFFFFF, 0x000000, 0xFFFFFF}, "1-bit grey");
  EXPECT_TRUE(grey1->alpha.empty());

  // 16-bit RGB scales to 8 bits.
  const auto deep = DecodePicture(MakePng(1, 1, 16, 2, {Bytes{0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}}));
  ASSERT_TRUE(deep.has_value());
  ExpectPixels(*deep, 1, {0xFF8000}, "16-bit RGB");

  // Grey with alpha.
  const auto greyAlpha = DecodePicture(MakePng(2, 1, 8, 4, {Bytes{0x40, 0xFF, 0x80, 0x00}}));
  ASSERT_TRUE(greyAlpha.has_value());
  ExpectPixels(*greyAlpha, 2, {0x404040, 0x808080}, "grey + alpha");
  EXPECT_EQ(greyAlpha->alpha, (std::vector<std::uint8_t>{255, 0}));

  // RGBA with every pixel opaque: no alpha is kept.
  const auto opaque = DecodePicture(MakePng(1, 2, 8, 6, {Bytes{1, 2, 3, 255}, Bytes{4, 5, 6, 255}}));
  ASSERT_TRUE(opaque.has_value());
  ExpectPixels(*opaque, 1, {0x010203, 0x040506}, "opaque RGBA");
  EXPECT_TRUE(opaque->alpha.empty());
}

TEST(EncodePng, RoundTrips) {
  Image image(7, 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) image.Set(x, y, RgbPixel(x * 37, y * 51, (x * y * 13) & 0xFF));
  }
  const auto png = EncodePng(image);
  ASSERT_FALSE(png.empty());
  const auto back = DecodePicture(png);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->colour.Width(), 7);
  EXPECT_EQ(back->colour.Pixels(), image.Pixels());
  EXPECT_TRUE(back->alpha.empty());

  EXPECT_TRUE(EncodePng(Image()).empty());
}


TEST(DecodeIcon, HeaderMayStateTheFullColourCount) {
  // A colour table of exactly 2 to the bits per pixel entries, stated in
  // the header, is the whole table: the last entry is reachable.
  for (const int bpp : {1, 4, 8}) {
    IconSpec s;
    s.width = 2;
    s.height = 1;
    s.bpp = bpp;
    const int full = 1 << bpp;
    for (int i = 0; i < full; ++i) s.palette.push_back(FromRgb(static_cast<std::uint32_t>(0x010203 * (i + 1))));
    s.indices = {full - 1, 0};
    const auto picture = DecodePicture(MakeIcon(s));
    ASSERT_TRUE(picture.has_value()) << bpp << " bits per pixel";
    ExpectPixels(*picture, 2, {0x010203u * static_cast<std::uint32_t>(full), 0x010203}, "full table");
  }
}

}  // namespace
}  // namespace tinctora::gfx
