// The scan scope on a drive table of temporary folders: drives by file system, the
// default black and white lists, the fixed black list, and the host's registry value
// and settings file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/temp_dir.h"
#include "scan/common_func.h"
#include "scan_test_util.h"

namespace {

namespace fs = std::filesystem;
using Set = std::set<CString>;

// Drives: C (host file system) and D (FAT32) fixed, N fixed NTFS, E a removable FAT32
// stick, R a CD, M fixed but its folder is missing. C has Windows and Program Files
// folders, D has none; E has a Windows folder that must never be listed.
class ScanScopeTest : public ::testing::Test {
protected:
    ScanScopeTest() {
        for (const char* d : {"c/Windows", "c/Program Files", "d", "n", "e/Windows", "r"})
            m_dir.MakeDir(d);
    }
    std::string Host(const std::string& rel) const { return m_dir / rel; }

    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + Host("c") + ",fs=ext4;D=" + Host("d") +
                                        ",fs=FAT32;N=" + Host("n") + ",fs=ntfs;E=" + Host("e") +
                                        ",type=removable,fs=FAT32;R=" + Host("r") +
                                        ",type=cdrom;M=" + Host("missing")};
    // Special folders, the temporary folder and the registry of the test.
    testutil::ScopedEnv m_appData{"XDG_DATA_HOME", Host("c/Users/me/AppData")};
    testutil::ScopedEnv m_documents{"XDG_DOCUMENTS_DIR", Host("c/Users/me/Documents")};
    testutil::ScopedEnv m_temp{"TMPDIR", Host("c/Temp")};
    testutil::ScopedEnv m_registry{"PICDEX_REGISTRY", Host("registry.txt")};

    void WriteRegistry(const std::string& installFolder) {
        m_dir.WriteFile("registry.txt",
                        "# the host application\n"
                        "HKEY_LOCAL_MACHINE\\SOFTWARE\\TarvoNote\\Directory=" +
                            installFolder + "\n");
    }
    void WriteSettings(const std::string& rel, const std::string& current,
                       const std::string& last) {
        m_dir.WriteFile(rel, "[RezUrurIvadUderiZare]\r\nCurrentTempFilePath=" + current +
                                 "\r\nLastTempFilePath=" + last + "\r\n");
    }
};

TEST_F(ScanScopeTest, DrivesByFileSystemFlags) {
    Set drives;
    CCommonFunc::GetAllDrivers(drives, 0, 1, 0);
    EXPECT_EQ(Set{L"N:\\"}, drives);  // the NTFS name compares without case
    drives.clear();
    CCommonFunc::GetAllDrivers(drives, 0, 0, 1);
    EXPECT_EQ((Set{L"C:\\", L"D:\\"}), drives);
    drives.clear();
    CCommonFunc::GetAllDrivers(drives, 7, 1, 1);
    EXPECT_EQ((Set{L"C:\\", L"D:\\", L"N:\\"}), drives);
    drives.clear();
    CCommonFunc::GetAllDrivers(drives, 0, 0, 0);
    EXPECT_TRUE(drives.empty());
    // Added to what is there.
    drives = {L"Z:\\"};
    CCommonFunc::GetAllDrivers(drives, 0, 1, 0);
    EXPECT_EQ((Set{L"N:\\", L"Z:\\"}), drives);
}

TEST_F(ScanScopeTest, FixedBlackListCoversFixedDrivesOnly) {
    Set folders{L"C:\\kept\\"};
    CCommonFunc::GetFixedBlackList(folders);
    EXPECT_EQ((Set{L"C:\\kept\\", L"C:\\System Volume Information\\",
                   L"D:\\System Volume Information\\", L"N:\\System Volume Information\\"}),
              folders);
}

TEST_F(ScanScopeTest, DefaultBlackListWithHostSettings) {
    WriteRegistry("C:\\Host");  // no trailing backslash: one is added
    // The two host folders differ only in case: the earlier in order goes.
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Temp\\", "C:\\HOST\\TEMP");
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ((Set{L"C:\\Users\\me\\AppData\\TarvoPicData\\", L"C:\\Temp\\", L"C:\\Host\\Temp\\",
                   L"C:\\RECYCLER\\", L"C:\\Windows\\", L"C:\\Program Files\\", L"D:\\RECYCLER\\",
                   L"N:\\RECYCLER\\"}),
              folders);
    // The application-data folder was created on the way.
    EXPECT_TRUE(fs::is_directory(Host("c/Users/me/AppData")));
}

TEST_F(ScanScopeTest, DefaultBlackListKeepsOneSpellingOfACaseOnlyDuplicate) {
    // The temporary folder is spelt C:\WINDOWS\ while drive C has C:\Windows\.
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ(1u, folders.count(L"C:\\Windows\\"));
    EXPECT_EQ(0u, folders.count(L"C:\\WINDOWS\\"));
    EXPECT_EQ(0u, folders.count(L"D:\\Windows\\"));
    EXPECT_EQ(0u, folders.count(L"E:\\Windows\\"));
    EXPECT_EQ(0u, folders.count(L"E:\\RECYCLER\\"));
}

TEST_F(ScanScopeTest, DefaultBlackListWithoutTheHostRegistryKey) {
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    m_dir.WriteFile("registry.txt", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Directory=C:\\Host\n");
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ(0u, folders.count(L"C:\\Host\\Temp\\"));
    EXPECT_EQ(8u - 1u, folders.size());
    EXPECT_EQ(1u, folders.count(L"C:\\Temp\\"));
    EXPECT_EQ(1u, folders.count(L"N:\\RECYCLER\\"));
}

TEST_F(ScanScopeTest, EmptyLastTempFolderContributesNothing) {
    WriteRegistry("C:\\Host\\");
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Cache", "");
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ(1u, folders.count(L"C:\\Host\\Cache\\"));
    EXPECT_EQ(8u, folders.size());
}

TEST_F(ScanScopeTest, ShortInstallFolderIsTakenForNone) {
    // "C" becomes "C\": two characters, so no settings file is read.
    WriteRegistry("C");
    m_dir.WriteFile("c/C/SystemFilePath.ini", "");
    WriteSettings("SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ(0u, folders.count(L"C:\\Host\\Temp\\"));
    // "C:" becomes "C:\", which is enough: C:\SystemFilePath.ini is read.
    WriteRegistry("C:");
    WriteSettings("c/SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    folders.clear();
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ(1u, folders.count(L"C:\\Host\\Temp\\"));
}

TEST_F(ScanScopeTest, UnnamedSpecialFoldersAreLeftOut) {
    // Temporary and application-data folders on no mapped drive.
    testutil::ScopedEnv temp("TMPDIR", "/nonexistent-picdex-tmp");
    testutil::ScopedEnv data("XDG_DATA_HOME", "/nonexistent-picdex-data");
    Set folders;
    CCommonFunc::GetDefaultBlackList(folders);
    EXPECT_EQ((Set{L"C:\\RECYCLER\\", L"C:\\Windows\\", L"C:\\Program Files\\", L"D:\\RECYCLER\\",
                   L"N:\\RECYCLER\\"}),
              folders);
}

TEST_F(ScanScopeTest, HostLookups) {
    EXPECT_EQ(CString(), CCommonFunc::GetHostInstallFolder());  // no registry file yet
    WriteRegistry("D:\\Programs\\Host\\");
    EXPECT_EQ(CString(L"D:\\Programs\\Host\\"), CCommonFunc::GetHostInstallFolder());
    // Longer than the 259 characters the value buffer takes.
    WriteRegistry("D:\\" + std::string(300, 'x'));
    EXPECT_EQ(CString(), CCommonFunc::GetHostInstallFolder());
    WriteRegistry("D:\\" + std::string(256, 'x'));
    EXPECT_EQ(259u, CCommonFunc::GetHostInstallFolder().size());

    WriteSettings("d/SystemFilePath.ini", "D:\\Cache\\", "");
    const CString settings = L"D:\\SystemFilePath.ini";
    EXPECT_EQ(CString(L"D:\\Cache\\"),
              CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", settings));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"LastTempFilePath", settings));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"Other", settings));
    EXPECT_EQ(CString(),
              CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", L"D:\\missing.ini"));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(nullptr, settings));
    // Values are cut to the 259 characters of the buffer.
    WriteSettings("d/SystemFilePath.ini", std::string(300, 'y'), "");
    EXPECT_EQ(259u, CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", settings).size());
}

TEST_F(ScanScopeTest, WhiteListHasDocumentsAndTheWallpapersWhenNamed) {
    // The Windows folder (/usr) lies on no drive of this table: only the documents.
    Set folders;
    CCommonFunc::GetDefaultWhiteList(folders);
    EXPECT_EQ(Set{L"C:\\Users\\me\\Documents\\"}, folders);
    EXPECT_TRUE(fs::is_directory(Host("c/Users/me/Documents")));  // created on the way

    scantest::ScopedDriveTable withRoot("C=" + Host("c") + ";W=/");
    folders.clear();
    CCommonFunc::GetDefaultWhiteList(folders);
    EXPECT_EQ((Set{L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}), folders);
}

}  // namespace
