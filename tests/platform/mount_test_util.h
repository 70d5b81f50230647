// What the mount tests share: a small sysfs tree standing for a machine's disks, the
// mount-table fixtures, and the names a folder listing gives.
#pragma once

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/filefind.h"

namespace testutil {

// The text of tests/platform/fixtures/<name>.
inline std::string MountFixture(const std::string& name) {
    std::ifstream in(std::filesystem::path(__FILE__).parent_path() / "fixtures" / name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
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
