#pragma once

#include <cstdio>
#include <string>

#include "graphics/image.h"

namespace tinctora::gfx::testing {

// RRGGBB, red first, for messages.
inline std::string Hex(Pixel p) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X", static_cast<unsigned>(p & 0xFF),
                static_cast<unsigned>((p >> 8) & 0xFF), static_cast<unsigned>((p >> 16) & 0xFF));
  return buf;
}

// Pixel values given as RRGGBB, the way colours are written by people.
inline Pixel FromRgb(unsigned rgb) { return RgbPixel((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace tinctora::gfx::testing
