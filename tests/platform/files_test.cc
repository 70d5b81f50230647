// Folder listings and files of a drive E: on a temporary folder. (The scanner's file
// tests cover what it reads of a listing - full paths, sizes and times - and folders made
// level by level, attributes and existence.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/filefind.h"

namespace {

namespace fs = std::filesystem;

class Files : public ::testing::Test {
protected:
    // "name" for a folder, "name size" for anything else, in the order listed; "(fails)"
    // when the folder cannot be listed.
    std::string List(const CString& pattern) {
        CFileFind finder;
        BOOL working = finder.FindFile(pattern);
        std::string out = working ? "" : "(fails)";
        while (working) {
            working = finder.FindNextFile();
            out += (out.empty() ? "" : "|") + plat::WideToMultiByte(CP_UTF8, finder.GetFileName());
            if (!finder.IsDirectory()) out += " " + std::to_string(finder.GetLength());
        }
        return out;
    }

    testutil::TempDir dir_;
    testutil::ScopedDriveTable drives_{"C=/;E=" + dir_.path()};
};

TEST_F(Files, ListingsShowNamesFoldersAndSizesNeverFollowingLinks) {
    dir_.WriteFile("a.jpg", "12345");
    dir_.WriteFile("real/x.png", "x");
    fs::create_directory_symlink("real", dir_ / "loop");
    fs::create_symlink("real/x.png", dir_ / "link.png");
    dir_.WriteFile("back\\slash.jpg", "x");  // names the library cannot write
    dir_.WriteFile("bad\xFFname.jpg", "x");
    dir_.WriteFile("照片.jpg", "xy");
    dir_.MakeDir("photos/2008");
    drives_.Set("C=/;E=" + dir_.path() + ";F=" + dir_.path() + "/photos");
    EXPECT_EQ(List(L"E:\\*"), ".|..|a.jpg 5|link.png 10|loop 4|real|照片.jpg 2");
    EXPECT_EQ(List(L"F:\\*.*"), ".|..|2008");  // F:'s folder is not listed on E:
    dir_.WriteFile("file.txt", "x");
    for (const wchar_t* bad : {L"E:\\missing\\*", L"E:\\file.txt\\*", L"E:\\*.jpg", L"Z:\\*"})
        EXPECT_EQ(List(bad), "(fails)");  // only whole folders of mapped drives
    // (Mounts of other kinds, /proc among them, are left out: see the mount listing tests.)
}

// (Reads and seeks are the digests' and the analysis's daily bread: their tests read
// files through them at every boundary.)
TEST_F(Files, OpenCreateAndTheRawVolume) {
    dir_.WriteFile("data.bin", std::string(10000, 'x'));
    char buf[16];
    DWORD got = 0;
    // A named pipe without a writer would block a plain open for ever.
    ASSERT_EQ(mkfifo((dir_ / "pipe.jpg").c_str(), 0600), 0);
    for (const wchar_t* bad : {L"E:\\none", L"E:\\", L"E:\\pipe.jpg"})
        EXPECT_EQ(CreateFileW(bad, GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);

    // Opened to create but not truncate: the content stays, a write inside keeps the length.
    CFile file;
    ASSERT_TRUE(file.Open(L"E:\\data.bin",
                          CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_EQ(file.Seek(-10, CFile::end), 9990);
    EXPECT_TRUE(file.Write("hello", 5));
    EXPECT_EQ(file.GetLength(), 10000u);
    EXPECT_FALSE(file.Open(L"E:\\none", CFile::modeRead));
    EXPECT_EQ(file.Read(buf, 1), 0u);

    // "\\.\X:" reads the drive's device, here an image file, and never for writing.
    std::string image = dir_.WriteFile("vol.img", std::string("\xEB\x52\x90NTFS    ", 11));
    drives_.Set("E=" + dir_.path() + ",fs=NTFS,device=" + image);
    HANDLE h =
        CreateFileW(L"\\\\.\\E:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_TRUE(ReadFile(h, buf, 11, &got));
    EXPECT_EQ(std::string(buf + 3, got - 3), "NTFS    ");
    CloseHandle(h);
    EXPECT_EQ(CreateFileW(L"\\\\.\\E:", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(L"\\\\.\\Q:", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

}  // namespace
