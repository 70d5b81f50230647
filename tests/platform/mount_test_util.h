// What the mount tests share: a small sysfs tree standing for a machine's disks, the
// mount-table fixtures, and the names a folder listing gives.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/filefind.h"

namespace testutil {

// The text of tests/platform/fixtures/<name>.
inline std::string MountFixture(const std::string& name) {
    return ReadFile((std::filesystem::path(__FILE__).parent_path() / "fixtures" / name).string());
}

// The names a listing of `folder` ("E:\photos\") gives, "." and ".." left out;
// {"(fails)"} when the folder cannot be listed.
inline std::set<std::string> ListNames(const CString& folder) {
    std::set<std::string> names;
    CFileFind finder;
    BOOL working = finder.FindFile(folder + L"*");
    if (!working) return {"(fails)"};
    while (working) {
        working = finder.FindNextFile();
        if (!finder.IsDots()) names.insert(plat::WideToMultiByte(CP_UTF8, finder.GetFileName()));
    }
    return names;
}

// A sysfs tree in a temporary folder, laid out as the kernel lays out block devices:
// devices/<bus path>/<disk>[/<partition>] with the removable flag, card type and
// device-mapper slaves, reached through dev/block/<major:minor> and class/block/<name>.
// Bus paths of a laptop's disks:
const char kNvme[] = "pci0000:00/0000:00:1d.0/0000:02:00.0/nvme/nvme0";
const char kAta[] = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block";
const char kUsbStick[] = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block";
const char kUsbDisk[] = "pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host7/target7:0:0/7:0:0:0/block";
const char kMmc[] = "pci0000:00/0000:00:14.5/mmc_host/mmc0/mmc0:aaaa/block";
const char kEmmc[] = "platform/soc/mmc_host/mmc1/mmc1:0001/block";
const char kVirtual[] = "virtual/block";

// A disk or partition ("8:17", bus path, "sdb", "sdb1" or "" for a whole disk), the disk's
// removable flag ("0", "1"), an MMC card's type ("SD", "MMC" or "") and a device-mapper
// disk's slave (or "").
struct BlockDevice {
    const char *majorMinor, *busPath, *disk, *partition, *removable, *cardType, *slaves;
};

class FakeSysfs {
public:
    explicit FakeSysfs(const TempDir& dir) : m_dir(dir) {}
    std::string root() const { return m_dir / "sys"; }

    void Add(const BlockDevice& d) {
        std::string disk = std::string("sys/devices/") + d.busPath + "/" + d.disk;
        std::string dev = *d.partition ? disk + "/" + d.partition : disk;
        m_dir.MakeDir(dev);
        if (*d.partition) m_dir.WriteFile(dev + "/partition", "1\n");
        m_dir.WriteFile(disk + "/removable", std::string(d.removable) + "\n");
        if (*d.cardType) m_dir.WriteFile(disk + "/device/type", std::string(d.cardType) + "\n");
        if (*d.slaves) m_dir.MakeDir(disk + "/slaves/" + d.slaves);
        m_dir.MakeDir("sys/dev/block");
        m_dir.MakeDir("sys/class/block");
        std::error_code ec;
        std::string name = *d.partition ? d.partition : d.disk;
        std::filesystem::create_directory_symlink(m_dir / dev,
                                                  root() + "/dev/block/" + d.majorMinor, ec);
        std::filesystem::create_directory_symlink(m_dir / dev, root() + "/class/block/" + name, ec);
    }

private:
    const TempDir& m_dir;
};

}  // namespace testutil
