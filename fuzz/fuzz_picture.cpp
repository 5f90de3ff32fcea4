// fuzz-links: tinctora_graphics PNG::PNG ZLIB::ZLIB
//
// DecodePicture and DecodeCursor on arbitrary bytes: PNG, BMP, icon and
// cursor files, truncated, malformed, with huge dimensions or wrong counts.
//
// Besides not crashing (the sanitizers watch every read) and not allocating
// beyond the limit the run sets (-malloc_limit_mb), a decoded picture is
// checked against the file itself:
//  - its size is the one the file declares (the PNG's IHDR, the BMP's info
//    header, the first icon entry's bitmap header with half its height, or
//    its embedded PNG), and its mask and alpha are empty or one byte a pixel;
//  - a bitmap's pixels are those a plain reader written here finds at the
//    places the headers point to, and those places lie inside the file;
//  - a PNG's pixels and alpha are those of libpng's simplified reading, an
//    independent path through the library, when the file carries nothing
//    that makes that reading convert colours (no gamma, colour space or
//    profile chunk, no 16-bit samples);
//  - a cursor's hot spot lies inside its image: the entry's for a cursor
//    file, the centre for an icon; DecodePicture gives the same picture;
//  - no single allocation while decoding exceeds what the file's data can
//    describe: deflate expands at most 1032 to 1, and a byte of 1-bit
//    pixels becomes 32 bytes of 32-bit pixels, so about 33,000 bytes per
//    file byte, plus a fixed megabyte for libpng's and zlib's own buffers.
//    A small file that declares a huge picture must fail before allocating.
//
// libpng rejects a chunk whose CRC is wrong, which most mutations of a PNG
// file make it; so a PNG input is checked a second time with every chunk's
// CRC recomputed, to let the mutations reach the decoding itself.

#include <png.h>
#include <sanitizer/allocator_interface.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "graphics/picture.h"

namespace {

using tinctora::fuzz::Check;
using tinctora::gfx::Pixel;
using tinctora::gfx::Picture;
using tinctora::gfx::RgbPixel;
using Bytes = std::span<const std::uint8_t>;

std::uint32_t Le(Bytes b, std::size_t at, int count) {
  Check(at + count <= b.size(), "a header the decoder accepted lies past the end of the file");
  std::uint32_t v = 0;
  for (int i = count - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}
std::uint32_t Be32(Bytes b, std::size_t at) {
  Check(at + 4 <= b.size(), "a PNG header past the end of the file");
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

bool StartsWithPng(Bytes b) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return b.size() >= 8 && std::memcmp(b.data(), kSignature, 8) == 0;
}

void CheckShape(const Picture& p, std::uint32_t width, std::uint32_t height, const char* what) {
  Check(p.Width() > 0 && p.Height() > 0, std::string(what) + ": an empty picture was returned");
  Check(static_cast<std::uint32_t>(p.Width()) == width &&
            static_cast<std::uint32_t>(p.Height()) == height,
        std::string(what) + ": decoded " + std::to_string(p.Width()) + " x " +
            std::to_string(p.Height()) + ", the file declares " + std::to_string(width) + " x " +
            std::to_string(height));
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  Check(p.colour.Pixels().size() == pixels, std::string(what) + ": pixel count");
  Check(p.mask.empty() || p.mask.size() == pixels, std::string(what) + ": mask size");
  Check(p.alpha.empty() || p.alpha.size() == pixels, std::string(what) + ": alpha size");
  Check(p.mask.empty() || p.alpha.empty(), std::string(what) + ": both a mask and an alpha");
  for (const Pixel px : p.colour.Pixels()) Check((px >> 24) == 0, std::string(what) + ": top byte set");
  for (const std::uint8_t m : p.mask) Check(m <= 1, std::string(what) + ": mask byte not 0 or 1");
}

// ---------------------------------------------------------------------------
// PNG: the declared size, and libpng's simplified reading.

bool HasConvertingChunk(Bytes b) {
  // Walks the chunk list as far as it is intact.
  std::size_t at = 8;
  while (at + 8 <= b.size()) {
    const std::uint32_t length = Be32(b, at);
    const std::string type(reinterpret_cast<const char*>(b.data() + at + 4), 4);
    if (type == "gAMA" || type == "sRGB" || type == "iCCP" || type == "cHRM") return true;
    if (type == "IEND" || length > b.size()) break;
    at += 12 + static_cast<std::size_t>(length);
  }
  return false;
}

void CheckPng(Bytes b, const Picture& p) {
  Check(b.size() >= 24, "a PNG without a whole IHDR decoded");
  CheckShape(p, Be32(b, 16), Be32(b, 20), "PNG");
  const std::uint8_t depth = b[24];
  if (depth > 8 || HasConvertingChunk(b)) return;

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, b.data(), b.size())) return;
  image.format = PNG_FORMAT_RGBA;
  std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return;
  Check(image.width == static_cast<png_uint_32>(p.Width()) &&
            image.height == static_cast<png_uint_32>(p.Height()),
        "PNG: the simplified reading gives another size");
  bool opaque = true;
  for (std::size_t i = 0; i < p.colour.Pixels().size(); ++i) {
    const std::uint8_t* s = rgba.data() + i * 4;
    Check(p.colour.Pixels()[i] == RgbPixel(s[0], s[1], s[2]),
          "PNG: pixel " + std::to_string(i) + " differs from the simplified reading");
    opaque = opaque && s[3] == 0xFF;
    if (!p.alpha.empty()) {
      Check(p.alpha[i] == s[3], "PNG: alpha " + std::to_string(i) + " differs from the simplified reading");
    }
  }
  Check(p.alpha.empty() == opaque, "PNG: alpha kept for an opaque image or dropped for a translucent one");
}

// ---------------------------------------------------------------------------
// Bitmaps: a plain reader of the pixels the headers point to.

struct Dib {
  std::size_t infoAt = 0;
  std::uint32_t headerSize = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;  // rows of the colour bitmap
  bool topDown = false;
  int bits = 0;
  std::size_t paletteAt = 0;
  std::uint32_t paletteEntries = 0;
  std::size_t pixelsAt = 0;
};

Dib ReadInfo(Bytes b, std::size_t infoAt) {
  Dib d;
  d.infoAt = infoAt;
  d.headerSize = Le(b, infoAt, 4);
  d.width = Le(b, infoAt + 4, 4);
  d.bits = static_cast<int>(Le(b, infoAt + 14, 2));
  const std::uint32_t used = Le(b, infoAt + 32, 4);
  if (d.bits <= 8) d.paletteEntries = used != 0 ? used : 1u << d.bits;
  d.paletteAt = infoAt + d.headerSize;
  return d;
}

std::size_t Stride(std::uint32_t width, int bits) {
  return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
}

// The value of pixel x in a row of `bits`-bit values, leftmost in the high bits.
std::uint32_t Sample(Bytes b, std::size_t rowAt, std::uint32_t x, int bits) {
  const std::size_t bit = static_cast<std::size_t>(x) * bits;
  const std::uint8_t byte = static_cast<std::uint8_t>(Le(b, rowAt + bit / 8, 1));
  return (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

std::vector<Pixel> ReadColours(Bytes b, const Dib& d, std::vector<std::uint8_t>* alpha) {
  std::vector<Pixel> out(static_cast<std::size_t>(d.width) * d.height);
  if (alpha != nullptr) alpha->assign(out.size(), 0);
  Check(d.pixelsAt + Stride(d.width, d.bits) * d.height <= b.size(),
        "the decoder accepted pixel rows past the end of the file");
  for (std::uint32_t y = 0; y < d.height; ++y) {
    const std::uint32_t stored = d.topDown ? y : d.height - 1 - y;
    const std::size_t rowAt = d.pixelsAt + stored * Stride(d.width, d.bits);
    for (std::uint32_t x = 0; x < d.width; ++x) {
      Pixel& px = out[static_cast<std::size_t>(y) * d.width + x];
      if (d.bits <= 8) {
        const std::uint32_t index = Sample(b, rowAt, x, d.bits);
        // An index past a shortened colour table shows black.
        if (index < d.paletteEntries) {
          const std::size_t e = d.paletteAt + index * 4;
          px = RgbPixel(Le(b, e + 2, 1), Le(b, e + 1, 1), Le(b, e, 1));
        } else {
          px = 0;
        }
      } else {
        const std::size_t at = rowAt + static_cast<std::size_t>(x) * (d.bits / 8);
        px = RgbPixel(Le(b, at + 2, 1), Le(b, at + 1, 1), Le(b, at, 1));
        if (alpha != nullptr && d.bits == 32) (*alpha)[static_cast<std::size_t>(y) * d.width + x] = Le(b, at + 3, 1);
      }
    }
  }
  return out;
}

void CheckBmp(Bytes b, const Picture& p) {
  Dib d = ReadInfo(b, 14);
  const auto height = static_cast<std::int32_t>(Le(b, 22, 4));
  d.topDown = height < 0;
  d.height = static_cast<std::uint32_t>(height < 0 ? -static_cast<std::int64_t>(height) : height);
  d.pixelsAt = Le(b, 10, 4);
  CheckShape(p, d.width, d.height, "BMP");
  Check(d.paletteAt + std::size_t{d.paletteEntries} * 4 <= d.pixelsAt || d.bits > 8,
        "BMP: the colour table overlaps the pixels");
  Check(ReadColours(b, d, nullptr) == p.colour.Pixels(), "BMP: pixels differ from the plain reading");
  Check(p.mask.empty() && p.alpha.empty(), "BMP: a mask or alpha");
}

struct Entry {
  std::uint16_t type = 0;
  std::uint16_t hotX = 0;
  std::uint16_t hotY = 0;
  Bytes image;
};

Entry FirstEntry(Bytes b) {
  Entry e;
  e.type = static_cast<std::uint16_t>(Le(b, 2, 2));
  e.hotX = static_cast<std::uint16_t>(Le(b, 10, 2));
  e.hotY = static_cast<std::uint16_t>(Le(b, 12, 2));
  const std::uint32_t size = Le(b, 14, 4);
  const std::uint32_t at = Le(b, 18, 4);
  Check(at <= b.size() && size <= b.size() - at, "an icon image past the end of the file");
  e.image = b.subspan(at, size);
  return e;
}

void CheckIconImage(const Entry& e, const Picture& p) {
  if (StartsWithPng(e.image)) {
    CheckPng(e.image, p);
    return;
  }
  const Bytes b = e.image;
  Dib d = ReadInfo(b, 0);
  d.height = Le(b, 8, 4) / 2;
  d.pixelsAt = d.paletteAt + std::size_t{d.paletteEntries} * 4;
  CheckShape(p, d.width, d.height, "icon");
  std::vector<std::uint8_t> alpha;
  Check(ReadColours(b, d, &alpha) == p.colour.Pixels(), "icon: pixels differ from the plain reading");

  // A 32-bit image with any non-zero alpha is drawn by its alpha (kept only
  // when not all opaque); otherwise the AND mask decides (kept only when any
  // bit is set).
  const bool usesAlpha = std::any_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a != 0; });
  if (usesAlpha) {
    const bool allOpaque = std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 0xFF; });
    Check(p.mask.empty(), "icon: a mask beside the alpha");
    Check(allOpaque ? p.alpha.empty() : p.alpha == alpha, "icon: alpha differs from the plain reading");
    return;
  }
  Dib mask = d;
  mask.bits = 1;
  mask.pixelsAt = d.pixelsAt + Stride(d.width, d.bits) * d.height;
  std::vector<std::uint8_t> bits(static_cast<std::size_t>(d.width) * d.height);
  Check(mask.pixelsAt + Stride(d.width, 1) * d.height <= b.size(), "icon: the mask past the end of the image");
  for (std::uint32_t y = 0; y < d.height; ++y) {
    const std::size_t rowAt = mask.pixelsAt + (d.height - 1 - y) * Stride(d.width, 1);
    for (std::uint32_t x = 0; x < d.width; ++x) {
      bits[static_cast<std::size_t>(y) * d.width + x] = static_cast<std::uint8_t>(Sample(b, rowAt, x, 1));
    }
  }
  const bool anySet = std::any_of(bits.begin(), bits.end(), [](std::uint8_t m) { return m != 0; });
  Check(p.alpha.empty(), "icon: alpha without a 32-bit image using it");
  Check(anySet ? p.mask == bits : p.mask.empty(), "icon: mask differs from the plain reading");
}

// The largest single allocation while `watching` is set.
std::atomic<bool> watching{false};
std::atomic<std::size_t> largest{0};

void OnMalloc(const volatile void*, std::size_t size) {
  if (watching.load(std::memory_order_relaxed) && size > largest.load(std::memory_order_relaxed)) {
    largest.store(size, std::memory_order_relaxed);
  }
}
void OnFree(const volatile void*) {}

bool SamePicture(const Picture& a, const Picture& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.colour.Pixels() == b.colour.Pixels() &&
         a.mask == b.mask && a.alpha == b.alpha;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
  return 0;
}

namespace {

// The file with the CRC of every whole chunk after the signature rewritten.
std::vector<std::uint8_t> WithChunkCrcsFixed(Bytes b) {
  std::vector<std::uint8_t> out(b.begin(), b.end());
  std::size_t at = 8;
  while (at + 12 <= out.size()) {
    const std::uint32_t length = Be32(out, at);
    if (length > out.size() - at - 12) break;
    const uLong crc = crc32(0, out.data() + at + 4, static_cast<uInt>(length) + 4);
    for (int i = 0; i < 4; ++i) out[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return out;
}

void CheckFile(Bytes bytes) {
  const std::uint8_t* data = bytes.data();
  const std::size_t size = bytes.size();
  largest = 0;
  watching = true;
  const auto picture = tinctora::gfx::DecodePicture(bytes);
  const auto cursor = tinctora::gfx::DecodeCursor(bytes);
  watching = false;
  const std::size_t allowed = 33024 * (size + 16) + (std::size_t{1} << 20);
  Check(largest <= allowed, "an allocation of " + std::to_string(largest.load()) + " bytes for a file of " +
                                std::to_string(size) + " bytes");
  const bool iconDirectory = size >= 6 && Le(bytes, 0, 2) == 0 && (Le(bytes, 2, 2) == 1 || Le(bytes, 2, 2) == 2);

  if (picture) {
    if (StartsWithPng(bytes)) {
      CheckPng(bytes, *picture);
    } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
      CheckBmp(bytes, *picture);
    } else {
      Check(iconDirectory, "a picture from bytes of no known kind");
      CheckIconImage(FirstEntry(bytes), *picture);
    }
  }

  if (cursor) {
    Check(iconDirectory, "a cursor from bytes that are no icon directory");
    Check(picture.has_value(), "DecodePicture rejects a cursor file DecodeCursor decodes");
    const Entry e = FirstEntry(bytes);
    CheckIconImage(e, cursor->picture);
    const auto& p = cursor->picture;
    const tinctora::gfx::Point want = e.type == 2 ? tinctora::gfx::Point{e.hotX, e.hotY}
                                                 : tinctora::gfx::Point{p.Width() / 2, p.Height() / 2};
    Check(cursor->hotSpot == want, "the hot spot is not the file's");
    Check(cursor->hotSpot.x >= 0 && cursor->hotSpot.x < p.Width() && cursor->hotSpot.y >= 0 &&
              cursor->hotSpot.y < p.Height(),
          "the hot spot lies outside the image");
    if (picture) Check(SamePicture(*picture, p), "DecodePicture and DecodeCursor give different pictures");
  } else if (iconDirectory) {
    Check(!picture, "DecodePicture decoded an icon file DecodeCursor rejects");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes bytes(data, size);
  CheckFile(bytes);
  if (StartsWithPng(bytes)) {
    const auto fixed = WithChunkCrcsFixed(bytes);
    if (!std::equal(fixed.begin(), fixed.end(), bytes.begin())) CheckFile(fixed);
  }
  return 0;
}
