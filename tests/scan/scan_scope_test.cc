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

using Set = std::set<CString>;

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

    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + Host("c") + ",fs=ext4;D=" + Host("d") +
                                        ",fs=FAT32;N=" + Host("n") + ",fs=ntfs;E=" + Host("e") +
                                        ",type=removable,fs=FAT32;R=" + Host("r") +
                                        ",type=cdrom;M=" + Host("missing")};
    testutil::ScopedEnv m_appData{"XDG_DATA_HOME", Host("c/AppData")};
    testutil::ScopedEnv m_documents{"XDG_DOCUMENTS_DIR", Host("c/Users/me/Documents")};
    testutil::ScopedEnv m_temp{"TMPDIR", Host("c/Temp")};
    testutil::ScopedEnv m_registry{"PICDEX_REGISTRY", Host("registry.txt")};
    // What every black list below holds besides the host's folders.
    const Set m_base{
        L"C:\\AppData\\TarvoPicData\\", L"C:\\Temp\\",     L"C:\\RECYCLER\\", L"C:\\Windows\\",
        L"C:\\Program Files\\",         L"D:\\RECYCLER\\", L"N:\\RECYCLER\\"};
};

TEST_F(ScanScopeTest, DrivesByFileSystemFlags) {
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
    WriteRegistry("C:\\Host");  // a backslash is added
    // The two host folders differ only in case: the earlier in order goes.
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Temp\\", "C:\\HOST\\TEMP");
    Set expected = m_base;
    expected.insert(L"C:\\Host\\Temp\\");
    EXPECT_EQ(expected, BlackList());
    EXPECT_TRUE(std::filesystem::is_directory(Host("c/AppData")));  // made on the way

    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Cache", "");  // empty last one
    expected.erase(L"C:\\Host\\Temp\\");
    expected.insert(L"C:\\Host\\Cache\\");
    EXPECT_EQ(expected, BlackList());
}

TEST_F(ScanScopeTest, BlackListWithoutUsableHostSettings) {
    WriteSettings("c/Host/SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    EXPECT_EQ(m_base, BlackList());  // no registry file
    m_dir.WriteFile("registry.txt", "HKLM\\SOFTWARE\\Other\\Directory=C:\\Host\n");
    EXPECT_EQ(m_base, BlackList());
    // "C" becomes "C\": two characters are taken for no folder at all.
    WriteRegistry("C");
    WriteSettings("SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    EXPECT_EQ(m_base, BlackList());
    // "C:" becomes "C:\", which is enough.
    WriteRegistry("C:");
    WriteSettings("c/SystemFilePath.ini", "C:\\Host\\Temp\\", "");
    EXPECT_EQ(1u, BlackList().count(L"C:\\Host\\Temp\\"));
}

TEST_F(ScanScopeTest, BlackListKeepsOneSpellingOfACaseOnlyDuplicate) {
    m_dir.MakeDir("c/WINDOWS");
    testutil::ScopedEnv temp("TMPDIR", Host("c/WINDOWS"));  // C:\WINDOWS\ beside C:\Windows\ .
    Set expected = m_base;
    expected.erase(L"C:\\Temp\\");
    EXPECT_EQ(expected, BlackList());
    // Special and temporary folders on no mapped drive are left out.
    testutil::ScopedEnv temp2("TMPDIR", "/nonexistent-picdex-tmp");
    testutil::ScopedEnv data("XDG_DATA_HOME", "/nonexistent-picdex-data");
    expected.erase(L"C:\\AppData\\TarvoPicData\\");
    EXPECT_EQ(expected, BlackList());
}

TEST_F(ScanScopeTest, HostLookups) {
    EXPECT_EQ(CString(), CCommonFunc::GetHostInstallFolder());  // no registry file yet
    WriteRegistry("D:\\Programs\\Host\\");
    EXPECT_EQ(CString(L"D:\\Programs\\Host\\"), CCommonFunc::GetHostInstallFolder());
    WriteRegistry("D:\\" + std::string(300, 'x'));  // beyond the 520-byte buffer
    EXPECT_EQ(CString(), CCommonFunc::GetHostInstallFolder());
    WriteRegistry("D:\\" + std::string(256, 'x'));
    EXPECT_EQ(259u, CCommonFunc::GetHostInstallFolder().size());

    const CString ini = L"D:\\SystemFilePath.ini";
    WriteSettings("d/SystemFilePath.ini", std::string(300, 'y'), "");
    EXPECT_EQ(259u, CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", ini).size());
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"LastTempFilePath", ini));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"Other", ini));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(L"CurrentTempFilePath", L"D:\\no.ini"));
    EXPECT_EQ(CString(), CCommonFunc::GetHostPathSetting(nullptr, ini));
}

TEST_F(ScanScopeTest, WhiteListHasDocumentsAndTheWallpapersWhenNamed) {
    Set folders;
    CCommonFunc::GetDefaultWhiteList(folders);  // the Windows folder (/usr) is unmapped
    EXPECT_EQ(Set{L"C:\\Users\\me\\Documents\\"}, folders);
    EXPECT_TRUE(std::filesystem::is_directory(Host("c/Users/me/Documents")));
    scantest::ScopedDriveTable withRoot("C=" + Host("c") + ";W=/");
    folders.clear();
    CCommonFunc::GetDefaultWhiteList(folders);
    EXPECT_EQ((Set{L"W:\\usr\\Web\\", L"C:\\Users\\me\\Documents\\"}), folders);
}

}  // namespace
