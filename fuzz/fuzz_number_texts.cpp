// fuzz-links: tinctora_colour
//
// The number texts: RealToText (%.13g with a three-digit exponent, ties away
// from zero), FixedFourText (the script's toFixed(4)) and IntToDecimalText.
//
// The reference for the two real texts is the exact decimal expansion of
// the double, computed here with big integers: a double is m * 2^q, which is
// the integer m * 2^q when q >= 0 and m * 5^-q * 10^q otherwise. Rounding
// and layout are then done on the digit string, by the written rules.
// Besides, a text RealToText writes must read back through TextToReal as
// strtod reads it, and a real that has a 13-digit decimal form must read
// back as itself.

#include <fuzzer/FuzzedDataProvider.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text/numbers.h"
#include "colour/script.h"
#include "fuzz_check.h"

namespace {

using tinctora::fuzz::Check;
using tinctora::fuzz::Fail;

std::string Bits(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a (%.17g)", x, x);
  return buffer;
}

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// A non-negative big integer in base 10^9, least significant limb first.
class BigDecimal {
 public:
  explicit BigDecimal(std::uint64_t n) {
    do {
      limbs_.push_back(static_cast<std::uint32_t>(n % kBase));
      n /= kBase;
    } while (n != 0);
  }
  void Multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (auto& limb : limbs_) {
      const std::uint64_t v = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(v % kBase);
      carry = v / kBase;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<std::uint32_t>(carry % kBase));
      carry /= kBase;
    }
  }
  // base^exponent for base 2 or 5, in steps of 2^29 or 5^13 (each below
  // 2^31, so a limb times a step fits 64 bits).
  void MultiplyByPower(std::uint32_t base, int exponent) {
    const int stepExponent = base == 2 ? 29 : 13;
    std::uint32_t step = 1;
    for (int k = 0; k < stepExponent; ++k) step *= base;
    for (; exponent >= stepExponent; exponent -= stepExponent) Multiply(step);
    for (; exponent > 0; --exponent) Multiply(base);
  }
  [[nodiscard]] std::string Digits() const {
    std::string out = std::to_string(limbs_.back());
    for (std::size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string part = std::to_string(limbs_[i]);
      out.append(9 - part.size(), '0');
      out += part;
    }
    return out;
  }

 private:
  static constexpr std::uint64_t kBase = 1'000'000'000;
  std::vector<std::uint32_t> limbs_;
};

// A finite positive double exactly as digits * 10^exponent, with no
// leading zero.
struct ExactDecimal {
  std::string digits;
  int exponent = 0;
};

ExactDecimal Expand(double magnitude) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int q = -1074;
  if (biased != 0) {
    m |= std::uint64_t{1} << 52;
    q = biased - 1075;
  }
  BigDecimal n(m);
  ExactDecimal out;
  if (q >= 0) {
    n.MultiplyByPower(2, q);
  } else {
    n.MultiplyByPower(5, -q);
    out.exponent = q;
  }
  out.digits = n.Digits();
  return out;
}

// Adds one to a digit string; a carry out of the top gives a leading "1".
void Increment(std::string& digits) {
  std::size_t k = digits.size();
  while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
  if (k == 0) {
    digits.insert(digits.begin(), '1');
  } else {
    ++digits[k - 1];
  }
}

std::string ReferenceRealToText(double x) {
  if (std::isnan(x)) return "nan";
  std::string out = std::signbit(x) ? "-" : "";
  const double magnitude = std::fabs(x);
  if (std::isinf(magnitude)) return out + "inf";
  if (magnitude == 0) return out + "0";
  const ExactDecimal exact = Expand(magnitude);
  // 13 significant digits, a 14th digit of 5 or more rounding up: exactly
  // the rule "to nearest, a tie away from zero".
  std::string digits = exact.digits.substr(0, 13);
  int e = static_cast<int>(exact.digits.size()) - 1 + exact.exponent;
  if (exact.digits.size() > 13 && exact.digits[13] >= '5') {
    Increment(digits);
    if (digits.size() > 13) {
      digits.pop_back();
      ++e;
    }
  }
  digits.resize(13, '0');
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (e >= -4 && e < 13) {
    if (e >= 0) {
      if (digits.size() <= static_cast<std::size_t>(e) + 1) {
        return out + digits + std::string(static_cast<std::size_t>(e) + 1 - digits.size(), '0');
      }
      return out + digits.substr(0, static_cast<std::size_t>(e) + 1) + "." +
             digits.substr(static_cast<std::size_t>(e) + 1);
    }
    return out + "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + digits;
  }
  out += digits.substr(0, 1);
  if (digits.size() > 1) out += "." + digits.substr(1);
  char exponent[16];
  std::snprintf(exponent, sizeof exponent, "e%c%03d", e < 0 ? '-' : '+', e < 0 ? -e : e);
  return out + exponent;
}

// |a - b| for decimal integer strings without leading zeros.
std::string AbsDifference(std::string a, std::string b) {
  const auto less = [](const std::string& x, const std::string& y) {
    return x.size() != y.size() ? x.size() < y.size() : x < y;
  };
  if (less(a, b)) std::swap(a, b);
  b.insert(0, a.size() - b.size(), '0');
  int borrow = 0;
  for (std::size_t i = a.size(); i-- > 0;) {
    int d = (a[i] - '0') - (b[i] - '0') - borrow;
    borrow = d < 0 ? 1 : 0;
    a[i] = static_cast<char>('0' + (d + 10 * borrow));
  }
  const std::size_t first = a.find_first_not_of('0');
  return first == std::string::npos ? "0" : a.substr(first);
}

// The script's text of a magnitude of 10^21 or more (Number::toString):
// the fewest digits s that read back as the double, the s closest to it
// when several do (the even one on a tie), in exponent form ("1e+21",
// "1.5e+300"). Such a double is an integer, so closeness is compared
// exactly on decimal integers. The correctly rounded digits alone are not
// enough: at a power of two the doubles below lie twice as close, and the
// digits rounded down can miss while those one above read back.
std::string ShortestExponentForm(double magnitude) {
  const std::string exact = Expand(magnitude).digits;  // exponent 0: an integer
  const auto distanceLess = [](const std::string& x, const std::string& y) {
    return x.size() != y.size() ? x.size() < y.size() : x < y;
  };
  for (int precision = 1; precision <= 17; ++precision) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, magnitude);
    std::string digits(buffer, buffer + 1);
    if (precision > 1) digits.append(buffer + 2, static_cast<std::size_t>(precision - 1));
    const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
    const std::uint64_t rounded = std::stoull(digits);
    std::uint64_t low = 1;
    for (int k = 1; k < precision; ++k) low *= 10;
    // The rounded digits and their two neighbours, each with the exponent
    // of its first digit.
    struct Candidate {
      std::uint64_t s;
      int exponent;
    };
    const Candidate candidates[] = {
        rounded > low ? Candidate{rounded - 1, exponent} : Candidate{low * 10 - 1, exponent - 1},
        {rounded, exponent},
        rounded + 1 < low * 10 ? Candidate{rounded + 1, exponent} : Candidate{low, exponent + 1},
    };
    bool found = false;
    Candidate best{};
    std::string bestDistance;
    for (const Candidate& c : candidates) {
      const std::string value =
          std::to_string(c.s) + std::string(static_cast<std::size_t>(c.exponent - precision + 1), '0');
      if (std::strtod(value.c_str(), nullptr) != magnitude) continue;
      const std::string distance = AbsDifference(value, exact);
      if (!found || distanceLess(distance, bestDistance) || (distance == bestDistance && c.s % 2 == 0)) {
        found = true;
        best = c;
        bestDistance = distance;
      }
    }
    if (!found) continue;
    std::string text = std::to_string(best.s);
    while (text.size() > 1 && text.back() == '0') text.pop_back();
    if (text.size() > 1) text.insert(1, ".");
    return text + "e+" + std::to_string(best.exponent);
  }
  Fail("no 17-digit form reads back as " + Bits(magnitude));
}

std::string ReferenceFixedFour(double x) {
  if (std::isnan(x)) return "NaN";
  std::string out;
  if (x < 0) {
    out = "-";
    x = -x;
  }
  if (std::isinf(x)) return out + "Infinity";
  if (x >= 1e21) return out + ShortestExponentForm(x);
  // n: x * 10^4 to nearest, the larger on a tie.
  std::string n = "0";
  if (x != 0) {
    const ExactDecimal exact = Expand(x);
    const int shift = exact.exponent + 4;
    if (shift >= 0) {
      n = exact.digits + std::string(static_cast<std::size_t>(shift), '0');
    } else {
      const auto cut = static_cast<std::size_t>(-shift);
      if (cut > exact.digits.size()) {
        n = "0";  // x * 10^4 is below 0.1
      } else {
        n = exact.digits.substr(0, exact.digits.size() - cut);
        if (n.empty()) n = "0";
        if (exact.digits[exact.digits.size() - cut] >= '5') Increment(n);
      }
    }
  }
  if (n.size() < 5) n.insert(0, 5 - n.size(), '0');
  return out + n.substr(0, n.size() - 4) + "." + n.substr(n.size() - 4);
}

std::string ReferenceIntText(std::int32_t n) {
  std::int64_t magnitude = n;
  std::string out;
  if (magnitude < 0) {
    out = "-";
    magnitude = -magnitude;
  }
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return out + digits;
}

void CheckReal(double x) {
  const std::string text = tinctora::text::RealToText(x);
  const std::string want = ReferenceRealToText(x);
  Check(text == want, "RealToText(" + Bits(x) + ") gave \"" + text + "\", exact rounding gives \"" +
                          want + "\"");
  if (std::isfinite(x)) {
    const double back = tinctora::text::TextToReal(text);
    const double c = std::strtod(text.c_str(), nullptr);
    Check(SameBits(back, c), "TextToReal(\"" + text + "\") gave " + Bits(back) + ", strtod gives " +
                                 Bits(c));
  }
  const std::string fixed = tinctora::colour::FixedFourText(x);
  const std::string fixedWant = ReferenceFixedFour(x);
  Check(fixed == fixedWant, "FixedFourText(" + Bits(x) + ") gave \"" + fixed +
                                "\", exact rounding gives \"" + fixedWant + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);

  // Any bit pattern: NaNs, infinities, subnormals and all.
  CheckReal(std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>()));

  // A real with a decimal form of at most 13 significant digits reads back
  // from its text as itself.
  const auto mantissa = in.ConsumeIntegralInRange<std::uint64_t>(0, 9'999'999'999'999);
  const int exponent = in.ConsumeIntegralInRange<int>(-345, 310);
  const bool negative = in.ConsumeBool();
  char decimal[48];
  std::snprintf(decimal, sizeof decimal, "%s%" PRIu64 "e%d", negative ? "-" : "", mantissa, exponent);
  const double x = std::strtod(decimal, nullptr);
  CheckReal(x);
  if (std::isfinite(x)) {
    const std::string text = tinctora::text::RealToText(x);
    const double back = tinctora::text::TextToReal(text);
    Check(SameBits(back, x), std::string(decimal) + " is " + Bits(x) + ", written \"" + text +
                                 "\", which reads back as " + Bits(back));
  }

  // Values near the four-decimal ties: k / 20000 for whole k.
  const auto k = in.ConsumeIntegral<std::int32_t>();
  CheckReal(static_cast<double>(k) / 20000);

  const auto n = in.ConsumeIntegral<std::int32_t>();
  const std::string text = tinctora::text::IntToDecimalText(n);
  Check(text == ReferenceIntText(n),
        "IntToDecimalText(" + std::to_string(n) + ") gave \"" + text + "\"");
  Check(tinctora::text::TextToReal(text) == n, "\"" + text + "\" does not read back");
  return 0;
}
