#include "scan/common_func.h"

#include <string>
#include <type_traits>

#include "platform/strings.h"
#include "scan/date_text.h"
#include "scan/md5_checksum.h"
#include "scan/number_text.h"

namespace {

// The process-wide picture extension table.
std::set<DWORD> g_picExtKeys;
CString g_picExtFilter;

// The extensions in force when the host names none, in this order. PNG and EPS appear
// twice on purpose: the filter text names them twice, the key set holds them once.
const wchar_t* const kDefaultPicExts[] = {
    L"JPG", L"BMP", L"GIF", L"ICO", L"PNG", L"IMG", L"TIFF", L"TIF", L"EMF",
    L"PSD", L"EPS", L"RAW", L"PXR", L"MAC", L"TGA", L"VST",  L"PCD", L"PCT",
    L"AI",  L"FPX", L"CAL", L"WI",  L"PNG", L"EPS", L"SCT",  L"PDP", L"DXF",
};

// The full character code as a 32-bit value; 8-bit text is taken as signed bytes.
inline DWORD CharCode(wchar_t c) {
    return DWORD(c);
}
inline DWORD CharCode(char c) {
    return DWORD(int(static_cast<signed char>(c)));
}

// The key of an extension: its first one to four characters, each ORed with 0x20 (ASCII
// letters fold to lower case) and placed from the high byte down.
template <class Ch>
DWORD ExtKey(const Ch* ext, size_t length) {
    DWORD key = 0;
    for (size_t i = 0; i < 4 && i < length && ext[i] != Ch(0); ++i)
        key |= (CharCode(ext[i]) | 0x20u) << (24 - 8 * i);
    return key;
}

// Walks back from the last character to the second one, stopping at the first dot;
// any character above code 127 on the way rules the name out. Without a dot, the
// extension is the text after the first character.
template <class Ch>
int IsPicFileT(const Ch* name, int len) {
    if (name == nullptr) return 0;
    size_t length = len < 1 ? std::char_traits<Ch>::length(name) : size_t(len);
    size_t extStart = length == 0 ? 0 : 1;
    for (size_t i = length; i-- > 1;) {
        if (name[i] == Ch('.')) {
            extStart = i + 1;
            break;
        }
        // 8-bit text is checked as unsigned bytes here, so bytes 0x80..0xFF (parts of
        // multi-byte characters) are refused just as wide characters above 127 are.
        if (std::make_unsigned_t<Ch>(name[i]) > 127u) return 0;
    }
    DWORD key = ExtKey(name + extStart, length - extStart);
    return g_picExtKeys.count(key) ? 1 : 0;
}

}  // namespace

// ---- Picture recognition --------------------------------------------------------------

void CCommonFunc::InitPicExt(const std::set<CString>& exts) {
    g_picExtFilter.clear();
    g_picExtKeys.clear();
    if (exts.empty()) {
        for (const wchar_t* ext : kDefaultPicExts) {
            g_picExtKeys.insert(ExtKey(ext, std::char_traits<wchar_t>::length(ext)));
            g_picExtFilter += g_picExtFilter.empty() ? L"*." : L" | *.";
            g_picExtFilter += ext;
        }
        return;
    }
    for (const CString& ext : exts) {
        g_picExtKeys.insert(ExtKey(ext.c_str(), ext.size()));
        g_picExtFilter += g_picExtFilter.empty() ? L"*." : L" | *.";
        g_picExtFilter += ext;
    }
}

const CString& CCommonFunc::GetPicExtFilter() {
    return g_picExtFilter;
}

int CCommonFunc::IsPicFile(const wchar_t* name, int len) {
    return IsPicFileT(name, len);
}

int CCommonFunc::IsPicFile(const char* name, int len) {
    return IsPicFileT(name, len);
}

int CCommonFunc::IsPicFile(const CString& name) {
    return IsPicFileT(name.c_str(), int(name.size()));
}

// ---- Path texts -------------------------------------------------------------------------

void CCommonFunc::CheckFolderName(CString& path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
}

CString CCommonFunc::GetParentFolder(CString path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    int pos = plat::ReverseFind(path, L'\\');
    if (pos <= 0) return CString();
    return plat::Left(path, pos + 1);
}

CString CCommonFunc::GetTitle(CString path) {
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    int pos = plat::ReverseFind(path, L'\\');
    if (pos <= 0) return path;
    return plat::Mid(path, pos + 1);
}

CString CCommonFunc::GetFileExt(const CString& name) {
    int pos = plat::ReverseFind(name, L'.');
    if (pos <= 0) return CString();
    return plat::Mid(name, pos + 1);
}

// ---- Number and date texts --------------------------------------------------------------

int CCommonFunc::CanBeInt(const wchar_t* text, int& value) {
    return scan::IsIntText(text, value) ? 1 : 0;
}

int CCommonFunc::CanBeDouble(const wchar_t* text, double& value) {
    return scan::IsDoubleText(text, value) ? 1 : 0;
}

int CCommonFunc::CanBeFrac(const wchar_t* text, int& numerator, int& denominator) {
    return scan::IsFracText(text, numerator, denominator) ? 1 : 0;
}

int CCommonFunc::CanBeTime(const wchar_t* text, CTime& from, CTime& to) {
    return scan::ParseDateRange(text, from, to) ? 1 : 0;
}

int CCommonFunc::CanBeTime(const char* text, CTime& from, CTime& to) {
    return scan::ParseDateRange(text, from, to) ? 1 : 0;
}

// ---- Digests ----------------------------------------------------------------------------

CString CCommonFunc::GetMD5(const char* buffer, DWORD length) {
    return CMD5Checksum::GetMD5(reinterpret_cast<const BYTE*>(buffer), length);
}
