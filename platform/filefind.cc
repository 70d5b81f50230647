#include "platform/filefind.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/mounts.h"

namespace {

// The folder part of "<folder>\*" or "<folder>\*.*", with its trailing separator.
bool FolderOfPattern(const CString& pattern, CString& folder) {
    for (const wchar_t* tail : {L"*.*", L"*"}) {
        size_t n = std::char_traits<wchar_t>::length(tail);
        if (pattern.size() > n && pattern.compare(pattern.size() - n, n, tail) == 0) {
            folder = pattern.substr(0, pattern.size() - n);
            wchar_t last = folder.back();
            if (last != L'\\' && last != L'/') return false;
            folder.back() = L'\\';
            return folder.find_first_of(L"*?") == CString::npos;
        }
    }
    return false;
}

bool ExpressibleName(const std::string& name, CString& wide) {
    if (name.find('\\') != std::string::npos) return false;
    wide = plat::MultiByteToWide(CP_UTF8, name);
    return plat::WideToMultiByte(CP_UTF8, wide) == name;
}

}  // namespace

BOOL CFileFind::FindFile(const CString& pattern) {
    Close();
    CString folder;
    std::string host;
    plat::DriveInfo drive;
    if (!FolderOfPattern(pattern, folder) || !plat::ToHostPath(folder, host) ||
        !plat::FindDrive(folder[0], drive))
        return FALSE;
    // One reading of the mount table and of the drive table serves the whole listing.
    std::shared_ptr<const plat::mounts::Table> mounts = plat::mounts::Current();
    const std::vector<plat::DriveInfo> drives = plat::GetDrives();
    const std::string real = plat::mounts::Resolve(host);
    if (const plat::mounts::Mount* m = mounts->Of(real); m && m->kind == plat::mounts::Kind::Pseudo)
        return FALSE;
    // A folder inside a mount that the drive's walk leaves out is not listed either (a
    // resumed walk may still hold folders of a share that has since been mounted).
    if (plat::SkippedMountAbove(*mounts, drives, drive, real)) return FALSE;
    int dfd = open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return FALSE;
    DIR* dir = fdopendir(dfd);
    if (!dir) {
        close(dfd);
        return FALSE;
    }
    struct stat self;
    if (fstat(dfd, &self) != 0) {
        closedir(dir);
        return FALSE;
    }
    std::vector<Entry> entries;
    // "." and ".." come first, as in the system's own listings.
    Entry dot{L".", true, 0, std::int64_t(self.st_mtim.tv_sec)};
    entries.push_back(dot);
    struct stat parent;
    std::string parentHost = host == "/" ? "/" : host + "/..";
    dot.name = L"..";
    if (stat(parentHost.c_str(), &parent) == 0) dot.lastWrite = parent.st_mtim.tv_sec;
    entries.push_back(dot);

    const wchar_t letter = drive.letter;
    const std::string prefix = host == "/" ? "" : host;
    const std::string realPrefix = real == "/" ? "" : real;
    std::vector<Entry> found;
    while (struct dirent* de = readdir(dir)) {
        std::string name = de->d_name;
        if (name == "." || name == "..") continue;
        Entry e;
        if (!ExpressibleName(name, e.name)) continue;
        struct stat st;
        if (fstatat(dfd, de->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        e.directory = S_ISDIR(st.st_mode);
        e.lastWrite = st.st_mtim.tv_sec;
        if (e.directory) {
            std::string child = prefix + "/" + name;
            std::string realChild = realPrefix + "/" + name;
            if (plat::IsOtherDriveFolder(drives, child, letter) ||
                plat::IsOtherDriveFolder(drives, realChild, letter))
                continue;
            // A mount point is entered only when the mount is a fixed disk.
            const plat::mounts::Mount* m = mounts->At(realChild);
            if (m && !plat::WalkEnters(*m, drives)) continue;
        } else {
            e.size = ULONGLONG(st.st_size);
        }
        found.push_back(std::move(e));
    }
    closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (auto& e : found)
        entries.push_back(std::move(e));

    m_root = folder;
    m_entries = std::move(entries);
    m_next = 0;
    m_hasCurrent = false;
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (m_next >= m_entries.size()) return FALSE;
    m_current = m_next++;
    m_hasCurrent = true;
    return m_next < m_entries.size() ? TRUE : FALSE;
}

void CFileFind::Close() {
    m_root.clear();
    m_entries.clear();
    m_next = m_current = 0;
    m_hasCurrent = false;
}

CString CFileFind::GetFileName() const {
    return m_hasCurrent ? m_entries[m_current].name : CString();
}

CString CFileFind::GetFilePath() const {
    return m_hasCurrent ? m_root + m_entries[m_current].name : CString();
}

CString CFileFind::GetRoot() const {
    return m_root;
}

BOOL CFileFind::IsDirectory() const {
    return m_hasCurrent && m_entries[m_current].directory ? TRUE : FALSE;
}

BOOL CFileFind::IsDots() const {
    if (!m_hasCurrent) return FALSE;
    const CString& n = m_entries[m_current].name;
    return (n == L"." || n == L"..") ? TRUE : FALSE;
}

ULONGLONG CFileFind::GetLength() const {
    return m_hasCurrent ? m_entries[m_current].size : 0;
}

BOOL CFileFind::GetLastWriteTime(CTime& time) const {
    if (!m_hasCurrent) return FALSE;
    time = CTime(m_entries[m_current].lastWrite);
    return TRUE;
}
