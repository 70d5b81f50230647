// Folders, files, volumes and the module path on a drive table of temporary folders.
#include <gtest/gtest.h>

#include <filesystem>
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
    scantest::ScopedDriveTable m_drives{"C=" + m_c + ";N=" + m_dir.MakeDir("n") +
                                        ",fs=NTFS;L=" + m_dir.MakeDir("l") +
                                        ",fs=ntfs;M=" + m_dir.path() + "/missing"};
};

TEST_F(FileSystemTest, DirectoriesAndVolumes) {
    m_dir.WriteFile("c/a.jpg", "x");
    m_dir.MakeDir("c/sub");
    for (const wchar_t* path : {L"C:\\sub", L"C:\\sub\\", L"C:\\"})
        EXPECT_EQ(1, CCommonFunc::IsDirectory(path)) << path;
    for (const wchar_t* path : {L"C:\\a.jpg", L"C:\\nothing", L"M:\\", L""})
        EXPECT_EQ(0, CCommonFunc::IsDirectory(path)) << path;
    EXPECT_EQ(1, CCommonFunc::IsInNTFS(L"N:\\photos\\a.jpg"));
    EXPECT_EQ(1, CCommonFunc::IsInNTFS(L"n:"));
    // The name must be "NTFS" exactly; failed volume queries; malformed paths.
    for (const wchar_t* path : {L"L:\\a.jpg", L"C:\\a.jpg", L"M:\\", L"Q:\\", L"N", L"N\\:"})
        EXPECT_EQ(0, CCommonFunc::IsInNTFS(path)) << path;
}

TEST_F(FileSystemTest, CreatePathAndFile) {
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"));
    EXPECT_TRUE(fs::is_directory(m_c + "/a/b/c"));
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\x\\y"));
    EXPECT_TRUE(fs::is_directory(m_c + "/a/x/y"));
    m_dir.WriteFile("c/file", "x");  // a level blocked by a file
    for (const wchar_t* path : {L"C:\\file\\sub\\", L"Q:\\a\\", L"rel\\a\\", L""})
        EXPECT_EQ(0, CCommonFunc::CreatePathR(path)) << path;
    CString huge = L"C:\\huge";  // refused at once, not walked level by level
    for (int i = 0; i < 20000; ++i)
        huge += L"\\a";
    EXPECT_EQ(0, CCommonFunc::CreatePathR(huge));

    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    EXPECT_EQ(0u, fs::file_size(m_c + "/data/db/index.db"));
    m_dir.WriteFile("c/data/db/index.db", "kept");
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    EXPECT_EQ(4u, fs::file_size(m_c + "/data/db/index.db"));
    // Folders that cannot be made, and a name without a folder part.
    for (const wchar_t* path : {L"C:\\file\\index.db", L"Q:\\index.db", L"C:index.db"})
        EXPECT_EQ(0, CCommonFunc::CreateFileIfNotExist(path)) << path;
    EXPECT_FALSE(fs::exists(m_c + "/index.db"));
}

TEST_F(FileSystemTest, ModulePathIsTheExecutablesFolder) {
    EXPECT_EQ(CString(L"."), CCommonFunc::GetCurModulePath());  // on no mapped drive
    scantest::ScopedDriveTable root("C=/");
    fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(scantest::LibPath(exe.parent_path().string()) + L"\\",
              CCommonFunc::GetCurModulePath());
}

}  // namespace
