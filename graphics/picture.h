#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "graphics/image.h"

namespace tinctora::gfx {

// A decoded picture. An opaque picture (a PNG without transparency, a DIB)
// has an empty mask. A cursor or icon keeps the system's two-bitmap form:
// where the mask is 1 the screen is kept and XOR-ed with the colour image, where
// it is 0 the colour image replaces the screen.
struct Picture {
  Image colour;
  std::vector<std::uint8_t> mask;  // one byte per pixel, 0 or 1; empty means opaque
  // Alpha of a PNG with partial transparency, one byte per pixel; empty means opaque.
  std::vector<std::uint8_t> alpha;

  int Width() const { return colour.Width(); }
  int Height() const { return colour.Height(); }
};

struct CursorImage {
  Picture picture;
  Point hotSpot;
};

// Decodes an image file held in memory: PNG (through libpng), a Windows
// cursor or icon file (the first image; 1, 4, 8, 24 or 32 bits per pixel), or
// a BMP file. Bytes that hold no usable image give nothing.
std::optional<Picture> DecodePicture(std::span<const std::uint8_t> bytes);
// A Windows cursor file's first image with its hot spot.
std::optional<CursorImage> DecodeCursor(std::span<const std::uint8_t> bytes);

// Encodes an image as an 8-bit RGB PNG file (used to save screenshots).
std::vector<std::uint8_t> EncodePng(const Image& image);

}  // namespace tinctora::gfx
