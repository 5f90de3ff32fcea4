// Stretched drawing. The zoom view stretches a 21 x 21 snapshot over the
// panel on every pointer movement of a pick, so the stretch is built for that
// case. Each axis is planned once per geometry and kept: its visible part is
// cut into segments, a run of destination pixels inside one source pixel or
// one pixel straddling several, each with its integer area weights. A stretch
// then works out one value per pair of segments (some 1,400 for the zoom
// view's 47,000 pixels), stores each over its run with block stores, and
// copies a finished row over the rest of its row segment.
//
// The values come from one of three paths, all exact: upscaling both ways
// with a small source (the zoom view) runs along the source columns in single
// precision (StretchPlanar, stretch_planar.cpp); other small sources keep each
// pixel's three channel sums packed in one integer, large ones keep them
// apart (StretchHalftone, stretch_kernels.cpp).

#include <algorithm>

#include "graphics/stretch_internal.h"

namespace tinctora::gfx {
namespace stretching {
namespace {

// The axes of the last stretch, kept between calls so that a stretch repeated
// on every pointer movement does not plan them again.
struct Axes {
  Axis x;
  Axis y;
};

Axes& ThreadAxes() {
  thread_local Axes axes;
  return axes;
}

}  // namespace

void StretchRegion(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride, StretchQuality quality) {
  if (src.Empty() || g.x1 <= g.x0 || g.y1 <= g.y0) return;
  Axes& s = ThreadAxes();
  if (!s.x.Matches(src.Width(), g.dstWidth, g.x0, g.x1, quality)) {
    s.x.Plan(src.Width(), g.dstWidth, g.x0, g.x1, quality);
  }
  if (!s.y.Matches(src.Height(), g.dstHeight, g.y0, g.y1, quality)) {
    s.y.Plan(src.Height(), g.dstHeight, g.y0, g.y1, quality);
  }
  if (quality == StretchQuality::DropRepeat) {
    StretchDropRepeat(src, s.x, s.y, out, stride);
    return;
  }
  if (PlanarServes(src, s.x, s.y)) {
    StretchPlanar(src, s.x, s.y, out, stride);
    return;
  }
  StretchHalftone(src, s.x, s.y, out, stride);
}

bool ClipRegion(const Image& dst, const Rect& r, Region& g, Rect& visible) {
  if (r.Empty()) return false;
  visible = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, dst.Width()),
             std::min(r.bottom, dst.Height())};
  if (visible.Empty()) return false;
  g = {r.Width(), r.Height(), visible.left - r.left, visible.top - r.top, visible.right - r.left,
       visible.bottom - r.top};
  return true;
}

}  // namespace stretching

void StretchImage(const Image& src, Image& dst, StretchQuality quality) {
  StretchInto(src, dst, Rect{0, 0, dst.Width(), dst.Height()}, quality);
}

void StretchInto(const Image& src, Image& dst, const Rect& r, StretchQuality quality) {
  stretching::Region g;
  Rect visible;
  if (src.Empty() || !stretching::ClipRegion(dst, r, g, visible)) return;
  stretching::StretchRegion(src, g, dst.Row(visible.top) + visible.left, dst.Width(), quality);
}

}  // namespace tinctora::gfx
