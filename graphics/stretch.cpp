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
// precision (StretchPlanar); other small sources keep each pixel's three
// channel sums packed in one integer (PackedChannels); large ones keep them
// apart (WideChannels).

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/stretch.h"

namespace tinctora::gfx {
namespace {

constexpr Pixel kColourBits = 0x00FFFFFF;

inline unsigned Red(Pixel p) { return p & 0xFF; }
inline unsigned Green(Pixel p) { return (p >> 8) & 0xFF; }
inline unsigned Blue(Pixel p) { return (p >> 16) & 0xFF; }

// Exact floor(n / d) for every n <= maxN, by one multiplication and a shift
// while n * m fits in 64 bits, by a real division otherwise. With
// m = ceil(2^s / d) and 2^s >= maxN * d the error term stays below 1 / d, so
// the quotient is exact.
class Divider {
 public:
  Divider(std::uint64_t d, std::uint64_t maxN) : divisor_(std::max<std::uint64_t>(d, 1)) {
    if (divisor_ >= (1ull << 31) || maxN >= (1ull << 31)) return;
    const std::uint64_t product = std::max<std::uint64_t>(maxN * divisor_, 1);
    while ((1ull << shift_) < product) ++shift_;
    multiplier_ = ((1ull << shift_) + divisor_ - 1) / divisor_;
    fast_ = true;
  }
  std::uint64_t operator()(std::uint64_t n) const { return fast_ ? (n * multiplier_) >> shift_ : n / divisor_; }

 private:
  std::uint64_t divisor_;
  std::uint64_t multiplier_ = 0;
  unsigned shift_ = 0;
  bool fast_ = false;
};

// Pixels in one block store: 16 bytes, one store on any 64-bit processor.
constexpr int kBlockPixels = 4;

// Rows of sums are rounded kBatch values at a time: they are padded to a
// multiple of kBatch, so a step has a fixed trip count and a compiler can turn
// it into vector instructions.
constexpr std::size_t kBatch = 8;

inline std::size_t Padded(std::size_t n) { return (n + kBatch - 1) / kBatch * kBatch; }

// A run of destination pixels showing one value. For the halftone stretch a
// run inside one source pixel, or a single pixel straddling several.
struct Segment {
  int start = 0;   // first destination index, counted from the visible begin
  int length = 0;
  int pixel = -1;  // the source pixel of a segment inside one, -1 for a straddling pixel
};

// How a row is stored from its values. Direct: every segment is one pixel
// and value k is segment k's, so the values are the row. Otherwise each
// segment of kBlockPixels or more (`blocked`) takes `blocks` stores of
// kBlockPixels, the last one ending where the segment ends and overlapping
// the one before; a single pixel takes one store, and a segment of two or
// three (`pairs`) two overlapping stores of two pixels.
struct StorePlan {
  enum class Direct { Allowed, No };
  struct Single {
    int at = 0;
    int value = 0;
  };
  struct Pair {
    int at = 0;
    int length = 0;
    int value = 0;
  };
  bool direct = false;
  int blocks = 1;
  std::vector<int> blocked;      // the value of each
  std::vector<int> blockStarts;  // `blocks` per segment in blocked
  std::vector<Single> singles;
  std::vector<Pair> pairs;

  void Build(const std::vector<Segment>& segments, const std::vector<int>& valueOf, int width, Direct allowed) {
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
};

// One axis of a stretch: the visible destination range [begin, end) of a
// source of srcSize pixels stretched to dstSize.
//
// Halftone: in units where a source pixel is dstSize long and a destination
// pixel srcSize long, destination pixel d covers [d * srcSize, (d + 1) *
// srcSize); its weight on source pixel s is the overlap with [s * dstSize,
// (s + 1) * dstSize). The weights of every destination pixel sum to srcSize.
// Every segment carries the same number of weights (taps), on consecutive
// source pixels from its origin, zero where it does not reach, so that the
// loops applying them have one trip count for the whole stretch.
//
// DropRepeat: destination pixel d shows source pixel d * srcSize / dstSize;
// a segment is a run of destination pixels showing the same one.
struct Axis {
  int srcSize = -1;
  int dstSize = -1;
  int begin = -1;
  int end = -1;
  StretchQuality quality = StretchQuality::Halftone;

  std::vector<Segment> segments;
  int taps = 1;
  std::vector<int> origins;            // per segment, the source index of its first tap (DropRepeat: its pixel)
  std::vector<std::uint32_t> weights;  // taps per segment
  int srcBegin = 0;                    // the source pixels the taps read
  int srcEnd = 0;

  // Upscaling by halftone (at most two taps): the values laid out by source
  // column instead of by segment, for the planar path below. Slot
  // c - columnBegin holds the value inside source column c, slot
  // insideSlots + c - columnBegin the one straddling columns c and c + 1,
  // whose weights are leftWeights and rightWeights there (zero where no
  // destination pixel straddles that boundary).
  bool byColumns = false;
  int columnBegin = 0;
  int columnCount = 0;
  std::size_t insideSlots = 0;
  std::size_t boundarySlots = 0;
  std::vector<float> leftWeights;
  std::vector<float> rightWeights;

  StorePlan bySegment;  // value k belongs to segment k
  StorePlan byColumn;   // values laid out by column

  bool Matches(int s, int d, int b, int e, StretchQuality q) const {
    return srcSize == s && dstSize == d && begin == b && end == e && quality == q;
  }

  void Plan(int s, int d, int b, int e, StretchQuality q) {
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

  void PlanColumns(std::vector<int>& valueOf, int width) {
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
};

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

// One destination row from its values.
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

// Two ways to hold the weighted channel sums of a pixel. Packed keeps the
// three channels side by side in one 64-bit word, 21 bits each, so a
// weighted sum costs one multiply-add per source pixel; it serves while every
// channel sum with its rounding half (at most 255.5 x the source area) stays
// below 2^21, which covers the zoom snapshot. Wide keeps one 64-bit sum per channel for anything larger.

// floor((n + d / 2) / d), the rounded average of a channel, as the integer
// part of (n + d / 2) * r in single precision, r being the smallest float not
// below 1 / d. Exact wherever it is used: d <= 8208 and n + d / 2 an integer
// below 2^21, so held exactly. The product is never below the true quotient,
// so it reaches every integer it should; it exceeds the quotient (< 256) by
// less than 256 * 2^-23 plus half a unit in its last place, 2^-17, together
// under 2^-14, while a quotient that is not an integer lies at least
// 1 / d > 2^-14 below the next one. Extra precision in the multiplication
// only brings the product closer. (The sums must not be reassociated with the
// halves, as some fast-math settings would.)
struct FloatDivisor {
  explicit FloatDivisor(std::uint64_t d)
      : half(static_cast<float>(d / 2)), reciprocal(1.0f / static_cast<float>(d)) {
    if (static_cast<double>(reciprocal) * static_cast<double>(d) < 1.0) reciprocal = std::nextafter(reciprocal, 2.0f);
  }
  // n already includes the half.
  Pixel Quotient(float n) const { return static_cast<Pixel>(static_cast<std::int32_t>(n * reciprocal)); }
  float half;
  float reciprocal;
};

struct PackedChannels {
  using Value = std::uint64_t;
  static constexpr int kShift = 21;
  static constexpr std::uint64_t kLane = (1ull << kShift) - 1;
  static constexpr std::uint64_t kOnes = 1 | (1ull << kShift) | (1ull << (2 * kShift));
  static bool Fits(std::uint64_t area) { return 255 * area + area / 2 <= kLane; }
  static Value Load(Pixel p) {
    return (p & 0xFF) | (static_cast<std::uint64_t>(p & 0xFF00) << 13) |
           (static_cast<std::uint64_t>(p & 0xFF0000) << 26);
  }
  static void Add(Value& sum, std::uint64_t w, const Value& v) { sum += w * v; }

  class Rounder {
   public:
    explicit Rounder(std::uint64_t d) : half_((d / 2) * kOnes), divide_(d) {}
    // n is a multiple of kBatch.
    void Row(const Value* sums, std::size_t n, Pixel* out) const {
      const std::uint64_t half = half_;
      const FloatDivisor divide = divide_;
      for (std::size_t i = 0; i < n; i += kBatch) {
        for (std::size_t k = 0; k < kBatch; ++k) {
          const std::uint64_t sum = sums[i + k] + half;
          const auto red = static_cast<float>(static_cast<std::int32_t>(sum & kLane));
          const auto green = static_cast<float>(static_cast<std::int32_t>((sum >> kShift) & kLane));
          const auto blue = static_cast<float>(static_cast<std::int32_t>(sum >> (2 * kShift)));
          out[i + k] = divide.Quotient(red) | (divide.Quotient(green) << 8) | (divide.Quotient(blue) << 16);
        }
      }
    }

   private:
    std::uint64_t half_;
    FloatDivisor divide_;
  };
};

struct WideChannels {
  struct Value {
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
  };
  static Value Load(Pixel p) { return {Red(p), Green(p), Blue(p)}; }
  static void Add(Value& sum, std::uint64_t w, const Value& v) {
    sum.red += w * v.red;
    sum.green += w * v.green;
    sum.blue += w * v.blue;
  }
  class Rounder {
   public:
    explicit Rounder(std::uint64_t d) : half_(d / 2), divide_(d, 255 * d + d / 2) {}
    void Row(const Value* sums, std::size_t n, Pixel* out) const {
      for (std::size_t k = 0; k < n; ++k) {
        out[k] = RgbPixel(static_cast<int>(divide_(sums[k].red + half_)),
                          static_cast<int>(divide_(sums[k].green + half_)),
                          static_cast<int>(divide_(sums[k].blue + half_)));
      }
    }

   private:
    std::uint64_t half_;
    Divider divide_;
  };
};

// Working memory of the planar path (StretchPlanar).
struct Planar {
  std::vector<Pixel> pixels;  // one source row's columns, padded
  std::vector<float> rows;    // two source rows, as PlanarLayout lays them out
};

template <typename Value>
struct Sums {
  std::vector<Value> row;   // one source row, loaded
  std::vector<Value> ring;  // horizontal sums of the last `taps` source rows, one per column segment
  std::vector<Value> acc;   // vertical sums of one row segment
  std::vector<const Value*> rows;  // the ring rows a row segment reads
};

// Working memory kept between calls, so a stretch repeated on every pointer
// movement neither plans its axes again nor allocates.
struct Scratch {
  Axis x;
  Axis y;
  Sums<PackedChannels::Value> packed;
  Sums<WideChannels::Value> wide;
  Planar planar;
  std::vector<Pixel> values;  // one value per column segment
};

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

void StretchDropRepeat(const Image& src, const Axis& x, const Axis& y, std::vector<Pixel>& values, Pixel* out,
                       std::ptrdiff_t stride) {
  const std::size_t width = static_cast<std::size_t>(x.end - x.begin);
  values.resize(x.segments.size());
  for (const Segment& row : y.segments) {
    const Pixel* in = src.Row(row.pixel);
    Pixel* v = x.bySegment.direct ? out : values.data();
    const std::size_t n = x.origins.size();
    for (std::size_t k = 0; k < n; ++k) v[k] = in[x.origins[k]] & kColourBits;
    if (!x.bySegment.direct) StoreRow(x.bySegment, values.data(), width, out);
    RepeatRow(width, row.length, out, stride);
  }
}

// The weighted sums of one source row for every column segment.
template <typename Channels>
void HorizontalSums(const Pixel* in, const Axis& x, typename Channels::Value* loaded,
                    typename Channels::Value* sums) {
  using Value = typename Channels::Value;
  const int taps = x.taps;
  const int srcBegin = x.srcBegin;
  const int srcEnd = x.srcEnd;
  for (int c = srcBegin; c < srcEnd; ++c) loaded[c - srcBegin] = Channels::Load(in[c]);
  const std::uint32_t* w = x.weights.data();
  const std::size_t count = x.origins.size();
  const int* origin = x.origins.data();
  for (std::size_t k = 0; k < count; ++k, w += taps) {
    const Value* v = loaded + (origin[k] - srcBegin);
    Value sum{};
    for (int t = 0; t < taps; ++t) Channels::Add(sum, w[t], v[t]);
    sums[k] = sum;
  }
}

// The vertical sums of a straddling row segment: the weighted horizontal sums
// of the source rows it covers. n is a multiple of kBatch.
template <typename Channels>
void VerticalSums(const typename Channels::Value* const* rows, const std::uint32_t* w, int taps, std::size_t n,
                  typename Channels::Value* acc) {
  using Value = typename Channels::Value;
  std::fill_n(acc, n, Value{});
  for (int t = 0; t < taps; ++t) {
    if (w[t] == 0) continue;
    const Value* h = rows[t];
    for (std::size_t k = 0; k < n; ++k) Channels::Add(acc[k], w[t], h[k]);
  }
}

// Every value is rounded once from its exact area average. A row segment
// inside one source row divides that row's horizontal sums by the source
// width (a column inside one source pixel thus gets that pixel back); a
// straddling one divides its vertical sums by the area.
template <typename Channels>
void StretchHalftone(const Image& src, const Axis& x, const Axis& y, Sums<typename Channels::Value>& sums,
                         std::vector<Pixel>& values, Pixel* out, std::ptrdiff_t stride) {
  using Value = typename Channels::Value;
  using Rounder = typename Channels::Rounder;
  const std::size_t columns = Padded(x.segments.size());
  const std::size_t width = static_cast<std::size_t>(x.end - x.begin);
  const int tapsY = y.taps;
  values.resize(columns);
  sums.row.resize(static_cast<std::size_t>(x.srcEnd - x.srcBegin));
  // The padding columns stay zero.
  sums.ring.assign(static_cast<std::size_t>(tapsY) * columns, Value{});
  sums.acc.resize(columns);
  sums.rows.resize(static_cast<std::size_t>(tapsY));
  const Rounder byWidth(static_cast<std::uint64_t>(src.Width()));
  const Rounder byArea(static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height()));

  // The ring holds the horizontal sums of source rows [next - taps, next),
  // row r at slot r % taps; the row segments' origins only grow and each
  // needs rows [origin, origin + taps).
  int next = y.srcBegin;
  const auto sumsOf = [&](int r) { return sums.ring.data() + static_cast<std::size_t>(r % tapsY) * columns; };
  for (std::size_t j = 0; j < y.segments.size(); ++j) {
    const Segment& row = y.segments[j];
    const int origin = y.origins[j];
    for (; next < origin + tapsY; ++next) {
      HorizontalSums<Channels>(src.Row(next), x, sums.row.data(), sumsOf(next));
    }
    if (row.pixel >= 0) {
      byWidth.Row(sumsOf(row.pixel), columns, values.data());
    } else {
      for (int t = 0; t < tapsY; ++t) sums.rows[static_cast<std::size_t>(t)] = sumsOf(origin + t);
      VerticalSums<Channels>(sums.rows.data(), y.weights.data() + j * static_cast<std::size_t>(tapsY), tapsY,
                                    columns, sums.acc.data());
      byArea.Row(sums.acc.data(), columns, values.data());
    }
    StoreRow(x.bySegment, values.data(), width, out);
    RepeatRow(width, row.length, out, stride);
  }
}


// Upscaling both ways with a small source, the zoom view's case: every
// destination pixel covers at most two source columns and two source rows,
// so the sums run along the source's own columns, with a value inside each
// column and one straddling each boundary between two (Axis::byColumns), in
// single precision, one array per channel. Each step works on kBatch
// neighbouring columns alike, which a compiler turns into vector code. The
// sums are integers below 2^21 and so exact; each value is rounded once, by
// FloatDivisor.
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

bool PlanarServes(const Image& src, const Axis& x, const Axis& y) {
  const auto area = static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height());
  return x.byColumns && y.taps <= 2 && PackedChannels::Fits(area);
}

void StretchPlanar(const Image& src, const Axis& x, const Axis& y, Planar& planar, std::vector<Pixel>& values,
                   Pixel* out, std::ptrdiff_t stride) {
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

// Stretches src to dstWidth x dstHeight and writes the part [x0, x1) x [y0, y1)
// of the result to out (row stride in pixels).
struct Region {
  int dstWidth = 0;   // size of the whole stretched picture
  int dstHeight = 0;
  int x0 = 0;         // visible part, in the stretched picture's coordinates
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
};

void StretchRegion(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride, StretchQuality quality) {
  if (src.Empty() || g.x1 <= g.x0 || g.y1 <= g.y0) return;
  Scratch& s = ThreadScratch();
  if (!s.x.Matches(src.Width(), g.dstWidth, g.x0, g.x1, quality)) {
    s.x.Plan(src.Width(), g.dstWidth, g.x0, g.x1, quality);
  }
  if (!s.y.Matches(src.Height(), g.dstHeight, g.y0, g.y1, quality)) {
    s.y.Plan(src.Height(), g.dstHeight, g.y0, g.y1, quality);
  }
  if (quality == StretchQuality::DropRepeat) {
    StretchDropRepeat(src, s.x, s.y, s.values, out, stride);
    return;
  }
  if (PlanarServes(src, s.x, s.y)) {
    StretchPlanar(src, s.x, s.y, s.planar, s.values, out, stride);
    return;
  }
  const auto area = static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height());
  if (PackedChannels::Fits(area)) {
    StretchHalftone<PackedChannels>(src, s.x, s.y, s.packed, s.values, out, stride);
  } else {
    StretchHalftone<WideChannels>(src, s.x, s.y, s.wide, s.values, out, stride);
  }
}

// r clipped to dst's bounds, as a region of the picture stretched to r.
bool ClipRegion(const Image& dst, const Rect& r, Region& g, Rect& visible) {
  if (r.Empty()) return false;
  visible = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, dst.Width()),
             std::min(r.bottom, dst.Height())};
  if (visible.Empty()) return false;
  g = {r.Width(), r.Height(), visible.left - r.left, visible.top - r.top, visible.right - r.left,
       visible.bottom - r.top};
  return true;
}

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

void StretchImage(const Image& src, Image& dst, StretchQuality quality) {
  StretchInto(src, dst, Rect{0, 0, dst.Width(), dst.Height()}, quality);
}

void StretchInto(const Image& src, Image& dst, const Rect& r, StretchQuality quality) {
  Region g;
  Rect visible;
  if (src.Empty() || !ClipRegion(dst, r, g, visible)) return;
  StretchRegion(src, g, dst.Row(visible.top) + visible.left, dst.Width(), quality);
}

void DrawPicture(Image& dst, const Picture& picture, const Rect& r, StretchQuality quality) {
  Region g;
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
