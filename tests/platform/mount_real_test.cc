// Real mounts: a tmpfs and a bind mount made below a drive's folder, in a mount
// namespace of the test's own (so nobody else sees them and they go with the process).
// Needs root; skipped with the reason where it cannot mount.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "mount_test_util.h"
#include "picdex/drives.h"
#include "platform/mounts.h"

namespace {

using testutil::ListNames;

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Moves the process into a mount namespace of its own in which nothing propagates
// back. "" on success, else why not.
std::string PrivateMountNamespace() {
    static std::string why = [] {
        if (unshare(CLONE_NEWNS) != 0) return Errno("cannot make a mount namespace (unshare)");
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return Errno("cannot make the mounts private");
        return std::string();
    }();
    // The table was read in the namespace left behind.
    plat::mounts::UseSources("", "");
    return why;
}

class RealMounts : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why = PrivateMountNamespace();
        if (!why.empty()) GTEST_SKIP() << why;
        root_ = plat::mounts::Resolve(dir_.MakeDir("root"));
        for (const char* d : {"photos", "ram", "disk", "sub/view", "late"})
            dir_.WriteFile(std::string("root/") + d + "/a.jpg", "x");
        drives_.Set("E=" + root_);
    }
    void TearDown() override {
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
            EXPECT_EQ(umount2(it->c_str(), MNT_DETACH), 0) << Errno(it->c_str());
        plat::mounts::UseSources("", "");
    }
    // Mounts and remembers to unmount; the reason when it cannot.
    std::string Mount(const std::string& source, const std::string& rel, const char* type,
                      unsigned long flags) {
        std::string point = root_ + "/" + rel;
        if (mount(source.c_str(), point.c_str(), type, flags, nullptr) != 0)
            return Errno(("cannot mount " + std::string(type ? type : "a bind mount")).c_str());
        mounted_.push_back(point);
        return std::string();
    }
    std::map<std::string, std::string> Skipped() {
        std::map<std::string, std::string> out;
        for (const auto& m : picdex::GetSkippedMounts(L"E:\\"))
            out[m.hostPath.substr(root_.size())] = m.reason + ", " + m.fsType;
        return out;
    }

    testutil::TempDir dir_;
    std::string root_;
    std::vector<std::string> mounted_;
    testutil::ScopedDriveTable drives_{"C=/"};
};

// A tmpfs and a bind mount of a scanned folder below a drive are left out, and walked
// when mapped as drives of their own (the bind mount when no drive holds its folder).
TEST_F(RealMounts, TmpfsAndBindMountsAreLeftOutUnlessMappedOnPurpose) {
    std::string why =
        Mount("none", "ram", "tmpfs", 0) + Mount(root_ + "/photos", "sub/view", nullptr, MS_BIND);
    if (!why.empty()) GTEST_SKIP() << why;
    dir_.WriteFile("root/ram/b.jpg", "y");
    EXPECT_EQ(ListNames(L"E:\\"), (std::set<std::string>{"photos", "disk", "sub", "late"}));
    EXPECT_EQ(ListNames(L"E:\\ram\\"), std::set<std::string>{"(fails)"});
    EXPECT_EQ(ListNames(L"E:\\sub\\"), std::set<std::string>{});
    EXPECT_EQ(Skipped()["/ram"], "RAM disk, tmpfs");
    // A mount made after a listing is seen by the next one, at once.
    ASSERT_EQ(Mount("none", "late", "tmpfs", 0), "");
    EXPECT_EQ(ListNames(L"E:\\"), (std::set<std::string>{"photos", "disk", "sub"}));
    drives_.Set("E=" + root_ + ";F=" + root_ + "/ram");
    EXPECT_EQ(ListNames(L"F:\\"), std::set<std::string>{"b.jpg"});
    auto skipped = Skipped();
    EXPECT_EQ(skipped.count("/ram"), 0u);
    plat::mounts::Mount tmp;
    ASSERT_TRUE(plat::mounts::MountOf(root_, tmp));
    if (tmp.kind != plat::mounts::Kind::Fixed)
        GTEST_SKIP() << "the temporary folder is on " << tmp.fsType
                     << ", not a disk: the bind mount is left out as that";
    EXPECT_EQ(skipped["/sub/view"], "bind mount of " + root_ + "/photos, " + tmp.fsType);
    drives_.Set("E=" + root_ + "/sub");
    EXPECT_EQ(ListNames(L"E:\\view\\"), std::set<std::string>{"a.jpg"});
}

}  // namespace
