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
            {"8:1", testutil::kAta, "sda", "sda1", "0", "", ""},
            {"8:4", testutil::kAta, "sda", "sda4", "0", "", ""},
            {"8:17", testutil::kUsbStick, "sdb", "sdb1", "1", "", ""}};
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
            std::string line = m.hostPath + " (" + m.reason + ", " + m.fsType + ")";
            for (size_t at; (at = line.find(root_)) != std::string::npos;)
                line.replace(at, root_.size(), "~");
            out.push_back(line);
        }
        return out;
    }

    testutil::TempDir dir_;
    testutil::FakeSysfs sys_{dir_};
    std::string root_;
    testutil::ScopedDriveTable drives_{"C=/"};
};

TEST_F(MountListing, ListingsEnterOnlyFixedMounts) {
    // The drive table (~ standing for the tree), a folder, the names listed.
    const std::tuple<const char*, const wchar_t*, std::set<std::string>> cases[] = {
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
    for (const auto& [text, folder, names] : cases) {
        std::string table = text;
        for (size_t at; (at = table.find('~')) != std::string::npos;)
            table.replace(at, 1, root_);
        drives_.Set(table);
        EXPECT_EQ(ListNames(folder), names)
            << text << " " << plat::WideToMultiByte(CP_UTF8, folder);
    }
}

TEST_F(MountListing, HostsAreToldWhichMountsAWalkLeavesOutAndWhy) {
    // Neither /proc-like mounts nor mounts inside skipped ones (nas/sub) are worth saying;
    // inside a skipped mount, that mount is why nothing there is scanned.
    std::vector<std::string> top = {"~/My Share (network share, cifs)",
                                    "~/cd (disc or disc image, iso9660)",
                                    "~/disk2/tmp (RAM disk, tmpfs)",
                                    "~/home/share (network share, cifs)",
                                    "~/merged (union mount, overlay)",
                                    "~/nas (network share, nfs4)",
                                    "~/ram (RAM disk, tmpfs)",
                                    "~/stick (removable drive, vfat)",
                                    "~/view (bind mount of ~/photos, ext4)"};
    const std::pair<const wchar_t*, std::vector<std::string>> cases[] = {
        {L"E:\\", top},        {L"E:\\home\\", {"~/home/share (network share, cifs)"}},
        {L"E:\\photos\\", {}}, {L"E:\\nas\\sub\\", {"~/nas (network share, nfs4)"}},
        {L"E:\\proc\\", {}},   {L"Q:\\", {}},
    };
    for (const auto& [folder, want] : cases)
        EXPECT_EQ(Skipped(folder), want);
    // Mapped as drives of their own, the stick and the share leave E:'s list, and a drive
    // on the share is told about nothing inside it that it walks.
    drives_.Set("E=" + root_ + ";F=" + root_ + "/stick,type=fixed;G=" + root_ + "/nas");
    std::erase_if(top, [](const std::string& s) {
        return s.starts_with("~/nas ") || s.starts_with("~/stick ");
    });
    EXPECT_EQ(Skipped(L"E:\\"), top);
    EXPECT_EQ(Skipped(L"G:\\"), std::vector<std::string>{});
}

TEST_F(MountListing, ListingsFollowTheTableAsItChangesOnManyThreads) {
    std::ofstream(dir_ / "plain") << "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n";
    const std::set<std::string> withMounts = ListNames(L"E:\\");
    plat::mounts::UseSources(dir_ / "plain", sys_.root());
    const std::set<std::string> without = ListNames(L"E:\\");
    EXPECT_EQ(std::pair(withMounts.count("stick"), without.count("stick")),
              (std::pair<size_t, size_t>(0, 1)));
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
    // Without any mount table every folder is entered, as plain folders.
    plat::mounts::UseSources(dir_ / "missing", sys_.root());
    EXPECT_EQ(ListNames(L"E:\\").size(), 12u);  // every folder of the tree's top
    EXPECT_EQ(Skipped(L"E:\\"), std::vector<std::string>{});
}

}  // namespace
