// Files by their library paths (C:\Photos\a.jpg): attributes, folder creation, existence,
// opening and reading, times and sizes.
//
// File handles live in the same handle table as events and threads and are closed with
// CloseHandle. The share modes of the system's file API are accepted and ignored: the
// host has no mandatory locking. Nothing here throws; failures are FALSE,
// INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES or 0 as each function says.
#pragma once

#include "picdex/sync.h"
#include "platform/ctime.h"
#include "platform/types.h"

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

constexpr DWORD GENERIC_READ = 0x80000000u;
constexpr DWORD GENERIC_WRITE = 0x40000000u;
constexpr DWORD FILE_SHARE_READ = 1;
constexpr DWORD FILE_SHARE_WRITE = 2;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t(0));

// Attributes of a path: FILE_ATTRIBUTE_DIRECTORY for a folder (a drive root, or a real
// folder; a symbolic link is never a folder but carries FILE_ATTRIBUTE_REPARSE_POINT),
// FILE_ATTRIBUTE_READONLY when the owner may not write, FILE_ATTRIBUTE_NORMAL when no
// other bit applies. INVALID_FILE_ATTRIBUTES when the path cannot be read.
DWORD GetFileAttributesW(const CString& path);
// Creates one folder (the parent must exist). FALSE when it cannot be created, already
// exists, or is a drive root (a drive's host folder is never created here).
BOOL CreateDirectoryW(const CString& path);
// TRUE when the path names an existing file or folder.
BOOL PathFileExistsW(const CString& path);
BOOL DeleteFileW(const CString& path);

// Opens a file. `path` may also be a raw volume, "\\.\X:", which opens drive X's device
// (see plat::RawDeviceOf) for reading. access: GENERIC_READ and/or GENERIC_WRITE;
// disposition: CREATE_NEW, CREATE_ALWAYS, OPEN_EXISTING or OPEN_ALWAYS. Only regular
// files and block devices open; folders, pipes, sockets and character devices fail.
HANDLE CreateFileW(const CString& path, DWORD access, DWORD share, DWORD disposition);
// Reads up to `toRead` bytes; *read gets the count (0 at the end of the file).
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written);
BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPosition, DWORD method);
BOOL GetFileSizeEx(HANDLE file, LONGLONG* size);
// The file's times. Creation is the birth time where the file system keeps one,
// otherwise the earlier of the last-write and status-change times. Any pointer may be
// null.
BOOL GetFileTime(HANDLE file, CTime* creation, CTime* lastAccess, CTime* lastWrite);

// A file read (or written) in blocks, closed by its destructor.
class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };
    enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // modeCreate creates (or, without modeNoTruncate, empties) the file.
    BOOL Open(const CString& path, UINT flags);
    // Bytes read, 0 at the end or on failure.
    UINT Read(void* buffer, UINT count);
    BOOL Write(const void* buffer, UINT count);
    // The new position, or -1.
    LONGLONG Seek(LONGLONG offset, UINT from);
    ULONGLONG GetLength();
    void Close();
    bool IsOpen() const { return m_hFile != nullptr; }

private:
    HANDLE m_hFile = nullptr;
};
