#pragma once

// Stretched drawing: an image or a picture drawn into a rectangle of another
// image at a different size, as the zoom view, the palette box and the
// picture boxes draw.
#include "graphics/image.h"
#include "graphics/picture.h"

namespace tinctora::gfx {

enum class StretchQuality {
  Halftone,    // area averaging, used when the display has more than 16 bits per pixel
  DropRepeat,  // whole source rows and columns are dropped or repeated
};

inline StretchQuality StretchQualityFor(int bitsPerPixel) {
  return bitsPerPixel > 16 ? StretchQuality::Halftone : StretchQuality::DropRepeat;
}

// Stretches src over the whole of dst (dst keeps its size).
void StretchImage(const Image& src, Image& dst, StretchQuality quality);
// Stretches src into the rectangle r of dst, clipped to dst.
void StretchInto(const Image& src, Image& dst, const Rect& r, StretchQuality quality);
// Draws a picture into the rectangle r of dst (stretched if r's size differs
// from the picture's), honouring its mask or alpha. Clipped to dst. A masked
// picture is always stretched by whole pixels so colour and mask stay in step.
// Halftone gives each destination pixel the exact area average of the source
// it covers, each channel rounded; DropRepeat takes source index
// dest index * source size / destination size.
void DrawPicture(Image& dst, const Picture& picture, const Rect& r, StretchQuality quality);

}  // namespace tinctora::gfx
