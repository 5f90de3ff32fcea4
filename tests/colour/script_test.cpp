#include "colour/script.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/table.h"

namespace tinctora::colour {
namespace {

using testing::ExpectTable;
using testing::Row;

using Triple = std::array<Text, 3>;
using Pair = std::array<Text, 2>;

Pair BothTexts(const Triple& c) {
  return {ScriptHsv(c[0], c[1], c[2]), ScriptCmyk(c[0], c[1], c[2])};
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ScriptChannelNumber, RejectsAnythingButAPlainDecimal) {
  using Number = std::optional<double>;
  const auto read = [](const Text& t) { return ScriptChannelNumber(t); };
  ExpectTable<Text, Number>({
      {"empty", "", std::nullopt},
      {"blank", "  ", std::nullopt},
      {"sign only", "-", std::nullopt},
      {"point only", ".", std::nullopt},
      {"letters", "abc", std::nullopt},
      {"NaN is a name, not a number", "NaN", std::nullopt},
      {"subtraction", "1-2", std::nullopt},
      {"hex literal", "0x1", std::nullopt},
      {"two signs", "+-1", std::nullopt},
      {"decrement", "--5", std::nullopt},
      {"digit separator", "1_0", std::nullopt},
      {"comma", "1,2", std::nullopt},
      {"exponent without digits", "1e", std::nullopt},
      {"exponent sign without digits", "1e+", std::nullopt},
      {"d exponent", "1d2", std::nullopt},
      {"trailing letter", "5a", std::nullopt},
      {"space inside the digits", "1 2", std::nullopt},
      {"second point", "1.2.3", std::nullopt},
      {"full-width digit", "\xA3\xB5", std::nullopt},  // ５
      {"lone lead byte", "5\xA1", std::nullopt},
      {"5", "5", 5.0},
      {"point last", "5.", 5.0},
      {"point first", ".5", 0.5},
      {"point last with exponent", "5.e3", 5000.0},
      {"signs and spaces", " - 5 ", -5.0},
      {"plus", "+ 7", 7.0},
      {"negative zero", "-0", -0.0},
      {"exponent forms", "2.55E+2", 255.0},
      // Rounding the exact product to 64 bits first, as the x87 does at its
      // extended precision, would land one unit in the last place lower.
      {"mantissa times a power of ten, rounded once", "8386240507956765e5",
       838624050795676500000.0},
      {"full-width space around", "\xA1\xA1" "5\xA1\xA1", 5.0},  // 　5　
      {"control white space", "\t\n\v\f\r5", 5.0},
      {"overflow", "1e999", kInf},
      {"negative overflow", "-1e999", -kInf},
      {"underflow", "1e-999", 0.0},
      {"negative underflow", "-1e-999", -0.0},
  }, read);
}

TEST(ScriptChannelNumber, LeadingZerosAreDecimal) {
  using Number = std::optional<double>;
  const auto read = [](const Text& t) { return ScriptChannelNumber(t); };
  ExpectTable<Text, Number>({
      {"012 is twelve, not octal ten", "012", 12.0},
      {"negative", "-012", -12.0},
      {"017", "017", 17.0},
      {"00", "00", 0.0},
      {"leading zeros with fraction", "007.5", 7.5},
      {"leading zeros with exponent", "0012e1", 120.0},
  }, read);
  EXPECT_EQ(BothTexts({"012", "52", "86"}), BothTexts({"12", "52", "86"}));
}

TEST(ScriptTexts, InvalidChannelGivesEmptyTexts) {
  const Pair empty{"", ""};
  ExpectTable<Triple, Pair>({
      {"empty red", {"", "52", "86"}, empty},
      {"empty green", {"18", "", "86"}, empty},
      {"empty blue", {"18", "52", ""}, empty},
      {"minus only", {"-", "52", "86"}, empty},
      {"letters in green", {"18", "abc", "86"}, empty},
      {"hex in blue", {"18", "52", "0x1"}, empty},
      {"subtraction", {"1-2", "52", "86"}, empty},
      {"double sign", {"+-1", "0", "0"}, empty},
  }, BothTexts);
}

TEST(ScriptTexts, WorkedValues) {
  ExpectTable<Triple, Pair>({
      {"18,52,86", {"18", "52", "86"}, {"0.5833,0.7907,0.3373", "0.7907,0.3953,0.0000,0.6627"}},
      {"black", {"0", "0", "0"}, {"0.0000,0.0000,0.0000", "0,0,0,1"}},
      {"white", {"255", "255", "255"}, {"0.0000,0.0000,1.0000", "0.0000,0.0000,0.0000,0.0000"}},
      {"green", {"0", "255", "0"}, {"0.3333,1.0000,1.0000", "1.0000,0.0000,1.0000,0.0000"}},
      {"magenta: red wins the tie", {"255", "0", "255"},
       {"0.8333,1.0000,1.0000", "0.0000,1.0000,0.0000,0.0000"}},
      {"1,2,3", {"1", "2", "3"}, {"0.5833,0.6667,0.0118", "0.6667,0.3333,0.0000,0.9882"}},
      {"red maximum with green below blue", {"120", "52", "86"},
       {"0.9167,0.5667,0.4706", "0.0000,0.5667,0.2833,0.5294"}},
  }, BothTexts);
}

TEST(ScriptTexts, OutOfRangeAndSpecialValues) {
  ExpectTable<Triple, Pair>({
      {"negative zero is black", {"-0", "0", "0"}, {"0.0000,0.0000,0.0000", "0,0,0,1"}},
      {"negative red divides by zero", {"-5", "0", "0"},
       {"0.5000,0.0000,0.0000", "Infinity,NaN,NaN,1.0000"}},
      {"infinite red", {"1e999", "0", "0"}, {"0.0000,NaN,Infinity", "NaN,NaN,NaN,-Infinity"}},
      {"huge red prints in exponent form", {"1e300", "0", "0"},
       {"0.0000,1.0000,3.9215686274509807e+297",
        "0.0000,1.0000,1.0000,-3.9215686274509807e+297"}},
      {"a channel too small to move 1 - x/255 leaves K at 1: 0 / 0", {"0", "0", "51e-30"},
       {"0.6667,1.0000,0.0000", "NaN,NaN,NaN,1.0000"}},
      {"fractions", {"12.5", "0.3", "254.99999"},
       {"0.6746,0.9988,1.0000", "0.9510,0.9988,0.0000,0.0000"}},
      {"full-width space", {"\xA1\xA1" "5", "0", "0"},
       {"0.0000,1.0000,0.0196", "0.0000,1.0000,1.0000,0.9804"}},
  }, BothTexts);
}

// A plain whole number reads directly; with a space before it the same
// number goes through the general reading, which must agree.
TEST(ScriptChannelNumber, PlainWholeNumbersReadAsWithSpaceAround) {
  std::vector<Text> texts = {"-0", "000", "0255", "-255", "999999999999999", "9007199254740993"};
  for (int v = -300; v <= 1000; ++v) texts.push_back(std::to_string(v));
  for (const Text& t : texts) {
    const std::optional<double> direct = ScriptChannelNumber(t);
    const std::optional<double> general = ScriptChannelNumber(" " + t);
    ASSERT_TRUE(direct.has_value()) << "text " << t;
    ASSERT_TRUE(general.has_value()) << "text " << t;
    EXPECT_TRUE(testing::SameReal(*direct, *general)) << "text " << t;
  }
}

TEST(FixedFourText, MatchesToFixedFour) {
  ExpectTable<double, Text>({
      {"NaN", std::numeric_limits<double>::quiet_NaN(), "NaN"},
      {"infinity", kInf, "Infinity"},
      {"minus infinity", -kInf, "-Infinity"},
      {"negative zero has no sign", -0.0, "0.0000"},
      {"tiny negative keeps its sign", -0.00001, "-0.0000"},
      {"smallest subnormal", 5e-324, "0.0000"},
      {"exact tie goes up", 0.03125, "0.0313"},
      {"exact tie goes up near one", 0.96875, "0.9688"},
      {"exact tie above one", 1.03125, "1.0313"},
      {"product rounds to a tie the value is below", 0.00035, "0.0003"},
      {"value just below a tie", 0.00105, "0.0010"},
      {"value just above a tie", 0.12345, "0.1235"},
      {"rounds up to one", 0.99995, "1.0000"},
      {"large with fraction", 123456789.12345, "123456789.1234"},
      {"sixteenths just above 2^48", 281474976710656.0625, "281474976710656.0625"},
      {"eighths just above 2^49", 562949953421312.125, "562949953421312.1250"},
      {"tie just above 2^47", 140737488355328.03125, "140737488355328.0313"},
      {"largest fixed", 9.999999999999999e20, "999999999999999868928.0000"},
      {"1e20", 1e20, "100000000000000000000.0000"},
      {"1e21 uses exponent form", 1e21, "1e+21"},
      {"negative exponent form", -1.5e300, "-1.5e+300"},
      // At a power of two the doubles below lie closer than those above:
      // the 16 digits rounded down (...652) read back as another double.
      {"power of two: shortest digits are not the rounded ones", std::ldexp(1.0, 896),
       "5.282945311356653e+269"},
  }, FixedFourText);
}

}  // namespace
}  // namespace tinctora::colour
