// Conversions between wide text and 8-bit code pages.
//
// CP_UTF8 is decoded and encoded here directly; an invalid UTF-8 sequence becomes
// U+FFFD, one per bad byte. CP_ACP is the system's ANSI code page: the value of
// PICDEX_ACP when set (an iconv name such as CP936 or CP1252), otherwise the
// character set of the environment's locale, and UTF-8 when that is plain ASCII.
// Bytes that the ANSI code page cannot decode become U+FFFD; characters it cannot
// encode become '?'. Never throws; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;

namespace plat {

CString MultiByteToWide(UINT codePage, std::string_view text);
std::string WideToMultiByte(UINT codePage, std::wstring_view text);

// The iconv name of the ANSI code page in force ("UTF-8" when it is UTF-8).
std::string AnsiCodePageName();
// Re-reads PICDEX_ACP and the locale (for hosts and tests that change them).
void ResetAnsiCodePage();

}  // namespace plat
