// The literal rules: how every value is written into SQL text (no parameters are ever
// bound). Integers bare (a leading "-" when negative); times quoted in local time as
// "%d-%02d-%02d %02d:%02d:%02d"; texts as UTF-8 in single quotes with every quote
// doubled; LIKE texts the same between "'%" and "%'". Only the quote is escaped:
// "%" and "_" inside a text keep their wildcard meaning in LIKE.
//
// Pure functions; never throw except for allocation; any thread.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/ctime.h"
#include "platform/types.h"

std::string SqlInt(int value);
std::string SqlInt64(LONGLONG value);
// A time whose local-time conversion fails is written as '0-00-00 -1:-1:-1'.
std::string SqlTime(const CTime& t);
// The local-time text without quotes (the stored form of a time).
std::string TimeText(const CTime& t);
// UTF-8 with quotes doubled, without surrounding quotes.
std::string SqlEscape(const CString& text);
std::string SqlText(const CString& text);
std::string SqlLike(const CString& text);

// Appends the values separated by "," (no blanks), as inside a value list.
void AppendValueList(std::string& sql, std::initializer_list<std::string_view> values);
