// The drop-repeat stretch, and the halftone stretch through integer channel
// sums: small sources keep each pixel's three channel sums packed in one
// integer (PackedChannels), large ones keep them apart (WideChannels).

#include <algorithm>
#include <vector>

#include "graphics/stretch_internal.h"

namespace tinctora::gfx::stretching {
namespace {

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

// Two ways to hold the weighted channel sums of a pixel. Packed keeps the
// three channels side by side in one 64-bit word, 21 bits each, so a
// weighted sum costs one multiply-add per source pixel; it serves while the
// sums fit (SumsFit), which covers the zoom snapshot. Wide keeps one 64-bit
// sum per channel for anything larger.
struct PackedChannels {
  using Value = std::uint64_t;
  static constexpr int kShift = kSumBits;
  static constexpr std::uint64_t kLane = (1ull << kShift) - 1;
  static constexpr std::uint64_t kOnes = 1 | (1ull << kShift) | (1ull << (2 * kShift));
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

template <typename Value>
struct Sums {
  std::vector<Value> row;   // one source row, loaded
  std::vector<Value> ring;  // horizontal sums of the last `taps` source rows, one per column segment
  std::vector<Value> acc;   // vertical sums of one row segment
  std::vector<const Value*> rows;  // the ring rows a row segment reads
};

// Working memory kept between calls, so a stretch repeated on every pointer
// movement does not allocate.
struct Memory {
  Sums<PackedChannels::Value> packed;
  Sums<WideChannels::Value> wide;
  std::vector<Pixel> values;  // one value per column segment
};

Memory& ThreadMemory() {
  thread_local Memory memory;
  return memory;
}

}  // namespace

void StretchDropRepeat(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride) {
  std::vector<Pixel>& values = ThreadMemory().values;
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

namespace {

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
// straddling one divides its vertical sums by the area. Kept out of line:
// with both kinds of sums inlined into StretchHalftone the row loop runs
// short of registers, some 6% more instructions for the palette box.
template <typename Channels>
[[gnu::noinline]] void HalftoneBySums(const Image& src, const Axis& x, const Axis& y, Sums<typename Channels::Value>& sums,
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

}  // namespace

void StretchHalftone(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride) {
  Memory& m = ThreadMemory();
  const auto area = static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height());
  if (SumsFit(area)) {
    HalftoneBySums<PackedChannels>(src, x, y, m.packed, m.values, out, stride);
  } else {
    HalftoneBySums<WideChannels>(src, x, y, m.wide, m.values, out, stride);
  }
}

}  // namespace tinctora::gfx::stretching
