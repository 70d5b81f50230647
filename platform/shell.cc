#include "platform/shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/drives.h"
#include "platform/mounts.h"

namespace {

std::string Home() {
    const char* h = std::getenv("HOME");
    return h && *h == '/' ? h : "";
}

// The documents folder of the XDG user-dirs file: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::string XdgDocuments() {
    if (const char* d = std::getenv("XDG_DOCUMENTS_DIR"); d && *d == '/') return d;
    std::string config;
    if (const char* c = std::getenv("XDG_CONFIG_HOME"); c && *c == '/')
        config = c;
    else if (!Home().empty())
        config = Home() + "/.config";
    std::ifstream in(config + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.compare(0, 5, "$HOME") == 0) v = Home() + v.substr(5);
        if (!v.empty() && v[0] == '/') return v;
    }
    return Home().empty() ? "" : Home() + "/Documents";
}

std::string HostFolderOf(int csidl) {
    switch (csidl) {
        case CSIDL_APPDATA:
            if (const char* d = std::getenv("XDG_DATA_HOME"); d && *d == '/') return d;
            return Home().empty() ? "" : Home() + "/.local/share";
        case CSIDL_PERSONAL:
            return XdgDocuments();
        case CSIDL_WINDOWS:
            return "/usr";
        case CSIDL_PROGRAM_FILES:
            return "/opt";
        default:
            return "";
    }
}

bool MakeFolders(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash)))
        return false;
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

// Library form without a trailing backslash, except for a drive root.
bool ToLibraryFolder(const std::string& host, CString& path) {
    return plat::ToLibraryPath(host, path);
}

}  // namespace

BOOL SHGetSpecialFolderPathW(HWND, CString& path, int csidl, BOOL bCreate) {
    std::string host = plat::mounts::Normalize(HostFolderOf(csidl));
    CString lib;
    // A folder off the mapped drives is unknown, and is never created.
    if (host.empty() || !ToLibraryFolder(host, lib)) return FALSE;
    if (bCreate && !MakeFolders(host)) return FALSE;
    path = lib;
    return TRUE;
}

DWORD GetTempPathW(CString& path) {
    const char* t = std::getenv("TMPDIR");
    std::string host = plat::mounts::Normalize(t && *t == '/' ? t : "/tmp");
    CString lib;
    if (host.empty() || !ToLibraryFolder(host, lib)) return 0;
    if (lib.back() != L'\\') lib += L'\\';
    path = lib;
    return DWORD(path.size());
}

DWORD GetModuleFileNameW(void* module, CString& path) {
    if (module) return 0;
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return 0;
    CString lib;
    if (!plat::ToLibraryPath(std::string(buf, size_t(n)), lib)) return 0;
    path = lib;
    return DWORD(path.size());
}
