// Folder listings, attributes and files of a drive E: on a temporary folder.
#include <fcntl.h>
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
    const timespec times[2] = {{0, UTIME_OMIT}, {1200000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / "a.jpg").c_str(), times, 0), 0);
    drives_.Set("C=/;E=" + dir_.path() + ";F=" + dir_.path() + "/photos");
    EXPECT_EQ(List(L"E:\\*"), ".|..|a.jpg 5|link.png 10|loop 4|real|照片.jpg 2");
    EXPECT_EQ(List(L"F:\\*.*"), ".|..|2008");  // F:'s folder is not listed on E:
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(L"E:\\real\\*") && finder.FindNextFile() && finder.FindNextFile());
    EXPECT_EQ(finder.FindNextFile(), FALSE);  // the last one
    EXPECT_EQ(finder.GetFilePath(), L"E:\\real\\x.png");
    ASSERT_TRUE(finder.FindFile(L"E:\\*") && finder.FindNextFile() && finder.FindNextFile());
    finder.FindNextFile();  // a.jpg
    CTime t;
    ASSERT_TRUE(finder.GetLastWriteTime(t));
    EXPECT_EQ(t.GetTime(), 1200000000);
    dir_.WriteFile("file.txt", "x");
    for (const wchar_t* bad : {L"E:\\missing\\*", L"E:\\file.txt\\*", L"E:\\*.jpg", L"Z:\\*"})
        EXPECT_EQ(List(bad), "(fails)");  // only whole folders of mapped drives
    if (!fs::exists("/proc/self")) GTEST_SKIP() << "no /proc here";
    EXPECT_EQ(List(L"C:\\proc\\*"), "(fails)");
    const std::string root = List(L"C:\\*");
    EXPECT_TRUE(root.find("|usr|") != std::string::npos &&
                root.find("|proc|") == std::string::npos);
}

TEST_F(Files, AttributesFoldersAndExistence) {
    dir_.WriteFile("f.txt", "x");
    fs::create_directory_symlink(dir_.path(), dir_ / "dirlink");
    fs::permissions(dir_ / "f.txt", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ((std::vector<DWORD>{GetFileAttributesW(L"E:\\"), GetFileAttributesW(L"E:\\f.txt"),
                                  GetFileAttributesW(L"E:\\dirlink"),
                                  GetFileAttributesW(L"E:\\nothing")}),
              (std::vector<DWORD>{FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_READONLY,
                                  FILE_ATTRIBUTE_REPARSE_POINT, INVALID_FILE_ATTRIBUTES}));
    // A folder is made once, one level at a time; what exists on mapped drives is found.
    EXPECT_EQ((std::vector<BOOL>{CreateDirectoryW(L"E:\\new"), CreateDirectoryW(L"E:\\new"),
                                 CreateDirectoryW(L"E:\\no\\parent"), PathFileExistsW(L"E:\\new\\"),
                                 PathFileExistsW(L"E:\\f.txt"), PathFileExistsW(L"E:\\none.txt"),
                                 PathFileExistsW(L"Z:\\")}),
              (std::vector<BOOL>{TRUE, FALSE, FALSE, TRUE, TRUE, FALSE, FALSE}));
}

TEST_F(Files, ReadSeekCreateAndTheRawVolume) {
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char(i * 7);
    dir_.WriteFile("data.bin", content);
    char buf[4096];
    DWORD got = 0;
    // What one read gives: its bytes, or "(fails)".
    auto read = [&](HANDLE h, DWORD size) {
        return ReadFile(h, buf, size, &got) ? std::string(buf, got) : "(fails)";
    };
    HANDLE h = CreateFileW(L"E:\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    LONGLONG size = 0, pos = 0;
    ASSERT_TRUE(GetFileSizeEx(h, &size) && SetFilePointerEx(h, 5000, &pos, FILE_BEGIN));
    EXPECT_EQ(size, 10000);
    EXPECT_EQ(read(h, 4096), content.substr(5000, 4096));
    EXPECT_EQ(read(h, 4096), content.substr(9096));
    EXPECT_EQ(read(h, 4096), "");  // end of file
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(read(h, 1), "(fails)");
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
    h = CreateFileW(L"\\\\.\\E:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(read(h, 11).substr(3), "NTFS    ");
    CloseHandle(h);
    EXPECT_EQ(CreateFileW(L"\\\\.\\E:", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(L"\\\\.\\Q:", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

}  // namespace
