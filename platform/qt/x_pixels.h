#pragma once

// The X server's pixels as the program's: a Z-pixmap image of the root
// window, in the screen's pixel format, converted to the program's pixels
// (red in the lowest byte). Pure arithmetic, no connection.

#include <cstdint>

#include "graphics/image.h"

namespace tinctora::qtb {

// How a screen lays out its pixels in an image the server sends.
struct XPixelFormat {
  int bitsPerPixel = 0;  // 16, 24 or 32
  bool lsbFirst = true;  // the server's image byte order
  int scanlinePad = 32;  // bits
  std::uint32_t redMask = 0;
  std::uint32_t greenMask = 0;
  std::uint32_t blueMask = 0;
  // Whether the conversion can read the format at all.
  bool Usable() const;
  // Bytes from one row's start to the next's for `width` pixels.
  int Stride(int width) const;
};

// Converts `height` rows of `width` pixels at `data` (`length` bytes) into
// `out`; false when the data is too short or the format unusable. The
// common 32-bit screen with 8-bit channels in the usual order takes a
// shorter path than other formats, to the same pixels.
bool ConvertXImage(const std::uint8_t* data, int length, int width, int height, const XPixelFormat& format,
                   gfx::Image& out);

}  // namespace tinctora::qtb

namespace tinctora::qtb {

// A picture of part of the screen kept between reads, for reads of the
// same surroundings while nothing on the screen changes there: a pointer
// that moves a few pixels at a time needs one read of the server for many
// movements. The owner reports every change of the screen (Changed); a
// change that touches the kept area forgets the picture.
class KeptScreenArea {
 public:
  // What to read for a request: the request with `margin` pixels on every
  // side, within `bounds` (which holds the request).
  static gfx::Rect AreaFor(const gfx::Rect& request, const gfx::Rect& bounds, int margin);
  void Keep(const gfx::Rect& area, gfx::Image picture);
  void Forget() { held_ = false; }
  void Changed(const gfx::Rect& change);
  bool Held() const { return held_; }
  // The request's pixels when the kept picture covers all of them; false
  // (and `out` untouched) otherwise.
  bool Serve(const gfx::Rect& request, gfx::Image& out) const;

 private:
  gfx::Image picture_;
  gfx::Rect area_{};
  bool held_ = false;
};

}  // namespace tinctora::qtb
