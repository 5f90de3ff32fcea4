#pragma once

#include <optional>

#include "text/text.h"

namespace tinctora::colour {

// The HSV and CMYK texts of three channel texts, byte-identical to what the
// script functions rgb2hsv and RgbToCmyk give when evaluated with the texts
// pasted verbatim into the call. A channel text that is not a plain decimal
// number makes the call invalid and gives the empty text.
//
// A plain decimal number is an optional sign, digits with an optional
// fraction (or a point and fraction digits alone) and an optional exponent,
// with white space (ASCII or the full-width space) allowed around the sign
// and the number. Leading zeros are decimal: "012" reads as 12. Anything
// else ("1-2", "0x1", "NaN", "1,2") counts as a failed call.
Text ScriptHsv(TextView red, TextView green, TextView blue);
Text ScriptCmyk(TextView red, TextView green, TextView blue);

// The two functions' arithmetic and text on channel numbers already read.
Text ScriptHsvOfNumbers(double red, double green, double blue);
Text ScriptCmykOfNumbers(double red, double green, double blue);

// The number a channel text stands for in the call, or nothing when the
// text is not a plain decimal number.
[[nodiscard]] std::optional<double> ScriptChannelNumber(TextView text);

// The script's four-decimal text of a number (Number.prototype.toFixed(4)):
// the integer n with n / 10000 - x closest to zero, the larger on a tie;
// "NaN", "Infinity", "-Infinity"; magnitudes of 10^21 or more in the
// shortest round-trip exponent form.
Text FixedFourText(double x);

}  // namespace tinctora::colour
