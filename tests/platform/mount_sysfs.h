// A small sysfs tree in a temporary folder, laid out as the kernel lays out block
// devices: devices/<bus path>/block/<disk>[/<partition>] with their removable flag,
// card type and device-mapper slaves, reached through dev/block/<major:minor> and
// class/block/<name> links. Used by the mount tests to stand for a machine's disks.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "common/temp_dir.h"

namespace testutil {

struct BlockDevice {
    const char* majorMinor;  // "8:17"
    const char* busPath;     // below devices/, up to the disk's parent folder
    const char* disk;        // "sdb"
    const char* partition;   // "sdb1", or "" for a whole disk
    const char* removable;   // the disk's removable flag, "0" or "1"
    const char* cardType;    // an MMC card's type ("SD", "MMC"), or ""
    const char* slaves;      // a device-mapper disk's slave, or ""
};

class FakeSysfs {
public:
    explicit FakeSysfs(const TempDir& dir) : m_root(dir / "sys") {}
    const std::string& root() const { return m_root; }

    void Add(const BlockDevice& d) {
        namespace fs = std::filesystem;
        std::string disk = m_root + "/devices/" + d.busPath + "/" + d.disk;
        std::string dev = *d.partition ? disk + "/" + d.partition : disk;
        fs::create_directories(dev);
        if (*d.partition) std::ofstream(dev + "/partition") << "1\n";
        std::ofstream(disk + "/removable") << d.removable << "\n";
        if (*d.cardType) {
            fs::create_directories(disk + "/device");
            std::ofstream(disk + "/device/type") << d.cardType << "\n";
        }
        if (*d.slaves) fs::create_directories(disk + "/slaves/" + d.slaves);
        fs::create_directories(m_root + "/dev/block");
        fs::create_directories(m_root + "/class/block");
        std::error_code ec;
        fs::create_directory_symlink(dev, m_root + "/dev/block/" + d.majorMinor, ec);
        std::string name = *d.partition ? d.partition : d.disk;
        fs::create_directory_symlink(dev, m_root + "/class/block/" + name, ec);
    }

private:
    std::string m_root;
};

}  // namespace testutil
