#include "graphics/font.h"

namespace tinctora::gfx {

void BlendCoverage(Image& target, int x, int y, const std::uint8_t* coverage, int width, int height,
                   std::ptrdiff_t stride, Pixel colour) {
  if (coverage == nullptr) return;
  const int r = colour & 0xFF;
  const int g = (colour >> 8) & 0xFF;
  const int b = (colour >> 16) & 0xFF;
  for (int gy = 0; gy < height; ++gy) {
    const int ty = y + gy;
    if (ty < 0 || ty >= target.Height()) continue;
    const std::uint8_t* cover = coverage + gy * stride;
    Pixel* row = target.Row(ty);
    for (int gx = 0; gx < width; ++gx) {
      const int tx = x + gx;
      const int a = cover[gx];
      if (a == 0 || tx < 0 || tx >= target.Width()) continue;
      const Pixel under = row[tx];
      const auto mix = [a](int over, int base) { return (over * a + base * (255 - a) + 127) / 255; };
      row[tx] = RgbPixel(mix(r, under & 0xFF), mix(g, (under >> 8) & 0xFF), mix(b, (under >> 16) & 0xFF));
    }
  }
}

}  // namespace tinctora::gfx
