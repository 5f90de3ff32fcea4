// The plans of a stretch: how each axis is cut into segments with their
// weights, and how a row of values is stored over its segments.

#include <algorithm>
#include <cstring>

#include "graphics/stretch_internal.h"

namespace tinctora::gfx::stretching {

void StorePlan::Build(const std::vector<Segment>& segments, const std::vector<int>& valueOf, int width,
                      Direct allowed) {
  direct = allowed == Direct::Allowed && segments.size() == static_cast<std::size_t>(width);
  blocks = 1;
  blocked.clear();
  blockStarts.clear();
  singles.clear();
  pairs.clear();
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const Segment& segment = segments[k];
    if (segment.length >= kBlockPixels) {
      blocks = std::max(blocks, (segment.length + kBlockPixels - 1) / kBlockPixels);
    }
  }
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const Segment& segment = segments[k];
    if (segment.length >= kBlockPixels) {
      blocked.push_back(valueOf[k]);
      const int last = segment.start + segment.length - kBlockPixels;
      for (int i = 0; i < blocks; ++i) blockStarts.push_back(std::min(segment.start + kBlockPixels * i, last));
    } else if (segment.length == 1) {
      singles.push_back({segment.start, valueOf[k]});
    } else {
      pairs.push_back({segment.start, segment.length, valueOf[k]});
    }
  }
}

void Axis::Plan(int s, int d, int b, int e, StretchQuality q) {
  srcSize = s;
  dstSize = d;
  begin = b;
  end = e;
  quality = q;
  segments.clear();
  origins.clear();
  weights.clear();
  const std::int64_t src = s;
  const std::int64_t dst = d;
  const auto firstOf = [&](std::int64_t i) { return static_cast<int>(i * src / dst); };
  const auto lastOf = [&](std::int64_t i) { return static_cast<int>(((i + 1) * src - 1) / dst); };

  taps = 1;
  if (q == StretchQuality::DropRepeat) {
    for (int i = 0; i < e - b; ++i) {
      const int p = firstOf(b + i);
      if (!segments.empty() && segments.back().pixel == p) {
        ++segments.back().length;
      } else {
        segments.push_back({i, 1, p});
        origins.push_back(p);
      }
    }
  } else {
    for (int i = b; i < e; ++i) taps = std::max(taps, lastOf(i) - firstOf(i) + 1);
    for (int i = 0; i < e - b; ++i) {
      const int first = firstOf(b + i);
      const int count = lastOf(b + i) - first + 1;
      if (count == 1 && !segments.empty() && segments.back().pixel == first) {
        ++segments.back().length;
        continue;
      }
      // Near the end the taps start early so that all of them stay inside the source.
      const int origin = std::min(first, s - taps);
      segments.push_back({i, 1, count == 1 ? first : -1});
      origins.push_back(origin);
      const std::int64_t start = (b + i) * src;
      const std::int64_t stop = start + src;
      for (int t = 0; t < taps; ++t) {
        const std::int64_t j = origin + t;
        const std::int64_t w = std::min((j + 1) * dst, stop) - std::max(j * dst, start);
        weights.push_back(static_cast<std::uint32_t>(std::max<std::int64_t>(w, 0)));
      }
    }
  }
  srcBegin = origins.front();
  srcEnd = origins.back() + taps;
  std::vector<int> valueOf(segments.size());
  for (std::size_t k = 0; k < segments.size(); ++k) valueOf[k] = static_cast<int>(k);
  bySegment.Build(segments, valueOf, e - b, StorePlan::Direct::Allowed);
  PlanColumns(valueOf, e - b);
}

void Axis::PlanColumns(std::vector<int>& valueOf, int width) {
  byColumns = quality == StretchQuality::Halftone && taps <= 2;
  leftWeights.clear();
  rightWeights.clear();
  if (!byColumns) return;
  // A straddling segment covers exactly two columns, from its origin.
  const auto firstColumn = [&](std::size_t k) { return segments[k].pixel >= 0 ? segments[k].pixel : origins[k]; };
  const auto lastColumn = [&](std::size_t k) { return segments[k].pixel >= 0 ? segments[k].pixel : origins[k] + 1; };
  columnBegin = firstColumn(0);
  columnCount = lastColumn(segments.size() - 1) - columnBegin + 1;
  insideSlots = Padded(static_cast<std::size_t>(columnCount));
  boundarySlots = insideSlots;
  leftWeights.assign(boundarySlots, 0.0f);
  rightWeights.assign(boundarySlots, 0.0f);
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const auto c = static_cast<std::size_t>(firstColumn(k) - columnBegin);
    if (segments[k].pixel >= 0) {
      valueOf[k] = static_cast<int>(c);
    } else {
      valueOf[k] = static_cast<int>(insideSlots + c);
      leftWeights[c] = static_cast<float>(weights[2 * k]);
      rightWeights[c] = static_cast<float>(weights[2 * k + 1]);
    }
  }
  byColumn.Build(segments, valueOf, width, StorePlan::Direct::No);
}

namespace {

template <int kN>
inline void StoreBlock(Pixel* p, Pixel v) {
  for (int i = 0; i < kN; ++i) p[i] = v;
}

// kBlocks stores, spelt out: a compiler need not unroll a loop this short.
template <int kBlocks>
inline void StoreBlocks(Pixel* out, const int* at, Pixel v) {
  if constexpr (kBlocks > 0) {
    StoreBlock<kBlockPixels>(out + at[0], v);
    StoreBlocks<kBlocks - 1>(out, at + 1, v);
  }
}

template <int kBlocks>
void StoreBlocked(const StorePlan& plan, const Pixel* values, Pixel* out) {
  const int blocks = kBlocks > 0 ? kBlocks : plan.blocks;
  const int* at = plan.blockStarts.data();
  for (const int value : plan.blocked) {
    const Pixel v = values[value];
    if constexpr (kBlocks > 0) {
      StoreBlocks<kBlocks>(out, at, v);
    } else {
      for (int b = 0; b < blocks; ++b) StoreBlock<kBlockPixels>(out + at[b], v);
    }
    at += blocks;
  }
}

}  // namespace

void StoreRow(const StorePlan& plan, const Pixel* values, std::size_t width, Pixel* out) {
  if (plan.direct) {
    std::memcpy(out, values, width * sizeof(Pixel));
    return;
  }
  // The zoom view's runs of 9 to 11 pixels take three.
  if (plan.blocks == 3) {
    StoreBlocked<3>(plan, values, out);
  } else {
    StoreBlocked<0>(plan, values, out);
  }
  for (const StorePlan::Single& single : plan.singles) out[single.at] = values[single.value];
  for (const StorePlan::Pair& pair : plan.pairs) {
    StoreBlock<2>(out + pair.at, values[pair.value]);
    StoreBlock<2>(out + pair.at + pair.length - 2, values[pair.value]);
  }
}

// The rows of a row segment after its first are copies of it. Where the rows
// follow each other in memory (the stretch covers whole rows of the image),
// the rows done so far are copied onto the ones after them, doubling each
// time: a few long copies cost less than a short one per row.
void RepeatRow(std::size_t width, int length, Pixel*& out, std::ptrdiff_t stride) {
  Pixel* const first = out;
  if (stride == static_cast<std::ptrdiff_t>(width)) {
    const std::size_t total = width * static_cast<std::size_t>(length);
    for (std::size_t done = width; done < total;) {
      const std::size_t n = std::min(done, total - done);
      std::memcpy(first + done, first, n * sizeof(Pixel));
      done += n;
    }
    out = first + total;
    return;
  }
  out += stride;
  for (int k = 1; k < length; ++k, out += stride) std::memcpy(out, first, width * sizeof(Pixel));
}

}  // namespace tinctora::gfx::stretching
