#pragma once

// The stretch's parts, shared by the files that implement graphics/stretch.h:
// stretch_plan.cpp plans the axes and stores rows, stretch_kernels.cpp holds
// the drop-repeat and halftone kernels, stretch_planar.cpp the halftone fast
// path for small sources, stretch.cpp chooses among them, and
// draw_picture.cpp draws a picture with its mask or alpha.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/stretch.h"

namespace tinctora::gfx::stretching {

inline constexpr Pixel kColourBits = 0x00FFFFFF;

inline unsigned Red(Pixel p) { return p & 0xFF; }
inline unsigned Green(Pixel p) { return (p >> 8) & 0xFF; }
inline unsigned Blue(Pixel p) { return (p >> 16) & 0xFF; }

// Pixels in one block store: 16 bytes, one store on any 64-bit processor.
inline constexpr int kBlockPixels = 4;

// Rows of sums are rounded kBatch values at a time: they are padded to a
// multiple of kBatch, so a step has a fixed trip count and a compiler can turn
// it into vector instructions.
inline constexpr std::size_t kBatch = 8;

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

  void Build(const std::vector<Segment>& segments, const std::vector<int>& valueOf, int width,
             Direct allowed);
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
  // column instead of by segment, for the planar path (stretch_planar.cpp).
  // Slot c - columnBegin holds the value inside source column c, slot
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

  // Plans a source of s pixels stretched to d, visible over [b, e).
  void Plan(int s, int d, int b, int e, StretchQuality q);
  // The by-column layout and its store plan, from the segments.
  void PlanColumns(std::vector<int>& valueOf, int width);
};

// One destination row from its values.
void StoreRow(const StorePlan& plan, const Pixel* values, std::size_t width, Pixel* out);
// Copies the first row of a row segment over the `length - 1` rows after it
// and leaves out past the segment.
void RepeatRow(std::size_t width, int length, Pixel*& out, std::ptrdiff_t stride);

// Channel sums of a halftone stretch are held in 21 bits each by the packed
// sums and, exactly, in single precision by the planar path. They fit while
// every sum with its rounding half (at most 255.5 x the source area) stays
// below 2^21.
inline constexpr int kSumBits = 21;
inline bool SumsFit(std::uint64_t area) { return 255 * area + area / 2 <= (1ull << kSumBits) - 1; }

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

// The kernels: each writes the visible part of the stretch planned by x and
// y to out (row stride in pixels). Halftone serves any halftone stretch;
// Planar only one that PlanarServes.
void StretchDropRepeat(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride);
void StretchHalftone(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride);
bool PlanarServes(const Image& src, const Axis& x, const Axis& y);
void StretchPlanar(const Image& src, const Axis& x, const Axis& y, Pixel* out, std::ptrdiff_t stride);

// A stretch to dstWidth x dstHeight of which the part [x0, x1) x [y0, y1) is
// drawn.
struct Region {
  int dstWidth = 0;   // size of the whole stretched picture
  int dstHeight = 0;
  int x0 = 0;         // visible part, in the stretched picture's coordinates
  int y0 = 0;
  int x1 = 0;
  int y1 = 0;
};

// Stretches src as g says and writes the drawn part to out (row stride in
// pixels), planning the axes only when the geometry changed.
void StretchRegion(const Image& src, const Region& g, Pixel* out, std::ptrdiff_t stride, StretchQuality quality);
// r clipped to dst's bounds, as a region of the picture stretched to r.
bool ClipRegion(const Image& dst, const Rect& r, Region& g, Rect& visible);

}  // namespace tinctora::gfx::stretching
