#include "platform/codepage.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace plat {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

CString DecodeUtf8(std::string_view s) {
    CString out;
    out.reserve(s.size());
    size_t i = 0, n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += wchar_t(c);
            ++i;
            continue;
        }
        int len;
        char32_t cp, min;
        if ((c & 0xE0) == 0xC0) {
            len = 2, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, cp = c & 0x07, min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        if (i + size_t(len) > n) {
            out += kReplacement;
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + size_t(k)]);
            if ((cc & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += kReplacement;
            ++i;
            continue;
        }
        out += wchar_t(cp);
        i += size_t(len);
    }
    return out;
}

std::string EncodeUtf8(std::wstring_view s) {
    std::string out;
    out.reserve(s.size());
    for (wchar_t wc : s) {
        char32_t c = char32_t(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::mutex g_acpLock;
std::string g_acpName;  // empty: not yet determined

std::string DetermineAcp() {
    if (const char* v = std::getenv("PICDEX_ACP"); v && *v) return v;
    // The environment's locale, read without changing the process's own locale.
    std::string name;
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", locale_t(0))) {
        if (const char* cs = nl_langinfo_l(CODESET, loc)) name = cs;
        freelocale(loc);
    }
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII" || name == "US-ASCII")
        return "UTF-8";
    return name;
}

bool IsUtf8Name(const std::string& n) {
    return strcasecmp(n.c_str(), "UTF-8") == 0 || strcasecmp(n.c_str(), "UTF8") == 0;
}

// iconv between the code page and wchar_t; on a byte or character it cannot convert
// it emits the replacement and steps over one input unit.
template <typename In, typename Out>
bool IconvAll(iconv_t cd, const In* in, size_t inCount, std::basic_string<Out>& out,
              Out replacement) {
    char* src = const_cast<char*>(reinterpret_cast<const char*>(in));
    size_t srcLeft = inCount * sizeof(In);
    std::vector<Out> buf(inCount * 4 + 16);
    while (srcLeft > 0) {
        char* dst = reinterpret_cast<char*>(buf.data());
        size_t dstLeft = buf.size() * sizeof(Out);
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), (buf.size() * sizeof(Out) - dstLeft) / sizeof(Out));
        if (r != size_t(-1)) break;
        if (errno == E2BIG) continue;
        if (errno == EILSEQ || errno == EINVAL) {
            out += replacement;
            src += sizeof(In);
            srcLeft -= sizeof(In);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        return false;
    }
    // flush shift state
    char* dst = reinterpret_cast<char*>(buf.data());
    size_t dstLeft = buf.size() * sizeof(Out);
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf.data(), (buf.size() * sizeof(Out) - dstLeft) / sizeof(Out));
    return true;
}

// One converter per direction and thread, kept while the code page stays the same:
// opening a converter costs far more than a short conversion.
struct Converter {
    std::string name;
    iconv_t cd = iconv_t(-1);
    ~Converter() {
        if (cd != iconv_t(-1)) iconv_close(cd);
    }
    iconv_t Get(const std::string& n, const char* to, const char* from) {
        if (cd != iconv_t(-1) && name == n) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            return cd;
        }
        if (cd != iconv_t(-1)) iconv_close(cd);
        name = n;
        cd = iconv_open(to, from);
        return cd;
    }
};
thread_local Converter t_toWide, t_fromWide;

}  // namespace

std::string AnsiCodePageName() {
    std::lock_guard<std::mutex> g(g_acpLock);
    if (g_acpName.empty()) g_acpName = DetermineAcp();
    return g_acpName;
}

void ResetAnsiCodePage() {
    std::lock_guard<std::mutex> g(g_acpLock);
    g_acpName.clear();
}

CString MultiByteToWide(UINT codePage, std::string_view text) {
    if (text.empty()) return CString();
    std::string name = codePage == CP_UTF8 ? "UTF-8" : AnsiCodePageName();
    if (IsUtf8Name(name)) return DecodeUtf8(text);
    iconv_t cd = t_toWide.Get(name, "WCHAR_T", name.c_str());
    if (cd == iconv_t(-1)) return DecodeUtf8(text);
    CString out;
    IconvAll<char, wchar_t>(cd, text.data(), text.size(), out, kReplacement);
    return out;
}

std::string WideToMultiByte(UINT codePage, std::wstring_view text) {
    if (text.empty()) return std::string();
    std::string name = codePage == CP_UTF8 ? "UTF-8" : AnsiCodePageName();
    if (IsUtf8Name(name)) return EncodeUtf8(text);
    iconv_t cd = t_fromWide.Get(name, name.c_str(), "WCHAR_T");
    if (cd == iconv_t(-1)) return EncodeUtf8(text);
    std::string out;
    IconvAll<wchar_t, char>(cd, text.data(), text.size(), out, '?');
    return out;
}

}  // namespace plat
