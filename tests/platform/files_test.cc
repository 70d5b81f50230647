#include <gtest/gtest.h>

#include <sys/stat.h>
#include <filesystem>
#include <set>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/filefind.h"

namespace {

namespace fs = std::filesystem;

// A drive E: on a temporary folder for each test.
class Files : public ::testing::Test {
protected:
    struct Listed {
        bool directory;
        ULONGLONG size;
    };
    // Name -> entry of a listing, in the classic find loop.
    std::map<CString, Listed> List(const CString& folder, BOOL* ok = nullptr) {
        std::map<CString, Listed> out;
        CFileFind finder;
        BOOL working = finder.FindFile(folder + L"*");
        if (ok) *ok = working;
        while (working) {
            working = finder.FindNextFile();
            out[finder.GetFileName()] = {finder.IsDirectory() != 0, finder.GetLength()};
        }
        return out;
    }

    testutil::TempDir dir_;
    testutil::ScopedDriveTable drives_{"C=/;E=" + dir_.path()};
};

TEST_F(Files, ListingGivesNamesFlagsSizesAndTimes) {
    dir_.WriteFile("a.jpg", "12345");
    dir_.MakeDir("sub/inner");
    fs::last_write_time(dir_ / "a.jpg", fs::file_time_type::clock::now() - std::chrono::hours(48));
    auto entries = List(L"E:\\");
    ASSERT_EQ(entries.size(), 4u);  // ".", "..", a.jpg, sub
    EXPECT_TRUE(entries[L"."].directory);
    EXPECT_TRUE(entries[L".."].directory);
    EXPECT_FALSE(entries[L"a.jpg"].directory);
    EXPECT_EQ(entries[L"a.jpg"].size, 5u);
    EXPECT_TRUE(entries[L"sub"].directory);

    // Paths of a sub-folder's listing; times agree with the host.
    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(L"E:\\sub\\*.*"));
    std::set<CString> paths;
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        if (!finder.IsDots()) paths.insert(finder.GetFilePath());
    }
    EXPECT_EQ(paths, std::set<CString>{L"E:\\sub\\inner"});
    auto hostTime = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(fs::last_write_time(dir_ / "a.jpg")).time_since_epoch());
    ASSERT_TRUE(finder.FindFile(L"E:\\*"));
    for (BOOL more = TRUE; more;) {
        more = finder.FindNextFile();
        CTime t;
        EXPECT_TRUE(finder.GetLastWriteTime(t));
        if (finder.GetFileName() == L"a.jpg") {
            EXPECT_EQ(t.GetTime(), hostTime.count());
        }
    }
}

TEST_F(Files, ListingNeverFollowsLinksNorShowsInexpressibleNames) {
    dir_.MakeDir("real");
    dir_.WriteFile("real/x.png", "x");
    fs::create_directory_symlink(dir_ / "real", dir_ / "loop");
    fs::create_symlink(dir_ / "real/x.png", dir_ / "link.png");
    dir_.WriteFile("back\\slash.jpg", "x");
    dir_.WriteFile("bad\xFFname.jpg", "x");
    dir_.WriteFile("照片.jpg", "xy");
    auto entries = List(L"E:\\");
    EXPECT_TRUE(entries[L"real"].directory);
    ASSERT_TRUE(entries.count(L"loop"));
    EXPECT_FALSE(entries[L"loop"].directory);
    EXPECT_FALSE(entries[L"link.png"].directory);
    EXPECT_EQ(entries[L"照片.jpg"].size, 2u);
    EXPECT_EQ(entries.size(), 6u);  // ".", "..", real, loop, link.png, 照片.jpg
    EXPECT_EQ(entries.count(L"back\\slash.jpg"), 0u);
}

TEST_F(Files, ListingLeavesOutOtherDrivesAndPseudoFileSystems) {
    dir_.MakeDir("photos/2008");
    dir_.MakeDir("other");
    ASSERT_TRUE(
        picdex::SetDriveTable("C=/;E=" + dir_.path() + ";F=" + dir_.path() + "/photos", nullptr));
    auto entries = List(L"E:\\");
    EXPECT_EQ(entries.count(L"photos"), 0u);  // listed as F:\ instead
    EXPECT_EQ(entries.count(L"other"), 1u);
    EXPECT_EQ(List(L"F:\\").count(L"2008"), 1u);

    if (!fs::exists("/proc/self")) GTEST_SKIP() << "no /proc here";
    auto root = List(L"C:\\");
    EXPECT_EQ(root.count(L"proc"), 0u);
    EXPECT_EQ(root.count(L"tmp"), 1u);
    BOOL ok = TRUE;
    List(L"C:\\proc\\", &ok);
    EXPECT_FALSE(ok);
}

TEST_F(Files, ListingOfMissingOrBadFoldersFails) {
    CFileFind finder;
    EXPECT_FALSE(finder.FindFile(L"E:\\missing\\*"));
    dir_.WriteFile("file.txt", "x");
    EXPECT_FALSE(finder.FindFile(L"E:\\file.txt\\*"));
    EXPECT_FALSE(finder.FindFile(L"E:\\*.jpg"));  // only whole-folder patterns
    EXPECT_FALSE(finder.FindFile(L"Z:\\*"));
    EXPECT_FALSE(finder.FindNextFile());
}

TEST_F(Files, AttributesFoldersAndExistence) {
    dir_.WriteFile("f.txt", "x");
    fs::create_directory_symlink(dir_.path(), dir_ / "dirlink");
    EXPECT_EQ(GetFileAttributesW(L"E:\\"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(L"E:\\f.txt"), FILE_ATTRIBUTE_NORMAL);
    DWORD link = GetFileAttributesW(L"E:\\dirlink");
    EXPECT_EQ(link & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(link & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(GetFileAttributesW(L"E:\\nothing"), INVALID_FILE_ATTRIBUTES);
    fs::permissions(dir_ / "f.txt", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_NE(GetFileAttributesW(L"E:\\f.txt") & FILE_ATTRIBUTE_READONLY, 0u);

    EXPECT_TRUE(CreateDirectoryW(L"E:\\new"));
    EXPECT_FALSE(CreateDirectoryW(L"E:\\new"));         // exists
    EXPECT_FALSE(CreateDirectoryW(L"E:\\no\\parent"));  // one level only
    EXPECT_TRUE(PathFileExistsW(L"E:\\new\\"));
    EXPECT_TRUE(PathFileExistsW(L"E:\\f.txt"));
    EXPECT_FALSE(PathFileExistsW(L"E:\\none.txt"));
    EXPECT_FALSE(PathFileExistsW(L"Z:\\"));
}

TEST_F(Files, ReadSeekSizeAndTimesOfOpenFiles) {
    std::string content(10000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = char(i * 7);
    dir_.WriteFile("data.bin", content);
    HANDLE h = CreateFileW(L"E:\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LONGLONG size = 0;
    EXPECT_TRUE(GetFileSizeEx(h, &size));
    EXPECT_EQ(size, 10000);
    char buf[4096];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 4096u);
    EXPECT_EQ(std::string(buf, 4096), content.substr(0, 4096));
    LONGLONG pos = 0;
    EXPECT_TRUE(SetFilePointerEx(h, 9000, &pos, FILE_BEGIN));
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 1000u);
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &got));
    EXPECT_EQ(got, 0u);  // end of file
    CTime created, accessed, written;
    EXPECT_TRUE(GetFileTime(h, &created, &accessed, &written));
    EXPECT_LE(created.GetTime(), written.GetTime() + 1);
    EXPECT_GT(written.GetTime(), 1500000000);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(ReadFile(h, buf, 1, &got));

    EXPECT_EQ(CreateFileW(L"E:\\none", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(L"E:\\", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    // A named pipe without a writer would block a plain open for ever.
    ASSERT_EQ(mkfifo((dir_ / "pipe.jpg").c_str(), 0600), 0);
    EXPECT_EQ(CreateFileW(L"E:\\pipe.jpg", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);

    CFile file;
    ASSERT_TRUE(
        file.Open(L"E:\\data.bin", CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary));
    EXPECT_EQ(file.GetLength(), 10000u);
    EXPECT_EQ(file.Seek(-10, CFile::end), 9990);
    EXPECT_EQ(file.Read(buf, 100), 10u);
    EXPECT_FALSE(file.Open(L"E:\\none", CFile::modeRead));
    EXPECT_EQ(file.Read(buf, 1), 0u);
}

TEST_F(Files, CreatingAndTheRawVolume) {
    CFile file;
    ASSERT_TRUE(file.Open(L"E:\\made.txt",
                          CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_TRUE(file.Write("hello", 5));
    file.Close();
    ASSERT_TRUE(file.Open(L"E:\\made.txt",
                          CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_EQ(file.GetLength(), 5u);  // open-always keeps the content
    file.Close();

    // "\\.\X:" reads the drive's device: here an image file.
    std::string image = dir_.WriteFile("vol.img", std::string("\xEB\x52\x90NTFS    ", 11));
    ASSERT_TRUE(picdex::SetDriveTable("E=" + dir_.path() + ",fs=NTFS,device=" + image, nullptr));
    HANDLE h =
        CreateFileW(L"\\\\.\\E:", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    char boot[11];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(h, boot, 11, &got));
    EXPECT_EQ(std::string(boot + 3, 8), "NTFS    ");
    CloseHandle(h);
    EXPECT_EQ(CreateFileW(L"\\\\.\\E:", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(L"\\\\.\\Q:", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
}

}  // namespace
