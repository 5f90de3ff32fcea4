#pragma once

#include <cstdint>

namespace tinctora::colour {

// A colour in the operating system's order: red in bits 0-7, green in 8-15,
// blue in 16-23. Colour properties may also hold values with a non-zero top
// byte (DefaultColour, the unreadable-pixel value), so the type is the full
// signed 32-bit integer the decimal notation shows.
using ColourValue = std::int32_t;

// Stored in a colour property to mean the system's button-face colour.
inline constexpr ColourValue DefaultColour = static_cast<ColourValue>(0xFF000000u);
// What a pixel read gives when the pixel cannot be read.
inline constexpr ColourValue InvalidColour = static_cast<ColourValue>(0xFFFFFFFFu);

struct Channels {
  int red = 0;
  int green = 0;
  int blue = 0;
  friend bool operator==(const Channels&, const Channels&) = default;
};

// Builds a colour from the low 8 bits of each channel's two's-complement
// pattern, so -5 contributes 251.
constexpr ColourValue MakeColour(std::int32_t red, std::int32_t green, std::int32_t blue) {
  const auto r = static_cast<std::uint32_t>(red) & 0xFFu;
  const auto g = static_cast<std::uint32_t>(green) & 0xFFu;
  const auto b = static_cast<std::uint32_t>(blue) & 0xFFu;
  return static_cast<ColourValue>(r | (g << 8) | (b << 16));
}

// Bytes 0, 1 and 2 of the value; the top byte is ignored.
constexpr Channels SplitColour(ColourValue value) {
  const auto v = static_cast<std::uint32_t>(value);
  return {static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu),
          static_cast<int>((v >> 16) & 0xFFu)};
}

}  // namespace tinctora::colour
