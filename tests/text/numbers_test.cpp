#include "text/numbers.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "colour/colour_value.h"
#include "tests/table.h"

namespace tinctora::text {
namespace {

using colour::ColourValue;
using colour::DefaultColour;
using colour::InvalidColour;

using testing::ExpectTable;
using testing::Row;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();

TEST(IntToDecimalText, SignedDigitsWithoutPadding) {
  ExpectTable<std::int32_t, Text>({
      {"zero", 0, "0"},
      {"255", 255, "255"},
      {"white", 16777215, "16777215"},
      {"minus one", -1, "-1"},
      {"INT_MIN", kIntMin, "-2147483648"},
      {"INT_MAX", std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {"default colour", DefaultColour, "-16777216"},
  }, IntToDecimalText);
}

TEST(RealToText, FixedAndExponentForms) {
  ExpectTable<double, Text>({
      {"zero", 0.0, "0"},
      {"negative zero", -0.0, "-0"},
      {"255", 255.0, "255"},
      {"12.5", 12.5, "12.5"},
      {"-12.5", -12.5, "-12.5"},
      {"0.1", 0.1, "0.1"},
      {"one third", 1.0 / 3, "0.3333333333333"},
      {"two thirds", 2.0 / 3, "0.6666666666667"},
      {"1e-4 stays fixed", 0.0001, "0.0001"},
      {"small fixed keeps 13 digits", 0.00012345678901234, "0.0001234567890123"},
      {"largest fixed whole", 9999999999999.0, "9999999999999"},
      {"1e13", 1e13, "1e+013"},
      {"14 digits", 12345678901234.0, "1.234567890123e+013"},
      {"rounds up into exponent form", 9999999999999.9, "1e+013"},
      {"1e-5", 1e-5, "1e-005"},
      {"1e20", 1e20, "1e+020"},
      {"three-digit exponent kept", 1.5e300, "1.5e+300"},
      {"negative small", -2.5e-7, "-2.5e-007"},
      {"smallest subnormal", 5e-324, "4.940656458412e-324"},
      {"largest real", std::numeric_limits<double>::max(), "1.797693134862e+308"},
  }, RealToText);
}

TEST(RealToText, TiesAtThirteenDigitsGoAwayFromZero) {
  ExpectTable<double, Text>({
      // Each exact value has 14 significant digits ending in 5; the
      // 13th digit is even, so rounding to even would go down instead.
      {"half above a 13-digit whole", 1234567890122.5, "1234567890123"},
      {"14-digit whole ending in 5", 12345678901225.0, "1.234567890123e+013"},
      {"1 + 2^-13", 1.0001220703125, "1.000122070313"},
      {"negative tie", -1.0001220703125, "-1.000122070313"},
      {"just below a tie", std::nextafter(1.0001220703125, 0.0), "1.000122070312"},
      {"tie carrying into a new digit", 99999999999995.0, "1e+014"},
  }, RealToText);
}

TEST(RealToText, WholeChannelValuesPrintAsIntegers) {
  for (int v = 0; v <= 255; ++v) {
    EXPECT_EQ(RealToText(v), std::to_string(v)) << "channel " << v;
  }
}

TEST(TextToReal, MalformedTextReadsAsZero) {
  ExpectTable<Text, double>({
      {"empty", "", 0.0},
      {"letters", "abc", 0.0},
      {"hex prefix", "0x10", 0.0},
      {"hex 1F", "0x1F", 0.0},
      {"html", "#FF", 0.0},
      {"sign only", "-", 0.0},
      {"point only", ".", 0.0},
      {"exponent only", "e5", 0.0},
      {"two signs", "+-5", 0.0},
      {"full-width tilde is not a sign", "\xA1\xAB" "5", 0.0},  // ～5
      {"second byte of a character is not a digit", "\x81\x35", 0.0},
      {"lone lead byte", "\xB0", 0.0},
  }, TextToReal);
}

// Plain whole numbers, the program's own channel and colour texts, take a
// shorter road; they read as the correctly rounded reading of the standard
// library does, and as the same number after a space.
TEST(TextToReal, PlainWholeNumbersReadAsTheGeneralReadingDoes) {
  std::vector<Text> texts = {"-0", "00", "007", "-007", "999999999999999", "-999999999999999",
                             "9007199254740993", "-9007199254740993", "123456789012345678901234"};
  for (int v = -1000; v <= 100000; ++v) texts.push_back(std::to_string(v));
  for (std::int64_t v = 1; v < 1'000'000'000'000'000; v = v * 7 + 3) texts.push_back(std::to_string(v));
  for (const Text& t : texts) {
    double rounded = 0;
    ASSERT_EQ(std::from_chars(t.data(), t.data() + t.size(), rounded).ec, std::errc()) << "text " << t;
    EXPECT_TRUE(testing::SameReal(TextToReal(t), rounded)) << "text " << t;
    EXPECT_TRUE(testing::SameReal(TextToReal(" " + t), rounded)) << "text " << t;
  }
  EXPECT_TRUE(std::signbit(TextToReal("-0")));
  // Past 2^53 the nearest double wins, ties to even: 2^53 + 1 reads as 2^53.
  EXPECT_EQ(TextToReal("9007199254740993"), 9007199254740992.0);
}

TEST(TextToReal, LongestNumericPrefix) {
  ExpectTable<Text, double>({
      {"12.5abc", "12.5abc", 12.5},
      {"-3", "-3", -3.0},
      {"+5", "+5", 5.0},
      {"-0 keeps its sign", "-0", -0.0},
      {"1d2", "1d2", 100.0},
      {"1D2", "1D2", 100.0},
      {"1E+2", "1E+2", 100.0},
      {"2.5e-1", "2.5e-1", 0.25},
      {"exponent without digits", "1e", 1.0},
      {"exponent sign without digits", "1e+x", 1.0},
      {"comma", "1,5", 1.0},
      {"12px", "12px", 12.0},
      {"leading spaces", "  7", 7.0},
      {"all white space kinds", "\t\n\v\f\r 7", 7.0},
      {"point first", ".5", 0.5},
      {"point last", "5.", 5.0},
      {"negative point first", "-.5", -0.5},
      {"leading zeros", "012", 12.0},
      {"space after sign ends it", "- 5", 0.0},
      {"double-byte character stops the number", "1\x81\x35", 1.0},
      {"lone lead byte after digits", "12\xB0", 12.0},
  }, TextToReal);
}

TEST(TextToReal, FullWidthForms) {
  ExpectTable<Text, double>({
      {"full-width 7", "\xA3\xB7", 7.0},                                     // ７
      {"full-width space and 255", "\xA1\xA1\xA3\xB2\xA3\xB5\xA3\xB5", 255.0},  // 　２５５
      {"full-width -12.5", "\xA3\xAD\xA3\xB1\xA3\xB2\xA3\xAE\xA3\xB5", -12.5},  // －１２．５
      {"full-width exponent", "\xA3\xB1\xA3\xE5\xA3\xB2", 100.0},               // １ｅ２
      {"full-width plus", "\xA3\xAB" "3", 3.0},                                  // ＋3
      {"mixed widths", "1\xA3\xB2" "3", 123.0},                                  // 1２3
      {"lone A3 at the end", "5\xA3", 5.0},
  }, TextToReal);
}

TEST(TextToReal, OutOfRangeMagnitudes) {
  const std::string manyNines(400, '9');
  const std::string tinyFraction = "0." + std::string(400, '0') + "1";
  const std::string longOne = "1" + std::string(400, '0') + "e-400";
  ExpectTable<Text, double>({
      {"1e999", "1e999", kInf},
      {"-1e999", "-1e999", -kInf},
      {"1d999", "1d999", kInf},
      {"1e-999", "1e-999", 0.0},
      {"-1e-999", "-1e-999", -0.0},
      {"400 nines", manyNines, kInf},
      {"tiny fraction", tinyFraction, 0.0},
      {"long mantissa back in range", longOne, 1.0},
      {"huge exponent digits", "1e99999999999999999999", kInf},
      {"subnormal stays", "5e-324", 5e-324},
      {"largest real", "1.7976931348623157e308", std::numeric_limits<double>::max()},
  }, TextToReal);
}

TEST(RealToInt, TruncatesAndWraps) {
  const double two63 = 9223372036854775808.0;
  ExpectTable<double, std::int32_t>({
      {"NaN", kNaN, 0},
      {"infinity", kInf, 0},
      {"minus infinity", -kInf, 0},
      {"2^63", two63, 0},
      {"-2^63", -two63, 0},
      {"below 2^63", std::nextafter(two63, 0.0), -1024},
      {"255.9", 255.9, 255},
      {"-0.7", -0.7, 0},
      {"-0.5", -0.5, 0},
      {"-1.5", -1.5, -1},
      {"-0", -0.0, 0},
      {"3e9", 3000000000.0, -1294967296},
      {"2^32", 4294967296.0, 0},
      {"2^31", 2147483648.0, kIntMin},
      {"-2^31", -2147483648.0, kIntMin},
      {"1e13", 1e13, 1316134912},
  }, RealToInt);
}

TEST(Numbers, ColourValuesRoundTripThroughDecimalText) {
  for (const ColourValue v : {0, 255, 5649426, 16777215, DefaultColour, InvalidColour, kIntMin,
                              std::numeric_limits<std::int32_t>::max()}) {
    EXPECT_EQ(RealToInt(TextToReal(IntToDecimalText(v))), v) << "value " << v;
  }
}

}  // namespace
}  // namespace tinctora::text
