// Internal to platform/: the host's mount table, read from /proc/self/mountinfo and
// re-read at most once a second, so that listings and volume queries see mounts that
// come and go.
#pragma once

#include <string>

namespace plat::mounts {

struct Mount {
    std::string point;   // mount point, links resolved
    std::string fsType;  // e.g. "ext4", "vfat", "ntfs3", "fuseblk", "proc"
    std::string source;  // e.g. "/dev/sdb1"
};

// The mount that holds `realPath` (a path with links resolved): the longest mount
// point that is a prefix of it. False when the table cannot be read.
bool MountOf(const std::string& realPath, Mount& mount);

// True when `realPath` lies on a pseudo file system (proc, sysfs, devtmpfs, devpts,
// cgroup, debugfs, tracefs, securityfs, pstore, bpf, configfs, fusectl, mqueue,
// hugetlbfs, autofs, binfmt_misc), which listings never enter.
bool IsOnPseudoFileSystem(const std::string& realPath);

// Lexically normalised absolute path: no empty, "." or ".." components, no trailing
// '/' except for "/". Relative input gives "".
std::string Normalize(const std::string& path);
// realpath() of an existing path, else Normalize(path).
std::string Resolve(const std::string& path);
// True when `path` equals `dir` or lies under it (both normalised).
bool IsUnder(const std::string& path, const std::string& dir);

}  // namespace plat::mounts
