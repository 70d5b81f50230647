// Text helpers over CString (std::wstring). Case rules are ASCII-only: letters
// outside A-Z/a-z are compared and kept as they are. Positions are character
// indexes; "not found" is -1. None of these throw on out-of-range positions:
// they clamp, so callers can pass any index the way the texts' lengths suggest.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace plat {

inline wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? wchar_t(c + 32) : c;
}
inline wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c;
}

// <0, 0, >0 like wcscmp, ignoring ASCII case.
int CompareNoCase(std::wstring_view a, std::wstring_view b);
inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

CString MakeUpper(CString s);
CString MakeLower(CString s);

// Trims characters of `set` (default: blanks, tabs, CR, LF) from one or both ends.
CString TrimLeft(CString s, std::wstring_view set = L" \t\r\n");
CString TrimRight(CString s, std::wstring_view set = L" \t\r\n");
CString Trim(CString s, std::wstring_view set = L" \t\r\n");

// First position of `what` at or after `start`, or -1.
int Find(std::wstring_view s, std::wstring_view what, int start = 0);
int Find(std::wstring_view s, wchar_t what, int start = 0);
// Last position of `what`, or -1.
int ReverseFind(std::wstring_view s, wchar_t what);

// Substrings with clamped bounds: Left(n), Mid(first[, count]), Right(n).
CString Left(const CString& s, int count);
CString Mid(const CString& s, int first);
CString Mid(const CString& s, int first, int count);
CString Right(const CString& s, int count);

bool EndsWith(std::wstring_view s, std::wstring_view tail);
bool StartsWith(std::wstring_view s, std::wstring_view head);

// printf-style formatting of wide text. As in the system's own convention, %s and %c
// take wide arguments (wchar_t*, wchar_t); %S and %C take narrow ones (char*, char).
CString Format(const wchar_t* fmt, ...);
CString FormatV(const wchar_t* fmt, va_list args);
// Narrow printf-style formatting.
std::string FormatA(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace plat
