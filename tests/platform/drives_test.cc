#include <gtest/gtest.h>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/drives.h"

namespace {

class DriveTable : public ::testing::Test {
protected:
    void Set(const std::string& text) { table_.Set(text); }
    testutil::ScopedDriveTable table_{"C=/"};
};

TEST_F(DriveTable, ParsesEntriesWithOptionsInLetterOrder) {
    Set(" D=/srv/photos/,type=removable ;c=/; N=/mnt/win,fs=NTFS,device=/dev/sdb1;");
    EXPECT_EQ(picdex::GetDriveTable(),
              "C=/;D=/srv/photos,type=removable;N=/mnt/win,fs=NTFS,device=/dev/sdb1");
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 13));
    plat::DriveInfo n;
    ASSERT_TRUE(plat::FindDrive(L'n', n));
    EXPECT_EQ(n.device, "/dev/sdb1");
    EXPECT_EQ(n.fs, "NTFS");
    EXPECT_EQ(n.type, DRIVE_FIXED);
}

TEST_F(DriveTable, RejectsUnusableEntriesByName) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"C=/;Dsrv", "drive table entry \"Dsrv\": expected <letter>=<host folder>"},
        {"CD=/x", "drive table entry \"CD=/x\": the drive must be one letter A-Z"},
        {"1=/x", "drive table entry \"1=/x\": the drive must be one letter A-Z"},
        {"D=srv/photos",
         "drive table entry \"D=srv/photos\": the host folder must be an absolute path"},
        {"D=", "drive table entry \"D=\": the host folder must be an absolute path"},
        {"D=/x,kind=fixed",
         "drive table entry \"D=/x,kind=fixed\": unknown option 'kind=fixed' (expected type=, fs= "
         "or device=)"},
        {"D=/x,type=floppy",
         "drive table entry \"D=/x,type=floppy\": unknown type 'floppy' (expected fixed, "
         "removable, remote, cdrom or ramdisk)"},
        {"D=/x,fs=", "drive table entry \"D=/x,fs=\": fs= needs a value"},
        {"D=/x,device=sdb1",
         "drive table entry \"D=/x,device=sdb1\": device= must be an absolute path"},
        {"C=/;c=/tmp", "drive table entry \"c=/tmp\": drive C is given twice"},
    };
    Set("C=/");
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(picdex::SetDriveTable(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.message);
    }
    EXPECT_EQ(picdex::GetDriveTable(), "C=/");  // left as it was
}

TEST_F(DriveTable, TranslatesLibraryPathsToHostPaths) {
    Set("C=/;D=/srv/photos");
    std::string host;
    struct {
        const wchar_t* lib;
        const char* host;
    } cases[] = {
        {L"C:\\", "/"},
        {L"C:", "/"},
        {L"c:\\Photos\\2008\\a.jpg", "/Photos/2008/a.jpg"},
        {L"C:\\Photos\\2008\\", "/Photos/2008"},
        {L"C:\\Photos\\\\2008\\\\\\", "/Photos/2008"},
        {L"C:/Photos/x", "/Photos/x"},
        {L"D:\\", "/srv/photos"},
        {L"D:\\照片\\a.JPG", "/srv/photos/\xE7\x85\xA7\xE7\x89\x87/a.JPG"},
        {L"D:\\a\\..\\..\\..\\b", "/srv/photos/b"},  // never above the drive root
        {L"D:\\.\\a\\.", "/srv/photos/a"},
    };
    for (auto& c : cases) {
        ASSERT_TRUE(plat::ToHostPath(c.lib, host)) << c.lib;
        EXPECT_EQ(host, c.host);
    }
    EXPECT_FALSE(plat::ToHostPath(L"E:\\x", host));  // not mapped
    EXPECT_FALSE(plat::ToHostPath(L"\\\\server\\share", host));
    EXPECT_FALSE(plat::ToHostPath(L"photos\\a.jpg", host));
    EXPECT_FALSE(plat::ToHostPath(L"", host));
}

TEST_F(DriveTable, TranslatesHostPathsToTheClosestDrive) {
    Set("C=/;D=/srv/photos");
    CString lib;
    ASSERT_TRUE(plat::ToLibraryPath("/", lib));
    EXPECT_EQ(lib, L"C:\\");
    ASSERT_TRUE(plat::ToLibraryPath("/srv/photos", lib));
    EXPECT_EQ(lib, L"D:\\");
    ASSERT_TRUE(plat::ToLibraryPath("/srv/photos/\xE7\x85\xA7\xE7\x89\x87/a.jpg", lib));
    EXPECT_EQ(lib, L"D:\\照片\\a.jpg");
    ASSERT_TRUE(plat::ToLibraryPath("/srv/photos2/x/", lib));
    EXPECT_EQ(lib, L"C:\\srv\\photos2\\x");
    ASSERT_TRUE(plat::ToLibraryPath("/srv//./photos/../photos/y", lib));
    EXPECT_EQ(lib, L"D:\\y");
    // Names that the library cannot write.
    EXPECT_FALSE(plat::ToLibraryPath("/srv/a\\b", lib));
    EXPECT_FALSE(plat::ToLibraryPath("/srv/bad\xFF", lib));
    EXPECT_FALSE(plat::ToLibraryPath("relative/path", lib));
    Set("D=/srv/photos");
    EXPECT_FALSE(plat::ToLibraryPath("/etc", lib));  // on no drive
}

TEST_F(DriveTable, RoundTripsEveryExpressibleName) {
    testutil::TempDir dir;
    Set("C=/;E=" + dir.path());
    for (const wchar_t* name :
         {L"plain", L"with space", L"ünïcödé", L"照片", L"a;b,c", L"\U0001F600"}) {
        CString lib = CString(L"E:\\sub\\") + name;
        std::string host;
        ASSERT_TRUE(plat::ToHostPath(lib, host));
        CString back;
        ASSERT_TRUE(plat::ToLibraryPath(host, back));
        EXPECT_EQ(back, lib);
    }
}

TEST_F(DriveTable, DriveTypesAndVolumeNames) {
    testutil::TempDir dir;
    std::string image = dir.WriteFile("ntfs.img", std::string(4096, '\0'));
    dir.MakeDir("usb");
    Set("C=/;E=" + dir.path() + "/usb,type=removable;N=" + dir.path() + ",fs=NTFS,device=" + image +
        ";Q=" + dir.path() + "/missing");
    EXPECT_EQ(GetDriveTypeW(L"C:\\"), DRIVE_FIXED);
    EXPECT_EQ(GetDriveTypeW(L"E:\\"), DRIVE_REMOVABLE);
    EXPECT_EQ(GetDriveTypeW(L"Q:\\"), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GetDriveTypeW(L"Z:\\"), DRIVE_NO_ROOT_DIR);

    wchar_t fs[16];
    ASSERT_TRUE(GetVolumeInformationW(L"N:\\", fs, 16));
    EXPECT_STREQ(fs, L"NTFS");
    EXPECT_FALSE(GetVolumeInformationW(L"N:\\", fs, 4));  // does not fit
    EXPECT_FALSE(GetVolumeInformationW(L"Q:\\", fs, 16));
    EXPECT_FALSE(GetVolumeInformationW(L"Z:\\", fs, 16));
    // Without fs= the host's own file system is named (never "NTFS" here).
    ASSERT_TRUE(GetVolumeInformationW(L"C:\\", fs, 16));
    EXPECT_GT(wcslen(fs), 0u);
    EXPECT_STRNE(fs, L"NTFS");
    EXPECT_EQ(plat::RawDeviceOf(L'N'), image);
    EXPECT_EQ(plat::RawDeviceOf(L'E'), "");
}

TEST_F(DriveTable, EnvironmentTableIsValidatedNotGuessed) {
    std::vector<plat::DriveInfo> drives;
    std::string error;
    EXPECT_FALSE(plat::ParseDriveTable("C=/;D", drives, &error));
    EXPECT_EQ(error, "drive table entry \"D\": expected <letter>=<host folder>");
    ASSERT_TRUE(plat::ParseDriveTable("", drives, &error));
    EXPECT_TRUE(drives.empty());

    {
        testutil::ScopedEnv env("PICDEX_DRIVES", "C=/;D=photos");
        plat::ResetDriveTable();
        testing::internal::CaptureStderr();
        EXPECT_EQ(GetLogicalDrives(), 0u);  // no drives rather than a guess
        std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(picdex::GetDriveTableError(),
                  "PICDEX_DRIVES: drive table entry \"D=photos\": the host folder must be an "
                  "absolute path; no drives are mapped");
        EXPECT_NE(printed.find("D=photos"), std::string::npos);
    }
    {
        testutil::ScopedEnv env("PICDEX_DRIVES", "D=/srv");
        plat::ResetDriveTable();
        EXPECT_EQ(picdex::GetDriveTable(), "D=/srv");
        EXPECT_EQ(picdex::GetDriveTableError(), "");
    }
    {
        testutil::ScopedEnv env("PICDEX_DRIVES", "");
        plat::ResetDriveTable();
        EXPECT_EQ(picdex::GetDriveTable(), "C=/");  // the default
    }
}

}  // namespace
