// Real mounts: tmpfs file systems mounted below a drive's folder, in a mount namespace of
// the test's own (so nobody else sees them and they go with the process). Needs root;
// skipped with the reason where it cannot mount. (Bind mounts are judged from the same
// kernel table lines that the listing tests' fixture holds.)
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
        for (const char* d : {"photos", "ram", "disk", "late"})
            dir_.WriteFile(std::string("root/") + d + "/a.jpg", "x");
        drives_.Set("E=" + root_);
    }
    void TearDown() override {
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
            EXPECT_EQ(umount2(it->c_str(), MNT_DETACH), 0) << Errno(it->c_str());
        plat::mounts::UseSources("", "");
    }
    // Mounts and remembers to unmount; the reason when it cannot.
    std::string Mount(const std::string& rel) {
        std::string point = root_ + "/" + rel;
        if (mount("none", point.c_str(), "tmpfs", 0, nullptr) != 0)
            return Errno("cannot mount a tmpfs");
        mounted_.push_back(point);
        return std::string();
    }
    // The mounts a walk of E: leaves out, "point (reason, type) " each, below the root.
    std::string Skipped() {
        std::string out;
        for (const auto& m : picdex::GetSkippedMounts(L"E:\\"))
            out += m.hostPath.substr(root_.size()) + " (" + m.reason + ", " + m.fsType + ") ";
        return out;
    }

    testutil::TempDir dir_;
    std::string root_;
    std::vector<std::string> mounted_;
    testutil::ScopedDriveTable drives_{"C=/"};
};

// A tmpfs below a drive is left out, one mounted after a listing at once from the next
// one on, and a tmpfs mapped as a drive of its own is walked.
TEST_F(RealMounts, TmpfsIsLeftOutAtOnceUnlessMappedOnPurpose) {
    std::string why = Mount("ram");
    if (!why.empty()) GTEST_SKIP() << why;
    dir_.WriteFile("root/ram/b.jpg", "y");
    EXPECT_EQ(ListNames(L"E:\\"), (std::set<std::string>{"photos", "disk", "late"}));
    EXPECT_EQ(ListNames(L"E:\\ram\\"), std::set<std::string>{"(fails)"});
    EXPECT_EQ(Skipped(), "/ram (RAM disk, tmpfs) ");
    ASSERT_EQ(Mount("late"), "");
    EXPECT_EQ(ListNames(L"E:\\"), (std::set<std::string>{"photos", "disk"}));
    drives_.Set("E=" + root_ + ";F=" + root_ + "/ram");
    EXPECT_EQ(ListNames(L"F:\\"), std::set<std::string>{"b.jpg"});
    EXPECT_EQ(Skipped(), "/late (RAM disk, tmpfs) ");
}

}  // namespace
