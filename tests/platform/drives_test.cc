// The drive table: its text and paths translated both ways. (Drive types, file-system
// names and raw devices are read by the scanner's tests: drives listed by type and file
// system, NTFS volumes read through their device.)
#include <gtest/gtest.h>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/drives.h"

namespace {

class DriveTable : public ::testing::Test {
protected:
    testutil::ScopedDriveTable table_{"C=/"};
};

TEST_F(DriveTable, ParsesEntriesAndRejectsUnusableOnesByName) {
    table_.Set(" D=/srv/photos/,type=removable ;c=/; N=/mnt/win,fs=NTFS,device=/dev/sdb1;");
    const std::string parsed =
        "C=/;D=/srv/photos,type=removable;N=/mnt/win,fs=NTFS,device=/dev/sdb1";
    EXPECT_EQ(picdex::GetDriveTable(), parsed);
    EXPECT_EQ(GetLogicalDrives(), (1u << 2) | (1u << 3) | (1u << 13));
    const std::pair<const char*, const char*> bad[] = {
        {"C=/;Dsrv", "\"Dsrv\": expected <letter>=<host folder>"},
        {"CD=/x", "\"CD=/x\": the drive must be one letter A-Z"},
        {"D=srv/photos", "\"D=srv/photos\": the host folder must be an absolute path"},
        {"D=/x,kind=fixed",
         "\"D=/x,kind=fixed\": unknown option 'kind=fixed' (expected type=, fs= or device=)"},
        {"D=/x,type=floppy",
         "\"D=/x,type=floppy\": unknown type 'floppy' (expected fixed, "
         "removable, remote, cdrom or ramdisk)"},
        {"D=/x,fs=", "\"D=/x,fs=\": fs= needs a value"},
        {"D=/x,device=sdb1", "\"D=/x,device=sdb1\": device= must be an absolute path"},
        {"C=/;c=/tmp", "\"c=/tmp\": drive C is given twice"},
    };
    for (auto [text, message] : bad) {
        std::string error;
        EXPECT_FALSE(picdex::SetDriveTable(text, &error)) << text;
        EXPECT_EQ(error, std::string("drive table entry ") + message);
    }
    EXPECT_EQ(picdex::GetDriveTable(), parsed);  // left as it was
}

TEST_F(DriveTable, TranslatesPathsBothWaysNeverAboveADrive) {
    table_.Set("C=/;D=/srv/photos");
    const std::pair<const wchar_t*, const char*> toHost[] = {
        {L"C:", "/"},
        {L"c:\\Photos\\2008\\a.jpg", "/Photos/2008/a.jpg"},
        {L"C:\\Photos\\\\2008\\\\\\", "/Photos/2008"},
        {L"C:/Photos/x", "/Photos/x"},
        {L"D:\\", "/srv/photos"},
        {L"D:\\a\\..\\..\\..\\b", "/srv/photos/b"},
        {L"D:\\.\\a\\.", "/srv/photos/a"},
        {L"D:\\ü 照片;a,b\\\U0001F600", "/srv/photos/ü 照片;a,b/\U0001F600"},
        {L"E:\\x", "-"},  // not mapped
        {L"\\\\server\\share", "-"},
        {L"photos\\a.jpg", "-"},
    };
    for (auto [lib, want] : toHost) {
        std::string host;
        EXPECT_EQ(plat::ToHostPath(lib, host) ? host : "-", want);
    }
    // The closest drive holds a host path; names the library cannot write are refused.
    const std::pair<const char*, const wchar_t*> toLib[] = {
        {"/", L"C:\\"},
        {"/srv/photos", L"D:\\"},
        {"/srv/photos2/x/", L"C:\\srv\\photos2\\x"},
        {"/srv//./photos/../photos/y", L"D:\\y"},
        {"/srv/photos/ü 照片;a,b/\U0001F600", L"D:\\ü 照片;a,b\\\U0001F600"},
        {"/srv/a\\b", L"-"},
        {"/srv/bad\xFF", L"-"},
        {"relative/path", L"-"},
    };
    for (auto [host, want] : toLib) {
        CString lib;
        EXPECT_EQ(plat::ToLibraryPath(host, lib) ? lib : L"-", want) << host;
    }
    table_.Set("D=/srv/photos");
    CString lib;
    EXPECT_FALSE(plat::ToLibraryPath("/etc", lib));  // on no drive
}

// A table in the environment with a bad entry maps no drive, and says why on standard
// error too. (The default, C=/, is what the host program's tests run on, and a table in
// the environment is how the scanner's crash test maps its child processes' drives.)
TEST_F(DriveTable, AnEnvironmentTableWithABadEntryMapsNoDrive) {
    const std::string error =
        "PICDEX_DRIVES: drive table entry \"D=photos\": the host folder must be an absolute "
        "path; no drives are mapped";
    testutil::ScopedEnv set("PICDEX_DRIVES", "C=/;D=photos");
    plat::ResetDriveTable();
    testing::internal::CaptureStderr();
    std::string got = picdex::GetDriveTable() + "|" + picdex::GetDriveTableError();
    EXPECT_EQ(got + "|" + testing::internal::GetCapturedStderr(),
              "|" + error + "|picdex: " + error + "\n");
}

}  // namespace
