// The five text-encoding helpers used at the database boundary: the database holds
// all text as UTF-8, the rest of the system works with wide strings, and the host
// gives the database path in the system's ANSI code page.
//
// Each helper returns a new string; an empty input gives an empty string. They never
// throw and are safe on any thread (the conversions are those of platform/codepage.h:
// undecodable bytes become U+FFFD, unencodable characters '?').
#pragma once

#include <string>

#include "platform/types.h"

CString AnsiToWide(const std::string& text);
std::string WideToAnsi(const CString& text);
CString Utf8ToWide(const std::string& text);
std::string WideToUtf8(const CString& text);
std::string AnsiToUtf8(const std::string& text);
