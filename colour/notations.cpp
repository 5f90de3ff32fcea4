#include "colour/notations.h"

#include <algorithm>
#include <cstdint>

#include "text/gbk.h"
#include "text/numbers.h"
#include "colour/script.h"

namespace tinctora::colour {

using text::GbkCharLength;
using text::IntToDecimalText;

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Upper-case hex digits of x, at least two; a negative x writes "0".
// Returns the end (8 characters at most).
char* WriteHexPair(char* out, std::int32_t x) {
  if (x < 0) {
    *out++ = '0';
    return out;
  }
  char digits[8];
  int count = 0;
  auto rest = static_cast<std::uint32_t>(x);
  do {
    digits[count++] = kHexDigits[rest & 0xFu];
    rest >>= 4;
  } while (rest != 0);
  if (count < 2) *out++ = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

// Upper-case hex digits of the value's unsigned 32-bit pattern, unpadded
// (8 characters at most).
char* WriteValueHex(char* out, ColourValue value) {
  char digits[8];
  int count = 0;
  auto rest = static_cast<std::uint32_t>(value);
  do {
    digits[count++] = kHexDigits[rest & 0xFu];
    rest >>= 4;
  } while (rest != 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

// The prefix and suffix are two characters at most.
Text PrefixedValueHex(TextView prefix, ColourValue value, TextView suffix) {
  char buffer[16];
  char* end = std::copy(prefix.begin(), prefix.end(), buffer);
  end = WriteValueHex(end, value);
  end = std::copy(suffix.begin(), suffix.end(), end);
  return Text(buffer, end);
}

// The three channels' hex pairs, after `lead` when it is not 0.
Text ChannelsHex(char lead, std::int32_t red, std::int32_t green, std::int32_t blue) {
  char buffer[32];
  char* end = buffer;
  if (lead != 0) *end++ = lead;
  end = WriteHexPair(end, red);
  end = WriteHexPair(end, green);
  end = WriteHexPair(end, blue);
  return Text(buffer, end);
}

}  // namespace

Text HexPair(std::int32_t x) {
  char buffer[8];
  return Text(buffer, WriteHexPair(buffer, x));
}

Text HtmlColourText(std::int32_t red, std::int32_t green, std::int32_t blue) {
  return ChannelsHex('#', red, green, blue);
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
  return ChannelsHex(0, red, green, blue);
}

Text RgbNotation(double red, double green, double blue) {
  char buffer[3 * text::kRealTextMax + 2];
  char* end = text::WriteRealText(buffer, red);
  *end++ = ',';
  end = text::WriteRealText(end, green);
  *end++ = ',';
  end = text::WriteRealText(end, blue);
  return Text(buffer, end);
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
