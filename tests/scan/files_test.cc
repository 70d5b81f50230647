// Files and drives on a drive table of temporary folders: creation, listings, digests,
// and the scan scope (drives, default lists, the host's settings).
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
    // The host's install folder in the registry and its settings file there.
    void WriteHost(const std::string& folder, const std::string& rel, const std::string& current,
                   const std::string& last = "") {
        m_dir.WriteFile("registry.txt", "HKLM\\SOFTWARE\\TarvoNote\\Directory=" + folder + "\n");
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

// Folders are made level by level; a file that exists is kept as it is, and a file in
// the way of a folder fails.
TEST_F(FilesTest, CreatePathAndFile) {
    m_dir.WriteFile("c/file", "kept");
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

// Pictures by name or with size and last-write time, sub-folders by full path, added to
// what the sets hold; a folder that is missing gives 0. The stop signal is polled before
// each entry ("." and ".." first): stopped before entry k, the call returns 0 keeping
// what the entries before k gave.
TEST_F(FilesTest, ListingNamesDetailsSubFoldersAndTheStop) {
    for (const char* name : {"B.PNG", "notes.txt", "c.jpeg", "sub/x"})
        m_dir.WriteFile(std::string("c/tree/") + name, "");
    m_dir.WriteFile("c/tree/a.jpg", "aaaa");
    for (const char* file : {"c/tree/a.jpg", "c/tree/B.PNG"})
        fs::last_write_time(Host(file),
                            fs::file_time_type::clock::from_sys(
                                std::chrono::sys_seconds(std::chrono::seconds(1199183415))));
    m_dir.MakeDir("c/tree/sub2.jpg");  // a folder is never a picture
    Set names{L"kept.jpg"}, folders{L"C:\\kept"}, details;
    std::set<_tagSimpleFileInfo> found{{L"kept.jpg", 1, CTime()}};
    EXPECT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", names, folders));
    EXPECT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", found, folders, nullptr));
    EXPECT_EQ(0, CCommonFunc::EnumFolderChild(L"C:\\nothing\\", found, folders, nullptr));
    for (const _tagSimpleFileInfo& f : found)
        details.insert(f.strFileName + L" " + std::to_wstring(f.iFileSize) + L" " +
                       std::to_wstring(f.tFileModify.GetTime()));
    EXPECT_EQ(std::tuple(names, folders, details),
              std::tuple(Set{L"a.jpg", L"B.PNG", L"kept.jpg"},
                         Set{L"C:\\tree\\sub", L"C:\\tree\\sub2.jpg", L"C:\\kept"},
                         Set{L"a.jpg 4 1199183415", L"B.PNG 0 1199183415", L"kept.jpg 1 0"}));

    constexpr int kEntries = 8;  // ".", "..", six entries
    for (int clear = 0; clear <= kEntries; ++clear) {
        auto stop = std::make_shared<StopAfter>(clear);
        HANDLE handle = plat::kernel::Insert(stop);
        int result = CCommonFunc::EnumFolderChild(L"C:\\tree\\", found = {}, folders = {}, handle);
        CloseHandle(handle);
        EXPECT_EQ(std::tuple(clear == kEntries, std::min(clear + 1, kEntries)),
                  std::tuple(result == 1, stop->polls));
        EXPECT_LE(found.size() + folders.size(), size_t(std::max(clear - 2, 0)));
    }
}

// Digests of memory; of files of bytes 0, 1, 2 ... around the padding boundaries and the
// 1024-byte reads (digests from md5sum); of 513 MiB, more than 2^32 bits (the bit count
// carries into its high word). Files that cannot be digested leave the text as it was.
TEST_F(FilesTest, Digests) {
    std::vector<CString> got = {CCommonFunc::GetMD5("message digest", 14),
                                CCommonFunc::GetMD5(nullptr, 10)};
    CString digest = L"unchanged";
    m_dir.MakeDir("c/folder.jpg");
    for (const wchar_t* file : {L"C:\\missing.jpg", L"C:\\folder.jpg"})
        got.push_back(std::to_wstring(CCommonFunc::GetMD5(CString(file), digest)) + digest);
    for (size_t length : {0, 55, 56, 64, 1025}) {
        std::string bytes(length, '\0');
        std::iota(bytes.begin(), bytes.end(), '\0');
        m_dir.WriteFile("c/f.jpg", bytes);
        got.push_back(std::to_wstring(CCommonFunc::GetMD5(CString(L"C:\\f.jpg"), digest)) + digest);
    }
    std::vector<BYTE> zeros(1 << 20, 0);
    CMD5Checksum md5;
    for (int i = 0; i < 513; ++i)
        md5.Update(zeros.data(), UINT(zeros.size()));
    got.push_back(md5.Final());
    EXPECT_EQ(got, (std::vector<CString>{
                       L"F96B697D7CB7938D525A2F31AAF161D0", L"", L"0unchanged", L"0unchanged",
                       L"1D41D8CD98F00B204E9800998ECF8427E", L"16912EE65FFF2D9F9CE2508CDDF8BCDA0",
                       L"151FDD1ACDA72405DFDFA03FCB85896D7", L"1B2D3F56BC197FD985D5965079B5E7148",
                       L"1AE41AE4B0742B8739031F6F94CB84827", L"F3A8799D64129A6FD8A5AA56F199AC54"}));
}

// Fixed drives by file system (NTFS in any case); each fixed drive's System Volume
// Information, added to the list; the documents folder and, when the Windows folder is
// mapped, its Web folder.
TEST_F(FilesTest, DrivesFixedBlackListAndWhiteList) {
    Set ntfs, other, none, fixed{L"C:\\kept\\"}, white, whiteWithWindows;
    CCommonFunc::GetAllDrivers(ntfs, 7, 1, 0);
    CCommonFunc::GetAllDrivers(other, 7, 0, 1);
    CCommonFunc::GetAllDrivers(none, 7, 0, 0);
    CCommonFunc::GetFixedBlackList(fixed);
    CCommonFunc::GetDefaultWhiteList(white);  // the Windows folder (/usr) is unmapped
    testutil::ScopedDriveTable withRoot("C=" + m_c + ";W=/");
    CCommonFunc::GetDefaultWhiteList(whiteWithWindows);
    EXPECT_EQ(
        std::vector({ntfs, other, none, fixed, white, whiteWithWindows}),
        std::vector<Set>(
            {{L"L:\\", L"N:\\"},
             {L"C:\\", L"D:\\"},
             {},
             {L"C:\\kept\\", L"C:\\System Volume Information\\", L"D:\\System Volume Information\\",
              L"L:\\System Volume Information\\", L"N:\\System Volume Information\\"},
             {L"C:\\Users\\me\\Documents\\"},
             {L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}}));
}

// The host's temporary folders join the default black list: folders named in its
// settings file (found through the registry), when they exist; of neighbours that
// differ only in case the earlier goes; a temporary folder of 260 characters does not.
TEST_F(FilesTest, BlackListWithTheHostsTemporaryFolders) {
    EXPECT_EQ(Set{}, BlackListExtras());                                    // no registry file
    WriteHost("C:\\Host", "c/Host/SystemFilePath.ini", "C:\\Host\\Cache");  // a backslash added
    EXPECT_EQ(Set{L"C:\\Host\\Cache\\"}, BlackListExtras());
    EXPECT_TRUE(fs::is_directory(Host("c/AppData")));  // made on the way
    // A drive's root is folder enough: "C:" becomes "C:\".
    WriteHost("C:", "c/SystemFilePath.ini", "C:\\HOST\\TEMP\\");
    EXPECT_EQ(Set{L"C:\\HOST\\TEMP\\"}, BlackListExtras());
    // C:\WINDOWS\ (the temporary folder) goes before C:\Windows\ (the drive's), unless
    // C:\WX\ sorts between.
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));
    EXPECT_EQ(Set{L"C:\\HOST\\TEMP\\"}, BlackListExtras({L"C:\\Temp\\"}));
    WriteHost("C:", "c/SystemFilePath.ini", "", "C:\\WX");
    EXPECT_EQ((Set{L"C:\\WINDOWS\\", L"C:\\WX\\"}), BlackListExtras({L"C:\\Temp\\"}));
    // C:\, 128 and 127 characters, \.
    std::string deep = "c/" + std::string(128, 'a') + "/" + std::string(127, 'b');
    testutil::ScopedEnv tooLong("TMPDIR", m_dir.MakeDir(deep));
    EXPECT_EQ(Set{L"C:\\WX\\"}, BlackListExtras({L"C:\\Temp\\"}));
}

}  // namespace
