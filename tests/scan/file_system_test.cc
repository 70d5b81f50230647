// Folders, files, volumes and the module path on a drive table of temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/temp_dir.h"
#include "scan/common_func.h"
#include "scan_test_util.h"

namespace {

namespace fs = std::filesystem;

class FileSystemTest : public ::testing::Test {
protected:
    testutil::TempDir m_dir;
    std::string m_c = m_dir.MakeDir("c");
    std::string m_n = m_dir.MakeDir("n");
    std::string m_l = m_dir.MakeDir("l");
    scantest::ScopedDriveTable m_drives{"C=" + m_c + ";N=" + m_n + ",fs=NTFS;L=" + m_l +
                                        ",fs=ntfs;M=" + m_dir.path() + "/missing"};
};

TEST_F(FileSystemTest, IsDirectory) {
    m_dir.WriteFile("c/a.jpg", "x");
    m_dir.MakeDir("c/sub");
    fs::create_directory_symlink(m_c + "/sub", m_c + "/link");
    EXPECT_EQ(1, CCommonFunc::IsDirectory(L"C:\\sub"));
    EXPECT_EQ(1, CCommonFunc::IsDirectory(L"C:\\sub\\"));
    EXPECT_EQ(1, CCommonFunc::IsDirectory(L"C:\\"));
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L"C:\\a.jpg"));
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L"C:\\nothing"));
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L"C:\\link"));  // links never pass for folders
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L"M:\\"));
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L"Q:\\"));
    EXPECT_EQ(0, CCommonFunc::IsDirectory(L""));
}

TEST_F(FileSystemTest, IsInNtfsNeedsTheExactName) {
    EXPECT_EQ(1, CCommonFunc::IsInNTFS(L"N:\\photos\\a.jpg"));
    EXPECT_EQ(1, CCommonFunc::IsInNTFS(L"n:"));
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"L:\\a.jpg"));  // "ntfs" is not "NTFS"
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"C:\\a.jpg"));
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"M:\\"));  // volume query fails
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"Q:\\"));
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"N"));
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L"N\\:"));
    EXPECT_EQ(0, CCommonFunc::IsInNTFS(L""));
}

TEST_F(FileSystemTest, CreatePathMakesEveryMissingLevel) {
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"));
    EXPECT_TRUE(fs::is_directory(m_c + "/a/b/c"));
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"));  // exists already
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\x\\y"));    // no trailing backslash
    EXPECT_TRUE(fs::is_directory(m_c + "/a/x/y"));
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\"));
}

TEST_F(FileSystemTest, CreatePathFailsWhenALevelCannotBeMade) {
    m_dir.WriteFile("c/file", "x");
    EXPECT_EQ(0, CCommonFunc::CreatePathR(L"C:\\file\\sub\\"));
    EXPECT_EQ(0, CCommonFunc::CreatePathR(L"C:\\file\\"));
    EXPECT_EQ(0, CCommonFunc::CreatePathR(L"Q:\\a\\b\\"));  // unmapped drive
    EXPECT_EQ(0, CCommonFunc::CreatePathR(L"relative\\a\\"));
    EXPECT_EQ(0, CCommonFunc::CreatePathR(L""));
    // An absurdly long path is refused at once instead of walked level by level.
    CString huge = L"C:";
    for (int i = 0; i < 20000; ++i)
        huge += L"\\a";
    EXPECT_EQ(0, CCommonFunc::CreatePathR(huge));
    EXPECT_FALSE(fs::exists(m_c + "/a"));
}

TEST_F(FileSystemTest, CreateFileIfNotExist) {
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    ASSERT_TRUE(fs::is_regular_file(m_c + "/data/db/index.db"));
    EXPECT_EQ(0u, fs::file_size(m_c + "/data/db/index.db"));
    // An existing file is left as it is.
    m_dir.WriteFile("c/data/db/index.db", "kept");
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    EXPECT_EQ(4u, fs::file_size(m_c + "/data/db/index.db"));
    // An existing folder counts as existing.
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data"));

    m_dir.WriteFile("c/plain", "x");
    EXPECT_EQ(0, CCommonFunc::CreateFileIfNotExist(L"C:\\plain\\index.db"));
    EXPECT_EQ(0, CCommonFunc::CreateFileIfNotExist(L"Q:\\index.db"));
}

TEST_F(FileSystemTest, ModulePathIsTheExecutablesFolder) {
    std::string exe = fs::read_symlink("/proc/self/exe").string();
    {
        scantest::ScopedDriveTable root("C=/");
        CString expected = scantest::LibPath(fs::path(exe).parent_path().string()) + L"\\";
        EXPECT_EQ(expected, CCommonFunc::GetCurModulePath());
        EXPECT_EQ(L"C:\\", expected.substr(0, 3));
    }
    // The executable lies on no mapped drive.
    EXPECT_EQ(CString(L"."), CCommonFunc::GetCurModulePath());
}

}  // namespace
