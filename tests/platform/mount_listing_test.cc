// Folder listings of a real folder tree whose sub-folders a mount-table fixture marks as
// mount points of every kind; and the skipped mounts a host is told about.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "mount_test_util.h"
#include "picdex/drives.h"
#include "platform/mounts.h"

namespace {

using testutil::ListNames;

class MountListing : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = plat::mounts::Resolve(dir_.MakeDir("root"));
        // Every folder holds a picture, so that a listing that entered it would show it.
        for (const char* d : {"photos", "nas", "nas/sub", "stick", "cd", "ram", "merged", "home",
                              "home/share", "home/pics", "view", "outside", "proc", "My Share",
                              "disk2", "disk2/tmp", "disk2/keep"})
            dir_.WriteFile(std::string("root/") + d + "/a.jpg", "x");
        const testutil::BlockDevice disks[] = {
            {"8:1", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block", "sda", "sda1",
             "0", "", ""},
            {"8:4", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block", "sda", "sda4",
             "0", "", ""},
            {"8:17", "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block",
             "sdb", "sdb1", "1", "", ""},
        };
        for (const auto& d : disks)
            sys_.Add(d);
        std::string table = testutil::MountFixture("mountinfo_tree.txt");
        ASSERT_FALSE(table.empty());
        for (size_t at; (at = table.find("@ROOT@")) != std::string::npos;)
            table.replace(at, 6, root_);
        std::ofstream(dir_ / "mountinfo") << table;
        plat::mounts::UseSources(dir_ / "mountinfo", sys_.root());
        drives_.Set("E=" + root_);
    }
    void TearDown() override { plat::mounts::UseSources("", ""); }

    std::vector<std::string> Skipped(const CString& folder) {
        std::vector<std::string> out;
        for (const picdex::SkippedMount& m : picdex::GetSkippedMounts(folder)) {
            std::string point = m.hostPath;
            if (point.compare(0, root_.size(), root_) == 0)
                point = "~" + point.substr(root_.size());
            out.push_back(point + " (" + m.reason + ", " + m.fsType + ")");
        }
        return out;
    }

    testutil::TempDir dir_;
    testutil::FakeSysfs sys_{dir_};
    std::string root_;
    testutil::ScopedDriveTable drives_{"C=/"};
};

TEST_F(MountListing, ListingsEnterOnlyFixedMounts) {
    struct Case {
        const char* table;  // the drive table, ~ standing for the tree
        const wchar_t* folder;
        std::set<std::string> names;
    } cases[] = {
        // A bind mount of a folder on a fixed drive is a second view: left out. One of a
        // folder that no drive holds is the only way to its files: entered.
        {"E=~", L"E:\\", {"photos", "home", "disk2", "outside"}},
        {"C=/;E=~", L"E:\\", {"photos", "home", "disk2"}},
        {"E=~", L"E:\\home\\", {"a.jpg", "pics"}},
        {"E=~", L"E:\\disk2\\", {"a.jpg", "keep"}},
        {"E=~", L"E:\\photos\\", {"a.jpg"}},
        // Folders inside a mount that the walk leaves out are not listed either.
        {"E=~", L"E:\\nas\\", {"(fails)"}},
        {"E=~", L"E:\\nas\\sub\\", {"(fails)"}},
        {"E=~", L"E:\\My Share\\", {"(fails)"}},
        {"E=~", L"E:\\disk2\\tmp\\", {"(fails)"}},
        {"E=~", L"E:\\proc\\", {"(fails)"}},
        // A mount mapped as a drive of its own is walked there with the type given, and
        // the mounts below it are judged as below any drive.
        {"E=~;F=~/stick,type=fixed", L"F:\\", {"a.jpg"}},
        {"E=~;F=~/nas", L"F:\\", {"a.jpg", "sub"}},
        {"E=~;F=~/nas", L"F:\\sub\\", {"a.jpg"}},
        {"E=~;F=~/home", L"E:\\", {"photos", "disk2", "outside"}},
        {"E=~;F=~/home", L"F:\\", {"a.jpg", "pics"}},
    };
    for (const Case& c : cases) {
        std::string table = c.table;
        for (size_t at; (at = table.find('~')) != std::string::npos;)
            table.replace(at, 1, root_);
        drives_.Set(table);
        EXPECT_EQ(ListNames(c.folder), c.names)
            << c.table << " " << plat::WideToMultiByte(CP_UTF8, c.folder);
    }
}

TEST_F(MountListing, HostsAreToldWhichMountsAWalkLeavesOutAndWhy) {
    const std::vector<std::string> all = {"~/My Share (network share, cifs)",
                                          "~/cd (disc or disc image, iso9660)",
                                          "~/disk2/tmp (RAM disk, tmpfs)",
                                          "~/home/share (network share, cifs)",
                                          "~/merged (union mount, overlay)",
                                          "~/nas (network share, nfs4)",
                                          "~/ram (RAM disk, tmpfs)",
                                          "~/stick (removable drive, vfat)",
                                          "~/view (bind mount of ~/photos, ext4)"};
    // Neither /proc-like mounts nor mounts inside skipped ones (nas/sub) are worth saying.
    std::vector<std::string> got = Skipped(L"E:\\");
    for (std::string& s : got) {
        size_t at = s.find(root_);
        if (at != std::string::npos) s.replace(at, root_.size(), "~");
    }
    EXPECT_EQ(got, all);
    EXPECT_EQ(Skipped(L"E:\\home\\"),
              std::vector<std::string>{"~/home/share (network share, cifs)"});
    EXPECT_EQ(Skipped(L"E:\\photos\\"), std::vector<std::string>{});
    // A folder inside a skipped mount: that mount is why nothing there is scanned.
    EXPECT_EQ(Skipped(L"E:\\nas\\sub\\"), std::vector<std::string>{"~/nas (network share, nfs4)"});
    EXPECT_EQ(Skipped(L"E:\\proc\\"), std::vector<std::string>{});
    EXPECT_EQ(Skipped(L"Q:\\"), std::vector<std::string>{});

    // Mapped as drives of their own, the stick and the share leave E:'s list, and a drive
    // on the share is told about nothing inside it that it walks.
    drives_.Set("E=" + root_ + ";F=" + root_ + "/stick,type=fixed;G=" + root_ + "/nas");
    got = Skipped(L"E:\\");
    EXPECT_EQ(got.size(), all.size() - 2);
    for (const std::string& s : got)
        EXPECT_TRUE(s.find("stick") == std::string::npos && s.find("~/nas") == std::string::npos)
            << s;
    EXPECT_EQ(Skipped(L"F:\\"), std::vector<std::string>{});
    EXPECT_EQ(Skipped(L"G:\\"), std::vector<std::string>{});
}

TEST_F(MountListing, ATableThatChangesIsSeenAtTheNextListing) {
    EXPECT_EQ(ListNames(L"E:\\").count("stick"), 0u);
    std::ofstream(dir_ / "mountinfo") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    plat::mounts::UseSources(dir_ / "mountinfo", sys_.root());
    EXPECT_EQ(ListNames(L"E:\\").count("stick"), 1u);
    // Without any mount table every folder is entered, as plain folders.
    plat::mounts::UseSources(dir_ / "missing", sys_.root());
    EXPECT_EQ(ListNames(L"E:\\").size(), 12u);  // every folder of the tree's top
    EXPECT_EQ(Skipped(L"E:\\"), std::vector<std::string>{});
}

TEST_F(MountListing, ListingsOnManyThreadsWhileTheTableChanges) {
    std::ofstream(dir_ / "plain") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    const std::set<std::string> withMounts = ListNames(L"E:\\");
    plat::mounts::UseSources(dir_ / "plain", sys_.root());
    const std::set<std::string> without = ListNames(L"E:\\");
    ASSERT_NE(withMounts, without);
    std::atomic<int> odd{0}, done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                std::set<std::string> got = ListNames(L"E:\\");
                if (got != withMounts && got != without) ++odd;
                picdex::GetSkippedMounts(L"E:\\");
            }
            ++done;
        });
    for (int i = 0; done.load() < 4; ++i)
        plat::mounts::UseSources(dir_ / (i % 2 ? "plain" : "mountinfo"), sys_.root());
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(odd.load(), 0);
}

}  // namespace
