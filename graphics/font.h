#pragma once

#include <cstddef>
#include <cstdint>

#include "text/text.h"
#include "graphics/image.h"

namespace tinctora::gfx {

// The platform's default GUI font, as far as the control layer lays out and
// draws text with it: alignment and word wrap are decided by the control
// layer so every backend wraps alike.
class Font {
 public:
  virtual ~Font() = default;
  virtual int LineHeight() const = 0;
  // Advance width of one character given as its GBK bytes (one or two).
  virtual int CharWidth(TextView gbkChar) const = 0;
  // Draws one character with its cell's top-left corner at (x, y), clipped to
  // the image; only the glyph's own pixels are touched (transparent background).
  virtual void DrawChar(Image& target, int x, int y, TextView gbkChar, Pixel colour) const = 0;
};

// Draws a glyph's coverage (0 nothing ... 255 solid, `stride` bytes from one
// row to the next) in `colour` over the image with its top-left corner at
// (x, y), each channel mixed by the coverage and rounded to nearest; clipped
// to the image. Every backend's font draws its glyphs through this, so text
// blends alike on all of them.
void BlendCoverage(Image& target, int x, int y, const std::uint8_t* coverage, int width, int height,
                   std::ptrdiff_t stride, Pixel colour);

}  // namespace tinctora::gfx
