// Folder listing: the entries of one folder with name, folder flag, size and
// last-write time.
//
// FindFile takes a pattern "<folder>\*" (or "<folder>\*.*"; other wildcards are not
// supported and fail) and FindNextFile steps through the entries, "." and ".."
// included first, as the system's listing reports them. The listing:
// - does not follow symbolic links: a link is a plain entry, never a folder, so walks
//   cannot loop;
// - leaves out folders on pseudo file systems (proc, sysfs, devtmpfs, ...), and will not
//   list a folder that lies on one;
// - leaves out mount points below the drive's folder unless the mount is a fixed disk
//   (removable media, network shares, discs and images, RAM disks, union mounts and
//   second views of files scanned elsewhere are not entered), and will not list a
//   folder inside such a mount; a mount mapped as a drive of its own is listed there;
// - leaves out the host folders of other mapped drives (they are listed under their own
//   letter);
// - leaves out host names that cannot be written as library names (a '\' in the name,
//   or bytes that are not UTF-8).
// The entries are read when FindFile is called. Not thread-safe per object.
#pragma once

#include <vector>

#include "platform/ctime.h"
#include "platform/types.h"

class CFileFind {
public:
    CFileFind() = default;
    ~CFileFind() = default;

    // Lists the folder of `pattern`. FALSE when the folder is missing, unreadable, not a
    // folder, or on a pseudo file system.
    BOOL FindFile(const CString& pattern);
    // Moves to the next entry; FALSE when none is left (the entry just moved to is the
    // last one, as in the system's listing: call the getters after each call that
    // returned TRUE and once more after the one that returned FALSE, when it was
    // preceded by a successful FindFile).
    BOOL FindNextFile();
    void Close();

    CString GetFileName() const;  // the name only
    CString GetFilePath() const;  // folder + "\" + name
    CString GetRoot() const;      // the folder, with a trailing backslash
    BOOL IsDirectory() const;
    BOOL IsDots() const;  // "." or ".."
    ULONGLONG GetLength() const;
    BOOL GetLastWriteTime(CTime& time) const;

private:
    struct Entry {
        CString name;
        bool directory = false;
        ULONGLONG size = 0;
        std::int64_t lastWrite = 0;
    };
    CString m_root;  // with trailing backslash
    std::vector<Entry> m_entries;
    size_t m_next = 0;     // index of the entry the next FindNextFile moves to
    size_t m_current = 0;  // index of the current entry
    bool m_hasCurrent = false;
};
