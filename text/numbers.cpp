#include "text/numbers.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <system_error>

#include "text/decimal_reading.h"
#include "text/gbk.h"

namespace tinctora::text {

namespace detail {

double ReadCleanDecimal(std::string_view chars) {
  if (const std::optional<double> whole = ReadPlainWhole(chars)) return *whole;
  double value = 0.0;
  const auto result = std::from_chars(chars.data(), chars.data() + chars.size(), value,
                                      std::chars_format::general);
  if (result.ec != std::errc::result_out_of_range) return value;

  // from_chars leaves the value alone when the number lies outside the
  // reals. The decimal exponent of its first significant digit tells an
  // overflow (308 or more) from an underflow (-324 or less).
  std::size_t i = 0;
  const bool negative = i < chars.size() && chars[i] == '-';
  if (negative) ++i;
  long long integerDigits = 0;
  long long firstNonZeroInteger = -1;
  long long firstNonZeroFraction = -1;
  bool inFraction = false;
  long long fractionDigits = 0;
  for (; i < chars.size() && chars[i] != 'e' && chars[i] != 'E'; ++i) {
    const char c = chars[i];
    if (c == '.') {
      inFraction = true;
    } else if (inFraction) {
      ++fractionDigits;
      if (firstNonZeroFraction < 0 && c != '0') firstNonZeroFraction = fractionDigits;
    } else {
      if (firstNonZeroInteger < 0 && c != '0') firstNonZeroInteger = integerDigits;
      ++integerDigits;
    }
  }
  long long lead = 0;
  if (firstNonZeroInteger >= 0) {
    lead = integerDigits - 1 - firstNonZeroInteger;
  } else {
    lead = -firstNonZeroFraction;
  }
  long long exponent = 0;
  if (i < chars.size()) {
    ++i;  // the 'e'
    bool exponentNegative = false;
    if (i < chars.size() && (chars[i] == '+' || chars[i] == '-')) {
      exponentNegative = chars[i] == '-';
      ++i;
    }
    for (; i < chars.size(); ++i) {
      if (exponent < 1'000'000'000'000LL) exponent = exponent * 10 + (chars[i] - '0');
    }
    if (exponentNegative) exponent = -exponent;
  }
  const double magnitude =
      lead + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -magnitude : magnitude;
}

}  // namespace detail

Text IntToDecimalText(std::int32_t n) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, n);
  return Text(buffer, result.ptr);
}

namespace {

// Writes the %.13g layout of 13 significant digits with the decimal
// exponent of the first one; returns the end.
char* WriteGeneral(char* out, const char* digits, int exponent) {
  int last = 12;
  while (last > 0 && digits[last] == '0') --last;  // trailing zeros never print
  if (exponent >= -4 && exponent < 13) {
    if (exponent >= 0) {
      out = std::copy_n(digits, exponent + 1, out);
      if (last > exponent) {
        *out++ = '.';
        out = std::copy_n(digits + exponent + 1, last - exponent, out);
      }
    } else {
      *out++ = '0';
      *out++ = '.';
      out = std::fill_n(out, -exponent - 1, '0');
      out = std::copy_n(digits, last + 1, out);
    }
    return out;
  }
  *out++ = digits[0];
  if (last > 0) {
    *out++ = '.';
    out = std::copy_n(digits + 1, last, out);
  }
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  char expDigits[8];
  const auto end = std::to_chars(expDigits, expDigits + sizeof expDigits, magnitude).ptr;
  const auto count = static_cast<int>(end - expDigits);
  if (count < 3) out = std::fill_n(out, 3 - count, '0');
  return std::copy_n(expDigits, count, out);
}

// Parses the exponent that std::to_chars writes after 'e' in scientific form.
int ScientificExponent(const char* e, const char* end) {
  int value = 0;
  std::from_chars(e + 2, end, value);  // skip "e" and the sign
  return e[1] == '-' ? -value : value;
}

}  // namespace

char* WriteRealText(char* out, double x) {
  if (std::isnan(x)) {
    return std::copy_n("nan", 3, out);
  }
  if (std::signbit(x)) *out++ = '-';
  const double magnitude = std::fabs(x);
  if (std::isinf(magnitude)) {
    return std::copy_n("inf", 3, out);
  }
  // Whole numbers below 10^13 print as their plain digits.
  if (magnitude < 1e13 && magnitude == std::floor(magnitude)) {
    return std::to_chars(out, out + 13, static_cast<std::uint64_t>(magnitude)).ptr;
  }

  // 13 significant digits, correctly rounded with ties to even.
  char rounded[32];
  const auto roundedEnd = std::to_chars(rounded, rounded + sizeof rounded, magnitude,
                                        std::chars_format::scientific, 12).ptr;
  char digits[13];
  digits[0] = rounded[0];
  for (int k = 1; k < 13; ++k) digits[k] = rounded[k + 1];
  int exponent = ScientificExponent(rounded + 14, roundedEnd);

  // A tie (the exact value has 14 significant digits, the last a 5) goes
  // away from zero rather than to even.
  char longer[32];
  const auto longerEnd = std::to_chars(longer, longer + sizeof longer, magnitude,
                                       std::chars_format::scientific, 13).ptr;
  if (longer[14] == '5') {
    std::array<char, 800> exact{};
    std::to_chars(exact.data(), exact.data() + exact.size(), magnitude,
                  std::chars_format::scientific, 770);
    // Digit 14 sits at index 14; the 770-digit fraction ends before 'e'.
    const char* e = exact.data() + 772;
    bool tie = true;
    for (const char* p = exact.data() + 15; p < e; ++p) {
      if (*p != '0') {
        tie = false;
        break;
      }
    }
    if (tie) {
      exponent = ScientificExponent(longer + 15, longerEnd);
      digits[0] = longer[0];
      for (int k = 1; k < 13; ++k) digits[k] = longer[k + 1];
      int k = 12;
      while (k >= 0 && digits[k] == '9') digits[k--] = '0';
      if (k >= 0) {
        ++digits[k];
      } else {
        digits[0] = '1';
        ++exponent;
      }
    }
  }
  return WriteGeneral(out, digits, exponent);
}

Text RealToText(double x) {
  char buffer[kRealTextMax];
  return Text(buffer, WriteRealText(buffer, x));
}

namespace {

bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Walks a GBK text one character at a time, giving each character's
// full-width-normalised single byte. A double-byte character with no ASCII
// counterpart reads as 0x80, which no rule of a number accepts.
class NormalisedReader {
 public:
  explicit NormalisedReader(TextView text) : text_(text) {}

  // The current character's byte, or -1 at the end of the text. A lone
  // non-ASCII byte reads as 0x80 too, so it ends a number as the end of the
  // text would.
  [[nodiscard]] int Peek() const {
    if (pos_ >= text_.size()) return -1;
    const auto first = static_cast<unsigned char>(text_[pos_]);
    if (first < 0x80) return first;
    if (GbkCharLength(text_, pos_) == 1) return 0x80;
    const auto second = static_cast<unsigned char>(text_[pos_ + 1]);
    if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) return second & 0x7F;
    if (first == 0xA1) {
      if (second == 0xA1) return ' ';   // full-width space
      if (second == 0xAB) return '~';   // full-width tilde
      if (second == 0xEE || second == 0xEF) return '*';  // white and black stars
    }
    return 0x80;
  }
  void Advance() { pos_ += GbkCharLength(text_, pos_); }

 private:
  TextView text_;
  std::size_t pos_ = 0;
};

}  // namespace

double TextToReal(TextView text) {
  // The texts the program writes into its own boxes are mostly plain whole
  // numbers, which read the same without the character walk.
  if (const std::optional<double> whole = detail::ReadPlainWhole(text)) return *whole;
  NormalisedReader reader(text);
  while (reader.Peek() >= 0 && IsSpace(static_cast<unsigned char>(reader.Peek()))) {
    reader.Advance();
  }
  detail::NumberBuffer number;
  int c = reader.Peek();
  if (c == '+' || c == '-') {
    if (c == '-') number.Push('-');
    reader.Advance();
    c = reader.Peek();
  }
  bool anyDigit = false;
  while (c >= 0 && IsDigit(static_cast<unsigned char>(c))) {
    number.Push(static_cast<char>(c));
    anyDigit = true;
    reader.Advance();
    c = reader.Peek();
  }
  if (c == '.') {
    number.Push('.');
    reader.Advance();
    c = reader.Peek();
    while (c >= 0 && IsDigit(static_cast<unsigned char>(c))) {
      number.Push(static_cast<char>(c));
      anyDigit = true;
      reader.Advance();
      c = reader.Peek();
    }
  }
  if (!anyDigit) return 0.0;
  if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
    // The exponent counts only when digits follow its optional sign.
    NormalisedReader probe = reader;
    probe.Advance();
    int sign = probe.Peek();
    if (sign == '+' || sign == '-') {
      probe.Advance();
    } else {
      sign = 0;
    }
    int d = probe.Peek();
    if (d >= 0 && IsDigit(static_cast<unsigned char>(d))) {
      number.Push('e');
      if (sign == '-') number.Push('-');
      while (d >= 0 && IsDigit(static_cast<unsigned char>(d))) {
        number.Push(static_cast<char>(d));
        probe.Advance();
        d = probe.Peek();
      }
    }
  }
  return detail::ReadCleanDecimal(number.View());
}

std::int32_t RealToInt(double x) {
  if (!std::isfinite(x) || std::fabs(x) >= 9223372036854775808.0) return 0;
  const auto whole = static_cast<std::int64_t>(x);  // truncates toward zero
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

}  // namespace tinctora::text
