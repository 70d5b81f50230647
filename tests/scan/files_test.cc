// Files and drives on a drive table of temporary folders: folders and volumes, folder and
// file creation, the module path, folder listings, file digests, and the scan scope (the
// drives by file system, the default lists, the host's registry value and settings file).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "picdex/sync.h"
#include "platform/drives.h"
#include "platform/kernel_object.h"
#include "scan/common_func.h"
#include "scan/md5_checksum.h"

namespace {

namespace fs = std::filesystem;
using Set = std::set<CString>;
using Details = std::set<_tagSimpleFileInfo>;

// A waitable stop signal that is clear for its first `clear` polls and set from then
// on, so a listing can be stopped before any chosen entry without racing a thread.
struct StopAfter : plat::kernel::Object {
    explicit StopAfter(int n) : clear(n) {}
    bool IsSignalled(std::uint64_t) const override { return ++polls > clear; }
    const int clear;
    mutable int polls = 0;
};

// C (ext4) and D (FAT32) fixed, N fixed NTFS, L fixed "ntfs", E a removable stick, R a
// CD, M fixed but its folder is missing. Only C has Windows and Program Files folders (E
// has a Windows folder that must never be listed). Application data, documents and the
// temporary folder lie on C; the registry is a file of the test.
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

TEST_F(FilesTest, DirectoriesVolumesAndTheModulePath) {
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
    EXPECT_EQ(CString(L"."), CCommonFunc::GetCurModulePath());  // on no mapped drive
    testutil::ScopedDriveTable root("C=/");
    CString folder;
    ASSERT_TRUE(plat::ToLibraryPath(fs::read_symlink("/proc/self/exe").parent_path(), folder));
    EXPECT_EQ(folder + L"\\", CCommonFunc::GetCurModulePath());
}

TEST_F(FilesTest, CreatePathAndFile) {
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"));
    EXPECT_TRUE(fs::is_directory(m_c + "/a/b/c"));
    m_dir.WriteFile("c/file", "x");  // a level blocked by a file
    for (const wchar_t* path : {L"C:\\file\\sub\\", L"Q:\\a\\", L""})
        EXPECT_EQ(0, CCommonFunc::CreatePathR(path)) << path;
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    EXPECT_EQ(0u, fs::file_size(m_c + "/data/db/index.db"));
    m_dir.WriteFile("c/data/db/index.db", "kept");
    EXPECT_EQ(1, CCommonFunc::CreateFileIfNotExist(L"C:\\data\\db\\index.db"));
    EXPECT_EQ(4u, fs::file_size(m_c + "/data/db/index.db"));
    for (const wchar_t* path : {L"C:\\file\\index.db", L"Q:\\index.db", L"C:index.db"})
        EXPECT_EQ(0, CCommonFunc::CreateFileIfNotExist(path)) << path;
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
    for (const wchar_t* folder : {L"C:\\nothing\\", L"C:\\tree\\a.jpg\\"}) {
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, names, folders)) << folder;
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, details, folders, nullptr)) << folder;
    }
    EXPECT_EQ(std::tuple(pics, subFolders, size_t(2)), std::tuple(names, folders, details.size()));

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
    CEvent stopped(TRUE);  // a real event, set before the call
    EXPECT_EQ(0, CCommonFunc::EnumFolderChild(L"C:\\tree\\", details = {}, folders, stopped));
    EXPECT_TRUE(details.empty());
}

TEST_F(FilesTest, Digests) {
    EXPECT_EQ(CString(L"F96B697D7CB7938D525A2F31AAF161D0"),
              CCommonFunc::GetMD5("message digest", 14));
    EXPECT_EQ(CString(), CCommonFunc::GetMD5(nullptr, 10));  // unreadable buffer
    CFile closed;                                            // a read that fails is no digest
    EXPECT_EQ(CString(), CMD5Checksum::GetMD5(closed));
    // Files that cannot be digested leave the text untouched.
    m_dir.MakeDir("c/folder.jpg");
    for (const wchar_t* path : {L"C:\\missing.jpg", L"C:\\folder.jpg", L"Q:\\a.jpg"}) {
        CString digest = L"unchanged";
        EXPECT_EQ(std::pair(0, CString(L"unchanged")),
                  (std::pair{CCommonFunc::GetMD5(CString(path), digest), digest}))
            << path;
    }
    // Files of bytes i % 251 around the padding boundaries and the 1024-byte reads, and
    // several MiB (digests from md5sum).
    const std::pair<size_t, const wchar_t*> files[] = {
        {0, L"D41D8CD98F00B204E9800998ECF8427E"},
        {55, L"6912EE65FFF2D9F9CE2508CDDF8BCDA0"},
        {56, L"51FDD1ACDA72405DFDFA03FCB85896D7"},
        {64, L"B2D3F56BC197FD985D5965079B5E7148"},
        {1025, L"3F3789452B88CB32B8CBFBAFE715E29A"},
        {6291579, L"644544D9D30691FBEA66357259B0C07F"}};
    for (auto [length, expected] : files) {
        std::string bytes(length, '\0');
        for (size_t i = 0; i < length; ++i)
            bytes[i] = char(i % 251);
        m_dir.WriteFile("c/f.jpg", bytes);
        CString digest;
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

TEST_F(FilesTest, DrivesAndFixedBlackList) {
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
    // Neighbours that differ only in case: the earlier in the set's order goes, and only
    // neighbours: C:\WINDOWS\ (the temporary folder) goes before C:\Windows\ (the drive's),
    // unless C:\WX\ sorts between.
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));
    EXPECT_EQ(Set{L"C:\\HOST\\TEMP\\"}, BlackListExtras({L"C:\\Temp\\"}));
    WriteSettings("c/SystemFilePath.ini", "", "C:\\WX");
    EXPECT_EQ((Set{L"C:\\WINDOWS\\", L"C:\\WX\\"}), BlackListExtras({L"C:\\Temp\\"}));
}

// The temporary folder counts below 260 characters; special and temporary folders on
// no mapped drive are left out.
TEST_F(FilesTest, BlackListTemporaryFolderLimits) {
    const std::string deep = "c/" + std::string(100, 'a') + "/" + std::string(154, 'b');
    testutil::ScopedEnv temp("TMPDIR", Host(deep));  // "C:\" + 255 + "\": 259 characters
    CString expected = L"C:\\" + CString(deep.begin() + 2, deep.end()) + L"\\";
    std::replace(expected.begin(), expected.end(), L'/', L'\\');
    EXPECT_EQ(Set{expected}, BlackListExtras({L"C:\\Temp\\"}));
    testutil::ScopedEnv longer("TMPDIR", Host(deep + "b"));
    EXPECT_EQ(Set{}, BlackListExtras({L"C:\\Temp\\"}));
    testutil::ScopedEnv data("XDG_DATA_HOME", Host("unmapped/data"));
    EXPECT_EQ(Set{}, BlackListExtras({L"C:\\Temp\\", L"C:\\AppData\\TarvoPicData\\"}));
}

TEST_F(FilesTest, WhiteListHasDocumentsAndTheWallpapersWhenNamed) {
    Set folders;
    CCommonFunc::GetDefaultWhiteList(folders);  // the Windows folder (/usr) is unmapped
    EXPECT_EQ(Set{L"C:\\Users\\me\\Documents\\"}, folders);
    testutil::ScopedDriveTable withRoot("C=" + m_c + ";W=/");
    folders.clear();
    CCommonFunc::GetDefaultWhiteList(folders);
    EXPECT_EQ((Set{L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}), folders);
}

}  // namespace
