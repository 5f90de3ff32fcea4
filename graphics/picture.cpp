#include "graphics/picture.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

namespace tinctora::gfx {
namespace {

// No image this program handles comes anywhere near this; anything larger in
// a file header is taken as corrupt rather than allocated.
constexpr std::uint32_t kMaxSide = 4096;

using Bytes = std::span<const std::uint8_t>;

std::uint16_t Le16(Bytes b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Le32(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::int32_t Le32Signed(Bytes b, std::size_t at) { return static_cast<std::int32_t>(Le32(b, at)); }

// True when [offset, offset + length) lies inside a buffer of `size` bytes,
// without overflowing.
bool InRange(std::uint64_t offset, std::uint64_t length, std::size_t size) {
  return offset <= size && length <= size - offset;
}

bool IsPng(Bytes b) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b.size() >= 8 && std::memcmp(b.data(), kSignature, 8) == 0;
}

// ---------------------------------------------------------------------------
// PNG through libpng. libpng reports errors by longjmp, so everything that
// owns memory lives in a job object outside the function holding setjmp, and
// that function has no locals with destructors.

struct PngReadJob {
  Bytes bytes;
  std::size_t position = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;
  std::vector<png_bytep> rows;

  explicit PngReadJob(Bytes b) : bytes(b) {}
  PngReadJob(const PngReadJob&) = delete;
  PngReadJob& operator=(const PngReadJob&) = delete;
  ~PngReadJob() {
    if (png != nullptr) png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
  }
};

// Deflate cannot expand data by more than about 1032 to 1 (a 258-byte match
// coded in a couple of bits), so image data larger than this many times the
// file's IDAT bytes cannot be there: such a file is truncated or lies about
// its size, and is rejected before its pixels are allocated.
constexpr std::uint64_t kMaxInflateRatio = 1032;

std::uint32_t Be32(Bytes b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | static_cast<std::uint32_t>(b[at + 3]);
}

// The bytes of every IDAT chunk present in the file, as far as its chunk
// list can be followed.
std::uint64_t IdatBytes(Bytes b) {
  std::uint64_t total = 0;
  std::uint64_t at = 8;  // after the signature
  while (at + 8 <= b.size()) {
    const std::uint32_t length = Be32(b, static_cast<std::size_t>(at));
    const auto type = b.subspan(static_cast<std::size_t>(at) + 4, 4);
    const std::uint64_t present = std::min<std::uint64_t>(length, b.size() - (at + 8));
    if (std::memcmp(type.data(), "IDAT", 4) == 0) total += present;
    if (std::memcmp(type.data(), "IEND", 4) == 0) break;
    at += 12 + static_cast<std::uint64_t>(length);
  }
  return total;
}

// A lower bound of the decompressed image data: every pixel's bits, without
// row padding or filter bytes (so it holds for interlaced images too).
std::uint64_t MinimumImageBytes(png_uint_32 width, png_uint_32 height, int depth, int type) {
  int channels = 1;
  if (type == PNG_COLOR_TYPE_RGB) channels = 3;
  if (type == PNG_COLOR_TYPE_GRAY_ALPHA) channels = 2;
  if (type == PNG_COLOR_TYPE_RGB_ALPHA) channels = 4;
  return static_cast<std::uint64_t>(width) * height * static_cast<std::uint64_t>(channels * depth) / 8;
}

void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep out, png_size_t count) {
  auto* job = static_cast<PngReadJob*>(png_get_io_ptr(png));
  if (count > job->bytes.size() - job->position) png_error(png, "truncated");
  std::memcpy(out, job->bytes.data() + job->position, count);
  job->position += count;
}

// Runs libpng over the job; false on any error. Fills job->rgba with 8-bit
// RGBA rows.
bool RunPngRead(PngReadJob* job) {
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
  if (job->png == nullptr) return false;
  job->info = png_create_info_struct(job->png);
  if (job->info == nullptr) return false;
  if (setjmp(png_jmpbuf(job->png))) return false;

  png_set_read_fn(job->png, job, PngRead);
  png_set_user_limits(job->png, kMaxSide, kMaxSide);
  png_read_info(job->png, job->info);

  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int depth = 0;
  int type = 0;
  png_get_IHDR(job->png, job->info, &width, &height, &depth, &type, nullptr, nullptr, nullptr);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return false;
  if (MinimumImageBytes(width, height, depth, type) > (IdatBytes(job->bytes) + 16) * kMaxInflateRatio) {
    return false;
  }

  // Everything becomes 8-bit RGBA; colour values are taken as stored, with no
  // gamma correction, as the system's own picture loader does.
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job->png);
  if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
  if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(job->png);
  if (depth == 16) png_set_scale_16(job->png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(job->png);
  png_set_add_alpha(job->png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(job->png);
  png_read_update_info(job->png, job->info);

  if (png_get_bit_depth(job->png, job->info) != 8 || png_get_channels(job->png, job->info) != 4 ||
      png_get_rowbytes(job->png, job->info) != static_cast<png_size_t>(width) * 4) {
    return false;
  }
  job->width = width;
  job->height = height;
  job->rgba.resize(static_cast<std::size_t>(width) * height * 4);
  job->rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    job->rows[y] = job->rgba.data() + static_cast<std::size_t>(y) * width * 4;
  }
  png_read_image(job->png, job->rows.data());
  png_read_end(job->png, nullptr);
  return true;
}

std::optional<Picture> DecodePng(Bytes bytes) {
  PngReadJob job(bytes);
  try {
    if (!RunPngRead(&job)) return std::nullopt;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  Picture picture;
  const int w = static_cast<int>(job.width);
  const int h = static_cast<int>(job.height);
  picture.colour.Reset(w, h);
  bool translucent = false;
  const std::uint8_t* p = job.rgba.data();
  for (int y = 0; y < h; ++y) {
    Pixel* row = picture.colour.Row(y);
    for (int x = 0; x < w; ++x, p += 4) {
      row[x] = RgbPixel(p[0], p[1], p[2]);
      translucent = translucent || p[3] != 0xFF;
    }
  }
  if (translucent) {
    picture.alpha.resize(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < picture.alpha.size(); ++i) picture.alpha[i] = job.rgba[i * 4 + 3];
  }
  return picture;
}

// ---------------------------------------------------------------------------
// Device-independent bitmaps: shared by BMP files and by icon and cursor
// images.

struct DibHeader {
  std::uint32_t headerSize = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::uint16_t bitsPerPixel = 0;
  std::uint32_t paletteSize = 0;  // entries actually stored after the header
};

constexpr std::uint32_t kBiRgb = 0;

// Reads and checks a BITMAPINFOHEADER (or a larger version of it) at `at`.
std::optional<DibHeader> ReadDibHeader(Bytes b, std::size_t at) {
  if (!InRange(at, 40, b.size())) return std::nullopt;
  DibHeader h;
  h.headerSize = Le32(b, at);
  if (h.headerSize < 40 || !InRange(at, h.headerSize, b.size())) return std::nullopt;
  h.width = Le32Signed(b, at + 4);
  h.height = Le32Signed(b, at + 8);
  const std::uint16_t planes = Le16(b, at + 12);
  h.bitsPerPixel = Le16(b, at + 14);
  const std::uint32_t compression = Le32(b, at + 16);
  const std::uint32_t coloursUsed = Le32(b, at + 32);
  if (planes != 1 || compression != kBiRgb) return std::nullopt;
  switch (h.bitsPerPixel) {
    case 1:
    case 4:
    case 8: {
      const std::uint32_t full = 1u << h.bitsPerPixel;
      if (coloursUsed > full) return std::nullopt;
      h.paletteSize = coloursUsed == 0 ? full : coloursUsed;
      break;
    }
    case 24:
    case 32:
      h.paletteSize = 0;  // a colour table, if any, is only an optimisation hint
      break;
    default:
      return std::nullopt;
  }
  if (h.width <= 0 || static_cast<std::uint32_t>(h.width) > kMaxSide) return std::nullopt;
  return h;
}

std::uint64_t RowStride(std::uint32_t width, std::uint32_t bitsPerPixel) {
  return (static_cast<std::uint64_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

// Decodes `height` rows of pixels stored from `at`, bottom-up unless
// topDown. The caller has checked that they lie inside the data. For 32-bit
// pixels the fourth byte of each goes into alpha (when given).
void ReadDibPixels(Bytes b, std::size_t at, const DibHeader& h, int height, bool topDown,
                   const std::vector<Pixel>& palette, Image& out, std::vector<std::uint8_t>* alpha) {
  const int width = h.width;
  const auto stride = static_cast<std::size_t>(RowStride(static_cast<std::uint32_t>(width), h.bitsPerPixel));
  out.Reset(width, height);
  if (alpha != nullptr && h.bitsPerPixel == 32) alpha->assign(static_cast<std::size_t>(width) * height, 0);
  for (int stored = 0; stored < height; ++stored) {
    const int y = topDown ? stored : height - 1 - stored;
    const std::uint8_t* src = b.data() + at + static_cast<std::size_t>(stored) * stride;
    Pixel* row = out.Row(y);
    switch (h.bitsPerPixel) {
      case 1:
      case 4:
      case 8: {
        const int bits = h.bitsPerPixel;
        const int perByte = 8 / bits;
        const int valueMask = (1 << bits) - 1;
        for (int x = 0; x < width; ++x) {
          const int shift = 8 - bits * (x % perByte + 1);
          const auto index = static_cast<std::size_t>((src[x / perByte] >> shift) & valueMask);
          // An index past a shortened colour table shows black.
          row[x] = index < palette.size() ? palette[index] : 0;
        }
        break;
      }
      case 24:
        for (int x = 0; x < width; ++x, src += 3) row[x] = RgbPixel(src[2], src[1], src[0]);
        break;
      case 32:
        for (int x = 0; x < width; ++x, src += 4) {
          row[x] = RgbPixel(src[2], src[1], src[0]);
          if (alpha != nullptr) (*alpha)[static_cast<std::size_t>(y) * width + x] = src[3];
        }
        break;
      default:
        break;
    }
  }
}

std::vector<Pixel> ReadPalette(Bytes b, std::size_t at, std::uint32_t entries) {
  std::vector<Pixel> palette(entries);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const std::size_t e = at + static_cast<std::size_t>(i) * 4;  // blue, green, red, reserved
    palette[i] = RgbPixel(b[e + 2], b[e + 1], b[e]);
  }
  return palette;
}

// A BMP file: file header, info header, optional colour table, pixels at the
// offset the file header gives.
std::optional<Picture> DecodeBmp(Bytes b) {
  if (b.size() < 14 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const std::uint32_t pixelsAt = Le32(b, 10);
  const auto header = ReadDibHeader(b, 14);
  if (!header || header->height == 0) return std::nullopt;
  const bool topDown = header->height < 0;
  const std::int64_t height = topDown ? -static_cast<std::int64_t>(header->height) : header->height;
  if (height > kMaxSide) return std::nullopt;
  const std::uint64_t paletteAt = 14 + static_cast<std::uint64_t>(header->headerSize);
  const std::uint64_t paletteBytes = static_cast<std::uint64_t>(header->paletteSize) * 4;
  if (!InRange(paletteAt, paletteBytes, b.size())) return std::nullopt;
  if (pixelsAt < paletteAt + paletteBytes) return std::nullopt;
  const std::uint64_t pixelBytes =
      RowStride(static_cast<std::uint32_t>(header->width), header->bitsPerPixel) * static_cast<std::uint64_t>(height);
  if (!InRange(pixelsAt, pixelBytes, b.size())) return std::nullopt;

  Picture picture;
  const auto palette = ReadPalette(b, static_cast<std::size_t>(paletteAt), header->paletteSize);
  // A BMP's fourth byte is padding as far as the system's blitting goes.
  ReadDibPixels(b, pixelsAt, *header, static_cast<int>(height), topDown, palette, picture.colour, nullptr);
  return picture;
}

// ---------------------------------------------------------------------------
// Icon and cursor files: a directory, then each image as a DIB whose height
// counts the colour bitmap and the AND mask together (or as an embedded PNG).

constexpr std::uint16_t kIconType = 1;
constexpr std::uint16_t kCursorType = 2;

bool IsIconDirectory(Bytes b) {
  if (b.size() < 6 || Le16(b, 0) != 0) return false;
  const std::uint16_t type = Le16(b, 2);
  return type == kIconType || type == kCursorType;
}

std::optional<CursorImage> DecodeIconDirectory(Bytes b) {
  if (!IsIconDirectory(b)) return std::nullopt;
  const std::uint16_t type = Le16(b, 2);
  const std::uint16_t count = Le16(b, 4);
  constexpr std::size_t kEntryAt = 6;
  constexpr std::size_t kEntrySize = 16;
  if (count == 0 || !InRange(kEntryAt, kEntrySize * count, b.size())) return std::nullopt;
  const std::uint16_t hotX = Le16(b, kEntryAt + 4);
  const std::uint16_t hotY = Le16(b, kEntryAt + 6);
  const std::uint32_t imageSize = Le32(b, kEntryAt + 8);
  const std::uint32_t imageAt = Le32(b, kEntryAt + 12);
  if (imageAt < kEntryAt + kEntrySize * count || !InRange(imageAt, imageSize, b.size())) {
    return std::nullopt;
  }
  const Bytes image = b.subspan(imageAt, imageSize);

  CursorImage result;
  if (IsPng(image)) {
    auto png = DecodePng(image);
    if (!png) return std::nullopt;
    result.picture = std::move(*png);
  } else {
    const auto header = ReadDibHeader(image, 0);
    if (!header || header->height <= 0 || header->height % 2 != 0) return std::nullopt;
    const std::uint32_t height = static_cast<std::uint32_t>(header->height) / 2;
    if (height > kMaxSide) return std::nullopt;
    const auto width = static_cast<std::uint32_t>(header->width);
    const std::uint64_t paletteAt = header->headerSize;
    const std::uint64_t colourAt = paletteAt + static_cast<std::uint64_t>(header->paletteSize) * 4;
    const std::uint64_t maskAt = colourAt + RowStride(width, header->bitsPerPixel) * height;
    const std::uint64_t maskStride = RowStride(width, 1);
    if (!InRange(maskAt, maskStride * height, image.size())) return std::nullopt;

    const auto palette = ReadPalette(image, static_cast<std::size_t>(paletteAt), header->paletteSize);
    std::vector<std::uint8_t> alpha;
    ReadDibPixels(image, static_cast<std::size_t>(colourAt), *header, static_cast<int>(height), false,
                  palette, result.picture.colour, &alpha);

    // A 32-bit image with any non-zero alpha is drawn by its alpha and the
    // mask is ignored; otherwise the AND mask decides.
    const bool usesAlpha = std::any_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a != 0; });
    if (usesAlpha) {
      if (std::any_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a != 0xFF; })) {
        result.picture.alpha = std::move(alpha);
      }
    } else {
      std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height);
      bool anySet = false;
      for (std::uint32_t stored = 0; stored < height; ++stored) {
        const std::uint32_t y = height - 1 - stored;
        const std::uint8_t* src = image.data() + maskAt + stored * maskStride;
        for (std::uint32_t x = 0; x < width; ++x) {
          const std::uint8_t bit = (src[x / 8] >> (7 - x % 8)) & 1;
          mask[static_cast<std::size_t>(y) * width + x] = bit;
          anySet = anySet || bit != 0;
        }
      }
      if (anySet) result.picture.mask = std::move(mask);
    }
  }

  const int w = result.picture.Width();
  const int h = result.picture.Height();
  if (type == kCursorType) {
    if (hotX >= w || hotY >= h) return std::nullopt;
    result.hotSpot = {hotX, hotY};
  } else {
    // An icon used as a cursor points with its centre.
    result.hotSpot = {w / 2, h / 2};
  }
  return result;
}

// ---------------------------------------------------------------------------
// PNG writing.

struct PngWriteJob {
  const Image* image = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> row;

  PngWriteJob() = default;
  PngWriteJob(const PngWriteJob&) = delete;
  PngWriteJob& operator=(const PngWriteJob&) = delete;
  ~PngWriteJob() {
    if (png != nullptr) png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
  }
};

void PngWrite(png_structp png, png_bytep data, png_size_t count) {
  auto* job = static_cast<PngWriteJob*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    job->out.insert(job->out.end(), data, data + count);
  } catch (const std::bad_alloc&) {
    failed = true;
  }
  if (failed) png_error(png, "out of memory");
}
void PngFlush(png_structp) {}

bool RunPngWrite(PngWriteJob* job) {
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, job, PngError, PngWarning);
  if (job->png == nullptr) return false;
  job->info = png_create_info_struct(job->png);
  if (job->info == nullptr) return false;
  if (setjmp(png_jmpbuf(job->png))) return false;

  const Image& image = *job->image;
  png_set_write_fn(job->png, job, PngWrite, PngFlush);
  png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(image.Width()),
               static_cast<png_uint_32>(image.Height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job->png, job->info);
  for (int y = 0; y < image.Height(); ++y) {
    const Pixel* src = image.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      job->row[static_cast<std::size_t>(x) * 3] = static_cast<std::uint8_t>(src[x] & 0xFF);
      job->row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>((src[x] >> 8) & 0xFF);
      job->row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<std::uint8_t>((src[x] >> 16) & 0xFF);
    }
    png_write_row(job->png, job->row.data());
  }
  png_write_end(job->png, nullptr);
  return true;
}

}  // namespace

std::optional<Picture> DecodePicture(std::span<const std::uint8_t> bytes) {
  if (IsPng(bytes)) return DecodePng(bytes);
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return DecodeBmp(bytes);
  if (IsIconDirectory(bytes)) {
    auto cursor = DecodeIconDirectory(bytes);
    if (!cursor) return std::nullopt;
    return std::move(cursor->picture);
  }
  return std::nullopt;
}

std::optional<CursorImage> DecodeCursor(std::span<const std::uint8_t> bytes) {
  return DecodeIconDirectory(bytes);
}

std::vector<std::uint8_t> EncodePng(const Image& image) {
  if (image.Empty()) return {};
  PngWriteJob job;
  job.image = &image;
  job.row.resize(static_cast<std::size_t>(image.Width()) * 3);
  job.out.reserve(static_cast<std::size_t>(image.Width()) * image.Height() / 4 + 1024);
  if (!RunPngWrite(&job)) return {};
  return std::move(job.out);
}

}  // namespace tinctora::gfx
