#include "colour/notations.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

#include "text/numbers.h"
#include "colour/script.h"
#include "tests/table.h"

namespace tinctora::colour {
namespace {

using text::RealToText;

using testing::ExpectTable;
using testing::Row;

TEST(ColourValue, MakeAndSplitUseTheLowByteOfEachChannel) {
  EXPECT_EQ(MakeColour(18, 52, 86), 5649426);
  EXPECT_EQ(MakeColour(-5, 52, 86), 251 + 52 * 256 + 86 * 65536);
  EXPECT_EQ(MakeColour(256, 511, -1), 0xFFFF00);
  EXPECT_EQ(SplitColour(5649426), (Channels{18, 52, 86}));
  EXPECT_EQ(SplitColour(DefaultColour), (Channels{0, 0, 0}));
  EXPECT_EQ(SplitColour(InvalidColour), (Channels{255, 255, 255}));
}

TEST(HexPair, UpperCaseAtLeastTwoDigits) {
  ExpectTable<std::int32_t, Text>({
      {"negative", -1, "0"},
      {"INT_MIN", std::numeric_limits<std::int32_t>::min(), "0"},
      {"zero", 0, "00"},
      {"ten", 10, "0A"},
      {"255", 255, "FF"},
      {"256", 256, "100"},
      {"INT_MAX", std::numeric_limits<std::int32_t>::max(), "7FFFFFFF"},
  }, HexPair);
}

TEST(HtmlColourText, RedFirstPairs) {
  using Rgb = std::array<std::int32_t, 3>;
  ExpectTable<Rgb, Text>({
      {"negative red is one digit short", {-5, 52, 86}, "#03456"},
      {"worked example", {18, 52, 86}, "#123456"},
      {"black", {0, 0, 0}, "#000000"},
      {"blue", {0, 0, 255}, "#0000FF"},
  }, [](const Rgb& c) { return HtmlColourText(c[0], c[1], c[2]); });
}

TEST(TextAfterLast, MatchesOnlyAtCharacterBoundaries) {
  using Args = std::pair<Text, Text>;
  ExpectTable<Args, Text>({
      {"empty text", {"", "#"}, ""},
      {"no mark", {"123456", "#"}, ""},
      {"empty mark", {"a#b", ""}, ""},
      {"mark at the end", {"#", "#"}, ""},
      // "\xB0@" is one double-byte character, so its '@' is no mark.
      {"mark inside a character", {"\xB0@x", "@"}, ""},
      {"later boundary match", {"\xB0@x@y", "@"}, "y"},
      // '#' cannot be a trail byte: B0 stands alone and the '#' after it is a mark.
      {"mark after a lone lead byte", {"\xB0#x", "#"}, "x"},
      // 啊啊 is B0 A1 B0 A1; A1 B0 straddles the two characters.
      {"mark across a boundary", {"\xB0\xA1\xB0\xA1z", "\xA1\xB0"}, ""},
      {"mark ending inside a character", {"a\xB0\xA1" "b", "a\xB0"}, ""},
      {"double-byte mark", {"x\xB0\xA1y\xB0\xA1z", "\xB0\xA1"}, "z"},
      {"last of several", {"a#b#c", "#"}, "c"},
      {"html text", {"#123456", "#"}, "123456"},
  }, [](const Args& a) { return TextAfterLast(a.first, a.second); });
}

TEST(Notations, SingleNotationsFromChannels) {
  EXPECT_EQ(HexNotation(-5, 52, 86), "03456");
  EXPECT_EQ(HexNotation(18, 52, 86), TextAfterLast(HtmlColourText(18, 52, 86), "#"));
  EXPECT_EQ(RgbNotation(-5, 52, 86), "-5,52,86");
  EXPECT_EQ(RgbNotation(12.5, 0, 255), "12.5,0,255");
  EXPECT_EQ(DecimalNotation(DefaultColour), "-16777216");
}

TEST(Notations, ValueNotationsUseUnsignedHexDigits) {
  using Three = std::array<Text, 3>;
  ExpectTable<ColourValue, Three>({
      {"zero", 0, {"0x0", "&H0&", "$0"}},
      {"worked example", 5649426, {"0x563412", "&H563412&", "$563412"}},
      {"one digit", 10, {"0xA", "&HA&", "$A"}},
      {"default colour", DefaultColour, {"0xFF000000", "&HFF000000&", "$FF000000"}},
      {"invalid colour", InvalidColour, {"0xFFFFFFFF", "&HFFFFFFFF&", "$FFFFFFFF"}},
  }, [](ColourValue v) { return Three{CCppNotation(v), VbNotation(v), DelphiNotation(v)}; });
}

using Nine = std::array<Text, NotationCount>;

TEST(NotationTexts, WorkedExampleAndEdgeColours) {
  ExpectTable<ColourValue, Nine>({
      {"worked example 18,52,86", 5649426,
       {"5649426", "123456", "18,52,86", "#123456", "0x563412", "&H563412&", "$563412",
        "0.5833,0.7907,0.3373", "0.7907,0.3953,0.0000,0.6627"}},
      {"black", 0,
       {"0", "000000", "0,0,0", "#000000", "0x0", "&H0&", "$0", "0.0000,0.0000,0.0000",
        "0,0,0,1"}},
      {"white", 16777215,
       {"16777215", "FFFFFF", "255,255,255", "#FFFFFF", "0xFFFFFF", "&HFFFFFF&", "$FFFFFF",
        "0.0000,0.0000,1.0000", "0.0000,0.0000,0.0000,0.0000"}},
      {"red", 255,
       {"255", "FF0000", "255,0,0", "#FF0000", "0xFF", "&HFF&", "$FF", "0.0000,1.0000,1.0000",
        "0.0000,1.0000,1.0000,0.0000"}},
      {"blue", 16711680,
       {"16711680", "0000FF", "0,0,255", "#0000FF", "0xFF0000", "&HFF0000&", "$FF0000",
        "0.6667,1.0000,1.0000", "1.0000,1.0000,0.0000,0.0000"}},
      {"grey", 8421504,
       {"8421504", "808080", "128,128,128", "#808080", "0x808080", "&H808080&", "$808080",
        "0.0000,0.0000,0.5020", "0.0000,0.0000,0.0000,0.4980"}},
      {"default colour", DefaultColour,
       {"-16777216", "000000", "0,0,0", "#000000", "0xFF000000", "&HFF000000&", "$FF000000",
        "0.0000,0.0000,0.0000", "0,0,0,1"}},
  }, NotationTexts);
}

// The table's script texts are those of the channel bytes' RealToText.
TEST(NotationTexts, ScriptTextsEqualTheScriptOverChannelTexts) {
  for (std::int32_t r = 0; r < 256; r += 17) {
    for (std::int32_t g = 0; g < 256; g += 15) {
      for (std::int32_t b = 0; b < 256; b += 51) {
        const ColourValue v = MakeColour(r, g, b);
        const auto texts = NotationTexts(v);
        const Text rt = RealToText(r), gt = RealToText(g), bt = RealToText(b);
        EXPECT_EQ(texts[static_cast<std::size_t>(Notation::Rgb)], RgbNotation(r, g, b));
        EXPECT_EQ(texts[static_cast<std::size_t>(Notation::Hsv)], ScriptHsv(rt, gt, bt))
            << "colour " << r << "," << g << "," << b;
        EXPECT_EQ(texts[static_cast<std::size_t>(Notation::Cmyk)], ScriptCmyk(rt, gt, bt))
            << "colour " << r << "," << g << "," << b;
      }
    }
  }
}

}  // namespace
}  // namespace tinctora::colour
