// CCommonFunc's scan scope (declared in picdex/common_func.h): the drives that may be
// scanned, the folders excluded or included by default, and the host application's
// installation folder and path settings file, whose temporary folders are excluded.
// Every platform failure only leaves the corresponding entry out.
#include <iterator>
#include <vector>

#include "platform/drives.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "scan/common_func.h"

namespace {

const wchar_t kHostRegistryKey[] = L"SOFTWARE\\TarvoNote";
const wchar_t kHostRegistryValue[] = L"Directory";
const wchar_t kHostSettingsFile[] = L"SystemFilePath.ini";
const wchar_t kHostSettingsSection[] = L"RezUrurIvadUderiZare";
const wchar_t kDataFolder[] = L"\\TarvoPicData\\";
constexpr DWORD kMaxPath = 260;

// Roots ("C:\") of the drives of the logical-drive mask whose type is fixed, A to Z.
std::vector<CString> FixedDriveRoots() {
    std::vector<CString> roots;
    DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (DWORD(1) << i))) continue;
        CString root{wchar_t(L'A' + i), L':', L'\\'};
        if (GetDriveTypeW(root.c_str()) == DRIVE_FIXED) roots.push_back(std::move(root));
    }
    return roots;
}

// A special folder (without trailing backslash), or "" when the platform cannot name it.
CString SpecialFolder(int csidl) {
    CString path;
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE)) return CString();
    return path;
}

void AddFolder(std::set<CString>& folders, CString path) {
    if (path.empty()) return;
    CCommonFunc::CheckFolderName(path);
    folders.insert(std::move(path));
}

}  // namespace

void CCommonFunc::GetAllDrivers(std::set<CString>& drives, int /*reserved*/, int withNtfs,
                                int withOther) {
    for (const CString& root : FixedDriveRoots()) {
        wchar_t fsName[kMaxPath + 1] = {0};
        if (!GetVolumeInformationW(root.c_str(), fsName, kMaxPath + 1)) continue;
        bool ntfs = plat::EqualsNoCase(fsName, L"NTFS");
        if (ntfs ? withNtfs : withOther) drives.insert(root);
    }
}

void CCommonFunc::GetDefaultBlackList(std::set<CString>& folders) {
    // 1. The library's own data folder.
    CString appData;
    if (SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE))
        AddFolder(folders, plat::Format(L"%s%s", appData.c_str(), kDataFolder));
    // 2., 3. The system and the programs.
    AddFolder(folders, SpecialFolder(CSIDL_WINDOWS));
    AddFolder(folders, SpecialFolder(CSIDL_PROGRAM_FILES));
    // 4. The temporary folder.
    CString temp;
    DWORD tempLength = GetTempPathW(temp);
    if (tempLength > 0 && tempLength < kMaxPath) AddFolder(folders, temp);
    // 5. The host application's temporary folders, named in its settings file.
    CString hostFolder = GetHostInstallFolder();
    CheckFolderName(hostFolder);
    if (hostFolder.size() > 2) {
        CString settings = hostFolder + kHostSettingsFile;
        AddFolder(folders, GetHostPathSetting(L"CurrentTempFilePath", settings));
        AddFolder(folders, GetHostPathSetting(L"LastTempFilePath", settings));
    }
    // 6. Per fixed drive: the recycle bin always, the system and program folders where
    // they exist.
    for (const CString& root : FixedDriveRoots()) {
        AddFolder(folders, root + L"RECYCLER\\");
        for (const wchar_t* name : {L"Windows\\", L"Program Files\\"}) {
            CString path = root + name;
            if (PathFileExistsW(path)) AddFolder(folders, path);
        }
    }
    // 7. Neighbours that differ only in letter case: the earlier one goes.
    for (auto it = folders.begin(); it != folders.end();) {
        auto next = std::next(it);
        if (next != folders.end() && plat::EqualsNoCase(*it, *next)) {
            it = folders.erase(it);
        } else {
            it = next;
        }
    }
}

void CCommonFunc::GetDefaultWhiteList(std::set<CString>& folders) {
    CString windows;
    if (SHGetSpecialFolderPathW(nullptr, windows, CSIDL_WINDOWS, TRUE))
        AddFolder(folders, windows + L"\\Web\\");
    AddFolder(folders, SpecialFolder(CSIDL_PERSONAL));
}

void CCommonFunc::GetFixedBlackList(std::set<CString>& folders) {
    for (const CString& root : FixedDriveRoots())
        folders.insert(root + L"System Volume Information\\");
}

CString CCommonFunc::GetHostInstallFolder() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHostRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return CString();
    // Room for 259 characters and a terminator. Sized in characters, not as 520 bytes:
    // a wide character takes 4 bytes here, so 520 bytes would hold only 129 of them.
    wchar_t buffer[kMaxPath] = {0};
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    LONG rc = RegQueryValueExW(key, kHostRegistryValue, nullptr, &type,
                               reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return CString();
    buffer[kMaxPath - 1] = 0;
    return CString(buffer);
}

CString CCommonFunc::GetHostPathSetting(const wchar_t* key, const CString& settingsFile) {
    if (key == nullptr) return CString();
    wchar_t buffer[kMaxPath] = {0};
    GetPrivateProfileStringW(kHostSettingsSection, key, L"", buffer, kMaxPath,
                             settingsFile.c_str());
    buffer[kMaxPath - 1] = 0;
    return CString(buffer);
}
