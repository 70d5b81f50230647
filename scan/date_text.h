// Date texts: "year[-month[-day[ hour:minute:second]]]" (any single non-digit between
// fields) read as the range of local-time seconds it covers. Behind both
// CCommonFunc::CanBeTime overloads. Pure; thread-safe as far as mktime is; never throws.
#pragma once

#include "platform/ctime.h"

namespace scan {

// true with `from` = the first second and `to` = the last second of the stated period;
// false with both untouched when the text is not such a date or a field is out of range.
bool ParseDateRange(const wchar_t* text, CTime& from, CTime& to);
bool ParseDateRange(const char* text, CTime& from, CTime& to);

}  // namespace scan
