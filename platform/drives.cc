#include "platform/drives.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/codepage.h"
#include "platform/mounts.h"

namespace plat {
namespace {

struct Table {
    std::mutex lock;
    bool loaded = false;
    std::vector<DriveInfo> drives;
    std::string envError;
};

Table& TheTable() {
    static Table* t = new Table;
    return *t;
}

std::string TrimBlanks(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t i = 0;
    for (;;) {
        size_t j = s.find(sep, i);
        out.push_back(s.substr(i, j == std::string::npos ? std::string::npos : j - i));
        if (j == std::string::npos) break;
        i = j + 1;
    }
    return out;
}

const char* const kTypeNames[] = {"", "", "removable", "fixed", "remote", "cdrom", "ramdisk"};

bool ParseEntry(const std::string& entry, DriveInfo& d, std::string& why) {
    std::vector<std::string> parts = Split(entry, ',');
    const std::string& head = parts[0];
    size_t eq = head.find('=');
    if (eq == std::string::npos) {
        why = "expected <letter>=<host folder>";
        return false;
    }
    std::string letter = TrimBlanks(head.substr(0, eq));
    if (letter.size() != 1 || !std::isalpha(static_cast<unsigned char>(letter[0]))) {
        why = "the drive must be one letter A-Z";
        return false;
    }
    d.letter = wchar_t(std::toupper(static_cast<unsigned char>(letter[0])));
    std::string folder = TrimBlanks(head.substr(eq + 1));
    if (folder.empty() || folder[0] != '/') {
        why = "the host folder must be an absolute path";
        return false;
    }
    d.hostFolder = mounts::Normalize(folder);
    for (size_t i = 1; i < parts.size(); ++i) {
        std::string opt = TrimBlanks(parts[i]);
        size_t oe = opt.find('=');
        std::string key = TrimBlanks(opt.substr(0, oe));
        std::string value =
            oe == std::string::npos ? std::string() : TrimBlanks(opt.substr(oe + 1));
        if (oe == std::string::npos || (key != "type" && key != "fs" && key != "device")) {
            why = "unknown option '" + opt + "' (expected type=, fs= or device=)";
            return false;
        }
        if (value.empty()) {
            why = key + "= needs a value";
            return false;
        }
        if (key == "type") {
            UINT t = 0;
            for (UINT k = 2; k <= 6; ++k)
                if (value == kTypeNames[k]) t = k;
            if (!t) {
                why = "unknown type '" + value +
                      "' (expected fixed, removable, remote, cdrom or ramdisk)";
                return false;
            }
            d.type = t;
        } else if (key == "fs") {
            d.fs = value;
        } else {
            if (value[0] != '/') {
                why = "device= must be an absolute path";
                return false;
            }
            d.device = value;
        }
    }
    return true;
}

void LoadLocked(Table& t) {
    if (t.loaded) return;
    t.loaded = true;
    const char* env = std::getenv("PICDEX_DRIVES");
    if (env && *env) {
        std::string error;
        if (ParseDriveTable(env, t.drives, &error)) return;
        t.envError.assign("PICDEX_DRIVES: ").append(error).append("; no drives are mapped");
        std::fprintf(stderr, "picdex: %s\n", t.envError.c_str());
        t.drives.clear();
        return;
    }
    DriveInfo c;
    c.letter = L'C';
    c.hostFolder.assign(1, '/');
    c.realFolder.assign(1, '/');
    t.drives.push_back(c);
}

bool IsExistingFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsNtfsDriver(const std::string& type) {
    return type == "ntfs" || type == "ntfs3" || type == "ntfs-3g" || type == "fuse.ntfs-3g" ||
           type == "fuseblk";
}

bool CanReadDevice(const std::string& device, bool needSignature) {
    if (device.empty()) return false;
    int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = true;
    if (needSignature) {
        char boot[11] = {};
        ok = pread(fd, boot, sizeof boot, 0) == ssize_t(sizeof boot) &&
             std::memcmp(boot + 3, "NTFS    ", 8) == 0;
    }
    close(fd);
    return ok;
}

bool StrictUtf8ToWide(const std::string& s, CString& out) {
    out = MultiByteToWide(CP_UTF8, s);
    return WideToMultiByte(CP_UTF8, out) == s;
}

}  // namespace

bool ParseDriveTable(const std::string& text, std::vector<DriveInfo>& drives, std::string* error) {
    std::vector<DriveInfo> result;
    for (const std::string& raw : Split(text, ';')) {
        std::string entry = TrimBlanks(raw);
        if (entry.empty()) continue;
        DriveInfo d;
        std::string why;
        bool ok = ParseEntry(entry, d, why);
        if (ok) {
            for (const DriveInfo& other : result)
                if (other.letter == d.letter) {
                    why = "drive " + std::string(1, char(d.letter)) + " is given twice";
                    ok = false;
                }
        }
        if (!ok) {
            if (error) *error = "drive table entry \"" + entry + "\": " + why;
            return false;
        }
        d.realFolder = mounts::Resolve(d.hostFolder);
        result.push_back(d);
    }
    std::sort(result.begin(), result.end(),
              [](const DriveInfo& a, const DriveInfo& b) { return a.letter < b.letter; });
    drives = std::move(result);
    return true;
}

void ResetDriveTable() {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    t.loaded = false;
    t.drives.clear();
    t.envError.clear();
}

std::vector<DriveInfo> GetDrives() {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    LoadLocked(t);
    return t.drives;
}

bool FindDrive(wchar_t letter, DriveInfo& info) {
    if (letter >= L'a' && letter <= L'z') letter = wchar_t(letter - 32);
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    LoadLocked(t);
    for (const DriveInfo& d : t.drives)
        if (d.letter == letter) {
            info = d;
            return true;
        }
    return false;
}

bool ToHostPath(const CString& path, std::string& hostPath) {
    if (path.size() < 2 || path[1] != L':') return false;
    DriveInfo d;
    if (!FindDrive(path[0], d)) return false;
    std::vector<std::string> parts;
    size_t i = 2;
    while (i < path.size()) {
        size_t j = path.find_first_of(L"\\/", i);
        if (j == CString::npos) j = path.size();
        CString c = path.substr(i, j - i);
        if (c.find(L'\0') != CString::npos) return false;
        if (c == L"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!c.empty() && c != L".") {
            parts.push_back(WideToMultiByte(CP_UTF8, c));
        }
        i = j + 1;
    }
    std::string out = d.hostFolder == "/" ? std::string() : d.hostFolder;
    for (const std::string& p : parts)
        out += "/" + p;
    hostPath = out.empty() ? "/" : out;
    return true;
}

bool ToLibraryPath(const std::string& hostPath, CString& path) {
    std::string host = mounts::Normalize(hostPath);
    if (host.empty()) return false;
    const DriveInfo* best = nullptr;
    size_t bestLen = 0;
    std::vector<DriveInfo> drives = GetDrives();
    for (const DriveInfo& d : drives) {
        for (const std::string* folder : {&d.hostFolder, &d.realFolder}) {
            if (folder->empty() || !mounts::IsUnder(host, *folder)) continue;
            size_t len = *folder == "/" ? 0 : folder->size();
            if (!best || len > bestLen) {
                best = &d;
                bestLen = len;
            }
        }
    }
    if (!best) return false;
    CString out;
    out += best->letter;
    out += L":\\";
    std::string rest = host.substr(bestLen);
    bool first = true;
    for (const std::string& c : Split(rest, '/')) {
        if (c.empty()) continue;
        CString wc;
        if (c.find('\\') != std::string::npos || !StrictUtf8ToWide(c, wc)) return false;
        if (!first) out += L'\\';
        out += wc;
        first = false;
    }
    path = out;
    return true;
}

std::string RawDeviceOf(wchar_t letter) {
    DriveInfo d;
    if (!FindDrive(letter, d)) return std::string();
    if (!d.device.empty()) return d.device;
    // Only a drive that is a whole volume has a device: a raw read lists the volume.
    mounts::Mount m;
    std::string real = mounts::Resolve(d.hostFolder);
    if (!mounts::MountOf(real, m) || m.point != real || m.source.empty() || m.source[0] != '/')
        return std::string();
    return m.source;
}

bool IsOtherDriveFolder(const std::vector<DriveInfo>& drives, const std::string& hostPath,
                        wchar_t letter) {
    for (const DriveInfo& d : drives)
        if (d.letter != letter && (d.hostFolder == hostPath || d.realFolder == hostPath))
            return true;
    return false;
}

bool IsOtherDriveFolder(const std::string& hostPath, wchar_t letter) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    LoadLocked(t);
    return IsOtherDriveFolder(t.drives, hostPath, letter);
}

bool WalkEnters(const mounts::Mount& m, const std::vector<DriveInfo>& drives) {
    if (m.kind == mounts::Kind::Fixed) return true;
    if (m.kind != mounts::Kind::Bind) return false;
    // A second view of files is skipped only when they are scanned where they really
    // are; a bind mount of a folder that no fixed drive reaches is the only way in.
    for (const DriveInfo& d : drives)
        if (d.type == DRIVE_FIXED && !d.realFolder.empty() &&
            mounts::IsUnder(m.origin, d.realFolder))
            return false;
    return true;
}

const mounts::Mount* SkippedMountAbove(const mounts::Table& table,
                                       const std::vector<DriveInfo>& drives, const DriveInfo& drive,
                                       const std::string& realPath) {
    std::string top = drive.realFolder.empty() ? drive.hostFolder : drive.realFolder;
    // The drive's folder may have become a link since the table was set: look again.
    if (!mounts::IsUnder(realPath, top)) top = mounts::Resolve(drive.hostFolder);
    std::string start = mounts::IsUnder(realPath, top) ? top : std::string("/");
    std::vector<std::string> way;  // realPath and its parents below `start`, innermost first
    for (std::string p = realPath; !p.empty() && p != start; p = mounts::ParentOf(p))
        way.push_back(p);
    for (auto it = way.rbegin(); it != way.rend(); ++it)
        if (const mounts::Mount* m = table.At(*it); m && !WalkEnters(*m, drives)) return m;
    return nullptr;
}

}  // namespace plat

using namespace plat;

DWORD GetLogicalDrives() {
    DWORD mask = 0;
    for (const DriveInfo& d : GetDrives())
        mask |= DWORD(1) << (d.letter - L'A');
    return mask;
}

UINT GetDriveTypeW(const wchar_t* root) {
    DriveInfo d;
    if (!root || !root[0] || !FindDrive(root[0], d)) return DRIVE_NO_ROOT_DIR;
    if (!IsExistingFolder(d.hostFolder)) return DRIVE_NO_ROOT_DIR;
    return d.type;
}

BOOL GetVolumeInformationW(const wchar_t* root, wchar_t* fsName, DWORD fsNameSize) {
    DriveInfo d;
    if (!root || !root[0] || !FindDrive(root[0], d) || !IsExistingFolder(d.hostFolder))
        return FALSE;
    std::string name = d.fs;
    if (name.empty()) {
        mounts::Mount m;
        if (!mounts::MountOf(mounts::Resolve(d.hostFolder), m)) return FALSE;
        name = m.fsType;
        if (name == "vfat") {
            name = "FAT32";
        } else if (name == "msdos") {
            name = "FAT";
        } else if (name == "exfat") {
            name = "exFAT";
        } else if (IsNtfsDriver(name) && CanReadDevice(RawDeviceOf(d.letter), name == "fuseblk")) {
            name = "NTFS";
        }
    }
    CString wide = MultiByteToWide(CP_UTF8, name);
    if (!fsName || wide.size() + 1 > fsNameSize) return FALSE;
    std::memcpy(fsName, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    return TRUE;
}

namespace picdex {

bool SetDriveTable(const std::string& text, std::string* error) {
    std::vector<DriveInfo> drives;
    if (!ParseDriveTable(text, drives, error)) return false;
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    t.drives = std::move(drives);
    t.loaded = true;
    t.envError.clear();
    return true;
}

std::string GetDriveTable() {
    std::string out;
    for (const DriveInfo& d : GetDrives()) {
        if (!out.empty()) out += ';';
        out += char(d.letter);
        out += '=' + d.hostFolder;
        if (d.type != DRIVE_FIXED) out += std::string(",type=") + kTypeNames[d.type];
        if (!d.fs.empty()) out += ",fs=" + d.fs;
        if (!d.device.empty()) out += ",device=" + d.device;
    }
    return out;
}

std::string GetDriveTableError() {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    LoadLocked(t);
    return t.envError;
}

std::vector<SkippedMount> GetSkippedMounts(const CString& folder) {
    std::vector<SkippedMount> out;
    std::string host;
    DriveInfo drive;
    if (folder.size() < 2 || !FindDrive(folder[0], drive) || !ToHostPath(folder, host)) return out;
    std::vector<DriveInfo> drives = GetDrives();
    std::shared_ptr<const mounts::Table> table = mounts::Current();
    std::string real = mounts::Resolve(host);
    auto add = [&](const mounts::Mount& m) {
        out.push_back(SkippedMount{m.point, m.fsType, m.reason});
    };
    if (const mounts::Mount* m = SkippedMountAbove(*table, drives, drive, real)) {
        if (m->kind != mounts::Kind::Pseudo) add(*m);
        return out;
    }
    if (const mounts::Mount* m = table->Of(real); m && m->kind == mounts::Kind::Pseudo) return out;
    const wchar_t letter = drive.letter;
    for (const mounts::Mount& m : table->All()) {
        if (m.point == real || !mounts::IsUnder(m.point, real) || !table->IsVisible(m)) continue;
        if (WalkEnters(m, drives) || m.kind == mounts::Kind::Pseudo) continue;
        // Reached only when no folder on the way is another drive's or left out itself.
        bool reached = !IsOtherDriveFolder(drives, m.point, letter);
        for (std::string p = mounts::ParentOf(m.point); reached && p != real && !p.empty();
             p = mounts::ParentOf(p)) {
            const mounts::Mount* above = table->At(p);
            if (IsOtherDriveFolder(drives, p, letter) || (above && !WalkEnters(*above, drives)))
                reached = false;
        }
        if (reached) add(m);
    }
    std::sort(out.begin(), out.end(),
              [](const SkippedMount& a, const SkippedMount& b) { return a.hostPath < b.hostPath; });
    return out;
}

}  // namespace picdex
