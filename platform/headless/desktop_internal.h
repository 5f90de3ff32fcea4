#pragma once

// What the simulated desktop's files share: its window record and small
// drawing helpers. Not part of the desktop's interface.

#include <algorithm>

#include "text/gbk.h"
#include "platform/headless/desktop.h"

namespace tinctora::headless::internal {


inline constexpr Pixel kInvalid = platform::kInvalidPixel;
inline constexpr Pixel kBorder = gfx::RgbHex(0x646464);
inline constexpr Pixel kFace = gfx::RgbHex(0xF0F0F0);
// The system's colours, the usual ones and those of high contrast.
inline constexpr platform::SystemColours kUsualColours{false, kFace, gfx::RgbHex(0x000000), gfx::RgbHex(0xFFFFFF),
                                                       gfx::RgbHex(0x000000)};
inline constexpr platform::SystemColours kHighContrastColours{true, gfx::RgbHex(0x000000), gfx::RgbHex(0xFFFFFF),
                                                              gfx::RgbHex(0x000000), gfx::RgbHex(0xFFFF00)};
inline constexpr Pixel kDesktop = gfx::RgbHex(0x3A6EA5);

inline Rect Inset(const Rect& r, int left, int top, int right, int bottom) {
  return {r.left + left, r.top + top, r.right - right, r.bottom - bottom};
}

inline Rect Offset(const Rect& r, int dx, int dy) { return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

// A 16-bit display keeps 5 bits of red and blue and 6 of green.
inline Pixel Quantise(Pixel p, int bitsPerPixel) {
  if (bitsPerPixel > 16) return p;
  return p & gfx::RgbPixel(0xF8, 0xFC, 0xF8);
}

inline void DrawText(Image& image, const gfx::Font& font, TextView text, int x, int y, Pixel colour) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = text::GbkCharLength(text, at);
    const TextView ch = text.substr(at, length);
    font.DrawChar(image, x, y, ch, colour);
    x += font.CharWidth(ch);
    at += length;
  }
}

inline int TextWidth(const gfx::Font& font, TextView text) {
  int width = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = text::GbkCharLength(text, at);
    width += font.CharWidth(text.substr(at, length));
    at += length;
  }
  return width;
}

inline void FillRect(Image& image, const Rect& r, Pixel colour) {
  const int left = std::max(0, r.left);
  const int right = std::min(image.Width(), r.right);
  for (int y = std::max(0, r.top); y < std::min(image.Height(), r.bottom); ++y) {
    Pixel* row = image.Row(y);
    std::fill(row + left, row + std::max(left, right), colour);
  }
}

inline void FrameRect(Image& image, const Rect& r, Pixel colour) {
  FillRect(image, {r.left, r.top, r.right, r.top + 1}, colour);
  FillRect(image, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
  FillRect(image, {r.left, r.top, r.left + 1, r.bottom}, colour);
  FillRect(image, {r.right - 1, r.top, r.right, r.bottom}, colour);
}


}  // namespace tinctora::headless::internal

namespace tinctora::headless {

struct Desktop::Win {
  WindowId id = 0;
  WindowId parent = 0;
  platform::NativeKind kind = platform::NativeKind::Surface;
  bool topLevel = false;
  bool popup = false;  // a popup window: bounds in screen coordinates, no parent
  Rect bounds;  // outer; the parent's client coordinates, screen for the top level
  bool border = false;
  bool visible = false;
  bool tabStop = false;
  Text text;
  platform::EditRange selection;  // byte offsets into `text`
  platform::EditSettings edit;
  platform::SliderSettings slider;
  int position = 0;
  std::vector<WindowId> children;  // bottom first
  mutable Image client;            // the painted client area
  // A direct drawing shown from the program's own pixels, over `client`,
  // until the next one, a Present or a change of size.
  const Image* direct = nullptr;
  Point directAt;
  mutable bool nativeDirty = true;
  platform::CursorId cursor = 0;
  platform::TopLevelSpec params;
};

}  // namespace tinctora::headless
