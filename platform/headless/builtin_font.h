#pragma once

#include "graphics/font.h"

namespace tinctora::headless {

// The simulated desktop's stand-in for the system's GUI font: a 5 x 7 pixel
// glyph set (with two rows of descender) for ASCII 20-7E in cells 6 pixels
// wide and 13 high. A double-byte GBK character is drawn as a hollow square
// 12 pixels wide, so a screenshot shows where CJK text sits and how wide it is.
class BuiltinFont : public gfx::Font {
 public:
  static constexpr int kLineHeight = 13;
  static constexpr int kAdvance = 6;
  static constexpr int kDoubleByteAdvance = 12;

  int LineHeight() const override { return kLineHeight; }
  int CharWidth(TextView gbkChar) const override;
  void DrawChar(gfx::Image& target, int x, int y, TextView gbkChar, gfx::Pixel colour) const override;
};

}  // namespace tinctora::headless
