// Raw volumes: opening a drive's device and positional reads. (Why a device cannot be
// opened is checked through the drive lister, ntfs_list_test.cc.)
#include <gtest/gtest.h>

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

}  // namespace
