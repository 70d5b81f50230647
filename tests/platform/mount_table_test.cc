// The kind of every mount of a laptop's mount table (a fixture), with its disks laid out
// in a small sysfs tree.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "common/temp_dir.h"
#include "mount_test_util.h"
#include "platform/mounts.h"

namespace {

using plat::mounts::Kind;
using plat::mounts::Table;

using namespace testutil;

// The laptop's disks: an NVMe disk (with a LUKS home on it), a SATA disk, a SATA card
// reader that says removable, USB sticks and a USB disk that does not, an SD card and
// soldered-in eMMC, loop devices, a disc drive, zram and a network block device.
const BlockDevice kDisks[] = {
    {"259:1", kNvme, "nvme0n1", "nvme0n1p1", "0", "", ""},
    {"259:2", kNvme, "nvme0n1", "nvme0n1p2", "0", "", ""},
    {"259:3", kNvme, "nvme0n1", "nvme0n1p3", "0", "", ""},
    {"259:4", kNvme, "nvme0n1", "nvme0n1p4", "0", "", ""},
    {"259:5", kNvme, "nvme0n1", "nvme0n1p5", "0", "", ""},
    {"259:6", kNvme, "nvme0n1", "nvme0n1p6", "0", "", ""},
    {"253:1", kVirtual, "dm-1", "", "0", "", "nvme0n1p3"},
    {"8:1", kAta, "sda", "sda1", "0", "", ""},
    {"8:2", kAta, "sda", "sda2", "0", "", ""},
    {"8:49", kAta, "sdd", "sdd1", "1", "", ""},
    {"8:17", kUsbStick, "sdb", "sdb1", "1", "", ""},
    {"8:18", kUsbStick, "sdb", "sdb2", "1", "", ""},
    {"8:33", kUsbDisk, "sdc", "sdc1", "0", "", ""},
    {"8:65", kUsbDisk, "sde", "sde1", "0", "", ""},
    {"253:0", kVirtual, "dm-0", "", "0", "", "sde1"},
    {"179:1", kMmc, "mmcblk0", "mmcblk0p1", "0", "SD", ""},
    {"179:257", kEmmc, "mmcblk1", "mmcblk1p1", "0", "MMC", ""},
    {"7:0", kVirtual, "loop0", "", "0", "", ""},
    {"7:1", kVirtual, "loop1", "", "0", "", ""},
    {"11:0", kAta, "sr0", "", "1", "", ""},
    {"252:0", kVirtual, "zram0", "", "0", "", ""},
    {"43:0", kVirtual, "nbd0", "", "0", "", ""},
};

class MountTable : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto& d : kDisks)
            sys_.Add(d);
        table_ = Table::Parse(testutil::MountFixture("mountinfo_laptop.txt"), sys_.root());
    }
    testutil::TempDir dir_;
    testutil::FakeSysfs sys_{dir_};
    std::shared_ptr<const Table> table_;
};

TEST_F(MountTable, EveryMountGetsTheKindOfDriveItIs) {
    // Every mount point under its kind and reason, in the table's order. Fixed: LUKS on
    // the NVMe disk (/home), an ext4 image on a loop device, btrfs subvolumes named by
    // their source (one mounted over its own folder: no second view), the twin of
    // /media/ann/Data. Removable: a USB disk with removable flag 0, LUKS on a USB disk, an
    // SD card, a disk with the removable flag alone. /mnt/over: the tmpfs over the ext4.
    const char* kinds[] = {"fixed", "removable", "remote", "disc",   "RAM",
                           "union", "bind",      "pseudo", "unknown"};
    std::map<std::string, std::string> groups;
    for (const plat::mounts::Mount& m : table_->All())
        groups[std::string(kinds[int(m.kind)]) + ": " + m.reason] += m.point + ", ";
    const std::map<std::string, std::string> want = {
        {"fixed: ",
         "/, /boot/efi, /home, /mnt/nas/sub, /srv/emmc, /data, /mnt/image, /mnt/pool, "
         "/mnt/pool/home, /mnt/pool/snap, /mnt/disk, /mnt/over, /mnt/over/inner, "},
        {"removable: phone or camera", "/home/ann/phone, "},
        {"removable: removable drive",
         "/media/ann/STICK, /mnt/backup, /mnt/card, /mnt/flag, /mnt/secret, "
         "/media/ann/tab\tname, "},
        {"removable: removable-media folder", "/media/ann/Data, "},
        {"remote: network share", "/mnt/nas, /mnt/My Share, /mnt/smb, /home/ann/remote, "},
        {"remote: FUSE file system", "/home/ann/weird, "},
        {"remote: network block device", "/mnt/nbd, "},
        {"disc: read-only image", "/snap/core22/1380, "},
        {"disc: disc or disc image", "/mnt/cdrom, "},
        {"RAM: RAM disk", "/run, /mnt/zram, /mnt/ram, /mnt/over, /mnt/back\\slash, "},
        {"union: union mount", "/var/lib/docker/overlay2/abc/merged, "},
        {"bind: bind mount of /home/ann/photos", "/srv/photos, "},
        {"bind: bind mount of /mnt/disk", "/srv/disk, "},
        {"pseudo: pseudo file system", "/proc, /sys, /dev, /net, "},
        {"unknown: not a disk file system", "/mnt/weird, "},
    };
    EXPECT_EQ(groups, want);
    EXPECT_EQ(table_->At("/mnt/My Share")->source, "//nas/My Share");
    EXPECT_EQ(table_->At("/mnt/pool/home")->root, "/@home");
    // Without sysfs, disk file systems are fixed and the rest keep their kind.
    auto bare = Table::Parse(testutil::MountFixture("mountinfo_laptop.txt"), dir_ / "no-sys");
    EXPECT_EQ((std::vector<Kind>{bare->At("/mnt/backup")->kind, bare->At("/mnt/nas")->kind,
                                 bare->At("/media/ann/STICK")->kind}),
              (std::vector<Kind>{Kind::Fixed, Kind::Remote, Kind::Removable}));
}

TEST_F(MountTable, UnreadableLinesAreLeftOutAndPathsFindTheSeenMountAboveThem) {
    for (const char* text :
         {"- - - - - - - -", "1 0 8:1 / / - ext4", "1 0 8:1 \\ /\\777x rw - ext4 x",
          "99999999999999999999 0 8:1 / /x rw - ext4 /dev/sda1 rw"})
        for (auto t = Table::Parse(text, sys_.root()); const auto& m : t->All())
            EXPECT_FALSE(m.point.empty()) << text;
    EXPECT_EQ(Table::Parse("1 0 8:1 / /a\\777b rw - ext4 /dev/sda1 rw", "")->All().at(0).point,
              "/a\\777b");  // not a byte: kept as written
    const std::pair<const char*, const char*> cases[] = {
        {"/etc/fstab", "/"},
        {"/mnt/nas/2008/a.jpg", "/mnt/nas"},
        {"/mnt/nas/sub/a.jpg", "/mnt/nas/sub"},
        {"/mnt/nassub", "/"},
        {"/mnt/over/inner/x", "/mnt/over"},  // the ext4 and its sub-mount are hidden
        {"/mnt/pool/home/ann", "/mnt/pool/home"},
    };
    for (auto [path, point] : cases)
        EXPECT_EQ(table_->Of(path)->point, point) << path;
    EXPECT_EQ(table_->At("/mnt/over/inner"), nullptr);
    EXPECT_EQ(table_->At("/mnt/over")->fsType, "tmpfs");
    EXPECT_EQ(table_->Of("relative"), nullptr);
}

}  // namespace
