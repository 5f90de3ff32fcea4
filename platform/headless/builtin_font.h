#pragma once

#include "graphics/font.h"

namespace tinctora::headless {

// The simulated desktop's stand-in for the system's GUI font: a 5 x 7 pixel
// glyph set (with two rows of descender) for ASCII 20-7E in cells 6 pixels
// wide and 13 high. A double-byte GBK character is drawn as a hollow square
// 12 pixels wide, so a screenshot shows where CJK text sits and how wide it is.
// At a scale every size grows with it and each glyph pixel becomes a block of
// whole device pixels, its edges rounded as the layout's are.
class BuiltinFont : public gfx::Font {
 public:
  static constexpr int kLineHeight = 13;
  static constexpr int kAdvance = 6;
  static constexpr int kDoubleByteAdvance = 12;

  BuiltinFont() = default;
  explicit BuiltinFont(double scale) : scale_(scale) {}
  double Scale() const { return scale_; }
  int LineHeight() const override { return Scaled(kLineHeight); }
  int CharWidth(TextView gbkChar) const override;
  void DrawChar(gfx::Image& target, int x, int y, TextView gbkChar, gfx::Pixel colour) const override;

 private:
  int Scaled(int v) const;
  // Fills the device pixels of one glyph pixel.
  void Block(gfx::Image& target, int x, int y, int col, int row, gfx::Pixel colour) const;
  double scale_ = 1.0;
};

}  // namespace tinctora::headless
