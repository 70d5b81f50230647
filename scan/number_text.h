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

// [blanks] [+|-] digits [blanks], and the value fits an int.
bool IsIntText(const wchar_t* text, int& value);
// [blanks] [+|-] digits with at most one decimal point (at least one digit) [blanks],
// and the value is finite.
bool IsDoubleText(const wchar_t* text, double& value);
// numerator "/" denominator, see CCommonFunc::CanBeFrac.
bool IsFracText(const wchar_t* text, int& numerator, int& denominator);

}  // namespace scan
