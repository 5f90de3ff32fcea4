// fuzz-links: tinctora_text
//
// The code page 936 conversions of text/gbk.h on arbitrary bytes.
//
// The input read as GBK:
//  - GbkCharLength agrees with the boundary rule written here (a lead byte
//    81-FE followed by a trail byte 40-7E or 80-FE is two bytes, anything
//    else one), and the text splits into pieces by it;
//  - GbkToUtf8 and GbkToUtf16 agree (UTF-16 turned into UTF-8 by an encoder
//    written here), the UTF-8 is well formed by the decoder written here, and
//    it holds exactly one character per piece;
//  - the conversion goes piece by piece: the whole text gives what its pieces
//    give one at a time; ASCII stands for itself, 80 is the euro sign, FF, a
//    lone lead byte and a pair in a user-defined area are "?";
//  - GbkToUtf8Exact gives the text exactly when no piece other than a "?"
//    itself becomes "?", and then Utf8ToGbk and Utf8ToGbkExact give the
//    input back byte for byte;
//  - GbkPreviousBoundary and GbkFitPrefix agree with the forward walk, for
//    every offset up to two past the end.
// The input read as UTF-8:
//  - it splits into characters and malformed pieces by the decoder written
//    here (maximal subparts); Utf8ToGbk gives one GBK piece per item, each
//    "?" or a GBK character, the piece a table built here from GbkToUtf8
//    says (the inverse of the GBK side), "?" for a malformed piece or a
//    character with no GBK form;
//  - Utf8ToGbkExact gives nothing exactly when some item is malformed or has
//    no GBK form, and otherwise the same bytes as Utf8ToGbk.
// The input read as UTF-16 (little-endian units): Utf16ToGbk gives the same
// as Utf8ToGbk of the same characters, with "?" for a lone surrogate.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/gbk.h"
#include "fuzz_check.h"

namespace {

using tinctora::fuzz::Escaped;
using tinctora::fuzz::Fail;
namespace text = tinctora::text;

constexpr char32_t kMalformed = 0xFFFFFFFF;

std::string Hex(char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// ---- UTF-8 and UTF-16, written from the Unicode standard -------------------------

void EncodeUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// One character of UTF-8 text, or a malformed piece (kMalformed).
struct Item {
  std::size_t length;
  char32_t c;
};

// Table 3-7 of the Unicode standard: the first byte fixes the length and
// the range of the second byte; later bytes are 80-BF. A piece ends at the
// first byte that does not fit.
Item DecodeUtf8(std::string_view s, std::size_t at) {
  const auto b0 = static_cast<unsigned char>(s[at]);
  if (b0 < 0x80) return {1, b0};
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  char32_t value = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    value = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    value = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    value = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return {1, kMalformed};
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (at + k >= s.size()) return {k, kMalformed};
    const auto b = static_cast<unsigned char>(s[at + k]);
    const unsigned lo = k == 1 ? low : 0x80;
    const unsigned hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) return {k, kMalformed};
    value = (value << 6) | (b & 0x3F);
  }
  return {length, value};
}

std::vector<Item> Utf8Items(std::string_view s) {
  std::vector<Item> items;
  for (std::size_t at = 0; at < s.size();) {
    items.push_back(DecodeUtf8(s, at));
    at += items.back().length;
  }
  return items;
}

// UTF-16 to UTF-8; nothing when a surrogate is unpaired.
std::optional<std::string> Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char32_t u = s[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      EncodeUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      return std::nullopt;
    } else {
      EncodeUtf8(out, u);
    }
  }
  return out;
}

// ---- GBK --------------------------------------------------------------------------

bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool IsTrail(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

std::size_t PieceLength(std::string_view s, std::size_t at) {
  if (at >= s.size()) return 0;
  if (IsLead(static_cast<unsigned char>(s[at])) && at + 1 < s.size() &&
      IsTrail(static_cast<unsigned char>(s[at + 1]))) {
    return 2;
  }
  return 1;
}

bool InUserDefinedArea(unsigned lead, unsigned trail) {
  return (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1) || (lead >= 0xF8 && trail >= 0xA1) ||
         (lead >= 0xA1 && lead <= 0xA7 && trail <= 0xA0);
}

// Every character GBK holds, to its code, read off GbkToUtf8Exact once.
// A character reached from two codes would make the round trip ambiguous;
// such codes are kept apart and left out of the round-trip check.
struct Inverse {
  std::vector<std::string> codeOf = std::vector<std::string>(0x10000);  // BMP character -> GBK bytes
  std::vector<std::string> ambiguous;                                   // codes sharing a character
};

const Inverse& TheInverse() {
  static const Inverse inverse = [] {
    Inverse inv;
    const auto add = [&inv](const std::string& code) {
      const auto utf8 = text::GbkToUtf8Exact(code);
      if (!utf8) return;
      const auto items = Utf8Items(*utf8);
      if (!(items.size() == 1 && items[0].c != kMalformed && items[0].c < 0x10000))
        Fail("GbkToUtf8Exact(\"" + Escaped(code) + "\") is not one BMP character: \"" + Escaped(*utf8) + "\"");
      std::string& slot = inv.codeOf[items[0].c];
      if (slot.empty()) {
        slot = code;
      } else {
        inv.ambiguous.push_back(slot);
        inv.ambiguous.push_back(code);
      }
    };
    for (unsigned b = 0; b <= 0xFF; ++b) {
      if (!IsLead(static_cast<unsigned char>(b))) add(std::string(1, static_cast<char>(b)));
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
        if (trail != 0x7F) add({static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
    for (const std::string& code : inv.ambiguous) {
      std::fprintf(stderr, "note: GBK code \"%s\" shares its character with another\n", Escaped(code).c_str());
    }
    return inv;
  }();
  return inverse;
}

bool IsAmbiguous(std::string_view code) {
  for (const std::string& a : TheInverse().ambiguous) {
    if (a == code) return true;
  }
  return false;
}

// ---- the checks ---------------------------------------------------------------------

void CheckAsGbk(std::string_view x) {
  // Pieces by the rule, and GbkCharLength on every offset.
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < x.size(); at += PieceLength(x, at)) starts.push_back(at);
  for (std::size_t at = 0; at <= x.size() + 1; ++at) {
    if (text::GbkCharLength(x, at) != PieceLength(x, at))
      Fail("GbkCharLength(\"" + Escaped(x) + "\", " + std::to_string(at) + ") gave " +
           std::to_string(text::GbkCharLength(x, at)) + ", expected " + std::to_string(PieceLength(x, at)));
  }

  const std::string utf8 = text::GbkToUtf8(x);
  const std::u16string utf16 = text::GbkToUtf16(x);
  const auto fromUtf16 = Utf16ToUtf8(utf16);
  if (!fromUtf16) Fail("GbkToUtf16(\"" + Escaped(x) + "\") holds an unpaired surrogate");
  if (*fromUtf16 != utf8)
    Fail("GbkToUtf16(\"" + Escaped(x) + "\") reads as \"" + Escaped(*fromUtf16) + "\", GbkToUtf8 gave \"" +
         Escaped(utf8) + "\"");

  const std::vector<Item> items = Utf8Items(utf8);
  for (const Item& item : items) {
    if (item.c == kMalformed)
      Fail("GbkToUtf8(\"" + Escaped(x) + "\") is not well-formed UTF-8: \"" + Escaped(utf8) + "\"");
  }
  if (items.size() != starts.size())
    Fail("GbkToUtf8(\"" + Escaped(x) + "\") gave " + std::to_string(items.size()) + " characters for " +
         std::to_string(starts.size()) + " pieces");

  // Piece by piece.
  std::string joined;
  bool exact = true;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::string_view piece = x.substr(starts[i], PieceLength(x, starts[i]));
    const std::string one = text::GbkToUtf8(piece);
    joined += one;
    const auto b0 = static_cast<unsigned char>(piece[0]);
    const auto what = [&] { return "GbkToUtf8(\"" + Escaped(piece) + "\") gave \"" + Escaped(one) + "\""; };
    std::string want;
    if (piece.size() == 1) {
      if (b0 < 0x80) want = std::string(piece);
      if (b0 == 0x80) want = "\xE2\x82\xAC";
      if (b0 >= 0x81) want = "?";
      if (one != want) Fail(what());
    } else if (InUserDefinedArea(b0, static_cast<unsigned char>(piece[1]))) {
      if (one != "?") Fail(what() + ", expected \"?\" for a user-defined code");
    }
    const bool replaced = one == "?" && piece != "?";
    if (replaced) exact = false;
    const auto oneExact = text::GbkToUtf8Exact(piece);
    if (!(oneExact.has_value() == !replaced && (!oneExact || *oneExact == one)))
      Fail("GbkToUtf8Exact(\"" + Escaped(piece) + "\") disagrees with GbkToUtf8's \"" + Escaped(one) + "\"");
    // The character this piece gave, from the decoded whole.
    std::string character;
    EncodeUtf8(character, items[i].c);
    if (character != one)
      Fail("GbkToUtf8(\"" + Escaped(x) + "\"): piece " + std::to_string(i) + " \"" + Escaped(piece) + "\" gave \"" +
           Escaped(character) + "\" within the text, \"" + Escaped(one) + "\" alone");
  }
  if (joined != utf8) Fail("GbkToUtf8(\"" + Escaped(x) + "\") is not its pieces' conversions");

  const auto utf8Exact = text::GbkToUtf8Exact(x);
  if (utf8Exact.has_value() != exact)
    Fail("GbkToUtf8Exact(\"" + Escaped(x) + "\") " + (exact ? "gave nothing" : "gave a text") + " for a text " +
         (exact ? "without" : "with") + " unmappable pieces");
  if (utf8Exact) {
    if (*utf8Exact != utf8) Fail("GbkToUtf8Exact(\"" + Escaped(x) + "\") differs from GbkToUtf8");
    bool ambiguous = false;
    for (const std::size_t at : starts) ambiguous = ambiguous || IsAmbiguous(x.substr(at, PieceLength(x, at)));
    if (!ambiguous) {
      const std::string back = text::Utf8ToGbk(utf8);
      if (back != x) Fail("Utf8ToGbk(GbkToUtf8(\"" + Escaped(x) + "\")) gave \"" + Escaped(back) + "\"");
      const auto backExact = text::Utf8ToGbkExact(utf8);
      if (!(backExact && *backExact == x))
        Fail("Utf8ToGbkExact(GbkToUtf8(\"" + Escaped(x) + "\")) did not give it back");
      const std::string back16 = text::Utf16ToGbk(utf16);
      if (back16 != x) Fail("Utf16ToGbk(GbkToUtf16(\"" + Escaped(x) + "\")) gave \"" + Escaped(back16) + "\"");
    }
  }

  // Boundaries: the largest piece start below an offset, the longest whole prefix.
  std::vector<std::size_t> bounds = starts;
  bounds.push_back(x.size());
  std::vector<std::size_t> atOrBelow(x.size() + 1);
  for (std::size_t b = 0, k = 0; b <= x.size(); ++b) {
    while (k + 1 < bounds.size() && bounds[k + 1] <= b) ++k;
    atOrBelow[b] = bounds[k];
  }
  for (std::size_t at = 0; at <= x.size() + 2; ++at) {
    const std::size_t end = std::min(at, x.size());
    const std::size_t want = end == 0 ? 0 : atOrBelow[end - 1];
    const std::size_t got = text::GbkPreviousBoundary(x, at);
    if (got != want)
      Fail("GbkPreviousBoundary(\"" + Escaped(x) + "\", " + std::to_string(at) + ") gave " + std::to_string(got) +
           ", expected " + std::to_string(want));
    const std::string_view prefix = text::GbkFitPrefix(x, at);
    if (!(prefix.data() == x.data() && prefix.size() == atOrBelow[end]))
      Fail("GbkFitPrefix(\"" + Escaped(x) + "\", " + std::to_string(at) + ") gave " + std::to_string(prefix.size()) +
           " bytes, expected " + std::to_string(atOrBelow[end]));
  }
}

void CheckAsUtf8(std::string_view x) {
  const Inverse& inverse = TheInverse();
  const std::vector<Item> items = Utf8Items(x);
  const std::string gbk = text::Utf8ToGbk(x);

  std::string want;
  bool exact = true;
  std::size_t at = 0;
  for (const Item& item : items) {
    const std::string_view bytes = x.substr(at, item.length);
    at += item.length;
    std::string code;
    if (item.c != kMalformed && item.c < 0x10000) code = inverse.codeOf[item.c];
    if (code.empty()) {
      code = "?";
      if (item.c != '?') exact = false;
    }
    const bool ambiguous = IsAmbiguous(code);
    const std::string one = text::Utf8ToGbk(bytes);
    if (!ambiguous) {
      if (one != code)
        Fail("Utf8ToGbk(\"" + Escaped(bytes) + "\") gave \"" + Escaped(one) + "\", expected \"" + Escaped(code) +
             "\" for " + (item.c == kMalformed ? "a malformed piece" : Hex(item.c)));
    }
    want += one;
  }
  if (gbk != want)
    Fail("Utf8ToGbk(\"" + Escaped(x) + "\") gave \"" + Escaped(gbk) + "\", its characters one at a time give \"" +
         Escaped(want) + "\"");

  // One GBK piece per item, each "?" or a character.
  std::size_t pieces = 0;
  for (std::size_t g = 0; g < gbk.size(); ++pieces) {
    const std::size_t length = PieceLength(gbk, g);
    const std::string_view piece = std::string_view(gbk).substr(g, length);
    if (!(piece == "?" || text::GbkToUtf8Exact(piece).has_value()))
      Fail("Utf8ToGbk(\"" + Escaped(x) + "\") holds \"" + Escaped(piece) + "\", no GBK character");
    g += length;
  }
  if (pieces != items.size())
    Fail("Utf8ToGbk(\"" + Escaped(x) + "\") gave " + std::to_string(pieces) + " pieces for " +
         std::to_string(items.size()) + " characters");

  const auto gbkExact = text::Utf8ToGbkExact(x);
  if (gbkExact.has_value() != exact)
    Fail("Utf8ToGbkExact(\"" + Escaped(x) + "\") " + (exact ? "gave nothing" : "gave a text") +
         " though every character " + (exact ? "has" : "has not") + " a GBK form");
  if (gbkExact)
    if (*gbkExact != gbk) Fail("Utf8ToGbkExact(\"" + Escaped(x) + "\") differs from Utf8ToGbk");
}

void CheckAsUtf16(std::string_view x) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < x.size(); i += 2) {
    units.push_back(
        static_cast<char16_t>(static_cast<unsigned char>(x[i]) | (static_cast<unsigned char>(x[i + 1]) << 8)));
  }
  // The same characters as UTF-8, a lone surrogate as a malformed byte.
  std::string utf8;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      EncodeUtf8(utf8, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      utf8.push_back('\xFF');
    } else {
      EncodeUtf8(utf8, u);
    }
  }
  const std::string got = text::Utf16ToGbk(units);
  const std::string want = text::Utf8ToGbk(utf8);
  if (got != want)
    Fail("Utf16ToGbk of the units of \"" + Escaped(x) + "\" gave \"" + Escaped(got) +
         "\", Utf8ToGbk of the same characters \"" + Escaped(want) + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view x(reinterpret_cast<const char*>(data), size);
  CheckAsGbk(x);
  CheckAsUtf8(x);
  CheckAsUtf16(x);
  return 0;
}
