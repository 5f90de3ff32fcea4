// fuzz-links: tinctora_text
//
// TextToReal and RealToInt on arbitrary byte strings.
//
// Two references:
//  - C's strtod, bit for bit, on the texts where both grammars agree: pure
//    ASCII (no GBK full-width forms to normalise), no "d" or "D" (which
//    TextToReal also takes as an exponent letter), and nothing that strtod
//    reads as a hexadecimal number, an infinity or a NaN ("0x...", "inf...",
//    "nan..." after the white space and sign), which TextToReal reads as 0.
//  - For every text, an independent reading written here from the rules:
//    the whole text is normalised first (full-width forms to ASCII, other
//    double-byte characters to a byte no rule accepts, a lone lead byte at
//    the end dropped), the longest number prefix is cut out, "d"/"D" become
//    "e", and strtod reads that clean prefix, which it must consume whole.
//
// RealToInt is checked against a truncate-and-wrap written with fmod.

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "text/numbers.h"
#include "fuzz_check.h"

namespace {

using tinctora::fuzz::Check;
using tinctora::fuzz::Escaped;

bool SameBits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::string Bits(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%a (%.17g)", x, x);
  return buffer;
}

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every GBK character reduced to one byte, as the reading rules see it.
std::string Normalise(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      out.push_back(text[i]);
      ++i;
      continue;
    }
    if (i + 1 == text.size()) break;  // a lone lead byte ends the text
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    i += 2;
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
      out.push_back(static_cast<char>(trail - 0x80));
    } else if (lead == 0xA1 && trail == 0xA1) {
      out.push_back(' ');
    } else if (lead == 0xA1 && trail == 0xAB) {
      out.push_back('~');
    } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
      out.push_back('*');
    } else {
      out.push_back('\x80');  // some other character: nothing a number holds
    }
  }
  return out;
}

// The number at the start of a normalised text in strtod's plain decimal
// form, or the empty string when there is none.
std::string CleanPrefix(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && IsCSpace(s[i])) ++i;
  std::string out;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.push_back(s[i++]);
  const std::size_t wholeStart = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  std::size_t digits = i - wholeStart;
  out.append(s, wholeStart, i - wholeStart);
  if (i < s.size() && s[i] == '.') {
    ++i;
    const std::size_t fractionStart = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    digits += i - fractionStart;
    out.push_back('.');
    out.append(s, fractionStart, i - fractionStart);
  }
  if (digits == 0) return {};
  if (i < s.size() && std::strchr("eEdD", s[i]) != nullptr && s[i] != '\0') {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) exponent.push_back(s[j++]);
    const std::size_t expStart = j;
    while (j < s.size() && IsDigit(s[j])) ++j;
    if (j > expStart) {
      exponent.append(s, expStart, j - expStart);
      out += exponent;
    }
  }
  return out;
}

double ReferenceReading(std::string_view text) {
  const std::string clean = CleanPrefix(Normalise(text));
  if (clean.empty()) return 0.0;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(clean.c_str(), &end);
  Check(end == clean.c_str() + clean.size(), "strtod left part of \"" + clean + "\"");
  return value;
}

// True when strtod and TextToReal are meant to read the text alike.
bool BothGrammarsAgree(std::string_view text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || c == 'd' || c == 'D') return false;
    if (c == '\0') break;  // strtod sees the text end here
  }
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i < text.size() && std::strchr("iInN", text[i]) != nullptr && text[i] != '\0') return false;
  if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    return false;
  }
  return true;
}

std::int32_t ReferenceRealToInt(double x) {
  constexpr double kTwo32 = 4294967296.0;
  constexpr double kTwo63 = 9223372036854775808.0;
  if (!std::isfinite(x) || std::fabs(x) >= kTwo63) return 0;
  double low = std::fmod(std::trunc(x), kTwo32);  // exact, with the sign of x
  if (low < 0) low += kTwo32;
  if (low >= kTwo32 / 2) low -= kTwo32;
  return static_cast<std::int32_t>(low);
}

void CheckRealToInt(double x) {
  const std::int32_t got = tinctora::text::RealToInt(x);
  const std::int32_t want = ReferenceRealToInt(x);
  Check(got == want, "RealToInt(" + Bits(x) + ") gave " + std::to_string(got) + ", expected " +
                         std::to_string(want));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double got = tinctora::text::TextToReal(text);

  const double reference = ReferenceReading(text);
  Check(SameBits(got, reference), "TextToReal(\"" + Escaped(text) + "\") gave " + Bits(got) +
                                      ", the reading by the rules gives " + Bits(reference));

  if (BothGrammarsAgree(text)) {
    const std::string terminated(text);
    const double c = std::strtod(terminated.c_str(), nullptr);
    Check(SameBits(got, c), "TextToReal(\"" + Escaped(text) + "\") gave " + Bits(got) +
                                ", strtod gives " + Bits(c));
  }

  CheckRealToInt(got);
  if (size >= 8) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, data, 8);
    CheckRealToInt(std::bit_cast<double>(bits));
  }
  return 0;
}
