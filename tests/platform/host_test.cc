// The host's stand-ins: the registry and settings files, and message boxes.
#include <gtest/gtest.h>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/registry.h"

namespace {

class HostFacilities : public ::testing::Test {
protected:
    testutil::TempDir dir_;
    testutil::ScopedDriveTable drives_{"C=/;E=" + dir_.path()};
};

// A value of HKEY_LOCAL_MACHINE read into a buffer of `chars` characters, or why not.
CString ReadRegistry(const wchar_t* key, const wchar_t* value, DWORD chars = 260) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h);
    wchar_t buf[260] = {};
    DWORD size = chars * sizeof(wchar_t), type = 0;
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExW(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
        RegCloseKey(h);
    }
    if (rc == ERROR_MORE_DATA) return L"<more data: " + std::to_wstring(size) + L">";
    if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND ? L"<not found>" : L"<error>";
    return type == REG_SZ ? buf : L"<not a text>";
}

TEST_F(HostFacilities, RegistryReadsItsTextFile) {
    std::string file = dir_.WriteFile(
        "registry.txt",
        "# comment\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Directory=C:\\Program Files\\Ex ample\n"
        "HKLM\\Software\\Example\\Other= 照片 \r\n"
        "HKEY_CURRENT_USER\\SOFTWARE\\Example\\Directory=user\n");
    {
        testutil::ScopedEnv env("PICDEX_REGISTRY", file);
        EXPECT_EQ(ReadRegistry(L"software\\EXAMPLE", L"directory"), L"C:\\Program Files\\Ex ample");
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Other"), L" 照片 ");
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Missing"), L"<not found>");
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Nothing", L"Directory"), L"<not found>");
        // Too small a buffer: more data, and the size needed (25 characters and a NUL).
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Directory", 4),
                  L"<more data: " + std::to_wstring(26 * sizeof(wchar_t)) + L">");
    }
    EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Directory"), L"<not found>");
}

TEST_F(HostFacilities, SettingsFilesInEveryEncoding) {
    dir_.WriteFile("settings.ini",
                   "; comment\n[Other]\nCurrentTempFilePath=wrong\n"
                   "[ Paths ]\r\n  CurrentTempFilePath = C:\\Temp\\Host\\ \r\n"
                   "LastTempFilePath=\nQuoted=\"  spaced  \"\nName=照片\n");
    std::string utf16 = "\xFF\xFE";  // UTF-16 with its mark
    for (wchar_t c : CString(L"[S]\r\nK=é照\r\n"))
        utf16 += {char(c & 0xFF), char(c >> 8)};
    dir_.WriteFile("u16.ini", utf16);
    dir_.WriteFile("ansi.ini", "[S]\nK=caf\xE9\n");
    testutil::ScopedEnv acp("PICDEX_ACP", "CP1252");
    plat::ResetAnsiCodePage();
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*, DWORD, const wchar_t*>
        cases[] = {
            {L"settings", L"PATHS", L"currenttempfilepath", 260, L"C:\\Temp\\Host\\"},
            {L"settings", L"Paths", L"LastTempFilePath", 260, L""},
            {L"settings", L"Paths", L"Quoted", 260, L"  spaced  "},
            {L"settings", L"Paths", L"Name", 260, L"照片"},
            {L"settings", L"Paths", L"CurrentTempFilePath", 5, L"C:\\T"},
            {L"u16", L"S", L"K", 260, L"é照"},
            {L"ansi", L"S", L"K", 260, L"café"},
        };
    wchar_t buf[260];
    for (auto [file, section, key, size, want] : cases) {
        CString path = CString(L"E:\\") + file + L".ini";
        DWORD n = GetPrivateProfileStringW(section, key, L"dflt", buf, size, path.c_str());
        EXPECT_EQ(CString(buf) + L" " + std::to_wstring(n),
                  CString(want) + L" " + std::to_wstring(wcslen(want)));
    }
    unsetenv("PICDEX_ACP");
    plat::ResetAnsiCodePage();
}

// A message box is a fatal error's last word: one line on standard error, title first.
// (Host windows are driven by the engine's service tests: its reports reach the
// procedure with their data, and a window that is gone gets nothing.)
TEST(MessageBoxes, WriteOneLineOnStandardError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, L"data corrupted!\nnow quit.", L"fatal error", MB_ICONERROR),
              IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fatal error: data corrupted! now quit.\n");
}

}  // namespace
