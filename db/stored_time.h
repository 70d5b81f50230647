// A fast reading of the stored time form "YYYY-MM-DD HH:MM:SS" (local time).
//
// The date parser (CCommonFunc::CanBeTime) builds every time through the C library's
// calendar conversion, which re-reads the time-zone file on each call when TZ is not
// set; reading a million stored times that way costs seconds. This reading finds the
// same second with arithmetic and one cheap local-time check instead.
//
// Pure function; any thread; never throws.
#pragma once

#include "platform/ctime.h"

// For a text in exactly the stored form, with fields the date parser accepts (years
// 1971 to 2035), whose local time exists once: true and `out` = the second it names
// (the same as the start of the date parser's range). Otherwise false and `out`
// untouched: such texts (other forms, a day past the month's end, a local time skipped
// or repeated by a daylight-saving change) are left to the date parser.
bool ParseStoredTime(const char* text, CTime& out);
