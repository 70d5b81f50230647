// Raw volumes: opening a drive's device, positional reads, and why a device cannot be
// opened.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/file.h"
#include "platform/raw_volume.h"

namespace {

TEST(NtfsVolumeTest, PositionalReadsOfARawVolume) {
    testutil::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += char('a' + i % 26);
    std::string device = dir.WriteFile("volume.img", bytes);
    testutil::ScopedDriveTable table("V=" + dir.MakeDir("v") + ",fs=NTFS,device=" + device);

    EXPECT_EQ(CreateFileW(L"\\\\.\\V:", GENERIC_READ | GENERIC_WRITE, 3, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);  // never for writing
    HANDLE h = CreateFileW(L"\\\\.\\V:", GENERIC_READ, 3, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    struct Case {
        LONGLONG offset;
        DWORD want;
        BOOL ok;
        DWORD got;
    } cases[] = {
        {0, 10, TRUE, 10},   {1234, 100, TRUE, 100},   {4990, 100, TRUE, 10},
        {5000, 10, TRUE, 0}, {1LL << 40, 10, TRUE, 0}, {-1, 10, FALSE, 0},
        {0, 0, TRUE, 0},
    };
    char buf[128];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        DWORD got = 99;
        EXPECT_EQ(ReadFileAt(h, buf, c.want, c.offset, &got), c.ok);
        EXPECT_EQ(got, c.got);
        if (c.got) {
            EXPECT_EQ(std::string(buf, got), bytes.substr(size_t(c.offset), got));
        }
    }
    // The handle's own position does not move.
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(h, buf, 3, &got));
    EXPECT_EQ(std::string(buf, got), "abc");
    CloseHandle(h);
    EXPECT_FALSE(ReadFileAt(h, buf, 3, 0, &got));  // closed
    EXPECT_FALSE(ReadFileAt(nullptr, buf, 3, 0, &got));
}

TEST(NtfsVolumeTest, ProbeSaysWhyADeviceCannotBeOpened) {
    testutil::TempDir dir;
    std::string folder = dir.MakeDir("v");
    std::string image = dir.WriteFile("volume.img", "x");
    struct Case {
        std::string table;
        int error;
        std::string device;
    } cases[] = {
        {"V=" + folder + ",device=" + image, 0, image},
        {"V=" + folder + ",device=" + folder + "/missing", ENOENT, folder + "/missing"},
        {"V=" + folder + ",device=" + folder, EISDIR, folder},
        {"V=" + folder + ",device=/dev/null", ENOTBLK, "/dev/null"},
        // A folder that is not the mount point of a whole volume has no device.
        {"V=" + folder, ENODEV, ""},
        {"W=" + folder, ENODEV, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        testutil::ScopedDriveTable table(c.table);
        std::string device = "?";
        EXPECT_EQ(plat::ProbeRawVolume(L'V', &device), c.error);
        EXPECT_EQ(device, c.device);
    }
}

}  // namespace
