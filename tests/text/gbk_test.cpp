#include "text/gbk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/table.h"

namespace tinctora::text {
namespace {

using testing::ExpectTable;

// Code page 936 beyond ASCII, from Python's codec: bytes (one or two, as a
// number) -> code point.
const std::map<std::uint16_t, char32_t>& Reference() {
  static const std::map<std::uint16_t, char32_t> table = [] {
    std::map<std::uint16_t, char32_t> t;
    std::ifstream in(TINCTORA_CP936_REFERENCE);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      unsigned code = 0;
      unsigned u = 0;
      fields >> std::hex >> code >> u;
      t[static_cast<std::uint16_t>(code)] = u;
    }
    return t;
  }();
  return table;
}

Text BytesOf(std::uint16_t code) {
  if (code < 0x100) return Text(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// UTF-8 written out here rather than by the code under test.
std::string Utf8Of(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
  } else {
    s = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
         static_cast<char>(0x80 | (c & 0x3F))};
  }
  return s;
}

std::string Hex(std::uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", n);
  return buf;
}

TEST(Gbk, ReferenceTableIsComplete) {
  // 21791 double-byte characters and the euro sign.
  EXPECT_EQ(Reference().size(), 21792u);
  EXPECT_EQ(Reference().at(0x80), 0x20ACu);
  EXPECT_EQ(Reference().at(0xB0A1), 0x554Au);  // 啊
}

TEST(Gbk, EveryCharacterOfTheTableConvertsBothWays) {
  int failures = 0;
  for (const auto& [code, u] : Reference()) {
    const Text gbk = BytesOf(code);
    const std::string utf8 = Utf8Of(u);
    const bool ok = GbkToUtf8(gbk) == utf8 && GbkToUtf16(gbk) == std::u16string(1, static_cast<char16_t>(u)) &&
                    Utf8ToGbk(utf8) == gbk && Utf16ToGbk(std::u16string(1, static_cast<char16_t>(u))) == gbk;
    if (!ok && ++failures <= 10) ADD_FAILURE() << "GBK " << Hex(code) << " <-> U+" << Hex(u);
  }
  EXPECT_EQ(failures, 0);
}

TEST(Gbk, TheWholeTableAsOneTextRoundTrips) {
  Text all;
  for (const auto& entry : Reference()) all += BytesOf(entry.first);
  const std::u16string utf16 = GbkToUtf16(all);
  EXPECT_EQ(utf16.size(), Reference().size());
  EXPECT_EQ(Utf16ToGbk(utf16), all);
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8(all)), all);
  EXPECT_EQ(GbkToUtf8Exact(all), GbkToUtf8(all));
}

TEST(Gbk, EveryOtherCodeAndCodePointIsOneQuestionMark) {
  const auto& ref = Reference();
  int failures = 0;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const auto code = static_cast<std::uint16_t>((lead << 8) | trail);
      if (trail == 0x7F || ref.contains(code)) continue;
      if ((GbkToUtf8(BytesOf(code)) != "?" || GbkToUtf16(BytesOf(code)) != u"?") && ++failures <= 10) {
        ADD_FAILURE() << "unmapped GBK " << Hex(code);
      }
    }
  }
  std::map<char32_t, std::uint16_t> codes;
  for (const auto& [code, u] : ref) codes[u] = code;
  for (char32_t u = 0x80; u <= 0xFFFF; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const auto found = codes.find(u);
    const Text expected = found == codes.end() ? "?" : BytesOf(found->second);
    if ((Utf8ToGbk(Utf8Of(u)) != expected || Utf16ToGbk(std::u16string(1, static_cast<char16_t>(u))) != expected) &&
        ++failures <= 20) {
      ADD_FAILURE() << "U+" << Hex(u);
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(Gbk, AsciiIsItself) {
  Text ascii;
  std::u16string wide;
  for (int c = 0; c < 0x80; ++c) {
    ascii.push_back(static_cast<char>(c));
    wide.push_back(static_cast<char16_t>(c));
  }
  EXPECT_EQ(GbkToUtf8(ascii), ascii);
  EXPECT_EQ(Utf8ToGbk(ascii), ascii);
  EXPECT_EQ(GbkToUtf16(ascii), wide);
  EXPECT_EQ(Utf16ToGbk(wide), ascii);
  EXPECT_EQ(GbkToUtf8(""), "");
  EXPECT_EQ(Utf16ToGbk(u""), "");
}

TEST(Gbk, CharactersWithoutAGbkFormBecomeQuestionMarks) {
  ExpectTable<std::string, Text>({
      {"hangul between hanzi", "\xE4\xB8\xAD\xED\x95\x9C\xE6\x96\x87", "\xD6\xD0?\xCE\xC4"},  // 中한文
      {"latin with no form", "\xC2\xA9 \xC3\x80", "? ?"},                                     // © À
      {"latin with a form", "\xC3\xA9", "\xA8\xA6"},                                          // é
      {"beyond the BMP is one mark", "a\xF0\x9F\x98\x80" "b", "a?b"},                         // a😀b
      {"euro sign is byte 80", "\xE2\x82\xAC" "5", "\x80" "5"},
  }, Utf8ToGbk);
  EXPECT_EQ(Utf16ToGbk(u"\u4E2D\uD55C\U0001F600"), "\xD6\xD0??");
  EXPECT_EQ(Utf8ToGbkExact("\xED\x95\x9C"), std::nullopt);
  EXPECT_EQ(Utf8ToGbkExact("a?\xE4\xB8\xAD"), Text("a?\xD6\xD0"));  // a typed "?" is no substitution
}

TEST(Gbk, MalformedUtf8GivesOneMarkPerBrokenPiece) {
  ExpectTable<std::string, Text>({
      {"lone continuation byte", "a\x80" "b", "a?b"},
      {"byte that never starts a sequence", "a\xFF" "b\xC0", "a?b?"},
      {"two-byte sequence cut by the end", "a\xC3", "a?"},
      {"cut by a byte that cannot continue", "\xC3(", "?("},
      {"three-byte sequence cut after two bytes", "\xE4\xB8x", "?x"},
      {"cut before a full character", "\xE4\xB8\xE4\xB8\xAD", "?\xD6\xD0"},
      {"overlong two-byte", "\xC0\xAF", "??"},
      {"overlong three-byte", "\xE0\x80\xAF", "???"},
      {"encoded surrogate", "\xED\xA0\x80", "???"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"F5 and above", "\xF5\x80", "??"},
      {"four-byte sequence cut by the end", "x\xF0\x9F\x98", "x?"},
  }, Utf8ToGbk);
  EXPECT_EQ(Utf8ToGbkExact("a\x80"), std::nullopt);
}

TEST(Gbk, LoneSurrogatesAreOneMarkEach) {
  using U16 = std::u16string;
  ExpectTable<U16, Text>({
      {"high at the end", U16(u"a") + char16_t(0xD83D), "a?"},
      {"high before a letter", U16(1, char16_t(0xD83D)) + u"b", "?b"},
      {"lone low", U16(u"a") + char16_t(0xDE00) + u"b", "a?b"},
      {"low then high", U16{char16_t(0xDE00), char16_t(0xD83D)}, "??"},
      {"two highs then a low is a mark and a pair", U16{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}, "??"},
      {"high before a hanzi", U16(1, char16_t(0xD800)) + u"\u4E2D", "?\xD6\xD0"},
  }, [](const U16& s) { return Utf16ToGbk(s); });
}

TEST(Gbk, MalformedGbkGivesOneMarkPerCharacter) {
  ExpectTable<Text, std::string>({
      {"lead byte at the end", "a\xB0", "a?"},
      {"lead byte before a digit", "\x81" "0", "?0"},
      {"lead byte before a line break", "\xB0\n\xB0\xA1", "?\n\xE5\x95\x8A"},  // ?\n啊
      {"lead byte before 7F", "\xB0\x7F", "?\x7F"},
      {"lead byte before FF", "\xB0\xFF", "??"},
      {"FF alone", "x\xFF", "x?"},
      {"80 is the euro sign", "\x80\xB0\xA1", "\xE2\x82\xAC\xE5\x95\x8A"},
      {"user-defined character is one mark", "\xAA\xA1z", "?z"},
      {"unassigned pair is one mark", "\xA2\xAB" "1", "?1"},
      {"empty cell of the hanzi rows", "\xD7\xFA", "?"},
      {"GBK/4 codes past the last character", "\xFE\x50", "?"},
  }, GbkToUtf8);
  EXPECT_EQ(GbkToUtf16("\xB0\"\xB0\xA1"), u"?\"\u554A");
  EXPECT_EQ(GbkToUtf8Exact("a\xB0"), std::nullopt);
  EXPECT_EQ(GbkToUtf8Exact("?\x80"), std::string("?\xE2\x82\xAC"));
}

// The characters of a text as GbkCharLength splits it.
std::vector<std::size_t> Split(TextView text) {
  std::vector<std::size_t> lengths;
  for (std::size_t at = 0; at < text.size(); at += lengths.back()) lengths.push_back(GbkCharLength(text, at));
  return lengths;
}

TEST(GbkBoundaries, SplitsMixedTexts) {
  using L = std::vector<std::size_t>;
  ExpectTable<Text, L>({
      {"empty", "", L{}},
      {"ascii and hanzi", "a\xB0\xA1" "b\xC9\xAB", L{1, 2, 1, 2}},
      {"lowest codes", "\x81\x40\xFE\xFE", L{2, 2}},
      {"trail byte in the ASCII range", "\x81\x7E" "A", L{2, 1}},
      {"lone lead byte at the end", "ab\xB0", L{1, 1, 1}},
      {"lead byte before a non-trail byte", "\xB0#x", L{1, 1, 1}},
      {"lead byte before 7F or FF", "\xB0\x7F\xB0\xFF", L{1, 1, 1, 1}},
      {"80 and FF are single", "\x80\xA1\xA1\xFF\x41", L{1, 2, 1, 1}},
      {"lead bytes pair up from the left", "\x81\x81\x81", L{2, 1}},
  }, Split);
  EXPECT_EQ(GbkCharLength("ab", 2), 0u);
  EXPECT_EQ(GbkCharLength("ab", 9), 0u);
}

TEST(GbkBoundaries, RandomBytesGiveOneCharacterPerPiece) {
  // Bytes drawn mostly from the edges of the lead and trail ranges.
  constexpr unsigned char kBytes[] = {0x00, 0x0A, 0x22, 0x30, 0x3F, 0x40, 0x41, 0x7E, 0x7F, 0x80,
                                      0x81, 0xA0, 0xA1, 0xAA, 0xB0, 0xD7, 0xF7, 0xFA, 0xFE, 0xFF};
  std::mt19937 random(936);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(kBytes) - 1);
  for (int run = 0; run < 5000; ++run) {
    Text text(run % 12, '\0');
    for (char& c : text) c = static_cast<char>(kBytes[pick(random)]);
    const std::vector<std::size_t> pieces = Split(text);
    std::size_t bytes = 0;
    for (const std::size_t n : pieces) bytes += n;
    ASSERT_EQ(bytes, text.size());
    ASSERT_EQ(GbkToUtf16(text).size(), pieces.size()) << ::testing::PrintToString(text);
    ASSERT_EQ(GbkPreviousBoundary(text, text.size()), text.size() - (pieces.empty() ? 0 : pieces.back()));
    if (const auto utf8 = GbkToUtf8Exact(text)) {
      ASSERT_EQ(Utf8ToGbk(*utf8), text);
    }
    // Read as UTF-8 the bytes are mostly malformed; what comes out is still
    // GBK that converts back exactly.
    ASSERT_TRUE(GbkToUtf8Exact(Utf8ToGbk(text)).has_value()) << ::testing::PrintToString(text);
  }
}

TEST(GbkBoundaries, PreviousBoundaryWalksBack) {
  // a 啊, a lone lead byte (1 is no trail byte), 1 啊; "b" would have been
  // a trail byte.
  const Text text = "a\xB0\xA1\xB0" "1\xB0\xA1";
  // Boundaries at 0 1 3 4 5; the end is 7.
  using Args = std::size_t;
  ExpectTable<Args, std::size_t>({
      {"from the end", 7, 5},
      {"inside the last character", 6, 5},
      {"before the digit", 5, 4},
      {"before the lone lead byte", 4, 3},
      {"before the first hanzi", 3, 1},
      {"inside the first hanzi", 2, 1},
      {"after the first byte", 1, 0},
      {"at the start", 0, 0},
      {"past the end", 99, 5},
  }, [&](std::size_t at) { return GbkPreviousBoundary(text, at); });
  Text popped = "12\xB0\xA1";
  popped.resize(GbkPreviousBoundary(popped, popped.size()));
  EXPECT_EQ(popped, "12");
}

TEST(GbkBoundaries, FitPrefixNeverSplitsACharacter) {
  const Text text = "a\xB0\xA1" "b\xB0";  // a 啊 b and a lone lead byte
  ExpectTable<std::size_t, Text>({
      {"nothing", 0, ""},
      {"the letter", 1, "a"},
      {"half the hanzi is left out", 2, "a"},
      {"the hanzi", 3, "a\xB0\xA1"},
      {"the lone lead byte fits alone", 5, text},
      {"more than the text", 10, text},
  }, [&](std::size_t limit) { return Text(GbkFitPrefix(text, limit)); });
}

}  // namespace
}  // namespace tinctora::text
