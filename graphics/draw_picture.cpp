// Drawing a picture: stretched like an image, then laid over the target
// through its mask or its alpha.

#include <cstdint>
#include <vector>

#include "graphics/stretch_internal.h"

namespace tinctora::gfx {
namespace {

using stretching::Blue;
using stretching::ClipRegion;
using stretching::Green;
using stretching::kColourBits;
using stretching::Red;
using stretching::StretchRegion;

// over laid on under at the given alpha (0 to 255), each channel rounded.
Pixel Blend(Pixel under, Pixel over, unsigned alpha) {
  const unsigned inverse = 255 - alpha;
  const auto mix = [&](unsigned a, unsigned b) { return static_cast<int>((b * alpha + a * inverse + 127) / 255); };
  return RgbPixel(mix(Red(under), Red(over)), mix(Green(under), Green(over)), mix(Blue(under), Blue(over)));
}

// One byte per pixel of a picture as an image (the byte in the red channel),
// so that it can be stretched like the colours.
Image BytesAsImage(const std::vector<std::uint8_t>& bytes, int width, int height) {
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    Pixel* row = image.Row(y);
    const std::uint8_t* in = bytes.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) row[x] = in[x];
  }
  return image;
}

}  // namespace

void DrawPicture(Image& dst, const Picture& picture, const Rect& r, StretchQuality quality) {
  stretching::Region g;
  Rect visible;
  if (picture.colour.Empty() || !ClipRegion(dst, r, g, visible)) return;
  const int w = picture.Width();
  const int h = picture.Height();
  const bool natural = r.Width() == w && r.Height() == h;
  const bool hasAlpha = picture.alpha.size() == static_cast<std::size_t>(w) * h;
  const bool hasMask = !hasAlpha && picture.mask.size() == static_cast<std::size_t>(w) * h;

  if (!hasAlpha && !hasMask) {
    if (natural) {
      for (int y = visible.top; y < visible.bottom; ++y) {
        const Pixel* in = picture.colour.Row(y - r.top) + (visible.left - r.left);
        Pixel* out = dst.Row(y) + visible.left;
        for (int x = 0; x < visible.Width(); ++x) out[x] = in[x] & kColourBits;
      }
    } else {
      StretchRegion(picture.colour, g, dst.Row(visible.top) + visible.left, dst.Width(), quality);
    }
    return;
  }

  // A masked picture is stretched by whole pixels, so that colour and mask
  // stay in step; a translucent one averages its alpha like its colours.
  const Image* colour = &picture.colour;
  Image stretchedColour;
  Image stretchedBytes;
  const Image* bytes = nullptr;
  int ox = r.left;
  int oy = r.top;
  Image bytesImage = BytesAsImage(hasAlpha ? picture.alpha : picture.mask, w, h);
  if (natural) {
    bytes = &bytesImage;
  } else {
    const StretchQuality q = hasMask ? StretchQuality::DropRepeat : quality;
    stretchedColour.Reset(visible.Width(), visible.Height());
    stretchedBytes.Reset(visible.Width(), visible.Height());
    StretchRegion(picture.colour, g, stretchedColour.Row(0), visible.Width(), q);
    StretchRegion(bytesImage, g, stretchedBytes.Row(0), visible.Width(), q);
    colour = &stretchedColour;
    bytes = &stretchedBytes;
    ox = visible.left;
    oy = visible.top;
  }
  for (int y = visible.top; y < visible.bottom; ++y) {
    const Pixel* in = colour->Row(y - oy) + (visible.left - ox);
    const Pixel* b = bytes->Row(y - oy) + (visible.left - ox);
    Pixel* out = dst.Row(y) + visible.left;
    for (int x = 0; x < visible.Width(); ++x) {
      if (hasMask) {
        // Where the mask is 1 the screen shows through, XOR-ed with the colour.
        const Pixel keep = (b[x] & 0xFF) != 0 ? kColourBits : 0;
        out[x] = ((out[x] & keep) ^ in[x]) & kColourBits;
      } else {
        out[x] = Blend(out[x], in[x], b[x] & 0xFF);
      }
    }
  }
}

}  // namespace tinctora::gfx
