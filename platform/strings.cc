#include "platform/strings.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace plat {

int CompareNoCase(std::wstring_view a, std::wstring_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = AsciiLower(a[i]), y = AsciiLower(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

CString MakeUpper(CString s) {
    for (auto& c : s)
        c = AsciiUpper(c);
    return s;
}

CString MakeLower(CString s) {
    for (auto& c : s)
        c = AsciiLower(c);
    return s;
}

CString TrimLeft(CString s, std::wstring_view set) {
    size_t i = s.find_first_not_of(set);
    s.erase(0, i == CString::npos ? s.size() : i);
    return s;
}

CString TrimRight(CString s, std::wstring_view set) {
    size_t i = s.find_last_not_of(set);
    s.erase(i == CString::npos ? 0 : i + 1);
    return s;
}

CString Trim(CString s, std::wstring_view set) {
    return TrimLeft(TrimRight(std::move(s), set), set);
}

int Find(std::wstring_view s, std::wstring_view what, int start) {
    if (start < 0) start = 0;
    if (size_t(start) > s.size()) return -1;
    size_t i = s.find(what, size_t(start));
    return i == std::wstring_view::npos ? -1 : int(i);
}

int Find(std::wstring_view s, wchar_t what, int start) {
    if (start < 0) start = 0;
    if (size_t(start) >= s.size()) return -1;
    size_t i = s.find(what, size_t(start));
    return i == std::wstring_view::npos ? -1 : int(i);
}

int ReverseFind(std::wstring_view s, wchar_t what) {
    size_t i = s.rfind(what);
    return i == std::wstring_view::npos ? -1 : int(i);
}

CString Left(const CString& s, int count) {
    if (count <= 0) return CString();
    return s.substr(0, size_t(count));
}

CString Mid(const CString& s, int first) {
    if (first < 0) first = 0;
    if (size_t(first) >= s.size()) return CString();
    return s.substr(size_t(first));
}

CString Mid(const CString& s, int first, int count) {
    if (first < 0) first = 0;
    if (count <= 0 || size_t(first) >= s.size()) return CString();
    return s.substr(size_t(first), size_t(count));
}

CString Right(const CString& s, int count) {
    if (count <= 0) return CString();
    if (size_t(count) >= s.size()) return s;
    return s.substr(s.size() - size_t(count));
}

bool EndsWith(std::wstring_view s, std::wstring_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

bool StartsWith(std::wstring_view s, std::wstring_view head) {
    return s.size() >= head.size() && s.substr(0, head.size()) == head;
}

namespace {

// Rewrites a format so that the C library's wide printf reads it with the system's
// meaning: bare %s/%c become %ls/%lc (wide), %S/%C become %s/%c (narrow).
std::wstring TranslateFormat(const wchar_t* fmt) {
    std::wstring out;
    for (const wchar_t* p = fmt; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') {
            out += *p;
            continue;
        }
        // flags, width, precision
        while (*p && std::wcschr(L"-+ #0123456789.*'", *p))
            out += *p++;
        bool sized = false;
        while (*p && std::wcschr(L"hlLqjzt", *p)) {
            sized = true;
            out += *p++;
        }
        if (!*p) break;
        if (!sized && (*p == L's' || *p == L'c')) {
            out += L'l';
            out += *p;
        } else if (!sized && (*p == L'S' || *p == L'C')) {
            out += wchar_t(*p + 32);
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace

CString FormatV(const wchar_t* fmt, va_list args) {
    std::wstring f = TranslateFormat(fmt);
    std::vector<wchar_t> buf(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buf.data(), buf.size(), f.c_str(), copy);
        va_end(copy);
        if (n >= 0) return CString(buf.data(), size_t(n));
        // vswprintf reports truncation and encoding errors alike; grow up to a limit.
        if (buf.size() >= (1u << 24)) return CString();
        buf.resize(buf.size() * 4);
    }
}

CString Format(const wchar_t* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    CString s = FormatV(fmt, args);
    va_end(args);
    return s;
}

std::string FormatA(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string s;
    if (n > 0) {
        s.resize(size_t(n) + 1);
        std::vsnprintf(s.data(), s.size(), fmt, args);
        s.resize(size_t(n));
    }
    va_end(args);
    return s;
}

}  // namespace plat
