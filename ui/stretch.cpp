// Stretched drawing. The zoom view stretches a 21 x 21 snapshot over the
// panel on every pointer movement of a pick, so the stretch is built for that
// case. Each axis is planned once per geometry and kept: its visible part is
// cut into segments, a run of destination pixels inside one source pixel or
// one pixel straddling several, each with its integer area weights. A stretch
// then works out one value per pair of segments (some 1,400 for the zoom
// view's 47,000 pixels), stores each over its run with block stores, and
// copies a finished row over the rest of its row segment.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/paint.h"

namespace tinctora::ui {
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
  struct Segment {
    int start = 0;   // first destination index, counted from begin
    int length = 0;
    int pixel = -1;  // the source pixel of a segment inside one, -1 for a straddling pixel
  };
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

  // How a row is stored from its segment values. Direct: every segment is
  // one pixel, so the values are the row. Otherwise each segment of
  // kBlockPixels or more (`blocked`) takes `blocks` stores of kBlockPixels,
  // the last one ending where the segment ends and overlapping the one
  // before; a single pixel takes one store and a segment of two or three
  // (`pairs`) two overlapping stores of two pixels.
  struct Single {
    int at = 0;
    int segment = 0;
  };
  bool direct = false;
  int blocks = 1;
  std::vector<int> blocked;
  std::vector<int> blockStarts;  // `blocks` per segment in blocked
  std::vector<Single> singles;
  std::vector<int> pairs;

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
    PlanStores(e - b);
  }

  void PlanStores(int width) {
    direct = segments.size() == static_cast<std::size_t>(width);
    blocks = 1;
    blocked.clear();
    blockStarts.clear();
    singles.clear();
    pairs.clear();
    for (std::size_t k = 0; k < segments.size(); ++k) {
      const Segment& segment = segments[k];
      if (segment.length >= kBlockPixels) {
        blocked.push_back(static_cast<int>(k));
        blocks = std::max(blocks, (segment.length + kBlockPixels - 1) / kBlockPixels);
      } else if (segment.length == 1) {
        singles.push_back({segment.start, static_cast<int>(k)});
      } else {
        pairs.push_back(static_cast<int>(k));
      }
    }
    for (const int k : blocked) {
      const Segment& segment = segments[static_cast<std::size_t>(k)];
      const int last = segment.start + segment.length - kBlockPixels;
      for (int i = 0; i < blocks; ++i) blockStarts.push_back(std::min(segment.start + kBlockPixels * i, last));
    }
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
void StoreBlocked(const Axis& x, const Pixel* values, Pixel* out) {
  const int blocks = kBlocks > 0 ? kBlocks : x.blocks;
  const int* at = x.blockStarts.data();
  for (const int k : x.blocked) {
    const Pixel v = values[k];
    if constexpr (kBlocks > 0) {
      StoreBlocks<kBlocks>(out, at, v);
    } else {
      for (int b = 0; b < blocks; ++b) StoreBlock<kBlockPixels>(out + at[b], v);
    }
    at += blocks;
  }
}

// One destination row from one value per column segment.
void StoreRow(const Axis& x, const Pixel* values, Pixel* out) {
  if (x.direct) {
    std::memcpy(out, values, x.segments.size() * sizeof(Pixel));
    return;
  }
  // The zoom view's runs of 9 to 11 pixels take three.
  if (x.blocks == 3) {
    StoreBlocked<3>(x, values, out);
  } else {
    StoreBlocked<0>(x, values, out);
  }
  for (const Axis::Single& single : x.singles) out[single.at] = values[single.segment];
  for (const int k : x.pairs) {
    const Axis::Segment& segment = x.segments[static_cast<std::size_t>(k)];
    StoreBlock<2>(out + segment.start, values[k]);
    StoreBlock<2>(out + segment.start + segment.length - 2, values[k]);
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
//
// Each rounds a row of sums at a time, kBatch of them per step: the rows are
// padded to a multiple of kBatch, so a step has a fixed trip count and a
// compiler can turn it into vector instructions.
constexpr std::size_t kBatch = 8;

inline std::size_t Padded(std::size_t n) { return (n + kBatch - 1) / kBatch * kBatch; }

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

  // floor((n + d / 2) / d) per channel, the rounded average, as the integer
  // part of (n + d / 2) * r in single precision, r being the smallest float
  // not below 1 / d. Exact for the sums this form holds (d <= 8208, n + d / 2
  // an integer below 2^21, so converted exactly): the product is never below
  // the true quotient, so it reaches every integer it should; it exceeds the
  // quotient (< 256) by less than 256 * 2^-23 plus half a unit in its last
  // place, 2^-17, together under 2^-14, while a quotient that is not an
  // integer lies at least 1 / d > 2^-14 below the next one. Extra precision
  // in the multiplication only makes the product closer.
  class Rounder {
   public:
    explicit Rounder(std::uint64_t d) : half_((d / 2) * kOnes), reciprocal_(1.0f / static_cast<float>(d)) {
      if (static_cast<double>(reciprocal_) * static_cast<double>(d) < 1.0) {
        reciprocal_ = std::nextafter(reciprocal_, 2.0f);
      }
    }
    // n is a multiple of kBatch.
    void Row(const Value* sums, std::size_t n, Pixel* out) const {
      const std::uint64_t half = half_;
      const float reciprocal = reciprocal_;
      const auto quotient = [reciprocal](std::int32_t v) {
        return static_cast<Pixel>(static_cast<std::int32_t>(static_cast<float>(v) * reciprocal));
      };
      for (std::size_t i = 0; i < n; i += kBatch) {
        for (std::size_t k = 0; k < kBatch; ++k) {
          const std::uint64_t sum = sums[i + k] + half;
          const auto red = static_cast<std::int32_t>(sum & kLane);
          const auto green = static_cast<std::int32_t>((sum >> kShift) & kLane);
          const auto blue = static_cast<std::int32_t>(sum >> (2 * kShift));
          out[i + k] = quotient(red) | (quotient(green) << 8) | (quotient(blue) << 16);
        }
      }
    }

   private:
    std::uint64_t half_;
    float reciprocal_;
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
  for (const Axis::Segment& row : y.segments) {
    const Pixel* in = src.Row(row.pixel);
    Pixel* v = x.direct ? out : values.data();
    const std::size_t n = x.origins.size();
    for (std::size_t k = 0; k < n; ++k) v[k] = in[x.origins[k]] & kColourBits;
    if (!x.direct) StoreRow(x, values.data(), out);
    RepeatRow(width, row.length, out, stride);
  }
}

// The weighted sums of one source row for every column segment. kTaps is the
// axis's tap count when known at compile time, 0 otherwise.
template <typename Channels, int kTaps>
void HorizontalSums(const Pixel* in, const Axis& x, typename Channels::Value* loaded,
                    typename Channels::Value* sums) {
  using Value = typename Channels::Value;
  const int taps = kTaps > 0 ? kTaps : x.taps;
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
template <typename Channels, int kTaps>
void VerticalSums(const typename Channels::Value* const* rows, const std::uint32_t* w, int taps, std::size_t n,
                  typename Channels::Value* acc) {
  using Value = typename Channels::Value;
  if constexpr (kTaps == 2) {
    const Value* a = rows[0];
    const Value* b = rows[1];
    const std::uint64_t wa = w[0];
    const std::uint64_t wb = w[1];
    for (std::size_t k = 0; k < n; ++k) {
      Value sum{};
      Channels::Add(sum, wa, a[k]);
      Channels::Add(sum, wb, b[k]);
      acc[k] = sum;
    }
  } else {
    std::fill_n(acc, n, Value{});
    for (int t = 0; t < taps; ++t) {
      if (w[t] == 0) continue;
      const Value* h = rows[t];
      for (std::size_t k = 0; k < n; ++k) Channels::Add(acc[k], w[t], h[k]);
    }
  }
}

// Every value is rounded once from its exact area average. A row segment
// inside one source row divides that row's horizontal sums by the source
// width (a column inside one source pixel thus gets that pixel back); a
// straddling one divides its vertical sums by the area.
template <typename Channels, int kTaps>
void StretchHalftoneWith(const Image& src, const Axis& x, const Axis& y, Sums<typename Channels::Value>& sums,
                         std::vector<Pixel>& values, Pixel* out, std::ptrdiff_t stride) {
  using Value = typename Channels::Value;
  using Rounder = typename Channels::Rounder;
  const std::size_t columns = Padded(x.segments.size());
  const std::size_t width = static_cast<std::size_t>(x.end - x.begin);
  const int tapsY = kTaps > 0 ? kTaps : y.taps;
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
    const Axis::Segment& row = y.segments[j];
    const int origin = y.origins[j];
    for (; next < origin + tapsY; ++next) {
      HorizontalSums<Channels, kTaps>(src.Row(next), x, sums.row.data(), sumsOf(next));
    }
    if (row.pixel >= 0) {
      byWidth.Row(sumsOf(row.pixel), columns, values.data());
    } else {
      for (int t = 0; t < tapsY; ++t) sums.rows[static_cast<std::size_t>(t)] = sumsOf(origin + t);
      VerticalSums<Channels, kTaps>(sums.rows.data(), y.weights.data() + j * static_cast<std::size_t>(tapsY), tapsY,
                                    columns, sums.acc.data());
      byArea.Row(sums.acc.data(), columns, values.data());
    }
    StoreRow(x, values.data(), out);
    RepeatRow(width, row.length, out, stride);
  }
}

template <typename Channels>
void StretchHalftone(const Image& src, const Axis& x, const Axis& y, Sums<typename Channels::Value>& sums,
                     std::vector<Pixel>& values, Pixel* out, std::ptrdiff_t stride) {
  // Upscaling reaches at most two source pixels per destination pixel.
  if (x.taps == 2 && y.taps == 2) {
    StretchHalftoneWith<Channels, 2>(src, x, y, sums, values, out, stride);
  } else {
    StretchHalftoneWith<Channels, 0>(src, x, y, sums, values, out, stride);
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

}  // namespace tinctora::ui
