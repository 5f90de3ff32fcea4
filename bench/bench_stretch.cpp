// The zoom view's stretch: a 21 x 21 snapshot over the 219 x 215 panel, done
// on every pointer movement of a pick. Also the panel's real call (drawn at
// the panel's outer size 221 x 217, clipped to its client area), the same
// with the clipped snapshot of a screen corner, and the palette image shrunk
// into its box.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>

#include "graphics/stretch.h"

namespace {

using tinctora::gfx::Image;
using tinctora::gfx::Rect;
using tinctora::gfx::StretchQuality;

Image RandomImage(int width, int height) {
  std::mt19937 random(42);
  Image image(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.Set(x, y, random() & 0xFFFFFF);
  }
  return image;
}

void BM_StretchZoomHalftone(benchmark::State& state) {
  const Image src = RandomImage(21, 21);
  Image dst(219, 215);
  for (auto _ : state) {
    tinctora::gfx::StretchImage(src, dst, StretchQuality::Halftone);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchZoomHalftone);

void BM_StretchZoomDropRepeat(benchmark::State& state) {
  const Image src = RandomImage(21, 21);
  Image dst(219, 215);
  for (auto _ : state) {
    tinctora::gfx::StretchImage(src, dst, StretchQuality::DropRepeat);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchZoomDropRepeat);

void BM_StretchZoomIntoPanelHalftone(benchmark::State& state) {
  const Image src = RandomImage(21, 21);
  Image panel(219, 215);
  for (auto _ : state) {
    tinctora::gfx::StretchInto(src, panel, Rect{0, 0, 221, 217}, StretchQuality::Halftone);
    benchmark::DoNotOptimize(panel.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchZoomIntoPanelHalftone);

// Near the top left corner of the screen the snapshot is clipped to 11 x 11
// and that smaller picture is stretched over the whole panel.
void BM_StretchZoomEdgeIntoPanelHalftone(benchmark::State& state) {
  const Image src = RandomImage(11, 11);
  Image panel(219, 215);
  for (auto _ : state) {
    tinctora::gfx::StretchInto(src, panel, Rect{0, 0, 221, 217}, StretchQuality::Halftone);
    benchmark::DoNotOptimize(panel.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchZoomEdgeIntoPanelHalftone);

void BM_StretchPaletteHalftone(benchmark::State& state) {
  const Image src = RandomImage(627, 377);
  Image dst(211, 108);
  for (auto _ : state) {
    tinctora::gfx::StretchImage(src, dst, StretchQuality::Halftone);
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_StretchPaletteHalftone);

// The floor for any stretch to the panel's size: writing its pixels once.
void BM_CopyPanelSizedImage(benchmark::State& state) {
  const Image src = RandomImage(219, 215);
  Image dst(219, 215);
  for (auto _ : state) {
    std::copy(src.Pixels().begin(), src.Pixels().end(), dst.Row(0));
    benchmark::DoNotOptimize(dst.Row(0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyPanelSizedImage);

}  // namespace

BENCHMARK_MAIN();
