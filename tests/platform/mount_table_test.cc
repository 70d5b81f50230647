// The kind of every mount of a laptop's mount table (a fixture), with its disks laid out
// in a small sysfs tree.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "mount_test_util.h"
#include "platform/mounts.h"

namespace {

using plat::mounts::Kind;
using plat::mounts::Table;

const char kNvme[] = "pci0000:00/0000:00:1d.0/0000:02:00.0/nvme/nvme0";
const char kAta[] = "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block";
const char kUsbStick[] = "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block";
const char kUsbDisk[] = "pci0000:00/0000:00:14.0/usb3/3-2/3-2:1.0/host7/target7:0:0/7:0:0:0/block";
const char kMmc[] = "pci0000:00/0000:00:14.5/mmc_host/mmc0/mmc0:aaaa/block";
const char kEmmc[] = "platform/soc/mmc_host/mmc1/mmc1:0001/block";
const char kVirtual[] = "virtual/block";

// The laptop's disks: an NVMe disk (with a LUKS home on it), a SATA disk, a SATA card
// reader that says removable, USB sticks and a USB disk that does not, an SD card and
// soldered-in eMMC, loop devices, a disc drive, zram and a network block device.
const testutil::BlockDevice kDisks[] = {
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
    struct Case {
        const char* point;
        Kind kind;
        const char* reason;
    } cases[] = {
        {"/", Kind::Fixed, ""},
        {"/boot/efi", Kind::Fixed, ""},
        {"/home", Kind::Fixed, ""},  // LUKS on the NVMe disk
        {"/srv/emmc", Kind::Fixed, ""},
        {"/mnt/image", Kind::Fixed, ""},  // an ext4 image on a loop device
        {"/mnt/nas/sub", Kind::Fixed, ""},
        {"/mnt/pool", Kind::Fixed, ""},       // btrfs subvolumes, named by the source
        {"/mnt/pool/home", Kind::Fixed, ""},  // another subvolume: no second view
        {"/mnt/pool/snap", Kind::Fixed, ""},  // mounted over its own folder: no second view
        {"/mnt/disk", Kind::Fixed, ""},
        {"/data", Kind::Fixed, ""},  // its twin in /media is not scanned
        {"/mnt/nas", Kind::Remote, "network share"},
        {"/mnt/My Share", Kind::Remote, "network share"},
        {"/mnt/smb", Kind::Remote, "network share"},
        {"/home/ann/remote", Kind::Remote, "network share"},
        {"/home/ann/weird", Kind::Remote, "FUSE file system"},
        {"/mnt/nbd", Kind::Remote, "network block device"},
        {"/home/ann/phone", Kind::Removable, "phone or camera"},
        {"/media/ann/STICK", Kind::Removable, "removable drive"},
        {"/media/ann/tab\tname", Kind::Removable, "removable drive"},
        {"/mnt/backup", Kind::Removable, "removable drive"},   // USB, removable flag 0
        {"/srv/usbdisk", Kind::Removable, "removable drive"},  // likewise
        {"/mnt/secret", Kind::Removable, "removable drive"},   // LUKS on the USB disk
        {"/mnt/card", Kind::Removable, "removable drive"},     // SD card
        {"/mnt/flag", Kind::Removable, "removable drive"},     // removable flag alone
        {"/media/ann/Data", Kind::Removable, "removable-media folder"},
        {"/snap/core22/1380", Kind::Disc, "read-only image"},
        {"/mnt/cdrom", Kind::Disc, "disc or disc image"},
        {"/run", Kind::RamDisk, "RAM disk"},
        {"/tmp", Kind::RamDisk, "RAM disk"},
        {"/dev/shm", Kind::RamDisk, "RAM disk"},
        {"/mnt/ram", Kind::RamDisk, "RAM disk"},
        {"/mnt/zram", Kind::RamDisk, "RAM disk"},
        {"/mnt/back\\slash", Kind::RamDisk, "RAM disk"},
        {"/mnt/over", Kind::RamDisk, "RAM disk"},  // the tmpfs mounted over the ext4
        {"/var/lib/docker/overlay2/abc/merged", Kind::Union, "union mount"},
        {"/srv/photos", Kind::Bind, "bind mount of /home/ann/photos"},
        {"/srv/disk", Kind::Bind, "bind mount of /mnt/disk"},
        {"/proc", Kind::Pseudo, "pseudo file system"},
        {"/sys/fs/cgroup", Kind::Pseudo, "pseudo file system"},
        {"/dev", Kind::Pseudo, "pseudo file system"},
        {"/net", Kind::Pseudo, "pseudo file system"},
        {"/mnt/weird", Kind::Unknown, "not a disk file system"},
    };
    for (const Case& c : cases) {
        const plat::mounts::Mount* m = table_->At(c.point);
        ASSERT_NE(m, nullptr) << c.point;
        EXPECT_EQ(int(m->kind), int(c.kind)) << c.point;
        EXPECT_EQ(m->reason, c.reason) << c.point;
    }
    EXPECT_EQ(table_->At("/srv/photos")->origin, "/home/ann/photos");
    EXPECT_EQ(table_->At("/mnt/My Share")->source, "//nas/My Share");
    EXPECT_EQ(table_->At("/mnt/pool/home")->root, "/@home");
}

TEST_F(MountTable, UnreadableLinesAreLeftOutAndTheRestKept) {
    EXPECT_EQ(table_->All().size(), 46u);
    for (const char* point : {"/mnt/bad", "/mnt/nodash", "relative/point", "/relative/point"})
        EXPECT_EQ(table_->At(point), nullptr) << point;
    // Nothing that is not a mount table yields a mount, and nothing crashes.
    for (const char* text : {"", "\n\n", "- - - - - - - -", "1 0 8:1 / / - ext4",
                             "1 0 8:1 \\ /\\777x rw - ext4 /dev/sda1 rw\n",
                             "99999999999999999999 0 8:1 / /x rw - ext4 /dev/sda1 rw"}) {
        auto t = Table::Parse(text, sys_.root());
        for (const auto& m : t->All())
            EXPECT_FALSE(m.point.empty()) << text;
    }
    EXPECT_EQ(Table::Parse("1 0 8:1 / /a\\777b rw - ext4 /dev/sda1 rw", "")->All().at(0).point,
              "/a\\777b");  // not a byte: kept as written
}

TEST_F(MountTable, TheMountOfAPathIsTheSeenOneClosestAboveIt) {
    struct Case {
        const char* path;
        const char* point;
    } cases[] = {
        {"/", "/"},
        {"/etc/fstab", "/"},
        {"/mnt/nas/2008/a.jpg", "/mnt/nas"},
        {"/mnt/nas/sub/a.jpg", "/mnt/nas/sub"},
        {"/mnt/nassub", "/"},
        {"/mnt/My Share/x", "/mnt/My Share"},
        {"/mnt/over/inner/x", "/mnt/over"},  // the ext4 and its sub-mount are hidden
        {"/mnt/pool/home/ann", "/mnt/pool/home"},
    };
    for (const Case& c : cases) {
        const plat::mounts::Mount* m = table_->Of(c.path);
        ASSERT_NE(m, nullptr) << c.path;
        EXPECT_EQ(m->point, c.point) << c.path;
    }
    EXPECT_EQ(table_->At("/mnt/over/inner"), nullptr);
    EXPECT_EQ(table_->At("/mnt/over")->fsType, "tmpfs");
    EXPECT_EQ(table_->Of("relative"), nullptr);
    int hidden = 0;
    for (const auto& m : table_->All())
        hidden += !table_->IsVisible(m);
    EXPECT_EQ(hidden, 2);  // the ext4 at /mnt/over and the mount inside it
}

TEST_F(MountTable, WithoutSysfsDiskFileSystemsAreFixedAndTheRestKeepTheirKind) {
    auto t = Table::Parse(testutil::MountFixture("mountinfo_laptop.txt"), dir_ / "no-sys");
    EXPECT_EQ(int(t->At("/mnt/backup")->kind), int(Kind::Fixed));
    EXPECT_EQ(int(t->At("/media/ann/STICK")->kind), int(Kind::Removable));  // by its folder
    EXPECT_EQ(int(t->At("/mnt/nas")->kind), int(Kind::Remote));
    EXPECT_EQ(int(t->At("/snap/core22/1380")->kind), int(Kind::Disc));
}

}  // namespace
