#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/drives.h"
#include "platform/kernel_object.h"

namespace plat::kernel {
File::~File() {
    if (fd >= 0) ::close(fd);
}
}  // namespace plat::kernel

namespace {

using plat::kernel::File;

std::shared_ptr<File> FindFile(HANDLE h) {
    std::lock_guard<std::mutex> g(plat::kernel::Lock());
    return plat::kernel::FindAs<File>(h);
}

// The drive letter of a raw volume path "\\.\X:", or 0.
wchar_t RawVolumeLetter(const CString& path) {
    if (path.size() == 6 && path.compare(0, 4, L"\\\\.\\") == 0 && path[5] == L':') return path[4];
    return 0;
}

bool IsDriveRoot(const CString& path) {
    return path.size() >= 2 && path[1] == L':' &&
           path.find_first_not_of(L"\\/", 2) == CString::npos;
}

}  // namespace

DWORD GetFileAttributesW(const CString& path) {
    std::string host;
    if (!plat::ToHostPath(path, host)) return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    // A drive root is taken as it is; anything else is looked at without following a
    // final symbolic link, so that links never pass for folders.
    int rc = IsDriveRoot(path) ? stat(host.c_str(), &st) : lstat(host.c_str(), &st);
    if (rc != 0) return INVALID_FILE_ATTRIBUTES;
    DWORD attrs = 0;
    if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISLNK(st.st_mode)) attrs |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (!(st.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
    return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryW(const CString& path) {
    std::string host;
    // A drive's own folder belongs to the drive table, not to the library.
    if (IsDriveRoot(path) || !plat::ToHostPath(path, host)) return FALSE;
    return mkdir(host.c_str(), 0777) == 0 ? TRUE : FALSE;
}

BOOL PathFileExistsW(const CString& path) {
    std::string host;
    struct stat st;
    return plat::ToHostPath(path, host) && lstat(host.c_str(), &st) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileW(const CString& path) {
    std::string host;
    return plat::ToHostPath(path, host) && unlink(host.c_str()) == 0 ? TRUE : FALSE;
}

HANDLE CreateFileW(const CString& path, DWORD access, DWORD, DWORD disposition) {
    std::string host;
    if (wchar_t letter = RawVolumeLetter(path)) {
        host = plat::RawDeviceOf(letter);
        if (host.empty() || (access & GENERIC_WRITE)) return INVALID_HANDLE_VALUE;
    } else if (!plat::ToHostPath(path, host)) {
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (disposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case OPEN_EXISTING:
            break;
        default:
            return INVALID_HANDLE_VALUE;
    }
    // Opened without blocking, so that a named pipe or a device that waits for a peer
    // cannot stall the caller; only regular files and block devices (raw volumes) are
    // kept, and they read normally afterwards.
    int fd = open(host.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    auto f = std::make_shared<File>();
    f->fd = fd;
    return plat::kernel::Insert(std::move(f));
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read) {
    auto f = FindFile(file);
    if (read) *read = 0;
    if (!f || (!buffer && toRead)) return FALSE;
    size_t done = 0;
    while (done < toRead) {
        ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, toRead - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FALSE;
        if (n == 0) break;
        done += size_t(n);
    }
    if (read) *read = DWORD(done);
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written) {
    auto f = FindFile(file);
    if (written) *written = 0;
    if (!f || (!buffer && toWrite)) return FALSE;
    size_t done = 0;
    while (done < toWrite) {
        ssize_t n = ::write(f->fd, static_cast<const char*>(buffer) + done, toWrite - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FALSE;
        done += size_t(n);
    }
    if (written) *written = DWORD(done);
    return TRUE;
}

BOOL SetFilePointerEx(HANDLE file, LONGLONG distance, LONGLONG* newPosition, DWORD method) {
    auto f = FindFile(file);
    if (!f || method > FILE_END) return FALSE;
    int whence = method == FILE_BEGIN ? SEEK_SET : (method == FILE_CURRENT ? SEEK_CUR : SEEK_END);
    off_t pos = lseek(f->fd, off_t(distance), whence);
    if (pos < 0) return FALSE;
    if (newPosition) *newPosition = LONGLONG(pos);
    return TRUE;
}

BOOL GetFileSizeEx(HANDLE file, LONGLONG* size) {
    auto f = FindFile(file);
    struct stat st;
    if (!f || !size || fstat(f->fd, &st) != 0) return FALSE;
    if (S_ISBLK(st.st_mode)) {
        // A block device reports its size through its end position.
        off_t cur = lseek(f->fd, 0, SEEK_CUR);
        off_t end = lseek(f->fd, 0, SEEK_END);
        if (cur >= 0) lseek(f->fd, cur, SEEK_SET);
        if (end < 0) return FALSE;
        *size = LONGLONG(end);
        return TRUE;
    }
    *size = LONGLONG(st.st_size);
    return TRUE;
}

BOOL GetFileTime(HANDLE file, CTime* creation, CTime* lastAccess, CTime* lastWrite) {
    auto f = FindFile(file);
    if (!f) return FALSE;
    struct statx sx;
    if (statx(f->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return FALSE;
    if (creation) {
        std::int64_t born = (sx.stx_mask & STATX_BTIME)                 ? sx.stx_btime.tv_sec
                            : sx.stx_mtime.tv_sec < sx.stx_ctime.tv_sec ? sx.stx_mtime.tv_sec
                                                                        : sx.stx_ctime.tv_sec;
        *creation = CTime(born);
    }
    if (lastAccess) *lastAccess = CTime(std::int64_t(sx.stx_atime.tv_sec));
    if (lastWrite) *lastWrite = CTime(std::int64_t(sx.stx_mtime.tv_sec));
    return TRUE;
}

BOOL CFile::Open(const CString& path, UINT flags) {
    Close();
    DWORD access = GENERIC_READ;
    if (flags & modeWrite) access = GENERIC_WRITE;
    if (flags & modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, disposition);
    if (h == INVALID_HANDLE_VALUE) return FALSE;
    m_hFile = h;
    return TRUE;
}

UINT CFile::Read(void* buffer, UINT count) {
    DWORD n = 0;
    return m_hFile && ReadFile(m_hFile, buffer, count, &n) ? n : 0;
}

BOOL CFile::Write(const void* buffer, UINT count) {
    DWORD n = 0;
    return m_hFile && WriteFile(m_hFile, buffer, count, &n) && n == count ? TRUE : FALSE;
}

LONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    LONGLONG pos = -1;
    return m_hFile && SetFilePointerEx(m_hFile, offset, &pos, from) ? pos : -1;
}

ULONGLONG CFile::GetLength() {
    LONGLONG size = 0;
    return m_hFile && GetFileSizeEx(m_hFile, &size) ? ULONGLONG(size) : 0;
}

void CFile::Close() {
    if (m_hFile) {
        CloseHandle(m_hFile);
        m_hFile = nullptr;
    }
}
