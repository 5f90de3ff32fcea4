#include "colour/script.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>

#include "text/decimal_reading.h"

namespace tinctora::colour {

namespace {

// The script language's Math.max and Math.min for two numbers: NaN wins,
// and +0 counts as larger than -0.
double ScriptMax(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<double>::quiet_NaN();
  if (a == b) return std::signbit(a) ? b : a;
  return a > b ? a : b;
}
double ScriptMin(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<double>::quiet_NaN();
  if (a == b) return std::signbit(a) ? a : b;
  return a < b ? a : b;
}

// The script's number-to-text conversion for finite magnitudes of 10^21
// and more: the shortest round-trip digits in exponent form, "1e+21",
// "1.5e+300" (24 characters at most).
char* WriteLargeNumber(char* out, double magnitude) {
  return std::to_chars(out, out + 24, magnitude, std::chars_format::scientific).ptr;
}

// An unsigned number of up to 128 bits as two 64-bit halves, as wide as
// x * 10^4 gets for the largest x written in fixed form.
struct Wide {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
};

// Divides n by 10^9 and returns the remainder. The division runs over
// 32-bit pieces, so each step's dividend (remainder * 2^32 + piece) stays
// below 2^62 and fits in 64 bits.
std::uint32_t DivideByBillion(Wide& n) {
  constexpr std::uint64_t kBillion = 1'000'000'000;
  const std::uint64_t pieces[4] = {n.high >> 32, n.high & 0xFFFFFFFF, n.low >> 32,
                                   n.low & 0xFFFFFFFF};
  std::uint64_t quotient[4];
  std::uint64_t remainder = 0;
  for (int k = 0; k < 4; ++k) {
    const std::uint64_t dividend = (remainder << 32) | pieces[k];
    quotient[k] = dividend / kBillion;
    remainder = dividend % kBillion;
  }
  n.high = (quotient[0] << 32) | quotient[1];
  n.low = (quotient[2] << 32) | quotient[3];
  return static_cast<std::uint32_t>(remainder);
}

// Writes n's decimal digits into buffer (40 characters hold any n);
// returns the count.
std::size_t WriteWide(char* buffer, Wide n) {
  // Nine digits at a time come off the bottom until the rest fits in 64 bits.
  char tail[36];
  std::size_t tailCount = 0;
  while (n.high != 0) {
    std::uint32_t group = DivideByBillion(n);
    for (int k = 0; k < 9; ++k) {
      tail[tailCount++] = static_cast<char>('0' + group % 10);
      group /= 10;
    }
  }
  std::size_t count = static_cast<std::size_t>(
      std::to_chars(buffer, buffer + 20, n.low).ptr - buffer);
  while (tailCount > 0) buffer[count++] = tail[--tailCount];
  return count;
}

// The most characters WriteFixedFour writes: a sign, 21 integer digits, the
// point and four decimals, or a sign and a 24-character exponent form.
constexpr std::size_t kFixedFourMax = 32;

// Writes x's four-decimal text at `out`; returns the end.
char* WriteFixedFour(char* out, double x) {
  if (std::isnan(x)) return std::copy_n("NaN", 3, out);
  if (x < 0) {  // -0 is not below 0 and prints without a sign
    *out++ = '-';
    x = -x;
  }
  if (x >= 1e21) {
    if (std::isinf(x)) return std::copy_n("Infinity", 8, out);
    return WriteLargeNumber(out, x);
  }
  // x is m * 2^q exactly; n is x * 10^4 rounded to nearest, ties upward,
  // computed in integers so no rounding of the product can move a tie.
  const auto bits = std::bit_cast<std::uint64_t>(x);
  const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int q = -1074;
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    q = biased - 1075;
  }
  // x * 10^4 = m * 625 * 2^(q + 4), and m * 625 stays below 2^63.
  const std::uint64_t scaled = m * 625;
  const int exponent = q + 4;
  Wide n;
  if (exponent >= 0) {
    // x < 10^21 keeps this below 2^84 and the exponent below 64.
    n.low = scaled << exponent;
    n.high = exponent == 0 ? 0 : scaled >> (64 - exponent);
  } else if (-exponent < 64) {
    // The bit below the point is the half: set means the rest is at least
    // one half, and a tie goes up.
    const int shift = -exponent;
    n.low = (scaled >> shift) + ((scaled >> (shift - 1)) & 1);
  }  // else x * 10^4 < 2^63 / 2^64, below one half: n = 0

  // n's digits with a point before the last four, at least "0.0000".
  char digits[48];
  const std::size_t count = WriteWide(digits, n);
  if (count < 5) {
    *out++ = '0';
    *out++ = '.';
    out = std::fill_n(out, 4 - count, '0');
    return std::copy_n(digits, count, out);
  }
  out = std::copy_n(digits, count - 4, out);
  *out++ = '.';
  return std::copy_n(digits + count - 4, 4, out);
}

bool IsScriptSpaceByte(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Skips ASCII white space and the full-width space (GBK A1 A1), which the
// script language also counts as white space.
std::size_t SkipScriptSpace(TextView text, std::size_t pos) {
  while (pos < text.size()) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (IsScriptSpaceByte(c)) {
      ++pos;
    } else if (c == 0xA1 && pos + 1 < text.size() &&
               static_cast<unsigned char>(text[pos + 1]) == 0xA1) {
      pos += 2;
    } else {
      break;
    }
  }
  return pos;
}

bool IsDigitAt(TextView text, std::size_t pos) {
  return pos < text.size() && text[pos] >= '0' && text[pos] <= '9';
}

// The script's results: each value in four-decimal form, joined by ",".
// At most four values.
Text JoinFixedFour(std::initializer_list<double> values) {
  char buffer[4 * (kFixedFourMax + 1)];
  char* end = buffer;
  for (const double v : values) {
    if (end != buffer) *end++ = ',';
    end = WriteFixedFour(end, v);
  }
  return Text(buffer, end);
}

}  // namespace

std::optional<double> ScriptChannelNumber(TextView text) {
  // A plain whole number, the channel boxes' usual text, reads directly.
  if (const std::optional<double> whole = text::detail::ReadPlainWhole(text)) return whole;
  text::detail::NumberBuffer number;
  std::size_t pos = SkipScriptSpace(text, 0);
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    if (text[pos] == '-') number.Push('-');
    pos = SkipScriptSpace(text, pos + 1);
  }
  bool anyDigit = false;
  for (; IsDigitAt(text, pos); ++pos) {
    number.Push(text[pos]);
    anyDigit = true;
  }
  if (pos < text.size() && text[pos] == '.') {
    number.Push('.');
    for (++pos; IsDigitAt(text, pos); ++pos) {
      number.Push(text[pos]);
      anyDigit = true;
    }
  }
  if (!anyDigit) return std::nullopt;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    number.Push('e');
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
      number.Push(text[pos]);
      ++pos;
    }
    if (!IsDigitAt(text, pos)) return std::nullopt;
    for (; IsDigitAt(text, pos); ++pos) number.Push(text[pos]);
  }
  if (SkipScriptSpace(text, pos) != text.size()) return std::nullopt;
  return text::detail::ReadCleanDecimal(number.View());
}

Text FixedFourText(double x) {
  char buffer[kFixedFourMax];
  return Text(buffer, WriteFixedFour(buffer, x));
}

Text ScriptHsvOfNumbers(double red, double green, double blue) {
  const double r = red / 255;
  const double g = green / 255;
  const double b = blue / 255;
  const double max = ScriptMax(ScriptMax(r, g), b);
  const double min = ScriptMin(ScriptMin(r, g), b);
  const double v = max;
  const double d = max - min;
  const double s = max == 0 ? 0.0 : d / max;
  double h = 0.0;
  if (!(max == min)) {
    if (max == r) {
      h = (g - b) / d + (g < b ? 6.0 : 0.0);
    } else if (max == g) {
      h = (b - r) / d + 2;
    } else if (max == b) {
      h = (r - g) / d + 4;
    } else {
      h = std::numeric_limits<double>::quiet_NaN();  // no channel matched: NaN
    }
    h = h / 6;
  }
  return JoinFixedFour({h, s, v});
}

Text ScriptCmykOfNumbers(double red, double green, double blue) {
  if (red == 0 && green == 0 && blue == 0) return Text("0,0,0,1");
  const double cR = 1 - red / 255;
  const double cG = 1 - green / 255;
  const double cB = 1 - blue / 255;
  const double k = ScriptMin(cR, ScriptMin(cG, cB));
  const double c = (cR - k) / (1 - k);
  const double m = (cG - k) / (1 - k);
  const double y = (cB - k) / (1 - k);
  return JoinFixedFour({c, m, y, k});
}

Text ScriptHsv(TextView red, TextView green, TextView blue) {
  const auto r = ScriptChannelNumber(red);
  const auto g = ScriptChannelNumber(green);
  const auto b = ScriptChannelNumber(blue);
  if (!r || !g || !b) return {};
  return ScriptHsvOfNumbers(*r, *g, *b);
}

Text ScriptCmyk(TextView red, TextView green, TextView blue) {
  const auto r = ScriptChannelNumber(red);
  const auto g = ScriptChannelNumber(green);
  const auto b = ScriptChannelNumber(blue);
  if (!r || !g || !b) return {};
  return ScriptCmykOfNumbers(*r, *g, *b);
}

}  // namespace tinctora::colour
