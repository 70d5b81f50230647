// Number texts: the conversions and acceptance rules behind CCommonFunc's CanBeInt,
// CanBeDouble and CanBeFrac. Pure functions; thread-safe; never throw. A null text
// is rejected (or, for the conversions, reads as 0).
#pragma once

#include "platform/types.h"

namespace scan {

// The leading integer of a text: white space skipped, an optional sign, then decimal
// digits up to the first other character; 0 when there are none. A value beyond the
// int range is clamped to INT_MAX or INT_MIN.
int TextToInt(const wchar_t* text);
int TextToInt(const char* text);

// From the first digit, blank or sign of the text on: [blanks] [+|-] digits [blanks],
// and the digits fit an int. `value` is TextToInt of the whole text.
bool IsIntText(const wchar_t* text, int& value);
// From the first digit, blank, sign or point on: [blanks] [+|-] digits with at most one
// decimal point (at least one digit) [blanks]. `value` is the C library's conversion of
// the whole text, and must be finite.
bool IsDoubleText(const wchar_t* text, double& value);
// numerator "/" denominator, see CCommonFunc::CanBeFrac.
bool IsFracText(const wchar_t* text, int& numerator, int& denominator);

}  // namespace scan
