#include "platform/mounts.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

namespace plat::mounts {
namespace {

// How a file-system name decides the kind of a mount. ByDevice: a disk file system,
// whose kind is that of the block device under it.
enum class Rule { ByDevice, Removable, Remote, Disc, RamDisk, Union, Pseudo };

struct FsRule {
    const char* type;
    Rule rule;
    const char* reason;
};

// The one table of file-system names. A name that is not here is judged by what is
// under it: a block device makes it a disk file system, a FUSE server is taken for a
// remote bridge, anything else is unknown and not entered.
const FsRule kFsRules[] = {
    // Disk file systems: fixed or removable as the device under them is.
    {"ext2", Rule::ByDevice, ""},
    {"ext3", Rule::ByDevice, ""},
    {"ext4", Rule::ByDevice, ""},
    {"xfs", Rule::ByDevice, ""},
    {"btrfs", Rule::ByDevice, ""},
    {"f2fs", Rule::ByDevice, ""},
    {"jfs", Rule::ByDevice, ""},
    {"reiserfs", Rule::ByDevice, ""},
    {"nilfs2", Rule::ByDevice, ""},
    {"bcachefs", Rule::ByDevice, ""},
    {"zfs", Rule::ByDevice, ""},  // a pool's datasets have no device: fixed
    {"hfs", Rule::ByDevice, ""},
    {"hfsplus", Rule::ByDevice, ""},
    {"ufs", Rule::ByDevice, ""},
    {"minix", Rule::ByDevice, ""},
    {"vfat", Rule::ByDevice, ""},
    {"msdos", Rule::ByDevice, ""},
    {"exfat", Rule::ByDevice, ""},
    {"ntfs", Rule::ByDevice, ""},
    {"ntfs3", Rule::ByDevice, ""},
    {"fuseblk", Rule::ByDevice, ""},  // a FUSE driver on a block device (ntfs-3g, exfat)
    {"fuse.ntfs-3g", Rule::ByDevice, ""},
    // Encrypted views of local folders: the plain files exist only here (an encrypted
    // home folder would otherwise be skipped whole); their stores hold nothing readable.
    {"ecryptfs", Rule::ByDevice, ""},
    {"fuse.gocryptfs", Rule::ByDevice, ""},
    {"fuse.encfs", Rule::ByDevice, ""},
    {"fuse.cryfs", Rule::ByDevice, ""},

    // Network file systems: other machines' files, slow to walk, often huge.
    {"nfs", Rule::Remote, "network share"},
    {"nfs4", Rule::Remote, "network share"},
    {"cifs", Rule::Remote, "network share"},
    {"smb3", Rule::Remote, "network share"},
    {"smbfs", Rule::Remote, "network share"},
    {"ncpfs", Rule::Remote, "network share"},
    {"afs", Rule::Remote, "network share"},
    {"coda", Rule::Remote, "network share"},
    {"ceph", Rule::Remote, "network share"},
    {"glusterfs", Rule::Remote, "network share"},
    {"lustre", Rule::Remote, "network share"},
    {"gfs2", Rule::Remote, "network share"},   // a cluster's shared disk
    {"ocfs2", Rule::Remote, "network share"},  // likewise
    {"davfs", Rule::Remote, "network share"},
    {"fuse.sshfs", Rule::Remote, "network share"},
    {"fuse.rclone", Rule::Remote, "network share"},
    {"fuse.s3fs", Rule::Remote, "network share"},
    {"fuse.gcsfuse", Rule::Remote, "network share"},
    {"fuse.curlftpfs", Rule::Remote, "network share"},
    {"fuse.glusterfs", Rule::Remote, "network share"},
    {"fuse.ceph-fuse", Rule::Remote, "network share"},
    {"fuse.gvfsd-fuse", Rule::Remote, "network share"},  // the desktop's network places
    // Folders shared into a virtual machine or subsystem by its host: the host's files.
    {"9p", Rule::Remote, "shared folder of the host"},
    {"virtiofs", Rule::Remote, "shared folder of the host"},
    {"vboxsf", Rule::Remote, "shared folder of the host"},
    {"fuse.vmhgfs-fuse", Rule::Remote, "shared folder of the host"},
    {"drvfs", Rule::Remote, "shared folder of the host"},

    // Phones and cameras over MTP/PTP and the like: removable devices behind FUSE.
    {"fuse.jmtpfs", Rule::Removable, "phone or camera"},
    {"fuse.simple-mtpfs", Rule::Removable, "phone or camera"},
    {"fuse.go-mtpfs", Rule::Removable, "phone or camera"},
    {"fuse.mtpfs", Rule::Removable, "phone or camera"},
    {"fuse.aft-mtp-mount", Rule::Removable, "phone or camera"},
    {"fuse.ifuse", Rule::Removable, "phone or camera"},
    {"fuse.gphotofs", Rule::Removable, "phone or camera"},

    // Discs and read-only images: what a CD drive would hold. Snap packages, live
    // systems and AppImages mount squashfs images.
    {"iso9660", Rule::Disc, "disc or disc image"},
    {"udf", Rule::Disc, "disc or disc image"},
    {"squashfs", Rule::Disc, "read-only image"},
    {"erofs", Rule::Disc, "read-only image"},
    {"cramfs", Rule::Disc, "read-only image"},
    {"romfs", Rule::Disc, "read-only image"},
    {"fuse.squashfuse", Rule::Disc, "read-only image"},
    {"fuse.fuseiso", Rule::Disc, "disc or disc image"},
    {"fuse.archivemount", Rule::Disc, "read-only image"},
    {"fuse.fuse-zip", Rule::Disc, "read-only image"},

    // Memory: gone at the next start, and /run, /dev/shm and /tmp hold no photos.
    {"tmpfs", Rule::RamDisk, "RAM disk"},
    {"ramfs", Rule::RamDisk, "RAM disk"},
    {"rootfs", Rule::RamDisk, "RAM disk"},  // the early-boot root, a ramfs

    // Union mounts show files of other folders (a container's layers, pooled disks):
    // walking them would index the same files twice.
    {"overlay", Rule::Union, "union mount"},
    {"overlayfs", Rule::Union, "union mount"},
    {"aufs", Rule::Union, "union mount"},
    {"unionfs", Rule::Union, "union mount"},
    {"fuse.unionfs", Rule::Union, "union mount"},
    {"fuse.unionfs-fuse", Rule::Union, "union mount"},
    {"fuse.fuse-overlayfs", Rule::Union, "union mount"},
    {"fuse.mergerfs", Rule::Union, "union mount"},
    {"fuse.mhddfs", Rule::Union, "union mount"},
    {"fuse.bindfs", Rule::Union, "view of another folder"},

    // Kernel interfaces with no files in them. autofs stands for mounts made on first
    // access (often network shares): entering it would make them.
    {"proc", Rule::Pseudo, "pseudo file system"},
    {"sysfs", Rule::Pseudo, "pseudo file system"},
    {"devtmpfs", Rule::Pseudo, "pseudo file system"},
    {"devpts", Rule::Pseudo, "pseudo file system"},
    {"cgroup", Rule::Pseudo, "pseudo file system"},
    {"cgroup2", Rule::Pseudo, "pseudo file system"},
    {"debugfs", Rule::Pseudo, "pseudo file system"},
    {"tracefs", Rule::Pseudo, "pseudo file system"},
    {"securityfs", Rule::Pseudo, "pseudo file system"},
    {"pstore", Rule::Pseudo, "pseudo file system"},
    {"bpf", Rule::Pseudo, "pseudo file system"},
    {"configfs", Rule::Pseudo, "pseudo file system"},
    {"fusectl", Rule::Pseudo, "pseudo file system"},
    {"mqueue", Rule::Pseudo, "pseudo file system"},
    {"hugetlbfs", Rule::Pseudo, "pseudo file system"},
    {"autofs", Rule::Pseudo, "pseudo file system"},
    {"binfmt_misc", Rule::Pseudo, "pseudo file system"},
    {"nsfs", Rule::Pseudo, "pseudo file system"},
    {"efivarfs", Rule::Pseudo, "pseudo file system"},
    {"rpc_pipefs", Rule::Pseudo, "pseudo file system"},
    {"nfsd", Rule::Pseudo, "pseudo file system"},
    {"selinuxfs", Rule::Pseudo, "pseudo file system"},
    {"fuse.lxcfs", Rule::Pseudo, "pseudo file system"},   // a container's /proc files
    {"fuse.portal", Rule::Pseudo, "pseudo file system"},  // the desktop's document portal
};

// Mounts in these folders are the desktop's removable media (udisks mounts sticks,
// cards and other disks there), whatever device they are on.
const char* const kRemovableMediaFolders[] = {"/media", "/run/media"};

const FsRule* FindRule(const std::string& type) {
    for (const FsRule& r : kFsRules)
        if (type == r.type) return &r;
    return nullptr;
}

// mountinfo escapes blanks, tabs, line feeds and backslashes as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            int v = 0;
            bool ok = true;
            for (size_t k = 1; k <= 3 && ok; ++k) {
                char c = s[i + k];
                ok = c >= '0' && c <= '7';
                v = v * 8 + (c - '0');
            }
            if (ok && v > 0 && v < 256) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

bool ReadSmallFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return true;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string& path) {
    if (char* r = realpath(path.c_str(), nullptr)) {
        std::string s(r);
        free(r);
        return s;
    }
    return std::string();
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// True when a component of the sysfs device path is a USB bus ("usb1", "usb2", ...):
// the disk hangs off a USB controller.
bool OnUsbBus(const std::string& devicePath) {
    size_t i = 0;
    while ((i = devicePath.find("/usb", i)) != std::string::npos) {
        i += 4;
        if (i < devicePath.size() && devicePath[i] >= '0' && devicePath[i] <= '9') return true;
    }
    return false;
}

struct DeviceKind {
    Kind kind = Kind::Fixed;
    std::string reason;
};

// The kind of the block device whose sysfs folder is `dir` (a partition or a whole
// disk). Device-mapper and RAID devices take the kind of the disks under them.
DeviceKind KindOfBlockDevice(const std::string& sysRoot, const std::string& dir, int depth) {
    std::string real = RealPath(dir);
    if (real.empty() || depth > 8) return {};  // unknown device: taken for a local disk
    std::string disk = Exists(real + "/partition") ? ParentOf(real) : real;
    std::string name = BaseName(disk);
    // The bus path: where the device hangs below the sysfs root's devices folder.
    std::string sysReal = RealPath(sysRoot);
    std::string bus =
        !sysReal.empty() && IsUnder(real, sysReal) ? real.substr(sysReal.size()) : real;
    if (StartsWith(name, "zram") || StartsWith(name, "ram")) return {Kind::RamDisk, "RAM disk"};
    if (StartsWith(name, "sr")) return {Kind::Disc, "disc or disc image"};
    if (StartsWith(name, "nbd") || StartsWith(name, "rbd"))
        return {Kind::Remote, "network block device"};
    if (bus.find("/session") != std::string::npos)  // iSCSI disks hang off a session
        return {Kind::Remote, "network block device"};
    if (OnUsbBus(bus)) return {Kind::Removable, "removable drive"};
    std::string value;
    if (StartsWith(name, "mmcblk") && ReadSmallFile(disk + "/device/type", value) &&
        value == "SD")  // "MMC" is soldered-in storage
        return {Kind::Removable, "removable drive"};
    if (ReadSmallFile(disk + "/removable", value) && value == "1")
        return {Kind::Removable, "removable drive"};
    if (DIR* slaves = opendir((disk + "/slaves").c_str())) {
        DeviceKind found;
        while (struct dirent* de = readdir(slaves)) {
            if (de->d_name[0] == '.') continue;
            DeviceKind k =
                KindOfBlockDevice(sysRoot, sysRoot + "/class/block/" + de->d_name, depth + 1);
            if (k.kind != Kind::Fixed) {
                found = k;
                break;
            }
        }
        closedir(slaves);
        return found;
    }
    return {};
}

DeviceKind KindOfDevice(const std::string& sysRoot, const Mount& m) {
    if (m.major != 0) {
        std::string dir =
            sysRoot + "/dev/block/" + std::to_string(m.major) + ":" + std::to_string(m.minor);
        if (Exists(dir)) return KindOfBlockDevice(sysRoot, dir, 0);
    }
    // Some file systems (btrfs) report a device number of their own; the source then
    // names the device.
    if (StartsWith(m.source, "/dev/")) {
        std::string real = RealPath(m.source);
        std::string name = BaseName(real.empty() ? m.source : real);
        std::string dir = sysRoot + "/class/block/" + name;
        if (!name.empty() && Exists(dir)) return KindOfBlockDevice(sysRoot, dir, 0);
    }
    return {};
}

}  // namespace

std::string ParentOf(const std::string& path) {
    if (path.empty() || path == "/") return std::string();
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::shared_ptr<const Table> Table::Parse(const std::string& mountinfo,
                                          const std::string& sysRoot) {
    auto table = std::make_shared<Table>();
    std::istringstream in(mountinfo);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<std::string> f;
        for (std::string w; ls >> w;)
            f.push_back(w);
        size_t dash = 0;
        for (size_t i = 6; i < f.size(); ++i)
            if (f[i] == "-") {
                dash = i;
                break;
            }
        if (dash == 0 || dash + 2 >= f.size()) continue;
        Mount m;
        char* end = nullptr;
        m.id = int(std::strtol(f[0].c_str(), &end, 10));
        if (*end) continue;
        m.parent = int(std::strtol(f[1].c_str(), &end, 10));
        if (*end) continue;
        unsigned long major = std::strtoul(f[2].c_str(), &end, 10);
        if (*end != ':') continue;
        unsigned long minor = std::strtoul(end + 1, &end, 10);
        if (*end) continue;
        m.major = unsigned(major);
        m.minor = unsigned(minor);
        m.root = Normalize(Unescape(f[3]));
        m.point = Normalize(Unescape(f[4]));
        if (m.point.empty() || m.root.empty()) continue;
        m.fsType = Unescape(f[dash + 1]);
        m.source = Unescape(f[dash + 2]);
        table->m_mounts.push_back(std::move(m));
    }
    table->Classify(sysRoot);
    return table;
}

void Table::Classify(const std::string& sysRoot) {
    // Which mounts are seen. A mount made on top of another at the same point has that
    // one as its parent; a mount is seen when nothing is mounted on top of it and the
    // mount it hangs on is seen.
    std::unordered_map<int, size_t> byId;
    for (size_t i = 0; i < m_mounts.size(); ++i)
        byId.emplace(m_mounts[i].id, i);
    std::vector<char> covered(m_mounts.size(), 0);
    for (const Mount& m : m_mounts) {
        auto p = byId.find(m.parent);
        if (p != byId.end() && p->second < m_mounts.size() &&
            m_mounts[p->second].point == m.point && &m_mounts[p->second] != &m)
            covered[p->second] = 1;
    }
    // 1 seen, 2 hidden, 0 not known yet. A mount's place is reached when its parent is
    // seen, or, for a mount on top of another, when that one's place is reached.
    std::vector<char> seen(m_mounts.size(), 0), reached(m_mounts.size(), 0);
    std::function<bool(size_t, size_t)> isSeen, isReached;
    isReached = [&](size_t i, size_t depth) -> bool {
        if (reached[i]) return reached[i] == 1;
        bool r = false;
        auto p = byId.find(m_mounts[i].parent);
        if (p == byId.end() || p->second == i) {
            r = true;                          // the top of this view
        } else if (depth < m_mounts.size()) {  // a cycle reaches nothing
            r = m_mounts[p->second].point == m_mounts[i].point ? isReached(p->second, depth + 1)
                                                               : isSeen(p->second, depth + 1);
        }
        reached[i] = r ? 1 : 2;
        return r;
    };
    isSeen = [&](size_t i, size_t depth) -> bool {
        if (!seen[i]) seen[i] = !covered[i] && isReached(i, depth) ? 1 : 2;
        return seen[i] == 1;
    };
    for (size_t i = 0; i < m_mounts.size(); ++i)
        isSeen(i, 0);
    for (size_t i = 0; i < m_mounts.size(); ++i)
        if (seen[i] == 1) m_visible[m_mounts[i].point] = i;  // later lines win on a tie

    // The kind of each mount from its file-system name and its device. A device is
    // looked up once however many mounts it has (a machine may have hundreds).
    std::unordered_map<std::string, DeviceKind> devices;
    for (Mount& m : m_mounts) {
        const FsRule* rule = FindRule(m.fsType);
        Rule r = rule ? rule->rule : Rule::ByDevice;
        m.reason = rule ? rule->reason : "";
        if (!rule && m.major == 0 && !StartsWith(m.source, "/dev/")) {
            // Not known and on no device: a FUSE server is most often a bridge to a
            // network or cloud store; anything else is no disk we know of.
            bool fuse = m.fsType == "fuse" || StartsWith(m.fsType, "fuse.");
            m.kind = fuse ? Kind::Remote : Kind::Unknown;
            m.reason = fuse ? "FUSE file system" : "not a disk file system";
            continue;
        }
        switch (r) {
            case Rule::ByDevice: {
                std::string key = std::to_string(m.major) + ":" + std::to_string(m.minor) +
                                  (m.major ? std::string() : " " + m.source);
                auto known = devices.find(key);
                if (known == devices.end())
                    known = devices.emplace(key, KindOfDevice(sysRoot, m)).first;
                const DeviceKind& d = known->second;
                m.kind = d.kind;
                m.reason = d.reason;
                break;
            }
            case Rule::Removable:
                m.kind = Kind::Removable;
                break;
            case Rule::Remote:
                m.kind = Kind::Remote;
                break;
            case Rule::Disc:
                m.kind = Kind::Disc;
                break;
            case Rule::RamDisk:
                m.kind = Kind::RamDisk;
                break;
            case Rule::Union:
                m.kind = Kind::Union;
                break;
            case Rule::Pseudo:
                m.kind = Kind::Pseudo;
                break;
        }
        if (m.kind == Kind::Fixed) {
            for (const char* folder : kRemovableMediaFolders)
                if (IsUnder(m.point, folder)) {
                    m.kind = Kind::Removable;
                    m.reason = "removable-media folder";
                }
        }
    }

    // Bind mounts: a fixed mount whose files another seen fixed mount of the same file
    // system already shows at another place. The one that shows the wider folder (on a
    // tie the earlier one) is the original; the other is a second view. The place where
    // the original shows them must not itself be hidden by a mount (a btrfs subvolume
    // mounted over its own folder is no second view).
    std::vector<Kind> first(m_mounts.size());
    for (size_t i = 0; i < m_mounts.size(); ++i)
        first[i] = m_mounts[i].kind;
    for (size_t i = 0; i < m_mounts.size(); ++i) {
        Mount& m = m_mounts[i];
        if (first[i] != Kind::Fixed || seen[i] != 1) continue;
        const Mount* best = nullptr;
        for (size_t k = 0; k < m_mounts.size(); ++k) {
            const Mount& n = m_mounts[k];
            if (k == i || first[k] != Kind::Fixed || seen[k] != 1) continue;
            if (n.major != m.major || n.minor != m.minor || !IsUnder(m.root, n.root)) continue;
            if (n.root == m.root && k > i) continue;
            std::string rel = n.root == "/" ? m.root : m.root.substr(n.root.size());
            std::string place = Normalize(n.point + (rel == "/" ? "" : rel));
            if (Of(place) != &n) continue;
            if (!best || n.root.size() < best->root.size()) best = &n;
        }
        if (best) {
            std::string rel = best->root == "/" ? m.root : m.root.substr(best->root.size());
            m.kind = Kind::Bind;
            m.origin = Normalize(best->point + (rel == "/" ? "" : rel));
            m.reason = "bind mount of " + m.origin;
        }
    }
}

const Mount* Table::At(const std::string& point) const {
    auto it = m_visible.find(point);
    return it == m_visible.end() ? nullptr : &m_mounts[it->second];
}

const Mount* Table::Of(const std::string& realPath) const {
    if (realPath.empty() || realPath[0] != '/') return nullptr;
    for (std::string p = realPath; !p.empty(); p = ParentOf(p))
        if (const Mount* m = At(p)) return m;
    return nullptr;
}

namespace {

// The table in force and where it is read from. The mount-table file is kept open: the
// kernel marks it (POLLPRI) whenever a mount comes or goes, so a change is seen at the
// next call and an unchanged table costs one poll.
struct Source {
    std::mutex lock;
    std::string mountinfoPath = "/proc/self/mountinfo";
    std::string sysRoot = "/sys";
    int fd = -1;
    std::shared_ptr<const Table> table;
};

Source& TheSource() {
    static Source* s = new Source;
    return *s;
}

bool ReadAll(int fd, std::string& text) {
    text.clear();
    if (lseek(fd, 0, SEEK_SET) != 0) return false;
    char buf[16384];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buf, size_t(n));
    }
}

}  // namespace

std::shared_ptr<const Table> Current() {
    Source& s = TheSource();
    std::lock_guard<std::mutex> g(s.lock);
    bool changed = !s.table;
    if (s.fd < 0) {
        s.fd = open(s.mountinfoPath.c_str(), O_RDONLY | O_CLOEXEC);
        changed = true;
    }
    if (s.fd >= 0 && !changed) {
        struct pollfd p = {s.fd, POLLPRI, 0};
        changed = poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
    }
    if (changed) {
        std::string text;
        if (s.fd >= 0 && ReadAll(s.fd, text)) {
            s.table = Table::Parse(text, s.sysRoot);
        } else {
            s.table = Table::Parse(std::string(), s.sysRoot);
            if (s.fd >= 0) close(s.fd);
            s.fd = -1;  // tried again next time
        }
    }
    return s.table;
}

void UseSources(const std::string& mountinfoPath, const std::string& sysRoot) {
    Source& s = TheSource();
    std::lock_guard<std::mutex> g(s.lock);
    s.mountinfoPath = mountinfoPath.empty() ? "/proc/self/mountinfo" : mountinfoPath;
    s.sysRoot = sysRoot.empty() ? "/sys" : sysRoot;
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
    s.table.reset();
}

std::string Normalize(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::string();
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string c = path.substr(i, j - i);
        if (c == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!c.empty() && c != ".") {
            parts.push_back(c);
        }
        i = j + 1;
    }
    std::string out;
    for (auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string Resolve(const std::string& path) {
    std::string real = RealPath(path);
    return real.empty() ? Normalize(path) : real;
}

bool IsUnder(const std::string& path, const std::string& dir) {
    if (dir == "/") return !path.empty() && path[0] == '/';
    return path.size() >= dir.size() && path.compare(0, dir.size(), dir) == 0 &&
           (path.size() == dir.size() || path[dir.size()] == '/');
}

bool MountOf(const std::string& realPath, Mount& mount) {
    std::shared_ptr<const Table> t = Current();
    const Mount* m = t->Of(realPath);
    if (!m) return false;
    mount = *m;
    return true;
}

bool IsOnPseudoFileSystem(const std::string& realPath) {
    std::shared_ptr<const Table> t = Current();
    const Mount* m = t->Of(realPath);
    return m && m->kind == Kind::Pseudo;
}

}  // namespace plat::mounts
