#include "db/sql_literal.h"

#include <cstdio>

#include "db/text_codec.h"

std::string SqlInt(int value) {
    return std::to_string(value);
}

std::string SqlInt64(LONGLONG value) {
    return std::to_string(value);
}

std::string TimeText(const CTime& t) {
    CTime::Fields f = t.GetLocalFields();
    if (!f.valid) f = CTime::Fields{0, 0, 0, -1, -1, -1, 0, false};
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buf;
}

// The quoted forms are built by appending: GCC 12 at -O3 warns falsely (-Wrestrict)
// about concatenations that start with a short literal.
namespace {
std::string Quoted(const std::string& body, const char* open, const char* close) {
    std::string out;
    out.reserve(body.size() + 4);
    out.append(open).append(body).append(close);
    return out;
}
}  // namespace

std::string SqlTime(const CTime& t) {
    return Quoted(TimeText(t), "'", "'");
}

std::string SqlEscape(const CString& text) {
    std::string utf8 = WideToUtf8(text);
    std::string out;
    out.reserve(utf8.size() + 8);
    for (char c : utf8) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out;
}

std::string SqlText(const CString& text) {
    return Quoted(SqlEscape(text), "'", "'");
}

std::string SqlLike(const CString& text) {
    return Quoted(SqlEscape(text), "'%", "%'");
}

void AppendValueList(std::string& sql, std::initializer_list<std::string_view> values) {
    bool first = true;
    for (std::string_view v : values) {
        if (!first) sql += ',';
        sql += v;
        first = false;
    }
}
