#include "text/gbk.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>

#include "text/gbk_table.h"

// The table is small because GBK is mostly laid out in Unicode order:
// - the GB2312 hanzi (rows B0-F7, cells A1-FE) are in pinyin order and take a
//   table each way, kHanzi and kHanziByUnicode;
// - every other character of U+4E00-U+9FA5 fills the GBK/3 area (rows 81-A0,
//   all 190 trail bytes) and then the GBK/4 area (rows AA-FE, trail bytes
//   40-A0) in Unicode order: the n-th such code holds the n-th character of
//   the block that is not a GB2312 hanzi, found through the bitmap
//   kHanziBits and its running count kHanziRank;
// - the rest, symbols and compatibility ideographs, are a sorted list.

namespace tinctora::text {

namespace {

namespace table = gbk_table;

// No character: malformed or unmapped input.
constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr char kReplacement = '?';
constexpr unsigned char kEuroByte = 0x80;
constexpr char32_t kEuro = 0x20AC;
constexpr char32_t kBlockFirst = 0x4E00;
constexpr char32_t kBlockLast = 0x9FA5;

constexpr unsigned kHanziFirstRow = 0xB0;
constexpr unsigned kHanziLastRow = 0xF7;
constexpr unsigned kHanziFirstCell = 0xA1;
constexpr unsigned kCellsPerHanziRow = 94;
constexpr int kTrailsPerRow = 190;             // 40-FE without 7F
constexpr int kGbk3Codes = 32 * kTrailsPerRow;  // rows 81-A0
constexpr int kGbk4TrailsPerRow = 96;          // 40-A0 without 7F

enum class Unmapped { Replace, Refuse };

unsigned char ByteAt(std::string_view s, std::size_t at) { return static_cast<unsigned char>(s[at]); }

int TrailIndex(unsigned trail) { return static_cast<int>(trail) - 0x40 - (trail > 0x7F ? 1 : 0); }
unsigned TrailAt(int index) { return 0x40 + static_cast<unsigned>(index) + (index >= 0x3F ? 1 : 0); }

// The position of a code in the GBK/3 then GBK/4 areas, or -1.
int ExtensionSlot(unsigned lead, unsigned trail) {
  if (lead >= 0x81 && lead <= 0xA0) return static_cast<int>(lead - 0x81) * kTrailsPerRow + TrailIndex(trail);
  if (lead >= 0xAA && lead <= 0xFE && trail <= 0xA0) {
    return kGbk3Codes + static_cast<int>(lead - 0xAA) * kGbk4TrailsPerRow + TrailIndex(trail);
  }
  return -1;
}

std::uint16_t ExtensionCode(int slot) {
  unsigned lead = 0;
  int index = 0;
  if (slot < kGbk3Codes) {
    lead = 0x81 + static_cast<unsigned>(slot / kTrailsPerRow);
    index = slot % kTrailsPerRow;
  } else {
    lead = 0xAA + static_cast<unsigned>((slot - kGbk3Codes) / kGbk4TrailsPerRow);
    index = (slot - kGbk3Codes) % kGbk4TrailsPerRow;
  }
  return static_cast<std::uint16_t>((lead << 8) | TrailAt(index));
}

bool IsHanzi(int i) { return ((table::kHanziBits[i / 32] >> (i % 32)) & 1u) != 0; }

// GB2312 hanzi among the first i characters of the block.
int HanziBefore(int i) {
  const std::uint32_t below = table::kHanziBits[i / 32] & ((std::uint32_t{1} << (i % 32)) - 1);
  return table::kHanziRank[i / 32] + std::popcount(below);
}

// The offset into the block of its n-th character (from 0) that is not a
// GB2312 hanzi.
int NthOtherOfBlock(int n) {
  const auto othersBefore = [](int word) { return 32 * word - table::kHanziRank[word]; };
  int low = 0;
  int high = static_cast<int>(std::size(table::kHanziBits));
  while (high - low > 1) {
    const int mid = (low + high) / 2;
    (othersBefore(mid) <= n ? low : high) = mid;
  }
  std::uint32_t others = ~table::kHanziBits[low];
  for (int skip = n - othersBefore(low); skip > 0; --skip) others &= others - 1;
  return 32 * low + std::countr_zero(others);
}

char32_t DecodePair(unsigned lead, unsigned trail) {
  if (lead >= kHanziFirstRow && lead <= kHanziLastRow && trail >= kHanziFirstCell) {
    const char32_t c = table::kHanzi[(lead - kHanziFirstRow) * kCellsPerHanziRow + (trail - kHanziFirstCell)];
    return c != 0 ? c : kNoCharacter;
  }
  const int slot = ExtensionSlot(lead, trail);
  if (slot >= 0 && slot < table::kExtensionCount) return kBlockFirst + static_cast<char32_t>(NthOtherOfBlock(slot));
  const auto code = static_cast<std::uint16_t>((lead << 8) | trail);
  const auto* begin = std::begin(table::kOtherCodes);
  const auto* found = std::lower_bound(begin, std::end(table::kOtherCodes), code);
  if (found == std::end(table::kOtherCodes) || *found != code) return kNoCharacter;
  return table::kOtherUnicode[found - begin];
}

// The double-byte code of a character, or 0.
std::uint16_t DoubleByteCode(char32_t c) {
  if (c >= kBlockFirst && c <= kBlockLast) {
    const int i = static_cast<int>(c - kBlockFirst);
    const int hanzi = HanziBefore(i);
    return IsHanzi(i) ? table::kHanziByUnicode[hanzi] : ExtensionCode(i - hanzi);
  }
  if (c > 0xFFFF) return 0;
  const auto* begin = std::begin(table::kOtherByUnicode);
  const auto* end = std::end(table::kOtherByUnicode);
  const auto* found = std::lower_bound(begin, end, c, [](std::uint16_t index, char32_t value) {
    return table::kOtherUnicode[index] < value;
  });
  if (found == end || table::kOtherUnicode[*found] != c) return 0;
  return table::kOtherCodes[*found];
}

// The character `length` (from GbkCharLength) bytes at `at` stand for.
char32_t GbkCharAt(TextView gbk, std::size_t at, std::size_t length) {
  const unsigned char first = ByteAt(gbk, at);
  if (length == 2) return DecodePair(first, ByteAt(gbk, at + 1));
  if (first < 0x80) return first;
  return first == kEuroByte ? kEuro : kNoCharacter;
}

// Appends the GBK form of a character; false, appending nothing, when it has none.
bool AppendGbk(Text& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
    return true;
  }
  if (c == kEuro) {
    out.push_back(static_cast<char>(kEuroByte));
    return true;
  }
  const std::uint16_t code = c == kNoCharacter ? 0 : DoubleByteCode(c);
  if (code == 0) return false;
  out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    // Every GBK character is in the Basic Multilingual Plane.
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) { out.push_back(static_cast<char16_t>(c)); }

struct Decoded {
  char32_t c;
  std::size_t length;
};

// One UTF-8 character, or kNoCharacter and the length of the malformed
// piece: the bytes up to, not including, the first that does not fit.
Decoded DecodeUtf8(std::string_view s, std::size_t at) {
  const unsigned char first = ByteAt(s, at);
  if (first < 0x80) return {first, 1};
  int follow = 0;
  char32_t c = 0;
  // The first continuation byte's range rules out overlong forms, encoded
  // surrogates and values above U+10FFFF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (first >= 0xC2 && first <= 0xDF) {
    follow = 1;
    c = first & 0x1Fu;
  } else if (first >= 0xE0 && first <= 0xEF) {
    follow = 2;
    c = first & 0x0Fu;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    follow = 3;
    c = first & 0x07u;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {kNoCharacter, 1};
  }
  std::size_t length = 1;
  for (; follow > 0; --follow) {
    if (at + length >= s.size()) return {kNoCharacter, length};
    const unsigned char next = ByteAt(s, at + length);
    if (next < low || next > high) return {kNoCharacter, length};
    c = (c << 6) | (next & 0x3Fu);
    ++length;
    low = 0x80;
    high = 0xBF;
  }
  return {c, length};
}

Decoded DecodeUtf16(std::u16string_view s, std::size_t at) {
  const char16_t unit = s[at];
  if (unit < 0xD800 || unit > 0xDFFF) return {unit, 1};
  if (unit <= 0xDBFF && at + 1 < s.size() && s[at + 1] >= 0xDC00 && s[at + 1] <= 0xDFFF) {
    return {0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (s[at + 1] - 0xDC00), 2};
  }
  return {kNoCharacter, 1};
}

// Converts GBK into `out` through append; false as soon as a character has
// no Unicode form when refusing.
template <typename Out, typename Append>
bool FromGbk(TextView gbk, Unmapped unmapped, Out& out, Append append) {
  out.reserve(gbk.size());
  for (std::size_t at = 0; at < gbk.size();) {
    const std::size_t length = GbkCharLength(gbk, at);
    char32_t c = GbkCharAt(gbk, at, length);
    if (c == kNoCharacter) {
      if (unmapped == Unmapped::Refuse) return false;
      c = static_cast<char32_t>(kReplacement);
    }
    append(out, c);
    at += length;
  }
  return true;
}

template <typename View, typename Decode>
bool ToGbk(View in, Decode decode, Unmapped unmapped, Text& out) {
  out.reserve(in.size());
  for (std::size_t at = 0; at < in.size();) {
    const Decoded d = decode(in, at);
    if (!AppendGbk(out, d.c)) {
      if (unmapped == Unmapped::Refuse) return false;
      out.push_back(kReplacement);
    }
    at += d.length;
  }
  return true;
}

}  // namespace

std::size_t GbkCharLength(TextView text, std::size_t at) {
  if (at >= text.size()) return 0;
  if (at + 1 < text.size() && IsGbkLeadByte(ByteAt(text, at)) && IsGbkTrailByte(ByteAt(text, at + 1))) return 2;
  return 1;
}

std::size_t GbkPreviousBoundary(TextView text, std::size_t at) {
  at = std::min(at, text.size());
  std::size_t boundary = 0;
  for (std::size_t pos = 0; pos < at; pos += GbkCharLength(text, pos)) boundary = pos;
  return boundary;
}

TextView GbkFitPrefix(TextView text, std::size_t limit) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t next = end + GbkCharLength(text, end);
    if (next > limit) break;
    end = next;
  }
  return text.substr(0, end);
}

std::string GbkToUtf8(TextView gbk) {
  std::string out;
  FromGbk(gbk, Unmapped::Replace, out, AppendUtf8);
  return out;
}

std::u16string GbkToUtf16(TextView gbk) {
  std::u16string out;
  FromGbk(gbk, Unmapped::Replace, out, AppendUtf16);
  return out;
}

Text Utf8ToGbk(std::string_view utf8) {
  Text out;
  ToGbk(utf8, DecodeUtf8, Unmapped::Replace, out);
  return out;
}

Text Utf16ToGbk(std::u16string_view utf16) {
  Text out;
  ToGbk(utf16, DecodeUtf16, Unmapped::Replace, out);
  return out;
}

std::optional<std::string> GbkToUtf8Exact(TextView gbk) {
  std::string out;
  if (!FromGbk(gbk, Unmapped::Refuse, out, AppendUtf8)) return std::nullopt;
  return out;
}

std::optional<Text> Utf8ToGbkExact(std::string_view utf8) {
  Text out;
  if (!ToGbk(utf8, DecodeUtf8, Unmapped::Refuse, out)) return std::nullopt;
  return out;
}

}  // namespace tinctora::text
