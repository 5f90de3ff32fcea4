#pragma once

#include <cstdint>

#include "text/text.h"

namespace tinctora::text {

// Locale-independent number <-> text rules used for every number the
// program shows, copies or reads back.

// Signed decimal, no padding, no grouping: -2147483648 -> "-2147483648".
Text IntToDecimalText(std::int32_t n);

// C's %.13g with a three-digit exponent: 255.0 -> "255", 1e13 -> "1e+013",
// -0.0 -> "-0". A tie at 13 significant digits rounds away from zero.
// Infinities and NaN, which no caller passes, give "inf", "-inf", "nan".
Text RealToText(double x);
// RealToText's characters written at `out`, which has room for
// kRealTextMax of them; returns the end of what was written.
inline constexpr int kRealTextMax = 24;
char* WriteRealText(char* out, double x);

// The real written at the start of the text after GBK full-width
// normalisation and leading white space; "d"/"D" also introduce an exponent.
// No number gives 0; overflow gives a signed infinity, underflow a zero of
// the number's sign. Never depends on the process locale.
double TextToReal(TextView text);

// Truncates toward zero and keeps the low 32 bits; non-finite values and
// magnitudes of 2^63 or more give 0.
std::int32_t RealToInt(double x);

}  // namespace tinctora::text
