#include "colour/notations.h"

#include <cstdint>

#include "text/gbk.h"
#include "text/numbers.h"
#include "colour/script.h"

namespace tinctora::colour {

using text::GbkCharLength;
using text::IntToDecimalText;
using text::RealToText;

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexPair(Text& out, std::int32_t x) {
  if (x < 0) {
    out.push_back('0');
    return;
  }
  char digits[8];
  int count = 0;
  auto rest = static_cast<std::uint32_t>(x);
  do {
    digits[count++] = kHexDigits[rest & 0xFu];
    rest >>= 4;
  } while (rest != 0);
  if (count < 2) out.push_back('0');
  while (count > 0) out.push_back(digits[--count]);
}

// Upper-case hex digits of the value's unsigned 32-bit pattern, unpadded.
void AppendValueHex(Text& out, ColourValue value) {
  char digits[8];
  int count = 0;
  auto rest = static_cast<std::uint32_t>(value);
  do {
    digits[count++] = kHexDigits[rest & 0xFu];
    rest >>= 4;
  } while (rest != 0);
  while (count > 0) out.push_back(digits[--count]);
}

Text PrefixedValueHex(const char* prefix, ColourValue value, const char* suffix) {
  Text out(prefix);
  AppendValueHex(out, value);
  out.append(suffix);
  return out;
}

}  // namespace

Text HexPair(std::int32_t x) {
  Text out;
  AppendHexPair(out, x);
  return out;
}

Text HtmlColourText(std::int32_t red, std::int32_t green, std::int32_t blue) {
  Text out;
  out.reserve(7);
  out.push_back('#');
  AppendHexPair(out, red);
  AppendHexPair(out, green);
  AppendHexPair(out, blue);
  return out;
}

Text TextAfterLast(TextView text, TextView mark) {
  if (mark.empty()) return {};
  // Both ends of a match must fall on character boundaries, so walk the
  // text character by character and remember where each one starts.
  std::size_t found = TextView::npos;
  for (std::size_t pos = 0; pos + mark.size() <= text.size(); pos += GbkCharLength(text, pos)) {
    if (text.compare(pos, mark.size(), mark) != 0) continue;
    std::size_t end = pos;
    while (end < pos + mark.size()) end += GbkCharLength(text, end);
    if (end == pos + mark.size()) found = pos;
  }
  if (found == TextView::npos) return {};
  return Text(text.substr(found + mark.size()));
}

Text DecimalNotation(ColourValue value) { return IntToDecimalText(value); }

Text HexNotation(std::int32_t red, std::int32_t green, std::int32_t blue) {
  // HexPair never writes '#', so this is the HTML text after its '#'.
  Text out;
  out.reserve(6);
  AppendHexPair(out, red);
  AppendHexPair(out, green);
  AppendHexPair(out, blue);
  return out;
}

Text RgbNotation(double red, double green, double blue) {
  Text out = RealToText(red);
  out.push_back(',');
  out.append(RealToText(green));
  out.push_back(',');
  out.append(RealToText(blue));
  return out;
}

Text CCppNotation(ColourValue value) { return PrefixedValueHex("0x", value, ""); }
Text VbNotation(ColourValue value) { return PrefixedValueHex("&H", value, "&"); }
Text DelphiNotation(ColourValue value) { return PrefixedValueHex("$", value, ""); }

std::array<Text, NotationCount> NotationTexts(ColourValue value) {
  const Channels c = SplitColour(value);
  std::array<Text, NotationCount> texts;
  texts[static_cast<std::size_t>(Notation::Decimal)] = DecimalNotation(value);
  texts[static_cast<std::size_t>(Notation::Hex)] = HexNotation(c.red, c.green, c.blue);
  // Channel bytes are whole numbers 0-255, whose RealToText is their
  // decimal digits.
  Text& rgb = texts[static_cast<std::size_t>(Notation::Rgb)];
  rgb.reserve(11);
  rgb.append(IntToDecimalText(c.red));
  rgb.push_back(',');
  rgb.append(IntToDecimalText(c.green));
  rgb.push_back(',');
  rgb.append(IntToDecimalText(c.blue));
  texts[static_cast<std::size_t>(Notation::Html)] = HtmlColourText(c.red, c.green, c.blue);
  texts[static_cast<std::size_t>(Notation::CCpp)] = CCppNotation(value);
  texts[static_cast<std::size_t>(Notation::Vb)] = VbNotation(value);
  texts[static_cast<std::size_t>(Notation::Delphi)] = DelphiNotation(value);
  // Reading the channels' texts back gives the channel numbers exactly, so
  // the script arithmetic runs on them directly.
  texts[static_cast<std::size_t>(Notation::Hsv)] = ScriptHsvOfNumbers(c.red, c.green, c.blue);
  texts[static_cast<std::size_t>(Notation::Cmyk)] = ScriptCmykOfNumbers(c.red, c.green, c.blue);
  return texts;
}

}  // namespace tinctora::colour
