// Stretched drawing. The zoom view stretches a 21 x 21 snapshot over the
// panel on every pointer movement of a pick, so the halftone path is built
// for that case: the weights are integers computed once per geometry and
// cached, a run of destination pixels inside one source pixel is computed
// once and filled, and the destination rows inside one source row are copies
// of the first.

#include <algorithm>
#include <cstring>
#include <vector>

#include "ui/paint.h"

namespace tinctora::ui {
namespace {

// Exact floor(n / d) for every n <= maxN, by one multiplication and a shift
// when the operands are small enough (they are for any picture this program
// stretches), by a real division otherwise. With m = ceil(2^s / d) and
// 2^s >= maxN * d the error term stays below 1/d, so the quotient is exact.
class Divider {
 public:
  Divider(std::uint64_t d, std::uint64_t maxN) : divisor_(d) {
    if (d == 0 || d >= (1ull << 31) || maxN >= (1ull << 31)) return;
    const std::uint64_t product = std::max<std::uint64_t>(maxN * d, 1);
    shift_ = 0;
    while ((1ull << shift_) < product) ++shift_;
    multiplier_ = ((1ull << shift_) + d - 1) / d;
    fast_ = true;
  }
  std::uint64_t operator()(std::uint64_t n) const { return fast_ ? (n * multiplier_) >> shift_ : n / divisor_; }

 private:
  std::uint64_t divisor_ = 1;
  std::uint64_t multiplier_ = 0;
  unsigned shift_ = 0;
  bool fast_ = false;
};

constexpr Pixel kColourBits = 0x00FFFFFF;

inline unsigned Red(Pixel p) { return p & 0xFF; }
inline unsigned Green(Pixel p) { return (p >> 8) & 0xFF; }
inline unsigned Blue(Pixel p) { return (p >> 16) & 0xFF; }

// Area-averaging weights along one axis. In units where a source pixel is
// dstSize long and a destination pixel srcSize long, destination pixel d
// covers [d * srcSize, (d + 1) * srcSize); its weight on source pixel s is the
// overlap with [s * dstSize, (s + 1) * dstSize). The weights of every
// destination pixel sum to srcSize.
//
// Consecutive destination pixels that lie inside the same source pixel form
// one run: they all get that source pixel's value, computed once. A pixel
// straddling several source pixels is a run of its own.
struct Taps {
  struct Run {
    int start = 0;   // first destination index, counted from begin
    int length = 0;
    int first = 0;   // first source index
    int count = 0;   // source pixels covered (1 for a run inside one pixel)
    int offset = 0;  // into weights
    int mixed = -1;  // index among the straddling pixels, -1 for a run inside one pixel
  };
  int srcSize = 0;
  int dstSize = 0;
  int begin = 0;  // first destination index covered
  int end = 0;    // one past the last
  std::vector<Run> runs;
  std::vector<std::uint32_t> weights;
  int mixedCount = 0;

  bool Matches(int s, int d, int b, int e) const {
    return srcSize == s && dstSize == d && begin == b && end == e;
  }
  void Build(int s, int d, int b, int e) {
    srcSize = s;
    dstSize = d;
    begin = b;
    end = e;
    runs.clear();
    weights.clear();
    mixedCount = 0;
    const std::int64_t src = s;
    const std::int64_t dst = d;
    std::int64_t sx = static_cast<std::int64_t>(b) * src / dst;
    for (int i = 0; i < e - b; ++i) {
      const std::int64_t start = static_cast<std::int64_t>(b + i) * src;
      const std::int64_t stop = start + src;
      while ((sx + 1) * dst <= start) ++sx;
      Run run{i, 1, static_cast<int>(sx), 0, static_cast<int>(weights.size()), -1};
      for (std::int64_t j = sx; j < src && j * dst < stop; ++j, ++run.count) {
        const std::int64_t w = std::min((j + 1) * dst, stop) - std::max(j * dst, start);
        weights.push_back(static_cast<std::uint32_t>(w));
      }
      if (run.count > 1) {
        run.mixed = mixedCount++;
      } else if (!runs.empty() && runs.back().mixed < 0 && runs.back().first == run.first) {
        ++runs.back().length;
        weights.pop_back();
        continue;
      }
      runs.push_back(run);
    }
  }
};

// Working memory kept between calls, so a stretch repeated on every pointer
// movement neither recomputes its weights nor allocates.
struct Scratch {
  Taps x;
  Taps y;
  // Unrounded channel sums of the straddling columns, per source row.
  struct Wide {
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
  };
  std::vector<std::uint64_t> packedSums;
  std::vector<Wide> wideSums;
  std::vector<int> index;                // drop-repeat source columns
};

Scratch& ThreadScratch() {
  thread_local Scratch scratch;
  return scratch;
}

struct Region {
  int dstWidth = 0;   // size of the whole stretched picture
  int dstHeight = 0;
  int x0 = 0;         // visible part, in the stretched picture's coordinates
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
};

void StretchDropRepeat(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride) {
  Scratch& s = ThreadScratch();
  const int width = g.x1 - g.x0;
  s.index.resize(static_cast<std::size_t>(width));
  for (int i = 0; i < width; ++i) {
    s.index[static_cast<std::size_t>(i)] = static_cast<int>(
        static_cast<std::int64_t>(g.x0 + i) * src.Width() / g.dstWidth);
  }
  int previous = -1;
  Pixel* previousRow = nullptr;
  for (int y = g.y0; y < g.y1; ++y, out += stride) {
    const int sy = static_cast<int>(static_cast<std::int64_t>(y) * src.Height() / g.dstHeight);
    if (sy == previous) {
      std::memcpy(out, previousRow, static_cast<std::size_t>(width) * sizeof(Pixel));
    } else {
      const Pixel* row = src.Row(sy);
      for (int i = 0; i < width; ++i) out[i] = row[s.index[static_cast<std::size_t>(i)]] & kColourBits;
    }
    previous = sy;
    previousRow = out;
  }
}

// Fills n pixels from p with v. Short runs store a whole block of 8 or 16
// when `room` pixels from p are writable, overrunning into pixels the caller
// writes afterwards: the fixed-size store has no data-dependent loop exit to
// mispredict, which for runs of 9 or 10 pixels is most of the cost.
template <int kBlock>
inline void StoreBlock(Pixel* p, Pixel v) {
  Pixel block[kBlock];
  for (Pixel& b : block) b = v;
  std::memcpy(p, block, sizeof block);  // compiles to a few wide stores
}

inline void FillRun(Pixel* p, int n, int room, Pixel v) {
  if (n <= 8 && room >= 8) {
    StoreBlock<8>(p, v);
  } else if (n <= 16 && room >= 16) {
    StoreBlock<16>(p, v);
  } else {
    std::fill_n(p, n, v);
  }
}

// Two ways to hold the weighted channel sums of a pixel. Packed keeps the
// three channels side by side in one 64-bit word, 21 bits each, so a
// weighted sum costs one multiply-add per source pixel; it serves while every
// channel sum (at most 255 x the source area) stays below 2^21, which covers
// the zoom snapshot. Wide keeps one 64-bit sum per channel for anything larger.
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
  static Pixel Round(Value sum, const Divider& divide, std::uint64_t half) {
    sum += half * kOnes;
    return RgbPixel(static_cast<int>(divide(sum & kLane)), static_cast<int>(divide((sum >> kShift) & kLane)),
                    static_cast<int>(divide(sum >> (2 * kShift))));
  }
  static std::vector<Value>& Storage(Scratch& s) { return s.packedSums; }
};

struct WideChannels {
  using Value = Scratch::Wide;
  static Value Load(Pixel p) { return {Red(p), Green(p), Blue(p)}; }
  static void Add(Value& sum, std::uint64_t w, const Value& v) {
    sum.red += w * v.red;
    sum.green += w * v.green;
    sum.blue += w * v.blue;
  }
  static Pixel Round(const Value& sum, const Divider& divide, std::uint64_t half) {
    return RgbPixel(static_cast<int>(divide(sum.red + half)), static_cast<int>(divide(sum.green + half)),
                    static_cast<int>(divide(sum.blue + half)));
  }
  static std::vector<Value>& Storage(Scratch& s) { return s.wideSums; }
};

template <typename Channels>
void StretchHalftoneWith(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride) {
  using Value = typename Channels::Value;
  Scratch& s = ThreadScratch();
  const Taps& tx = s.x;
  const Taps& ty = s.y;
  const auto width = static_cast<std::size_t>(g.x1 - g.x0);
  const auto nMixed = static_cast<std::size_t>(tx.mixedCount);

  const std::uint64_t swide = static_cast<std::uint64_t>(src.Width());
  const std::uint64_t shigh = static_cast<std::uint64_t>(src.Height());
  const std::uint64_t area = swide * shigh;
  const Divider byWidth(swide, 255 * swide + swide / 2);
  const Divider byHeight(shigh, 255 * shigh + shigh / 2);
  const Divider byArea(area, 255 * area + area / 2);

  // Horizontal pass: the unrounded sums of the straddling columns, for every
  // source row a visible destination row touches.
  const int syFirst = ty.runs.front().first;
  const int syLast = ty.runs.back().first + ty.runs.back().count - 1;
  const auto nRows = static_cast<std::size_t>(syLast - syFirst + 1);
  std::vector<Value>& sums = Channels::Storage(s);
  sums.assign(nRows * nMixed, Value{});
  for (std::size_t r = 0; r < nRows; ++r) {
    const Pixel* in = src.Row(syFirst + static_cast<int>(r));
    Value* m = sums.data() + r * nMixed;
    for (const Taps::Run& run : tx.runs) {
      if (run.mixed < 0) continue;
      Value& sum = m[run.mixed];
      for (int t = 0; t < run.count; ++t) {
        Channels::Add(sum, tx.weights[static_cast<std::size_t>(run.offset + t)], Channels::Load(in[run.first + t]));
      }
    }
  }

  // Vertical pass. A destination row inside one source row is that row
  // stretched horizontally, and the rows after it in the same source row are
  // copies of it. A mixed row takes, in a column inside one source pixel, the
  // weighted source pixels of that column; in a straddling column, the
  // weighted unrounded sums. Either way each pixel is rounded once from its
  // exact area average.
  for (const Taps::Run& rowRun : ty.runs) {
    const auto r0 = static_cast<std::size_t>(rowRun.first - syFirst);
    if (rowRun.mixed < 0) {
      const Pixel* in = src.Row(rowRun.first);
      const Value* m = sums.data() + r0 * nMixed;
      for (const Taps::Run& run : tx.runs) {
        if (run.mixed < 0) {
          // Runs go left to right, so an overrun is overwritten by the next ones.
          FillRun(out + run.start, run.length, static_cast<int>(width) - run.start, in[run.first] & kColourBits);
        } else {
          out[run.start] = Channels::Round(m[run.mixed], byWidth, swide / 2);
        }
      }
      const Pixel* first = out;
      out += stride;
      for (int k = 1; k < rowRun.length; ++k, out += stride) std::memcpy(out, first, width * sizeof(Pixel));
      continue;
    }
    const std::uint32_t* w = ty.weights.data() + rowRun.offset;
    for (const Taps::Run& run : tx.runs) {
      Value sum{};
      if (run.mixed < 0) {
        for (int t = 0; t < rowRun.count; ++t) Channels::Add(sum, w[t], Channels::Load(src.Row(rowRun.first + t)[run.first]));
        FillRun(out + run.start, run.length, static_cast<int>(width) - run.start,
                Channels::Round(sum, byHeight, shigh / 2));
      } else {
        for (int t = 0; t < rowRun.count; ++t) {
          Channels::Add(sum, w[t], sums[(r0 + static_cast<std::size_t>(t)) * nMixed + static_cast<std::size_t>(run.mixed)]);
        }
        out[run.start] = Channels::Round(sum, byArea, area / 2);
      }
    }
    out += stride;
  }
}

void StretchHalftone(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride) {
  Scratch& s = ThreadScratch();
  if (!s.x.Matches(src.Width(), g.dstWidth, g.x0, g.x1)) s.x.Build(src.Width(), g.dstWidth, g.x0, g.x1);
  if (!s.y.Matches(src.Height(), g.dstHeight, g.y0, g.y1)) s.y.Build(src.Height(), g.dstHeight, g.y0, g.y1);
  const auto area = static_cast<std::uint64_t>(src.Width()) * static_cast<std::uint64_t>(src.Height());
  if (PackedChannels::Fits(area)) {
    StretchHalftoneWith<PackedChannels>(src, g, out, stride);
  } else {
    StretchHalftoneWith<WideChannels>(src, g, out, stride);
  }
}

// Stretches src to dstWidth x dstHeight and writes the part [x0, x1) x [y0, y1)
// of the result to out (row stride in pixels).
void StretchRegion(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride, StretchQuality quality) {
  if (src.Empty() || g.x1 <= g.x0 || g.y1 <= g.y0) return;
  if (quality == StretchQuality::Halftone) {
    StretchHalftone(src, g, out, stride);
  } else {
    StretchDropRepeat(src, g, out, stride);
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
