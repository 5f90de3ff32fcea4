#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace tinctora::text {

// The program's texts are in code page 936, the Simplified Chinese "ANSI"
// code page that the Windows clipboard's plain text and the narrow API use.
// It is GBK with one addition: the single byte 80 is the euro sign (U+20AC).
// ASCII (00-7F) stands for itself; FF and the user-defined areas (AAA1-AFFE,
// F8A1-FEFE, A140-A7A0) have no character. The table comes from
// tools/make_gbk_table.py.

// Character boundaries. A character is two bytes when a lead byte 81-FE is
// followed by a trail byte 40-7E or 80-FE, else one byte. So a lead byte at
// the very end of the text, or one followed by a byte that cannot be a trail
// byte (a line break, a quote, a digit, 7F, FF), is a character of its own,
// and the byte after it starts the next character: a stray byte never
// swallows its neighbour. Bytes 80 and FF are always one-byte characters.
// Every text splits into characters from its start this way, and the
// conversions below give exactly one character for each.
[[nodiscard]] constexpr bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
[[nodiscard]] constexpr bool IsGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Bytes of the character starting at `at` (1 or 2); 0 at or past the end.
[[nodiscard]] std::size_t GbkCharLength(TextView text, std::size_t at);
// Start of the character that holds byte at - 1: at a boundary, the
// previous boundary. 0 when at is 0; an offset past the end counts as the end.
[[nodiscard]] std::size_t GbkPreviousBoundary(TextView text, std::size_t at);
// The longest prefix of at most `limit` bytes that does not split a character.
[[nodiscard]] TextView GbkFitPrefix(TextView text, std::size_t limit);

// Conversions. They never fail: a character that has no form on the other
// side becomes "?" (U+003F or byte 3F; Windows' conversion into code page 936
// puts the same default character), and so does each malformed piece of input:
// - GBK: a byte or byte pair that is a character by the rule above but maps
//   to nothing (80 converts to the euro sign);
// - UTF-8: a byte that cannot start a sequence, or a sequence cut short by a
//   byte that cannot continue it or by the end of the text (the "maximal
//   subpart" of the Unicode standard: overlong forms, encoded surrogates and
//   values above U+10FFFF stop at the first byte that rules them out); the
//   next character starts at the byte that did not fit;
// - UTF-16: a lone high or low surrogate.
// A character beyond the Basic Multilingual Plane is one "?". Everything
// around a "?" converts unchanged, and the output depends only on the input.
[[nodiscard]] std::string GbkToUtf8(TextView gbk);
[[nodiscard]] Text Utf8ToGbk(std::string_view utf8);
[[nodiscard]] std::u16string GbkToUtf16(TextView gbk);
[[nodiscard]] Text Utf16ToGbk(std::u16string_view utf16);

// As above, but nothing when the conversion would put any "?" in place of
// something (an input "?" is fine): for callers that must refuse or show
// such text rather than change it.
[[nodiscard]] std::optional<std::string> GbkToUtf8Exact(TextView gbk);
[[nodiscard]] std::optional<Text> Utf8ToGbkExact(std::string_view utf8);

}  // namespace tinctora::text
