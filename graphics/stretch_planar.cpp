// The halftone stretch when upscaling both ways with a small source, the
// zoom view's case: every destination pixel covers at most two source columns
// and two source rows, so the sums run along the source's own columns, with a
// value inside each column and one straddling each boundary between two
// (Axis::byColumns), in single precision, one array per channel. Each step
// works on kBatch neighbouring columns alike, which a compiler turns into
// vector code. The sums are integers below 2^21 and so exact; each value is
// rounded once, by FloatDivisor.

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/stretch_internal.h"

namespace tinctora::gfx::stretching {
namespace {

struct PlanarLayout {
  std::size_t inside;    // slots inside columns, plus one batch of zeros read past the last
  std::size_t boundary;  // slots straddling boundaries
  std::size_t Row() const { return 3 * (inside + boundary); }
  float* Inside(float* row, int channel) const { return row + static_cast<std::size_t>(channel) * inside; }
  float* Boundary(float* row, int channel) const {
    return row + 3 * inside + static_cast<std::size_t>(channel) * boundary;
  }
};

// One source row: its columns' channels, and the weighted sums across each
// boundary.
void LoadPlanarRow(const Pixel* in, const Axis& x, const PlanarLayout& layout, std::vector<Pixel>& pixels,
                   float* row) {
  const auto count = static_cast<std::size_t>(x.columnCount);
  std::memcpy(pixels.data(), in + x.columnBegin, count * sizeof(Pixel));
  std::fill(pixels.begin() + static_cast<std::ptrdiff_t>(count), pixels.end(), 0);
  float* const red = layout.Inside(row, 0);
  float* const green = layout.Inside(row, 1);
  float* const blue = layout.Inside(row, 2);
  for (std::size_t i = 0; i < x.insideSlots; i += kBatch) {
    float r[kBatch];
    float g[kBatch];
    float b[kBatch];
    for (std::size_t k = 0; k < kBatch; ++k) {
      const Pixel p = pixels[i + k];
      r[k] = static_cast<float>(static_cast<std::int32_t>(p & 0xFF));
      g[k] = static_cast<float>(static_cast<std::int32_t>((p >> 8) & 0xFF));
      b[k] = static_cast<float>(static_cast<std::int32_t>((p >> 16) & 0xFF));
    }
    std::memcpy(red + i, r, sizeof r);
    std::memcpy(green + i, g, sizeof g);
    std::memcpy(blue + i, b, sizeof b);
  }
  const float* const left = x.leftWeights.data();
  const float* const right = x.rightWeights.data();
  for (int channel = 0; channel < 3; ++channel) {
    const float* const inside = layout.Inside(row, channel);
    float* const boundary = layout.Boundary(row, channel);
    for (std::size_t i = 0; i < x.boundarySlots; i += kBatch) {
      float sum[kBatch];
      for (std::size_t k = 0; k < kBatch; ++k) sum[k] = left[i + k] * inside[i + k] + right[i + k] * inside[i + k + 1];
      std::memcpy(boundary + i, sum, sizeof sum);
    }
  }
}

// The values of n slots of one source row, each channel's sum divided.
void PlanarValues(const float* red, const float* green, const float* blue, std::size_t n, const FloatDivisor& d,
                  Pixel* out) {
  for (std::size_t i = 0; i < n; i += kBatch) {
    for (std::size_t k = 0; k < kBatch; ++k) {
      out[i + k] = d.Quotient(red[i + k] + d.half) | (d.Quotient(green[i + k] + d.half) << 8) |
                   (d.Quotient(blue[i + k] + d.half) << 16);
    }
  }
}

// The same for the weighted sums of two source rows.
void PlanarValues(const float* redA, const float* greenA, const float* blueA, const float* redB,
                  const float* greenB, const float* blueB, float wa, float wb, std::size_t n, const FloatDivisor& d,
                  Pixel* out) {
  for (std::size_t i = 0; i < n; i += kBatch) {
    for (std::size_t k = 0; k < kBatch; ++k) {
      const Pixel red = d.Quotient(wa * redA[i + k] + wb * redB[i + k] + d.half);
      const Pixel green = d.Quotient(wa * greenA[i + k] + wb * greenB[i + k] + d.half);
      const Pixel blue = d.Quotient(wa * blueA[i + k] + wb * blueB[i + k] + d.half);
      out[i + k] = red | (green << 8) | (blue << 16);
    }
  }
}

// Working memory kept between calls, so a stretch repeated on every pointer
// movement does not allocate.
struct Planar {
  std::vector<Pixel> pixels;  // one source row's columns, padded
  std::vector<float> rows;    // two source rows, as PlanarLayout lays them out
  std::vector<Pixel> values;  // one row's values, inside the columns and then across the boundaries
};

Planar& ThreadPlanar() {
  thread_local Planar planar;
  return planar;
}

}  // namespace

bool PlanarServes(const Image& src, const Axis& x, const Axis& y) {
  const auto area = static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height());
  return x.byColumns && y.taps <= 2 && SumsFit(area);
}

void StretchPlanar(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride) {
  Planar& planar = ThreadPlanar();
  std::vector<Pixel>& values = planar.values;
  const PlanarLayout layout{x.insideSlots + kBatch, x.boundarySlots};
  const std::size_t width = static_cast<std::size_t>(x.end - x.begin);
  const auto w = static_cast<std::uint64_t>(src.Width());
  const auto h = static_cast<std::uint64_t>(src.Height());
  const FloatDivisor whole(1);
  const FloatDivisor byWidth(w);
  const FloatDivisor byHeight(h);
  const FloatDivisor byArea(w * h);
  // The padding stays zero.
  planar.rows.assign(2 * layout.Row(), 0.0f);
  planar.pixels.resize(x.insideSlots);
  values.resize(x.insideSlots + x.boundarySlots);
  Pixel* const inside = values.data();
  Pixel* const boundary = values.data() + x.insideSlots;

  // Source row r at slot r % 2; the row segments' origins only grow and each
  // needs rows [origin, origin + taps).
  const auto rowOf = [&](int r) { return planar.rows.data() + static_cast<std::size_t>(r % 2) * layout.Row(); };
  int next = y.srcBegin;
  for (std::size_t j = 0; j < y.segments.size(); ++j) {
    const Segment& row = y.segments[j];
    const int origin = y.origins[j];
    for (; next < origin + y.taps; ++next) LoadPlanarRow(src.Row(next), x, layout, planar.pixels, rowOf(next));
    if (row.pixel >= 0) {
      float* const r = rowOf(row.pixel);
      PlanarValues(layout.Inside(r, 0), layout.Inside(r, 1), layout.Inside(r, 2), x.insideSlots, whole, inside);
      PlanarValues(layout.Boundary(r, 0), layout.Boundary(r, 1), layout.Boundary(r, 2), x.boundarySlots, byWidth,
                   boundary);
    } else {
      float* const a = rowOf(origin);
      float* const b = rowOf(origin + 1);
      const auto wa = static_cast<float>(y.weights[2 * j]);
      const auto wb = static_cast<float>(y.weights[2 * j + 1]);
      PlanarValues(layout.Inside(a, 0), layout.Inside(a, 1), layout.Inside(a, 2), layout.Inside(b, 0),
                   layout.Inside(b, 1), layout.Inside(b, 2), wa, wb, x.insideSlots, byHeight, inside);
      PlanarValues(layout.Boundary(a, 0), layout.Boundary(a, 1), layout.Boundary(a, 2), layout.Boundary(b, 0),
                   layout.Boundary(b, 1), layout.Boundary(b, 2), wa, wb, x.boundarySlots, byArea, boundary);
    }
    StoreRow(x.byColumn, values.data(), width, out);
    RepeatRow(width, row.length, out, stride);
  }
}

}  // namespace tinctora::gfx::stretching
