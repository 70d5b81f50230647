#include "platform/raw_volume.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/drives.h"
#include "platform/kernel_object.h"

BOOL ReadFileAt(HANDLE file, void* buffer, DWORD toRead, LONGLONG offset, DWORD* read) {
    std::shared_ptr<plat::kernel::File> f;
    {
        std::lock_guard<std::mutex> g(plat::kernel::Lock());
        f = plat::kernel::FindAs<plat::kernel::File>(file);
    }
    if (read) *read = 0;
    if (!f || offset < 0 || (!buffer && toRead)) return FALSE;
    size_t done = 0;
    while (done < toRead) {
        ssize_t n = pread(f->fd, static_cast<char*>(buffer) + done, toRead - done,
                          off_t(offset) + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FALSE;
        if (n == 0) break;
        done += size_t(n);
    }
    if (read) *read = DWORD(done);
    return TRUE;
}

namespace plat {

int ProbeRawVolume(wchar_t letter, std::string* device) {
    std::string path = RawDeviceOf(letter);
    if (device) *device = path;
    if (path.empty()) return ENODEV;
    // Without blocking, as CreateFileW opens it, so that a pipe named as the device
    // cannot stall the probe.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st;
    int rc = 0;
    if (fstat(fd, &st) != 0)
        rc = errno;
    else if (S_ISDIR(st.st_mode))
        rc = EISDIR;
    else if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        rc = ENOTBLK;
    close(fd);
    return rc;
}

}  // namespace plat
