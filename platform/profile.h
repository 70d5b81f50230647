// Settings files in INI form: "[Section]" lines and "key=value" lines.
//
// Sections and keys compare without regard to ASCII case; blanks around names and
// values are trimmed and one pair of matching quotes around a value is removed; lines
// starting with ';' are comments. The file is decoded as UTF-16 or UTF-8 when it starts
// with that byte-order mark, as UTF-8 when it is valid UTF-8, else in the ANSI code
// page. Reads the file at each call. Thread-safe.
#pragma once

#include "platform/types.h"

// Copies the value of `key` in `section` of `fileName` (a library path) into `buffer`
// (at most size - 1 characters and a terminator), or `defaultValue` when the file, the
// section or the key is missing. Returns the number of characters copied.
DWORD GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                               const wchar_t* defaultValue, wchar_t* buffer, DWORD size,
                               const wchar_t* fileName);
