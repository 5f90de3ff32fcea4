#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "colour/colour_value.h"
#include "text/text.h"
#include "graphics/font.h"
#include "graphics/image.h"
#include "graphics/picture.h"
#include "graphics/stretch.h"

namespace tinctora::ui {

// The drawing types, as the control layer names them.
using gfx::CursorImage;
using gfx::Font;
using gfx::Image;
using gfx::Picture;
using gfx::Pixel;
using gfx::Point;
using gfx::Rect;
using gfx::RgbHex;
using gfx::RgbPixel;
using gfx::StretchQuality;
using gfx::DecodeCursor;
using gfx::DecodePicture;
using gfx::EncodePng;
// Stretched drawing (graphics/stretch.h).
using gfx::DrawPicture;
using gfx::StretchImage;
using gfx::StretchInto;
using gfx::StretchQualityFor;

enum class HAlign { Left, Centre, Right };
// Whether a caption breaks its lines at words to fit the width.
enum class Wrap { None, Words };

struct LabelLook {
  Pixel background = 0;  // already resolved (DefaultColour painted as the face colour)
  bool gradientLeftToRight = false;
  // Raw colour values; DefaultColour entries are skipped when painting.
  std::array<colour::ColourValue, 3> gradient{colour::DefaultColour, colour::DefaultColour,
                                              colour::DefaultColour};
  Text caption;
  Pixel textColour = 0;
  HAlign align = HAlign::Left;
  bool wordWrap = true;
};

// The colour of column x of a left-to-right gradient over a client area of
// the given width. DefaultColour entries are skipped; a gradient needs two
// colours that remain (with one left it is returned, with none black).
// With n colours: s = width / (n - 1), i = x / s (0 when s is 0), column cn
// past the last step, else c(i+1) + (x mod s) / s * (c(i+2) - c(i+1)) per
// channel, truncated toward zero.
Pixel GradientColumn(std::span<const colour::ColourValue> colours, int width, int x);

// Paint a client area image (already sized to the client area).
void PaintLabel(Image& client, const LabelLook& look, const Font& font);

// Caption layout. Lines break at "\r\n", "\n" or "\r"; with word wrap also at
// spaces and on either side of a double-byte character (CJK text has no
// spaces), and a word wider than the line is split between characters.
// The spaces at a wrap are dropped; width excludes trailing spaces.
// Characters are split as text::GbkCharLength splits them.
struct TextLine {
  std::size_t begin = 0;   // byte offset into the text
  std::size_t length = 0;  // bytes
  int width = 0;           // pixels
  friend bool operator==(const TextLine&, const TextLine&) = default;
};
std::vector<TextLine> LayoutText(TextView text, const Font& font, int width, Wrap wrap);
// Draws the text from the top of the image, each line aligned within the
// image's width, with a transparent background, clipped to the image.
void DrawCaption(Image& client, TextView text, const Font& font, Pixel colour, HAlign align, Wrap wrap);

// Natural: at the top-left corner at its own size. Stretch: over the whole
// client area with the given quality. CentreScaleDown: centred, at its own
// size when it fits, else shrunk proportionally (always by halftone).
enum class PictureMode { Natural, Stretch, CentreScaleDown };
// A picture's own size is in layout units: at a scale it is drawn a whole
// number of times larger (the scale rounded; CentreScaleDown takes the
// largest such number at which what the picture draws fits, its clear
// margin may be cut; 1 at least).
void PaintPicBox(Image& client, Pixel background, const Picture* picture, PictureMode mode,
                 StretchQuality quality, double scale = 1.0);
// The part of a picture that draws anything: clear (masked black or fully
// transparent) pixels around it left out; the whole picture when it is all clear.
Rect DrawnBounds(const Picture& picture);
// A picture a whole number of times larger, each pixel repeated.
Picture EnlargePicture(const Picture& picture, int factor);
// A cursor for the system's cursor size: drawn the nearest whole number of
// times larger (less while what it draws would not fit), in a clear square
// of that size, centred as far as its drawing stays whole; its hot spot
// moved along.
CursorImage ScaleCursor(const CursorImage& cursor, int size);

struct ShapeLook {
  Pixel background = 0;
  Pixel line = 0;
  int lineWidth = 1;
};
// Fills a rectangle of the image, clipped to it.
void FillRect(Image& image, const Rect& r, Pixel colour);
// An outline `width` pixels thick along the inside of the rectangle's edge,
// clipped to the image.
void FrameRect(Image& image, const Rect& r, Pixel colour, int width = 1);

// Rectangle outline along the edge, no fill.
void PaintShapeBox(Image& client, const ShapeLook& look);

}  // namespace tinctora::ui
