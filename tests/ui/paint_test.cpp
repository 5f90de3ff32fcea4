#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/assets/assets.h"
#include "platform/headless/builtin_font.h"
#include "tests/graphics/image_helpers.h"
#include "ui/paint.h"

namespace tinctora::ui {
namespace {

using colour::ColourValue;
using colour::DefaultColour;
using gfx::testing::FromRgb;
using gfx::testing::Hex;

constexpr ColourValue kWhite = 0xFFFFFF;
constexpr ColourValue kSilver = 0xC0C0C0;
constexpr ColourValue kBlack = 0x000000;
constexpr ColourValue kRed = 0x0000FF;  // colour values hold red in the low byte

// GBK bytes of a few captions.
const Text kPickCoordinates = "\xC8\xA1\xC9\xAB\xD7\xF8\xB1\xEA\xA3\xBA";  // 取色坐标：
const Text kCmyk = "CMYK\xA3\xBA";                                          // CMYK：
const Text kHexCaption = "16\xBD\xF8\xD6\xC6\xA3\xBA";                      // 16进制：

headless::BuiltinFont Font() { return {}; }

// ---------------------------------------------------------------------------
// Gradient columns.

struct GradientCase {
  const char* name;
  std::vector<ColourValue> colours;
  int width;
  int x;
  const char* expected;  // RRGGBB
};

void RunGradientTable(const std::vector<GradientCase>& cases) {
  for (const GradientCase& c : cases) {
    EXPECT_EQ(Hex(GradientColumn(c.colours, c.width, c.x)), c.expected) << c.name;
  }
}

TEST(Gradient, ShadeStripColumns) {
  RunGradientTable({
      // Degenerate widths first: fewer columns than colour steps.
      {"width 1, three colours", {kWhite, kSilver, kBlack}, 1, 0, "FFFFFF"},
      {"width 2, second column starts step two", {kWhite, kSilver, kBlack}, 2, 1, "C0C0C0"},
      {"strip column 0", {kWhite, kSilver, kBlack}, 182, 0, "FFFFFF"},
      {"strip column 45", {kWhite, kSilver, kBlack}, 182, 45, "E0E0E0"},
      {"strip column 90 truncates the step", {kWhite, kSilver, kBlack}, 182, 90, "C1C1C1"},
      {"strip column 91 is the middle", {kWhite, kSilver, kBlack}, 182, 91, "C0C0C0"},
      {"strip column 92", {kWhite, kSilver, kBlack}, 182, 92, "BEBEBE"},
      {"strip column 181", {kWhite, kSilver, kBlack}, 182, 181, "030303"},
      {"red middle, column 45", {kWhite, kRed, kBlack}, 182, 45, "FF8181"},
      {"odd width: last columns are the end colour", {kWhite, kSilver, kBlack}, 183, 182, "000000"},
      {"default middle skipped, column 91", {kWhite, DefaultColour, kBlack}, 182, 91, "808080"},
      {"default middle skipped, column 181", {kWhite, DefaultColour, kBlack}, 182, 181, "020202"},
      {"default first skipped", {DefaultColour, kWhite, kBlack}, 182, 0, "FFFFFF"},
  });
}

Image PaintedLabel(const LabelLook& look, int width, int height) {
  Image client(width, height);
  PaintLabel(client, look, Font());
  return client;
}

TEST(PaintLabel, ShadeStripGradientFillsEachColumn) {
  LabelLook look;
  look.background = FromRgb(0xD4D0C8);
  look.gradientLeftToRight = true;
  look.gradient = {kWhite, kSilver, kBlack};
  const Image strip = PaintedLabel(look, 182, 23);
  for (int x = 0; x < 182; ++x) {
    for (int y = 1; y < 23; ++y) ASSERT_EQ(strip.At(x, y), strip.At(x, 0)) << x << "," << y;
  }
  EXPECT_EQ(Hex(strip.At(0, 0)), "FFFFFF");
  EXPECT_EQ(Hex(strip.At(91, 0)), "C0C0C0");
  EXPECT_EQ(Hex(strip.At(181, 0)), "030303");

  // With the middle colour DefaultColour: a white-to-black gradient across the full width.
  look.gradient = {kWhite, DefaultColour, kBlack};
  const Image two = PaintedLabel(look, 182, 23);
  EXPECT_EQ(Hex(two.At(0, 10)), "FFFFFF");
  EXPECT_EQ(Hex(two.At(91, 10)), "808080");
  EXPECT_EQ(Hex(two.At(181, 10)), "020202");
}

TEST(PaintLabel, GradientNeedsTwoColours) {
  LabelLook look;
  look.background = FromRgb(0xFF0000);
  look.gradientLeftToRight = true;
  look.gradient = {DefaultColour, kWhite, DefaultColour};
  EXPECT_EQ(PaintedLabel(look, 20, 5).Pixels(), Image(20, 5, FromRgb(0xFF0000)).Pixels());
  look.gradient = {kWhite, kSilver, kBlack};
  look.gradientLeftToRight = false;
  EXPECT_EQ(PaintedLabel(look, 20, 5).Pixels(), Image(20, 5, FromRgb(0xFF0000)).Pixels());
}

// ---------------------------------------------------------------------------
// Caption layout.

struct LayoutCase {
  const char* name;
  Text text;
  int width;
  bool wrap;
  std::vector<std::pair<Text, int>> lines;  // text and width of each line
};

void RunLayoutTable(const std::vector<LayoutCase>& cases) {
  const auto font = Font();
  for (const LayoutCase& c : cases) {
    std::vector<std::pair<Text, int>> got;
    for (const TextLine& line : LayoutText(c.text, font, c.width, c.wrap ? Wrap::Words : Wrap::None)) {
      got.emplace_back(c.text.substr(line.begin, line.length), line.width);
    }
    EXPECT_EQ(got, c.lines) << c.name;
  }
}

TEST(TextLayout, WrapsAtSpacesAndBetweenDoubleByteCharacters) {
  using L = std::vector<std::pair<Text, int>>;
  RunLayoutTable({
      {"empty text is one empty line", "", 50, true, L{{"", 0}}},
      {"narrower than any character", "ab", 0, true, L{{"a", 6}, {"b", 6}}},
      {"fits", "abc def", 100, true, L{{"abc def", 42}}},
      {"exactly fits", "abc def", 42, true, L{{"abc def", 42}}},
      {"wraps at the space", "abc def", 30, true, L{{"abc", 18}, {"def", 18}}},
      {"all spaces at the wrap go", "abc   def", 30, true, L{{"abc", 18}, {"def", 18}}},
      {"trailing spaces do not count", "abc  ", 100, true, L{{"abc", 18}}},
      {"leading spaces stay", "  ab", 100, true, L{{"  ab", 24}}},
      {"long word split between characters", "abcdefgh", 30, true, L{{"abcde", 30}, {"fgh", 18}}},
      {"CJK wraps between characters", "\xC8\xA1\xC9\xAB\xD7\xF8\xB1\xEA", 30, true,
       L{{"\xC8\xA1\xC9\xAB", 24}, {"\xD7\xF8\xB1\xEA", 24}}},
      {"a closing colon stays on its line", kPickCoordinates, 53, true, L{{kPickCoordinates, 60}}},
      {"a closing colon after a letter", "R\xA3\xBA", 13, true, L{{"R\xA3\xBA", 18}}},
      {"the text after the colon wraps", "\xC8\xA1\xA3\xBA\xC9\xAB", 24, true,
       L{{"\xC8\xA1\xA3\xBA", 24}, {"\xC9\xAB", 12}}},
      {"a single-byte colon after CJK", "\xC8\xA1:", 14, true, L{{"\xC8\xA1:", 18}}},
      {"a closing mark after a space may begin a line", "ab \xA3\xBA", 18, true, L{{"ab", 12}, {"\xA3\xBA", 12}}},
      {"a closing mark opening the text", "\xA3\xBA\xA3\xBA", 5, true, L{{"\xA3\xBA\xA3\xBA", 24}}},
      {"CJK caption that fits", kHexCaption, 49, true, L{{kHexCaption, 48}}},
      {"break between a word and CJK", "ab\xC8\xA1\xC9\xAB", 24, true, L{{"ab\xC8\xA1", 24}, {"\xC9\xAB", 12}}},
      {"CRLF", "ab\r\ncd", 100, true, L{{"ab", 12}, {"cd", 12}}},
      {"LF", "ab\ncd", 100, true, L{{"ab", 12}, {"cd", 12}}},
      {"break at the end", "ab\r\n", 100, true, L{{"ab", 12}, {"", 0}}},
      {"blank line kept", "a\n\nb", 100, true, L{{"a", 6}, {"", 0}, {"b", 6}}},
      {"no wrap keeps the line", "abc def", 10, false, L{{"abc def", 42}}},
      {"no wrap still breaks lines", "ab\r\ncd", 5, false, L{{"ab", 12}, {"cd", 12}}},
      {"a lone lead byte is one character", "a\xC8", 100, true, L{{"a\xC8", 12}}},
  });
}

// Columns that hold ink of the given colour.
std::set<int> InkColumns(const Image& image, Pixel ink) {
  std::set<int> columns;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (image.At(x, y) == ink) columns.insert(x);
    }
  }
  return columns;
}

TEST(PaintLabel, CaptionAlignment) {
  LabelLook look;
  look.background = FromRgb(0xD4D0C8);
  look.caption = kCmyk;  // 4 x 6 + 12 = 36 pixels wide
  look.textColour = FromRgb(0x000000);
  struct Case {
    HAlign align;
    int firstCell;
    const char* name;
  };
  for (const Case c : {Case{HAlign::Left, 0, "left"}, Case{HAlign::Centre, 6, "centre"}, Case{HAlign::Right, 13, "right"}}) {
    look.align = c.align;
    const Image label = PaintedLabel(look, 49, 24);
    const auto ink = InkColumns(label, look.textColour);
    ASSERT_FALSE(ink.empty()) << c.name;
    // 'C' inks its first column; the box glyph of the colon stops one column before its cell ends.
    EXPECT_EQ(*ink.begin(), c.firstCell) << c.name;
    EXPECT_EQ(*ink.rbegin(), c.firstCell + 34) << c.name;
  }
}

TEST(PaintLabel, CaptionIsTransparentAndStartsAtTheTop) {
  LabelLook look;
  look.gradientLeftToRight = true;
  look.gradient = {kWhite, kSilver, kBlack};
  look.caption = "ab cd";
  look.textColour = FromRgb(0xFF5080);
  const Image captioned = PaintedLabel(look, 24, 30);
  const Image bare = [&] {
    LabelLook l = look;
    l.caption.clear();
    return PaintedLabel(l, 24, 30);
  }();
  int inkFirstLine = 0;
  int inkSecondLine = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 24; ++x) {
      if (captioned.At(x, y) == look.textColour) {
        (y < 13 ? inkFirstLine : inkSecondLine) += 1;
        EXPECT_LT(y, 26) << "ink below the second line";
      } else {
        ASSERT_EQ(captioned.At(x, y), bare.At(x, y)) << "background changed at " << x << "," << y;
      }
    }
  }
  EXPECT_GT(inkFirstLine, 0);
  EXPECT_GT(inkSecondLine, 0) << "\"cd\" wraps to the second line";
}

TEST(PaintLabel, CaptionClippedToTheClientArea) {
  LabelLook look;
  look.background = FromRgb(0xFFFFFF);
  look.caption = "\xA1\xF8";  // ▲ in an 11 x 9 label: the box glyph is cut off
  look.textColour = FromRgb(0x000000);
  const Image marker = PaintedLabel(look, 11, 9);
  EXPECT_EQ(marker.Width(), 11);
  EXPECT_FALSE(InkColumns(marker, look.textColour).empty());
}

// ---------------------------------------------------------------------------
// The built-in font.

TEST(BuiltinFont, GlyphsAreDistinctAndStayInTheirCells) {
  const auto font = Font();
  EXPECT_EQ(font.LineHeight(), 13);
  std::set<std::vector<Pixel>> seen;
  for (int c = 0x21; c <= 0x7E; ++c) {
    const Text ch(1, static_cast<char>(c));
    ASSERT_EQ(font.CharWidth(ch), 6);
    Image cell(8, 15, 0);
    font.DrawChar(cell, 1, 1, ch, FromRgb(0xFFFFFF));
    int ink = 0;
    for (int y = 0; y < 15; ++y) {
      for (int x = 0; x < 8; ++x) {
        if (cell.At(x, y) == 0) continue;
        ++ink;
        // The glyph occupies columns 0-4 of its cell, leaving a gap column.
        EXPECT_TRUE(x >= 1 && x <= 5 && y >= 1 && y < 14) << "'" << ch << "' inks " << x - 1 << "," << y - 1;
      }
    }
    EXPECT_GT(ink, 0) << "'" << ch << "' draws nothing";
    EXPECT_TRUE(seen.insert(cell.Pixels()).second) << "'" << ch << "' looks like another glyph";
  }
  Image blank(8, 15, 0);
  font.DrawChar(blank, 1, 1, " ", FromRgb(0xFFFFFF));
  font.DrawChar(blank, 1, 1, "\x01", FromRgb(0xFFFFFF));
  EXPECT_EQ(blank.Pixels(), Image(8, 15, 0).Pixels());
}

TEST(BuiltinFont, DoubleByteCharacterIsAHollowBox) {
  const auto font = Font();
  const TextView ch = "\xB5\xB1";  // 当
  EXPECT_EQ(font.CharWidth(ch), 12);
  Image cell(12, 13, 0);
  font.DrawChar(cell, 0, 0, ch, FromRgb(0xFFFFFF));
  EXPECT_NE(cell.At(1, 1), 0u);
  EXPECT_NE(cell.At(10, 10), 0u);
  EXPECT_NE(cell.At(1, 5), 0u);
  EXPECT_NE(cell.At(10, 5), 0u);
  EXPECT_EQ(cell.At(5, 5), 0u) << "hollow";
  EXPECT_EQ(cell.At(11, 5), 0u) << "gap before the next character";

  // Drawing partly outside the image clips instead of writing out of bounds.
  // Here only the box's bottom right corner lands: its edges at x = 3 and y = 3.
  Image small(4, 4, 0);
  font.DrawChar(small, -7, -7, ch, FromRgb(0xFFFFFF));
  font.DrawChar(small, -4, -10, "W", FromRgb(0xFFFFFF));  // entirely above the image
  EXPECT_NE(small.At(3, 0), 0u);
  EXPECT_NE(small.At(0, 3), 0u);
  EXPECT_EQ(small.At(2, 2), 0u);
}

// ---------------------------------------------------------------------------
// Picture boxes and shape boxes.

Picture Flat(int width, int height, Pixel p) {
  Picture picture;
  picture.colour = Image(width, height, p);
  return picture;
}

// Bounding box of the pixels that differ from `background`.
Rect Painted(const Image& image, Pixel background) {
  Rect r{image.Width(), image.Height(), 0, 0};
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (image.At(x, y) == background) continue;
      r = {std::min(r.left, x), std::min(r.top, y), std::max(r.right, x + 1), std::max(r.bottom, y + 1)};
    }
  }
  return r;
}

TEST(PaintPicBox, DisplayModes) {
  const Pixel face = FromRgb(0xD4D0C8);
  const Pixel red = FromRgb(0xFF0000);
  struct Case {
    const char* name;
    int pw, ph;
    PictureMode mode;
    int cw, ch;
    Rect expected;
  };
  for (const Case& c : {
           Case{"natural at the top left", 3, 2, PictureMode::Natural, 10, 10, Rect{0, 0, 3, 2}},
           Case{"natural clipped", 30, 20, PictureMode::Natural, 10, 10, Rect{0, 0, 10, 10}},
           Case{"stretched over the client area", 1, 1, PictureMode::Stretch, 211, 108, Rect{0, 0, 211, 108}},
           Case{"centred when it fits", 32, 32, PictureMode::CentreScaleDown, 36, 36, Rect{2, 2, 34, 34}},
           Case{"centred, odd slack", 3, 3, PictureMode::CentreScaleDown, 8, 6, Rect{2, 1, 5, 4}},
           Case{"too wide: scaled down", 40, 20, PictureMode::CentreScaleDown, 20, 20, Rect{0, 5, 20, 15}},
           Case{"too tall: scaled down", 10, 60, PictureMode::CentreScaleDown, 36, 30, Rect{15, 0, 20, 30}},
       }) {
    Image client(c.cw, c.ch);
    const Picture picture = Flat(c.pw, c.ph, red);
    PaintPicBox(client, face, &picture, c.mode, StretchQuality::Halftone);
    EXPECT_EQ(Painted(client, face), c.expected) << c.name;
    EXPECT_EQ(client.At(c.expected.left, c.expected.top), red) << c.name;
  }
  Image empty(5, 5, 0);
  PaintPicBox(empty, face, nullptr, PictureMode::Stretch, StretchQuality::Halftone);
  EXPECT_EQ(empty.Pixels(), Image(5, 5, face).Pixels());
}

TEST(PaintPicBox, PickerPadShowsTheReticleWithItsInvertingPixel) {
  const auto reticle = DecodePicture(app::ReticleCursor());
  ASSERT_TRUE(reticle.has_value());
  Image pad(36, 36);  // the 38 x 38 pad inside its border
  PaintPicBox(pad, FromRgb(0xFFFFFF), &*reticle, PictureMode::CentreScaleDown, StretchQuality::Halftone);
  // Drawn at (2, 2): the hot spot inverts the white background to black,
  // the clear window around it stays white, the ring's edge is white on white
  // and its body black.
  EXPECT_EQ(Hex(pad.At(2 + 15, 2 + 16)), "000000");
  EXPECT_EQ(Hex(pad.At(2 + 14, 2 + 16)), "FFFFFF");
  EXPECT_EQ(Hex(pad.At(2 + 15, 2 + 8)), "000000");
  EXPECT_EQ(Hex(pad.At(0, 0)), "FFFFFF");
  EXPECT_EQ(Painted(pad, FromRgb(0xFFFFFF)), (Rect{2 + 7, 2 + 8, 2 + 24, 2 + 25}));
}

TEST(PaintShapeBox, OutlineAlongTheEdge) {
  Image box(38, 24);
  PaintShapeBox(box, ShapeLook{FromRgb(0xD4D0C8), FromRgb(0xFF5080), 1});
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 38; ++x) {
      const bool edge = x == 0 || y == 0 || x == 37 || y == 23;
      ASSERT_EQ(Hex(box.At(x, y)), edge ? "FF5080" : "D4D0C8") << x << "," << y;
    }
  }
  Image none(4, 4);
  PaintShapeBox(none, ShapeLook{FromRgb(0x010101), FromRgb(0xFF0000), 0});
  EXPECT_EQ(none.Pixels(), Image(4, 4, FromRgb(0x010101)).Pixels());
}

}  // namespace
}  // namespace tinctora::ui
