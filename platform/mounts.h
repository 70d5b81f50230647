// Internal to platform/: the host's mount table, read from /proc/self/mountinfo again
// whenever the kernel says it changed, and what kind of drive each mount is.
//
// Every mount gets a kind, the way the drive table types drives: a local disk file
// system on a non-removable block device is a fixed disk; network and FUSE-network file
// systems are remote; removable block devices (the kernel's removable flag, USB mass
// storage, SD cards) and mounts in the removable-media folders (/media, /run/media) are
// removable; disc and read-only image file systems are disc-like; tmpfs and ramfs are
// RAM disks; union mounts are a view of other folders; a bind mount that shows files
// which another mount already shows is a second view of them. The table of file-system
// names lives in mounts.cc, with the reason for each choice.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace plat::mounts {

enum class Kind {
    Fixed,      // a local disk
    Removable,  // a stick, a card, a phone, anything in the removable-media folders
    Remote,     // a network share, a network block device, a FUSE bridge
    Disc,       // a disc, an ISO or a read-only image (squashfs)
    RamDisk,    // tmpfs, ramfs, zram
    Union,      // overlay and other union mounts
    Bind,       // a second view of files that another mount shows (see Mount::origin)
    Pseudo,     // proc, sysfs, cgroup and the like: no files at all
    Unknown,    // a file system without a device whose nature is not known
};

struct Mount {
    int id = 0;      // the kernel's mount id
    int parent = 0;  // the id of the mount it is mounted on
    unsigned major = 0, minor = 0;
    std::string root;    // the folder of its file system that the mount shows
    std::string point;   // mount point, links resolved
    std::string fsType;  // e.g. "ext4", "vfat", "ntfs3", "fuseblk", "proc"
    std::string source;  // e.g. "/dev/sdb1"
    Kind kind = Kind::Fixed;
    std::string reason;  // why it is not a fixed disk, e.g. "network share"; "" when fixed
    std::string origin;  // Bind: the path where the mount it repeats shows the same files
};

// One reading of the mount table, never changed after it is made.
class Table {
public:
    // Parses mountinfo text; device facts come from the sysfs tree at `sysRoot`.
    // Lines that cannot be read are left out.
    static std::shared_ptr<const Table> Parse(const std::string& mountinfo,
                                              const std::string& sysRoot);

    // Every line, in the kernel's order (hidden mounts included).
    const std::vector<Mount>& All() const { return m_mounts; }
    // The mount that is seen at exactly `point` (a path with links resolved), or null.
    const Mount* At(const std::string& point) const;
    // The mount that holds `realPath`: the seen mount with the longest point above it.
    const Mount* Of(const std::string& realPath) const;
    // True for a mount that is seen: not mounted over, nor on a mount that is.
    bool IsVisible(const Mount& m) const { return At(m.point) == &m; }

private:
    void Classify(const std::string& sysRoot);
    std::vector<Mount> m_mounts;
    std::unordered_map<std::string, size_t> m_visible;  // point -> index of the seen mount
};

// The table in force: re-read when the kernel reports a change. An empty table when
// the mount table cannot be read. Thread-safe.
std::shared_ptr<const Table> Current();

// Reads the mount table from `mountinfoPath` and device facts from `sysRoot` instead of
// the process's own (/proc/self/mountinfo, /sys); "" puts each default back. Either way
// the next Current() reads afresh. For tests that lay out a machine of their own.
void UseSources(const std::string& mountinfoPath, const std::string& sysRoot);

// The mount that holds `realPath` (a path with links resolved): the longest mount
// point that is a prefix of it. False when the table cannot be read.
bool MountOf(const std::string& realPath, Mount& mount);

// True when `realPath` lies on a pseudo file system (proc, sysfs, devtmpfs, devpts,
// cgroup, debugfs, tracefs, securityfs, pstore, bpf, configfs, fusectl, mqueue,
// hugetlbfs, autofs, binfmt_misc and the like), which listings never enter.
bool IsOnPseudoFileSystem(const std::string& realPath);

// Lexically normalised absolute path: no empty, "." or ".." components, no trailing
// '/' except for "/". Relative input gives "".
std::string Normalize(const std::string& path);
// realpath() of an existing path, else Normalize(path).
std::string Resolve(const std::string& path);
// True when `path` equals `dir` or lies under it (both normalised).
bool IsUnder(const std::string& path, const std::string& dir);
// "/a/b" -> "/a"; "/a" -> "/"; "/" -> "".
std::string ParentOf(const std::string& path);

}  // namespace plat::mounts
