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
