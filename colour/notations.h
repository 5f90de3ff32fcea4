#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "colour/colour_value.h"
#include "text/text.h"

namespace tinctora::colour {

// The nine notations, in the order of the copy menu and of the notation table.
enum class Notation : std::size_t { Decimal, Hex, Rgb, Html, CCpp, Vb, Delphi, Hsv, Cmyk };
inline constexpr std::size_t NotationCount = 9;

// One channel as upper-case hex digits, at least two; any negative value
// gives the single digit "0".
Text HexPair(std::int32_t x);
// "#" + HexPair(red) + HexPair(green) + HexPair(blue).
Text HtmlColourText(std::int32_t red, std::int32_t green, std::int32_t blue);
// Everything after the last occurrence of mark (matched at GBK character
// boundaries, bytes compared), or the empty text when mark does not occur.
Text TextAfterLast(TextView text, TextView mark);

Text DecimalNotation(ColourValue value);
// Six hex digits, red first: TextAfterLast(HtmlColourText(r, g, b), "#").
Text HexNotation(std::int32_t red, std::int32_t green, std::int32_t blue);
// RealToText of each channel, joined by ",".
Text RgbNotation(double red, double green, double blue);
// The colour value's hexadecimal digits, upper case, unpadded, the value
// taken as an unsigned 32-bit number: "0x563412", "&H563412&", "$563412".
Text CCppNotation(ColourValue value);
Text VbNotation(ColourValue value);
Text DelphiNotation(ColourValue value);

// The nine texts of a colour, from the colour alone: channels split from its
// bytes, the HSV and CMYK input their RealToText.
std::array<Text, NotationCount> NotationTexts(ColourValue value);

}  // namespace tinctora::colour
