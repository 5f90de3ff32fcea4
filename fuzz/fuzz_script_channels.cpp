// fuzz-links: tinctora_colour
//
// ScriptHsv and ScriptCmyk on arbitrary channel texts.
//
// The channel grammar is the one colour/script.h documents: white space
// (ASCII, or the full-width space A1 A1), an optional sign, white space,
// digits with an optional fraction or a point and fraction digits, an
// optional exponent, white space. Checked here, with a recogniser and the
// two functions' arithmetic written from their rules:
//  - ScriptChannelNumber accepts exactly the texts of the grammar, with the
//    value strtod gives for the number without its white space;
//  - both texts are empty exactly when some channel text is outside it;
//  - otherwise the HSV text has three fields and the CMYK text four (or is
//    "0,0,0,1" exactly when all three numbers are zero), every field is a
//    four-decimal number, "NaN", "Infinity", "-Infinity" or, from 10^21 on,
//    an exponent form, and each field is the four-decimal text of the
//    reference arithmetic's value;
//  - for channels within 0 to 255 every field lies within 0 to 1, except
//    that C, M and Y are "NaN" when K is exactly 1 without the channels all
//    being 0: channels too small to move 1 - x/255 away from 1 ("0", "0",
//    "51e-30") divide 0 by 0, in the script language as here.

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "colour/script.h"
#include "fuzz_check.h"

namespace {

using tinctora::fuzz::Check;
using tinctora::fuzz::Escaped;

// The recogniser: returns the number without its white space, ready for
// strtod, or nothing when the text is outside the grammar.
class ChannelRecogniser {
 public:
  explicit ChannelRecogniser(const std::string& text) : s_(text) {}

  std::optional<std::string> Run() {
    Spaces();
    std::string number;
    if (Peek() == '+' || Peek() == '-') {
      number.push_back(s_[pos_++]);
      Spaces();
    }
    const std::size_t whole = Digits(number);
    std::size_t fraction = 0;
    if (Peek() == '.') {
      number.push_back(s_[pos_++]);
      fraction = Digits(number);
    }
    if (whole + fraction == 0) return std::nullopt;
    if (Peek() == 'e' || Peek() == 'E') {
      number.push_back(s_[pos_++]);
      if (Peek() == '+' || Peek() == '-') number.push_back(s_[pos_++]);
      if (Digits(number) == 0) return std::nullopt;
    }
    Spaces();
    if (pos_ != s_.size()) return std::nullopt;
    return number;
  }

 private:
  int Peek() const { return pos_ < s_.size() ? static_cast<unsigned char>(s_[pos_]) : -1; }
  void Spaces() {
    for (;;) {
      const int c = Peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') {
        ++pos_;
      } else if (c == 0xA1 && pos_ + 1 < s_.size() &&
                 static_cast<unsigned char>(s_[pos_ + 1]) == 0xA1) {
        pos_ += 2;
      } else {
        return;
      }
    }
  }
  std::size_t Digits(std::string& out) {
    std::size_t count = 0;
    while (Peek() >= '0' && Peek() <= '9') {
      out.push_back(s_[pos_++]);
      ++count;
    }
    return count;
  }

  const std::string& s_;
  std::size_t pos_ = 0;
};

std::optional<double> ReferenceNumber(const std::string& text) {
  const auto number = ChannelRecogniser(text).Run();
  if (!number) return std::nullopt;
  return std::strtod(number->c_str(), nullptr);
}

// The script language's Math.max and Math.min: NaN wins, +0 is above -0.
double JsMax(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<double>::quiet_NaN();
  if (a == 0 && b == 0) return std::signbit(a) ? b : a;
  return a > b ? a : b;
}
double JsMin(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<double>::quiet_NaN();
  if (a == 0 && b == 0) return std::signbit(a) ? a : b;
  return a < b ? a : b;
}

std::vector<double> Rgb2Hsv(double r, double g, double b) {
  r /= 255;
  g /= 255;
  b /= 255;
  const double max = JsMax(JsMax(r, g), b);
  const double min = JsMin(JsMin(r, g), b);
  const double d = max - min;
  const double s = max == 0 ? 0 : d / max;
  double h = 0;
  if (max != min) {
    // No branch taken (NaN in play) leaves h undefined: NaN once divided.
    h = std::numeric_limits<double>::quiet_NaN();
    if (max == r) {
      h = (g - b) / d + (g < b ? 6 : 0);
    } else if (max == g) {
      h = (b - r) / d + 2;
    } else if (max == b) {
      h = (r - g) / d + 4;
    }
    h /= 6;
  }
  return {h, s, max};
}

std::vector<double> RgbToCmyk(double r, double g, double b) {
  const double cR = 1 - r / 255;
  const double cG = 1 - g / 255;
  const double cB = 1 - b / 255;
  const double k = JsMin(cR, JsMin(cG, cB));
  return {(cR - k) / (1 - k), (cG - k) / (1 - k), (cB - k) / (1 - k), k};
}

std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> out(1);
  for (const char c : text) {
    if (c == ',') {
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

bool AllDigits(const std::string& s, std::size_t from, std::size_t to) {
  if (from >= to) return false;
  for (std::size_t i = from; i < to; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

// "-"? digits "." four digits | NaN | Infinity | -Infinity | "-"? d[.ddd]e+NN
bool IsFieldShape(const std::string& f) {
  if (f == "NaN" || f == "Infinity" || f == "-Infinity") return true;
  const std::size_t start = !f.empty() && f[0] == '-' ? 1 : 0;
  const std::size_t point = f.find('.');
  const std::size_t e = f.find("e+");
  if (e == std::string::npos) {
    return point != std::string::npos && f.size() == point + 5 && AllDigits(f, start, point) &&
           AllDigits(f, point + 1, f.size()) && (point - start == 1 || f[start] != '0');
  }
  if (!AllDigits(f, e + 2, f.size()) || f[start] < '1' || f[start] > '9') return false;
  if (point == std::string::npos) return e == start + 1;
  return point == start + 1 && AllDigits(f, point + 1, e) && f[e - 1] != '0';
}

// inRange: the channels lie within 0 to 255; nanFields: how many leading
// fields are 0 / 0 there.
void CheckTexts(const char* name, const std::string& text, const std::vector<double>& values,
                bool inRange, std::size_t nanFields, const std::string& context) {
  const auto fields = Fields(text);
  Check(fields.size() == values.size(), std::string(name) + " gave \"" + text + "\" for " + context);
  for (std::size_t i = 0; i < fields.size(); ++i) {
    Check(IsFieldShape(fields[i]), std::string(name) + " field \"" + fields[i] + "\" for " + context);
    const std::string want = tinctora::colour::FixedFourText(values[i]);
    Check(fields[i] == want, std::string(name) + " field " + std::to_string(i + 1) + " is \"" +
                                 fields[i] + "\", the arithmetic gives \"" + want + "\" for " + context);
    if (inRange && i < nanFields) {
      Check(fields[i] == "NaN", std::string(name) + " field \"" + fields[i] + "\" is not 0 / 0 for " + context);
    } else if (inRange) {
      const double v = std::strtod(fields[i].c_str(), nullptr);
      Check(v >= 0 && v <= 1, std::string(name) + " field \"" + fields[i] + "\" out of 0..1 for " + context);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::array<std::string, 3> texts;
  for (auto& t : texts) t = in.ConsumeRandomLengthString(24);
  const std::string context = "channels \"" + Escaped(texts[0]) + "\", \"" + Escaped(texts[1]) +
                              "\", \"" + Escaped(texts[2]) + "\"";

  std::array<std::optional<double>, 3> numbers;
  bool valid = true;
  for (std::size_t i = 0; i < 3; ++i) {
    numbers[i] = ReferenceNumber(texts[i]);
    const auto got = tinctora::colour::ScriptChannelNumber(texts[i]);
    Check(got.has_value() == numbers[i].has_value(),
          "ScriptChannelNumber(\"" + Escaped(texts[i]) + "\") " +
              (got ? "accepts a text outside the grammar" : "rejects a text of the grammar"));
    if (got) {
      Check(std::memcmp(&*got, &*numbers[i], sizeof(double)) == 0,
            "ScriptChannelNumber(\"" + Escaped(texts[i]) + "\") reads a different value");
    }
    valid = valid && numbers[i].has_value();
  }

  const std::string hsv = tinctora::colour::ScriptHsv(texts[0], texts[1], texts[2]);
  const std::string cmyk = tinctora::colour::ScriptCmyk(texts[0], texts[1], texts[2]);
  if (!valid) {
    Check(hsv.empty() && cmyk.empty(), "non-empty texts \"" + hsv + "\", \"" + cmyk + "\" for " + context);
    return 0;
  }
  Check(!hsv.empty() && !cmyk.empty(), "an empty text for " + context);

  const double r = *numbers[0];
  const double g = *numbers[1];
  const double b = *numbers[2];
  bool inRange = true;
  for (const double v : {r, g, b}) inRange = inRange && v >= 0 && v <= 255;
  CheckTexts("ScriptHsv", hsv, Rgb2Hsv(r, g, b), inRange, 0, context);
  if (r == 0 && g == 0 && b == 0) {
    Check(cmyk == "0,0,0,1", "ScriptCmyk gave \"" + cmyk + "\" for black: " + context);
  } else {
    const auto values = RgbToCmyk(r, g, b);
    CheckTexts("ScriptCmyk", cmyk, values, inRange, values[3] == 1 ? 3 : 0, context);
  }
  return 0;
}
