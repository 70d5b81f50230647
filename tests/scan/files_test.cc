// Files and drives on a drive table of temporary folders: folders, volumes, creation,
// listings, digests, and the scan scope (drives, default lists, the host's settings).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/kernel_object.h"
#include "scan/common_func.h"
#include "scan/md5_checksum.h"

namespace {

namespace fs = std::filesystem;
using Set = std::set<CString>;
using Details = std::set<_tagSimpleFileInfo>;

// A stop signal clear for its first `clear` polls and set from then on (no thread races).
struct StopAfter : plat::kernel::Object {
    explicit StopAfter(int n) : clear(n) {}
    bool IsSignalled(std::uint64_t) const override { return ++polls > clear; }
    const int clear;
    mutable int polls = 0;
};

// C (ext4) and D (FAT32) fixed, N fixed NTFS, L fixed "ntfs", E a removable stick, R a CD,
// M fixed but missing. Only C and E have a Windows folder, only C Program Files. The
// special and temporary folders lie on C; the registry is a file of the test.
class FilesTest : public ::testing::Test {
protected:
    FilesTest() {
        CCommonFunc::InitPicExt({});
        for (const char* d : {"c/Windows", "c/Program Files", "d", "n", "l", "e/Windows", "r"})
            m_dir.MakeDir(d);
    }
    std::string Host(const std::string& rel) const { return m_dir / rel; }
    void WriteRegistry(const std::string& folder) {
        m_dir.WriteFile("registry.txt", "HKLM\\SOFTWARE\\TarvoNote\\Directory=" + folder + "\n");
    }
    void WriteSettings(const std::string& rel, const std::string& current,
                       const std::string& last = "") {
        m_dir.WriteFile(rel, "[RezUrurIvadUderiZare]\r\nCurrentTempFilePath=" + current +
                                 "\r\nLastTempFilePath=" + last + "\r\n");
    }
    // The default black list, less what every black list here holds but `gone`.
    Set BlackListExtras(const Set& gone = {}) {
        Set folders;
        CCommonFunc::GetDefaultBlackList(folders);
        for (const wchar_t* base :
             {L"C:\\AppData\\TarvoPicData\\", L"C:\\Temp\\", L"C:\\RECYCLER\\", L"C:\\Windows\\",
              L"C:\\Program Files\\", L"D:\\RECYCLER\\", L"N:\\RECYCLER\\", L"L:\\RECYCLER\\"})
            EXPECT_TRUE(gone.count(base) || folders.erase(base));
        return folders;
    }

    testutil::TempDir m_dir;
    std::string m_c = Host("c");
    testutil::ScopedDriveTable m_drives{
        "C=" + m_c + ",fs=ext4;D=" + Host("d") + ",fs=FAT32;N=" + Host("n") +
        ",fs=NTFS;L=" + Host("l") + ",fs=ntfs;E=" + Host("e") +
        ",type=removable,fs=FAT32;R=" + Host("r") + ",type=cdrom;M=" + Host("missing")};
    testutil::ScopedEnv m_appData{"XDG_DATA_HOME", Host("c/AppData")};
    testutil::ScopedEnv m_documents{"XDG_DOCUMENTS_DIR", Host("c/Users/me/Documents")};
    testutil::ScopedEnv m_temp{"TMPDIR", Host("c/Temp")};
    testutil::ScopedEnv m_registry{"PICDEX_REGISTRY", Host("registry.txt")};
};

TEST_F(FilesTest, DirectoriesAndVolumes) {
    m_dir.WriteFile("c/sub/a.jpg", "x");
    // Path, IsDirectory, IsInNTFS ("ntfs" on L is not "NTFS").
    const std::tuple<const wchar_t*, int, int> cases[] = {
        {L"C:\\sub", 1, 0},   {L"C:\\sub\\", 1, 0}, {L"C:\\sub\\a.jpg", 0, 0},
        {L"M:\\", 0, 0},      {L"n:", 1, 1},        {L"N:\\photos\\a.jpg", 0, 1},
        {L"L:\\a.jpg", 0, 0}, {L"N", 0, 0}};
    for (auto [path, folder, ntfs] : cases)
        EXPECT_EQ(std::pair(folder, ntfs),
                  std::pair(CCommonFunc::IsDirectory(path), CCommonFunc::IsInNTFS(path)))
            << path;
}

TEST_F(FilesTest, CreatePathAndFile) {
    m_dir.WriteFile("c/file", "kept");  // kept as it is, and a level that blocks folders
    EXPECT_EQ(std::tuple(1, 1, 1, 0, 0, 0),
              (std::tuple{CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"),
                          CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"),
                          CCommonFunc::CreateFileIfNotExist(L"C:\\file"),
                          CCommonFunc::CreatePathR(L"C:\\file\\sub\\"),
                          CCommonFunc::CreateFileIfNotExist(L"C:\\file\\index.db"),
                          CCommonFunc::CreateFileIfNotExist(L"C:index.db")}));
    EXPECT_EQ(std::tuple(true, 0u, 4u),
              std::tuple(fs::is_directory(m_c + "/a/b/c"), fs::file_size(m_c + "/data/db/index.db"),
                         fs::file_size(m_c + "/file")));
}

// Pictures by name, sub-folders by full path; the sets are not cleared first. The stop
// signal is polled before each entry ("." and ".." first): stopped before entry k, the
// call returns 0 keeping what the entries before k gave.
TEST_F(FilesTest, ListingNamesDetailsSubFoldersAndTheStop) {
    for (const char* name : {"B.PNG", "notes.txt", "c.jpeg", "sub/x"})
        m_dir.WriteFile(std::string("c/tree/") + name, "");
    std::string a = m_dir.WriteFile("c/tree/a.jpg", "aaaa");
    fs::last_write_time(a, fs::file_time_type::clock::from_sys(
                               std::chrono::sys_seconds(std::chrono::seconds(1199183415))));
    m_dir.MakeDir("c/tree/sub2.jpg");  // a folder is never a picture
    const Set pics{L"a.jpg", L"B.PNG", L"kept.jpg"};
    const Set subFolders{L"C:\\tree\\sub", L"C:\\tree\\sub2.jpg", L"C:\\kept"};
    Set names{L"kept.jpg"}, folders{L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", names, folders));
    EXPECT_EQ(std::pair(pics, subFolders), std::pair(names, folders));
    Details details;
    folders = {L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", details, folders, nullptr));
    auto found = details.find({L"a.jpg", 0, CTime()});
    ASSERT_NE(details.end(), found);
    EXPECT_EQ(std::tuple(size_t(2), ULONGLONG(4), CTime(1199183415), subFolders),
              std::tuple(details.size(), found->iFileSize, found->tFileModify, folders));
    EXPECT_EQ(0, CCommonFunc::EnumFolderChild(L"C:\\nothing\\", details, folders, nullptr));
    EXPECT_EQ(std::pair(size_t(2), subFolders), std::pair(details.size(), folders));  // unchanged

    constexpr int kEntries = 8;  // ".", "..", six entries
    for (int clear = 0; clear <= kEntries; ++clear) {
        auto stop = std::make_shared<StopAfter>(clear);
        HANDLE handle = plat::kernel::Insert(stop);
        int result =
            CCommonFunc::EnumFolderChild(L"C:\\tree\\", details = {}, folders = {}, handle);
        CloseHandle(handle);
        EXPECT_EQ(std::tuple(clear == kEntries, std::min(clear + 1, kEntries)),
                  std::tuple(result == 1, stop->polls));
        EXPECT_LE(details.size() + folders.size(), size_t(std::max(clear - 2, 0)));
    }
}

TEST_F(FilesTest, Digests) {
    EXPECT_EQ(
        std::pair(CString(L"F96B697D7CB7938D525A2F31AAF161D0"), CString()),
        std::pair(CCommonFunc::GetMD5("message digest", 14), CCommonFunc::GetMD5(nullptr, 10)));
    // Files that cannot be digested leave the text untouched.
    CString digest = L"unchanged";
    m_dir.MakeDir("c/folder.jpg");
    EXPECT_EQ(std::tuple(0, 0, CString(L"unchanged")),
              (std::tuple{CCommonFunc::GetMD5(CString(L"C:\\missing.jpg"), digest),
                          CCommonFunc::GetMD5(CString(L"C:\\folder.jpg"), digest), digest}));
    // Files of bytes 0, 1, 2 ... around the padding boundaries and the 1024-byte reads,
    // and of several MiB (digests from md5sum).
    const std::pair<size_t, const wchar_t*> files[] = {
        {0, L"D41D8CD98F00B204E9800998ECF8427E"},
        {55, L"6912EE65FFF2D9F9CE2508CDDF8BCDA0"},
        {56, L"51FDD1ACDA72405DFDFA03FCB85896D7"},
        {64, L"B2D3F56BC197FD985D5965079B5E7148"},
        {1025, L"AE41AE4B0742B8739031F6F94CB84827"},
        {6291579, L"BE5D68B3D6BD0DA6AC7A520D9582B8B3"}};
    for (auto [length, expected] : files) {
        std::string bytes(length, '\0');
        std::iota(bytes.begin(), bytes.end(), '\0');
        m_dir.WriteFile("c/f.jpg", bytes);
        EXPECT_EQ(std::pair(1, CString(expected)),
                  (std::pair{CCommonFunc::GetMD5(CString(L"C:\\f.jpg"), digest), digest}));
    }
    // 513 MiB of zeros, more than 2^32 bits: the bit count carries into its high word.
    std::vector<BYTE> zeros(1 << 20, 0);
    CMD5Checksum md5;
    for (int i = 0; i < 513; ++i)
        md5.Update(zeros.data(), UINT(zeros.size()));
    EXPECT_EQ(CString(L"F3A8799D64129A6FD8A5AA56F199AC54"), md5.Final());
}

TEST_F(FilesTest, DrivesFixedBlackListAndWhiteList) {
    Set ntfs, other, none, fixed{L"C:\\kept\\"};
    CCommonFunc::GetAllDrivers(ntfs, 7, 1, 0);
    CCommonFunc::GetAllDrivers(other, 7, 0, 1);
    CCommonFunc::GetAllDrivers(none, 7, 0, 0);
    EXPECT_EQ(std::tuple(Set{L"L:\\", L"N:\\"}, Set{L"C:\\", L"D:\\"}, Set{}),
              std::tuple(ntfs, other, none));
    CCommonFunc::GetFixedBlackList(fixed);
    EXPECT_EQ(
        (Set{L"C:\\kept\\", L"C:\\System Volume Information\\", L"D:\\System Volume Information\\",
             L"L:\\System Volume Information\\", L"N:\\System Volume Information\\"}),
        fixed);
    Set white, whiteWithWindows;
    CCommonFunc::GetDefaultWhiteList(white);  // the Windows folder (/usr) is unmapped
    testutil::ScopedDriveTable withRoot("C=" + m_c + ";W=/");
    CCommonFunc::GetDefaultWhiteList(whiteWithWindows);
    EXPECT_EQ(std::pair(Set{L"C:\\Users\\me\\Documents\\"},
                        Set{L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}),
              std::pair(white, whiteWithWindows));
}

TEST_F(FilesTest, BlackListWithTheHostsTemporaryFolders) {
    EXPECT_EQ(Set{}, BlackListExtras());  // no registry file
    WriteRegistry("C:\\Host");            // a backslash is added
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Cache");
    EXPECT_EQ(Set{L"C:\\Host\\Cache\\"}, BlackListExtras());
    EXPECT_TRUE(fs::is_directory(Host("c/AppData")));  // made on the way
    // A drive's root is folder enough: "C:" becomes "C:\".
    WriteSettings("c/SystemFilePath.ini", "C:\\HOST\\TEMP\\");
    WriteRegistry("C:");
    EXPECT_EQ(Set{L"C:\\HOST\\TEMP\\"}, BlackListExtras());
    // Of neighbours that differ only in case the earlier goes: C:\WINDOWS\ (the temporary
    // folder) before C:\Windows\ (the drive's), unless C:\WX\ sorts between.
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));
    EXPECT_EQ(Set{L"C:\\HOST\\TEMP\\"}, BlackListExtras({L"C:\\Temp\\"}));
    WriteSettings("c/SystemFilePath.ini", "", "C:\\WX");
    EXPECT_EQ((Set{L"C:\\WINDOWS\\", L"C:\\WX\\"}), BlackListExtras({L"C:\\Temp\\"}));
    // A temporary folder of 260 characters (C:\, 128 and 127 characters, \) is left out.
    std::string deep = "c/" + std::string(128, 'a') + "/" + std::string(127, 'b');
    testutil::ScopedEnv tooLong("TMPDIR", m_dir.MakeDir(deep));
    EXPECT_EQ(Set{L"C:\\WX\\"}, BlackListExtras({L"C:\\Temp\\"}));
}

}  // namespace
