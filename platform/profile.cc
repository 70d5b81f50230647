#include "platform/profile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/strings.h"

namespace {

CString DecodeFile(const std::string& bytes) {
    if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE) {
        CString out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            char32_t u = (unsigned char)bytes[i] | ((unsigned char)bytes[i + 1] << 8);
            if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
                char32_t lo = (unsigned char)bytes[i + 2] | ((unsigned char)bytes[i + 3] << 8);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
            out += wchar_t(u);
        }
        return out;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return plat::MultiByteToWide(CP_UTF8, std::string_view(bytes).substr(3));
    CString utf8 = plat::MultiByteToWide(CP_UTF8, bytes);
    if (plat::WideToMultiByte(CP_UTF8, utf8) == bytes) return utf8;
    return plat::MultiByteToWide(CP_ACP, bytes);
}

bool ReadValue(const wchar_t* section, const wchar_t* key, const wchar_t* fileName,
               CString& value) {
    std::string host;
    if (!section || !key || !fileName || !plat::ToHostPath(fileName, host)) return false;
    std::ifstream in(host, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CString text = DecodeFile(bytes);
    bool inSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == CString::npos) end = text.size();
        CString line = plat::Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == L';') continue;
        if (line[0] == L'[') {
            size_t close = line.find(L']');
            inSection = close != CString::npos &&
                        plat::EqualsNoCase(plat::Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find(L'=');
        if (eq == CString::npos || !plat::EqualsNoCase(plat::Trim(line.substr(0, eq)), key))
            continue;
        value = plat::Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return true;
    }
    return false;
}

}  // namespace

DWORD GetPrivateProfileStringW(const wchar_t* section, const wchar_t* key,
                               const wchar_t* defaultValue, wchar_t* buffer, DWORD size,
                               const wchar_t* fileName) {
    if (!buffer || size == 0) return 0;
    CString value;
    if (!ReadValue(section, key, fileName, value)) value = defaultValue ? defaultValue : L"";
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n * sizeof(wchar_t));
    buffer[n] = 0;
    return DWORD(n);
}
