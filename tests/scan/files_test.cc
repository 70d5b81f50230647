// Files and drives on drive tables of temporary folders: folders and volumes, folder and
// file creation, the module path, folder listings, file digests, and the scan scope (the
// drives by file system, the default lists, the host's registry value and settings file).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
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

// md5sum's digest, in capitals, of what a shell command writes.
CString Md5sum(const std::string& source) {
    char hex[33] = {};
    if (FILE* pipe = popen((source + " | md5sum").c_str(), "r")) {
        EXPECT_EQ(32u, std::fread(hex, 1, 32, pipe));
        pclose(pipe);
    }
    CString text;
    for (char c : std::string(hex))
        text += wchar_t(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A waitable stop signal that is clear for its first `clear` polls and set from then
// on, so a listing can be stopped before any chosen entry without racing a thread.
struct StopAfter : plat::kernel::Object {
    explicit StopAfter(int n) : clear(n) {}
    bool IsSignalled(std::uint64_t) const override { return ++polls > clear; }
    const int clear;
    mutable int polls = 0;
};

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }
    testutil::TempDir m_dir;
    std::string m_c = m_dir.MakeDir("c");
    testutil::ScopedDriveTable m_drives{"C=" + m_c + ";N=" + m_dir.MakeDir("n") + ",fs=NTFS;L=" +
                                        m_dir.MakeDir("l") + ",fs=ntfs;M=" + m_dir / "missing"};
};

TEST_F(FilesTest, DirectoriesVolumesAndTheModulePath) {
    m_dir.WriteFile("c/sub/a.jpg", "x");
    // Path, IsDirectory, IsInNTFS ("ntfs" on L is not "NTFS").
    const std::tuple<const wchar_t*, int, int> cases[] = {
        {L"C:\\sub", 1, 0},     {L"C:\\sub\\", 1, 0}, {L"C:\\", 1, 0}, {L"C:\\sub\\a.jpg", 0, 0},
        {L"C:\\nothing", 0, 0}, {L"M:\\", 0, 0},      {L"", 0, 0},     {L"N:\\photos\\a.jpg", 0, 1},
        {L"n:", 1, 1},          {L"L:\\a.jpg", 0, 0}, {L"Q:\\", 0, 0}, {L"N", 0, 0},
        {L"N\\:", 0, 0}};
    for (auto [path, folder, ntfs] : cases) {
        EXPECT_EQ(folder, CCommonFunc::IsDirectory(path)) << path;
        EXPECT_EQ(ntfs, CCommonFunc::IsInNTFS(path)) << path;
    }
    EXPECT_EQ(CString(L"."), CCommonFunc::GetCurModulePath());  // on no mapped drive
    testutil::ScopedDriveTable root("C=/");
    fs::path exe = fs::read_symlink("/proc/self/exe");
    CString folder;
    ASSERT_TRUE(plat::ToLibraryPath(exe.parent_path(), folder));
    EXPECT_EQ(folder + L"\\", CCommonFunc::GetCurModulePath());
}

TEST_F(FilesTest, CreatePathAndFile) {
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\b\\c\\"));
    EXPECT_EQ(1, CCommonFunc::CreatePathR(L"C:\\a\\x\\y"));
    EXPECT_TRUE(fs::is_directory(m_c + "/a/b/c") && fs::is_directory(m_c + "/a/x/y"));
    m_dir.WriteFile("c/file", "x");  // a level blocked by a file
    for (const wchar_t* path : {L"C:\\file\\sub\\", L"Q:\\a\\", L""})
        EXPECT_EQ(0, CCommonFunc::CreatePathR(path)) << path;
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

TEST_F(FilesTest, ListingNamesDetailsAndSubFolders) {
    for (const char* name : {"B.PNG", ".hidden.gif", "notes.txt", "c.jpeg", "sub1/deep.jpg"})
        m_dir.WriteFile(std::string("c/tree/") + name, "");
    std::string a = m_dir.WriteFile("c/tree/a.jpg", "aaaa");
    fs::last_write_time(a, fs::file_time_type::clock::from_sys(
                               std::chrono::sys_seconds(std::chrono::seconds(1199183415))));
    m_dir.MakeDir("c/tree/sub2.jpg");  // a folder is never a picture
    fs::create_directory_symlink(m_c + "/tree/sub1", m_c + "/tree/folderlink");
    fs::create_symlink(m_c + "/tree/nowhere", m_c + "/tree/broken.bmp");
    // Links are plain entries: never folders, pictures by their own names. The sets are
    // not cleared; a name already there keeps its entry.
    const Set pics{L"a.jpg", L"B.PNG", L".hidden.gif", L"broken.bmp", L"kept.jpg"};
    const Set subFolders{L"C:\\tree\\sub1", L"C:\\tree\\sub2.jpg", L"C:\\kept"};
    Set names{L"kept.jpg"}, folders{L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", names, folders));
    EXPECT_EQ(std::pair(pics, subFolders), std::pair(names, folders));
    Details details{{L"kept.jpg", 0, CTime()}, {L"B.PNG", 7, CTime(7)}};
    folders = {L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", details, folders, nullptr));
    names.clear();
    for (const auto& d : details)
        names.insert(d.strFileName);
    EXPECT_EQ(std::pair(pics, subFolders), std::pair(names, folders));
    auto found = details.find({L"a.jpg", 0, CTime()});
    EXPECT_EQ(std::pair(ULONGLONG(4), CTime(1199183415)),
              std::pair(found->iFileSize, found->tFileModify));
    EXPECT_EQ(7u, details.find({L"B.PNG", 0, CTime()})->iFileSize);
    // A folder that cannot be listed changes nothing.
    for (const wchar_t* folder : {L"C:\\nothing\\", L"C:\\tree\\a.jpg\\", L"Q:\\"}) {
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, names, folders)) << folder;
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, details, folders, nullptr)) << folder;
    }
    EXPECT_EQ(std::tuple(pics, subFolders, size_t(5)), std::tuple(names, folders, details.size()));
}

// The stop signal is polled once before each entry ("." and ".." first): stopped before
// entry k, the call returns 0 keeping exactly what the entries before k gave.
TEST_F(FilesTest, ListingPollsTheStopBeforeEachEntry) {
    for (const char* name : {"c/big/p1.jpg", "c/big/p2.gif", "c/big/p3.png", "c/big/sub/x"})
        m_dir.WriteFile(name, "");
    constexpr int kEntries = 6;  // ".", "..", three pictures and a folder
    Details all;
    Set allFolders;
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\big\\", all, allFolders, nullptr));
    for (int clear = 0; clear <= kEntries; ++clear) {
        auto stop = std::make_shared<StopAfter>(clear);
        HANDLE handle = plat::kernel::Insert(stop);
        Details pics;
        Set folders;
        int result = CCommonFunc::EnumFolderChild(L"C:\\big\\", pics, folders, handle);
        CloseHandle(handle);
        EXPECT_EQ(std::tuple(clear == kEntries ? 1 : 0, std::min(clear + 1, kEntries),
                             size_t(std::max(clear - 2, 0))),
                  std::tuple(result, stop->polls, pics.size() + folders.size()));
        EXPECT_TRUE(
            std::includes(all.begin(), all.end(), pics.begin(), pics.end()) &&
            std::includes(allFolders.begin(), allFolders.end(), folders.begin(), folders.end()));
    }
    CEvent stopped(TRUE);  // a real event, set before the call
    EXPECT_EQ(0, CCommonFunc::EnumFolderChild(L"C:\\big\\", all = {}, allFolders, stopped));
    EXPECT_TRUE(all.empty());
}

TEST_F(FilesTest, DigestsAgreeWithTheTestSuiteAndMd5sum) {
    for (auto [text, digest] : {std::pair{"", L"D41D8CD98F00B204E9800998ECF8427E"},
                                {"message digest", L"F96B697D7CB7938D525A2F31AAF161D0"},
                                {"1234567890123456789012345678901234567890"
                                 "1234567890123456789012345678901234567890",
                                 L"57EDF4A22BE3C955AC49DA2E2107B67A"}})
        EXPECT_EQ(CString(digest), CCommonFunc::GetMD5(text, DWORD(std::strlen(text)))) << text;
    EXPECT_EQ(CString(), CCommonFunc::GetMD5(nullptr, 10));  // unreadable buffer
    CFile closed;                                            // a read that fails is no digest
    EXPECT_EQ(CString(), CMD5Checksum::GetMD5(closed));
    // Files that cannot be digested leave the text untouched.
    m_dir.MakeDir("c/folder.jpg");
    for (const wchar_t* path : {L"C:\\missing.jpg", L"C:\\folder.jpg", L"Q:\\a.jpg", L""}) {
        CString digest = L"unchanged";
        int result = CCommonFunc::GetMD5(CString(path), digest);
        EXPECT_EQ(std::pair(0, CString(L"unchanged")), std::pair(result, digest)) << path;
    }
    // Files around the padding boundaries and the 1024-byte reads, and several MiB; the
    // buffer fed in pieces of 63 bytes gives the same.
    std::mt19937 rng(1321);
    for (size_t length : {55u, 56u, 64u, 1023u, 1025u, 6u * 1024 * 1024 + 123}) {
        std::string bytes(length, '\0');
        for (auto& c : bytes)
            c = char(rng());
        std::string host = m_dir.WriteFile("c/f.jpg", bytes);
        CString digest = L"unchanged";
        ASSERT_EQ(1, CCommonFunc::GetMD5(CString(L"C:\\f.jpg"), digest)) << length;
        EXPECT_EQ(Md5sum("cat '" + host + "'"), digest) << length;
        CMD5Checksum md5;
        for (size_t pos = 0; pos < length; pos += 63)
            md5.Update(reinterpret_cast<const BYTE*>(&bytes[pos]),
                       UINT(std::min<size_t>(63, length - pos)));
        EXPECT_EQ(digest, md5.Final()) << length;
    }
    // More than 2^32 bits: the bit count carries into its high word.
    constexpr UINT kChunk = 1 << 20, kChunks = 513;
    std::vector<BYTE> zeros(kChunk, 0);
    CMD5Checksum md5;
    for (UINT i = 0; i < kChunks; ++i)
        md5.Update(zeros.data(), kChunk);
    EXPECT_EQ(Md5sum("head -c " + std::to_string(size_t(kChunk) * kChunks) + " /dev/zero"),
              md5.Final());
}

// C (ext4) and D (FAT32) fixed, N fixed NTFS, E a removable stick, R a CD, M fixed but
// its folder is missing. Only C has Windows and Program Files folders (E has a Windows
// folder that must never be listed). Application data, documents and the temporary
// folder lie on C; the registry is a file of the test.
class ScanScopeTest : public ::testing::Test {
protected:
    ScanScopeTest() {
        for (const char* d : {"c/Windows", "c/Program Files", "d", "n", "e/Windows", "r"})
            m_dir.MakeDir(d);
    }
    std::string Host(const std::string& rel) const { return m_dir / rel; }
    void WriteRegistry(const std::string& folder) {
        m_dir.WriteFile("registry.txt", "HKLM\\SOFTWARE\\TarvoNote\\Directory=" + folder + "\n");
    }
    void WriteSettings(const std::string& rel, const std::string& current,
                       const std::string& last) {
        m_dir.WriteFile(rel, "[RezUrurIvadUderiZare]\r\nCurrentTempFilePath=" + current +
                                 "\r\nLastTempFilePath=" + last + "\r\n");
    }
    Set BlackList() {
        Set folders;
        CCommonFunc::GetDefaultBlackList(folders);
        return folders;
    }
    // Adds `extra` to and removes `gone` from what every black list here holds.
    Set Base(const Set& extra = {}, const Set& gone = {}) {
        Set base{
            L"C:\\AppData\\TarvoPicData\\", L"C:\\Temp\\",     L"C:\\RECYCLER\\", L"C:\\Windows\\",
            L"C:\\Program Files\\",         L"D:\\RECYCLER\\", L"N:\\RECYCLER\\"};
        base.insert(extra.begin(), extra.end());
        for (const CString& g : gone)
            base.erase(g);
        return base;
    }

    testutil::TempDir m_dir;
    testutil::ScopedDriveTable m_drives{"C=" + Host("c") + ",fs=ext4;D=" + Host("d") +
                                        ",fs=FAT32;N=" + Host("n") + ",fs=ntfs;E=" + Host("e") +
                                        ",type=removable,fs=FAT32;R=" + Host("r") +
                                        ",type=cdrom;M=" + Host("missing")};
    testutil::ScopedEnv m_appData{"XDG_DATA_HOME", Host("c/AppData")};
    testutil::ScopedEnv m_documents{"XDG_DOCUMENTS_DIR", Host("c/Users/me/Documents")};
    testutil::ScopedEnv m_temp{"TMPDIR", Host("c/Temp")};
    testutil::ScopedEnv m_registry{"PICDEX_REGISTRY", Host("registry.txt")};
};

TEST_F(ScanScopeTest, DrivesAndFixedBlackList) {
    const std::pair<int, int> flags[] = {{1, 0}, {0, 1}, {1, 1}, {0, 0}};
    const Set expected[] = {{L"N:\\"}, {L"C:\\", L"D:\\"}, {L"C:\\", L"D:\\", L"N:\\"}, {}};
    for (int i = 0; i < 4; ++i) {
        Set drives;
        CCommonFunc::GetAllDrivers(drives, 7, flags[i].first, flags[i].second);
        EXPECT_EQ(expected[i], drives) << i;
    }
    Set fixed{L"C:\\kept\\"};
    CCommonFunc::GetFixedBlackList(fixed);
    EXPECT_EQ((Set{L"C:\\kept\\", L"C:\\System Volume Information\\",
                   L"D:\\System Volume Information\\", L"N:\\System Volume Information\\"}),
              fixed);
}

TEST_F(ScanScopeTest, BlackListWithTheHostsTemporaryFolders) {
    EXPECT_EQ(Base(), BlackList());  // no registry file
    WriteRegistry("C:\\Host");       // a backslash is added
    // Neighbours that differ only in case: the earlier in the set's order goes.
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Temp\\", "C:\\HOST\\TEMP");
    EXPECT_EQ(Base({L"C:\\Host\\Temp\\"}), BlackList());
    EXPECT_TRUE(std::filesystem::is_directory(Host("c/AppData")));      // made on the way
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Cache", "");  // an empty value
    EXPECT_EQ(Base({L"C:\\Host\\Cache\\"}), BlackList());
    // A drive's root is folder enough: "C:" becomes "C:\".
    WriteSettings("c/SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    WriteRegistry("C:");
    EXPECT_EQ(Base({L"C:\\Host\\Temp\\"}), BlackList());
}

// The case-only removal comes last and compares neighbours only: C:\WINDOWS\ (the
// temporary folder) goes before C:\Windows\ (the drive's), unless C:\WX\ sorts between.
TEST_F(ScanScopeTest, BlackListCaseOnlyDuplicates) {
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));
    EXPECT_EQ(Base({}, {L"C:\\Temp\\"}), BlackList());
    WriteRegistry("C:\\Host");
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\WX", "");
    EXPECT_EQ(Base({L"C:\\WINDOWS\\", L"C:\\WX\\"}, {L"C:\\Temp\\"}), BlackList());
}

// The temporary folder counts below 260 characters; special and temporary folders on
// no mapped drive are left out.
TEST_F(ScanScopeTest, BlackListTemporaryFolderLimits) {
    const std::string deep = "c/" + std::string(100, 'a') + "/" + std::string(154, 'b');
    testutil::ScopedEnv temp("TMPDIR", Host(deep));  // "C:\" + 255 + "\": 259 characters
    CString expected = L"C:\\" + CString(deep.begin() + 2, deep.end()) + L"\\";
    std::replace(expected.begin(), expected.end(), L'/', L'\\');
    EXPECT_EQ(Base({expected}, {L"C:\\Temp\\"}), BlackList());
    testutil::ScopedEnv longer("TMPDIR", Host(deep + "b"));
    EXPECT_EQ(Base({}, {L"C:\\Temp\\"}), BlackList());
    testutil::ScopedEnv unmapped("TMPDIR", Host("unmapped/tmp"));
    testutil::ScopedEnv data("XDG_DATA_HOME", Host("unmapped/data"));
    EXPECT_EQ(Base({}, {L"C:\\Temp\\", L"C:\\AppData\\TarvoPicData\\"}), BlackList());
}

TEST_F(ScanScopeTest, HostLookups) {
    // Up to 259 characters and a terminator in both buffers.
    WriteRegistry("D:\\" + std::string(256, 'x'));
    EXPECT_EQ(259u, CCommonFunc::GetHostInstallFolder().size());
    WriteRegistry("D:\\" + std::string(257, 'x'));  // does not fit: no value
    EXPECT_EQ(CString(), CCommonFunc::GetHostInstallFolder());
    const CString ini = L"D:\\SystemFilePath.ini";
    WriteSettings("d/SystemFilePath.ini", std::string(300, 'y'), "");
    EXPECT_EQ(259u, CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", ini).size());
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"Other", ini));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", L"D:\\no.ini"));
}

TEST_F(ScanScopeTest, WhiteListHasDocumentsAndTheWallpapersWhenNamed) {
    Set folders;
    CCommonFunc::GetDefaultWhiteList(folders);  // the Windows folder (/usr) is unmapped
    EXPECT_EQ(Set{L"C:\\Users\\me\\Documents\\"}, folders);
    testutil::ScopedDriveTable withRoot("C=" + Host("c") + ";W=/");
    folders.clear();
    CCommonFunc::GetDefaultWhiteList(folders);
    EXPECT_EQ((Set{L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}), folders);
}

}  // namespace
