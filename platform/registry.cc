#include "platform/registry.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "platform/codepage.h"
#include "platform/strings.h"

struct HKEY__ {
    std::map<CString, CString> values;  // upper-cased value name -> value
};

namespace {

CString RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return L"HKEY_LOCAL_MACHINE";
    if (root == HKEY_CURRENT_USER) return L"HKEY_CURRENT_USER";
    return CString();
}

CString ExpandRoot(CString key) {
    key = plat::MakeUpper(key);
    if (plat::StartsWith(key, L"HKLM\\")) return L"HKEY_LOCAL_MACHINE" + key.substr(4);
    if (plat::StartsWith(key, L"HKCU\\")) return L"HKEY_CURRENT_USER" + key.substr(4);
    return key;
}

}  // namespace

LONG RegOpenKeyExW(HKEY root, const wchar_t* subKey, DWORD, DWORD, HKEY* result) {
    if (!result) return ERROR_INVALID_HANDLE;
    CString rootName = RootName(root);
    const char* file = std::getenv("PICDEX_REGISTRY");
    if (rootName.empty() || !file || !*file) return ERROR_FILE_NOT_FOUND;
    std::ifstream in(file);
    if (!in) return ERROR_FILE_NOT_FOUND;
    CString wanted = plat::MakeUpper(rootName + L"\\" + (subKey ? subKey : L""));
    while (!wanted.empty() && wanted.back() == L'\\')
        wanted.pop_back();
    auto* key = new HKEY__;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        CString w = plat::MultiByteToWide(CP_UTF8, line);
        CString t = plat::Trim(w);
        if (t.empty() || t[0] == L'#' || t[0] == L';') continue;
        size_t eq = w.find(L'=');
        if (eq == CString::npos) continue;
        CString full = ExpandRoot(plat::Trim(w.substr(0, eq)));
        size_t slash = full.rfind(L'\\');
        if (slash == CString::npos || full.compare(0, slash, wanted) != 0 || slash != wanted.size())
            continue;
        key->values[full.substr(slash + 1)] = w.substr(eq + 1);
    }
    if (key->values.empty()) {
        delete key;
        return ERROR_FILE_NOT_FOUND;
    }
    *result = key;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, const wchar_t* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* cbData) {
    if (!key || key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
    auto it = key->values.find(plat::MakeUpper(valueName ? valueName : L""));
    if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = REG_SZ;
    DWORD need = DWORD((it->second.size() + 1) * sizeof(wchar_t));
    if (!cbData) return data ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
    if (!data) {
        *cbData = need;
        return ERROR_SUCCESS;
    }
    if (*cbData < need) {
        *cbData = need;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, it->second.c_str(), need);
    *cbData = need;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    if (!key || key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_INVALID_HANDLE;
    delete key;
    return ERROR_SUCCESS;
}
