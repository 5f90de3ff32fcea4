#pragma once

#include <cstdint>
#include <vector>

// The drawing types every layer shares: the control layer paints into
// images, backends show them and read the screen into them.
namespace tinctora::gfx {

// A 32-bit pixel in the system's colour order: red in bits 0-7, green 8-15,
// blue 16-23, top byte 0. The same layout as a colour value, so a pixel read
// from an image is a colour value as it stands.
using Pixel = std::uint32_t;

inline constexpr Pixel RgbPixel(int red, int green, int blue) {
  return static_cast<Pixel>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

// A colour written red first, as layout tables write it (FF5080 is red FF,
// green 50, blue 80), in the system's order.
inline constexpr Pixel RgbHex(std::uint32_t rrggbb) {
  return RgbPixel(static_cast<int>((rrggbb >> 16) & 0xFF), static_cast<int>((rrggbb >> 8) & 0xFF),
                  static_cast<int>(rrggbb & 0xFF));
}

// Copies `count` 32-bit words with their lowest and third bytes swapped and
// the top byte replaced by `top` (0 or 0xFF000000): the program's pixels to
// the 0xXXRRGGBB words screens and toolkits keep, or back. `to` may be
// `from`; the words need no alignment.
void SwapRedAndBlue(std::uint32_t* to, const std::uint32_t* from, int count, std::uint32_t top);

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;  // exclusive
  int bottom = 0; // exclusive
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

class Image {
 public:
  Image() = default;
  Image(int width, int height, Pixel fill = 0)
      : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0),
        pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return pixels_.empty(); }

  Pixel At(int x, int y) const { return pixels_[Index(x, y)]; }
  void Set(int x, int y, Pixel p) { pixels_[Index(x, y)] = p; }
  Pixel* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
  const Pixel* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_); }
  const std::vector<Pixel>& Pixels() const { return pixels_; }

  // Reshapes without keeping the old contents; keeps the allocation when it
  // is big enough, so an image redrawn every pointer movement does not churn.
  void Reset(int width, int height, Pixel fill = 0) {
    width_ = width > 0 ? width : 0;
    height_ = height > 0 ? height : 0;
    pixels_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill);
  }
  void Fill(Pixel p) { pixels_.assign(pixels_.size(), p); }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
  }
  int width_ = 0;
  int height_ = 0;
  std::vector<Pixel> pixels_;
};

}  // namespace tinctora::gfx
