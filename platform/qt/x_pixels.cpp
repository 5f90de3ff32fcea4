#include "platform/qt/x_pixels.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace tinctora::qtb {

namespace {

// One channel of a mask: where it starts and how many values it holds.
struct Channel {
  int shift = 0;
  std::uint32_t bits = 0;  // the mask moved down to bit 0

  explicit Channel(std::uint32_t mask) {
    if (mask == 0) return;
    while (((mask >> shift) & 1u) == 0) ++shift;
    bits = mask >> shift;
  }
  // The channel of a pixel value, scaled to 8 bits.
  int Of(std::uint32_t value) const {
    if (bits == 0) return 0;
    const std::uint32_t raw = (value >> shift) & bits;
    return static_cast<int>(bits == 0xFF ? raw : (raw * 255 + bits / 2) / bits);
  }
};

}  // namespace

bool XPixelFormat::Usable() const {
  return (bitsPerPixel == 32 || bitsPerPixel == 24 || bitsPerPixel == 16) && scanlinePad > 0 &&
         scanlinePad % 8 == 0;
}

int XPixelFormat::Stride(int width) const {
  return ((width * bitsPerPixel + scanlinePad - 1) / scanlinePad) * scanlinePad / 8;
}

bool ConvertXImage(const std::uint8_t* data, int length, int width, int height, const XPixelFormat& format,
                   gfx::Image& out) {
  if (!format.Usable() || width <= 0 || height <= 0) return false;
  const int stride = format.Stride(width);
  if (length < 0 || static_cast<long long>(length) < static_cast<long long>(stride) * height) return false;
  out.Reset(width, height);
  if (std::endian::native == std::endian::little && format.bitsPerPixel == 32 && format.lsbFirst &&
      format.redMask == 0xFF0000u && format.greenMask == 0xFF00u && format.blueMask == 0xFFu) {
    // Blue, green, red, unused in memory: the words of a little-endian
    // row, whose red and blue change places and whose unused byte goes.
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row = data + static_cast<std::ptrdiff_t>(y) * stride;
      gfx::SwapRedAndBlue(out.Row(y), reinterpret_cast<const std::uint32_t*>(row), width, 0);
    }
    return true;
  }
  const Channel red(format.redMask);
  const Channel green(format.greenMask);
  const Channel blue(format.blueMask);
  const int bytes = format.bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    gfx::Pixel* to = out.Row(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = row + x * bytes;
      std::uint32_t value = 0;
      for (int b = 0; b < bytes; ++b) {
        const int shift = format.lsbFirst ? 8 * b : 8 * (bytes - 1 - b);
        value |= static_cast<std::uint32_t>(p[b]) << shift;
      }
      to[x] = gfx::RgbPixel(red.Of(value), green.Of(value), blue.Of(value));
    }
  }
  return true;
}

}  // namespace tinctora::qtb

namespace tinctora::qtb {

gfx::Rect KeptScreenArea::AreaFor(const gfx::Rect& request, const gfx::Rect& bounds, int margin) {
  return {std::max(bounds.left, request.left - margin), std::max(bounds.top, request.top - margin),
          std::min(bounds.right, request.right + margin), std::min(bounds.bottom, request.bottom + margin)};
}

void KeptScreenArea::Keep(const gfx::Rect& area, gfx::Image picture) {
  held_ = !area.Empty() && picture.Width() == area.Width() && picture.Height() == area.Height();
  area_ = area;
  picture_ = std::move(picture);
}

void KeptScreenArea::Changed(const gfx::Rect& change) {
  if (!held_ || change.Empty()) return;
  if (change.left < area_.right && area_.left < change.right && change.top < area_.bottom &&
      area_.top < change.bottom) {
    held_ = false;
  }
}

bool KeptScreenArea::Serve(const gfx::Rect& request, gfx::Image& out) const {
  if (!held_ || request.Empty() || request.left < area_.left || request.top < area_.top ||
      request.right > area_.right || request.bottom > area_.bottom) {
    return false;
  }
  const int width = request.Width();
  out.Reset(width, request.Height());
  for (int y = 0; y < request.Height(); ++y) {
    const gfx::Pixel* from = picture_.Row(request.top - area_.top + y) + (request.left - area_.left);
    std::copy(from, from + width, out.Row(y));
  }
  return true;
}

}  // namespace tinctora::qtb
