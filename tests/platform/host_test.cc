#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/window.h"

namespace {

class HostFacilities : public ::testing::Test {
protected:
    testutil::TempDir dir_;
    testutil::ScopedDriveTable drives_{"C=/;E=" + dir_.path()};
};

CString ReadRegistry(const wchar_t* key, const wchar_t* value, LONG* status = nullptr) {
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h);
    if (status) *status = rc;
    if (rc != ERROR_SUCCESS) return L"<no key>";
    wchar_t buf[260];
    DWORD size = sizeof buf, type = 0;
    rc = RegQueryValueExW(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    if (status) *status = rc;
    if (rc != ERROR_SUCCESS) return L"<no value>";
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, (wcslen(buf) + 1) * sizeof(wchar_t));
    return buf;
}

TEST_F(HostFacilities, RegistryReadsItsTextFile) {
    std::string file = dir_.WriteFile(
        "registry.txt",
        "# comment\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Directory=C:\\Program Files\\Ex ample\n"
        "HKLM\\Software\\Example\\Other= 照片 \r\n"
        "HKEY_CURRENT_USER\\SOFTWARE\\Example\\Directory=user\n"
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Example\\Deeper\\Key\\V=1\n");
    {
        testutil::ScopedEnv env("PICDEX_REGISTRY", file);
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Directory"), L"C:\\Program Files\\Ex ample");
        EXPECT_EQ(ReadRegistry(L"software\\EXAMPLE", L"directory"), L"C:\\Program Files\\Ex ample");
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Other"), L" 照片 ");
        LONG rc;
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Missing", &rc), L"<no value>");
        EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Nothing", L"Directory", &rc), L"<no key>");
        EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example\\Deeper\\Key", L"V"), L"1");

        HKEY h;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Example", 0, KEY_READ, &h),
                  ERROR_SUCCESS);
        wchar_t small[4];
        DWORD size = sizeof small;
        EXPECT_EQ(RegQueryValueExW(h, L"Directory", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(small), &size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(size, 26 * sizeof(wchar_t));  // 25 characters and the terminator
        RegCloseKey(h);
    }
    LONG rc;
    EXPECT_EQ(ReadRegistry(L"SOFTWARE\\Example", L"Directory", &rc), L"<no key>");
}

TEST_F(HostFacilities, SettingsFileReadsSectionsAndKeys) {
    dir_.WriteFile("settings.ini",
                   "; comment\n"
                   "[Other]\n"
                   "CurrentTempFilePath=wrong\n"
                   "[ Paths ]\r\n"
                   "  CurrentTempFilePath = C:\\Temp\\Host\\ \r\n"
                   "LastTempFilePath=\n"
                   "Quoted=\"  spaced  \"\n"
                   "Name=照片\n");
    wchar_t buf[260];
    auto get = [&](const wchar_t* section, const wchar_t* key, DWORD size = 260) {
        DWORD n = GetPrivateProfileStringW(section, key, L"dflt", buf, size, L"E:\\settings.ini");
        EXPECT_EQ(n, wcslen(buf));
        return CString(buf);
    };
    EXPECT_EQ(get(L"Paths", L"CurrentTempFilePath"), L"C:\\Temp\\Host\\");
    EXPECT_EQ(get(L"PATHS", L"currenttempfilepath"), L"C:\\Temp\\Host\\");
    EXPECT_EQ(get(L"Paths", L"LastTempFilePath"), L"");
    EXPECT_EQ(get(L"Paths", L"Quoted"), L"  spaced  ");
    EXPECT_EQ(get(L"Paths", L"Name"), L"照片");
    EXPECT_EQ(get(L"Paths", L"Missing"), L"dflt");
    EXPECT_EQ(get(L"Nowhere", L"CurrentTempFilePath"), L"dflt");
    EXPECT_EQ(get(L"Paths", L"CurrentTempFilePath", 5), L"C:\\T");
    EXPECT_EQ(GetPrivateProfileStringW(L"Paths", L"Name", L"", buf, 260, L"E:\\none.ini"), 0u);

    // Other encodings: UTF-16 with its mark, and the ANSI code page.
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : CString(L"[S]\r\nK=é照\r\n")) {
        utf16 += char(c & 0xFF);
        utf16 += char(c >> 8);
    }
    dir_.WriteFile("u16.ini", utf16);
    GetPrivateProfileStringW(L"S", L"K", L"", buf, 260, L"E:\\u16.ini");
    EXPECT_STREQ(buf, L"é照");
    dir_.WriteFile("ansi.ini", "[S]\nK=caf\xE9\n");
    testutil::ScopedEnv acp("PICDEX_ACP", "CP1252");
    plat::ResetAnsiCodePage();
    GetPrivateProfileStringW(L"S", L"K", L"", buf, 260, L"E:\\ansi.ini");
    EXPECT_STREQ(buf, L"café");
    unsetenv("PICDEX_ACP");
    plat::ResetAnsiCodePage();
}

TEST_F(HostFacilities, SpecialFoldersLieOnMappedDrives) {
    testutil::ScopedEnv data("XDG_DATA_HOME", dir_ / "share");
    testutil::ScopedEnv docs("XDG_DOCUMENTS_DIR", dir_ / "Docs");
    testutil::ScopedEnv tmp("TMPDIR", dir_ / "tmp");
    CString path;
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, FALSE) &&
                 std::filesystem::exists(dir_ / "share"));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE));
    EXPECT_EQ(path, L"E:\\share");
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "share"));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE));
    EXPECT_EQ(path, L"E:\\Docs");
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_WINDOWS, FALSE));
    EXPECT_EQ(path, L"C:\\usr");
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE));
    EXPECT_EQ(path, L"C:\\opt");
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, 12345, FALSE));
    EXPECT_EQ(GetTempPathW(path), 7u);
    EXPECT_EQ(path, L"E:\\tmp\\");
    ASSERT_GT(GetModuleFileNameW(nullptr, path), 0u);
    EXPECT_NE(path.find(L"platform_tests"), CString::npos);

    // Off the mapped drives, a folder is unknown, and is not created.
    drives_.Set("E=" + dir_.path() + "/mapped");
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_WINDOWS, FALSE));
    testutil::ScopedEnv data2("XDG_DATA_HOME", dir_ / "unmapped");
    EXPECT_FALSE(SHGetSpecialFolderPathW(nullptr, path, CSIDL_APPDATA, TRUE));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "unmapped"));
    drives_.Set("E=" + dir_.path());
    EXPECT_EQ(GetTempPathW(path), 7u);
    testutil::ScopedEnv tmp2("TMPDIR", "/var/tmp");
    EXPECT_EQ(GetTempPathW(path), 0u);
}

TEST(HostWindows, MessagesReachTheRegisteredProcedureSynchronously) {
    std::thread::id procThread;
    UINT lastMsg = 0;
    WPARAM lastW = 0;
    LPARAM lastL = 0;
    HWND wnd = CreateHostWindow([&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        procThread = std::this_thread::get_id();
        lastMsg = msg;
        lastW = w;
        lastL = l;
        return 77;
    });
    ASSERT_NE(wnd, nullptr);
    EXPECT_TRUE(IsWindow(wnd));
    EXPECT_EQ(SendMessageW(wnd, 0x1799, 'C', ~LPARAM('C')), 77);
    EXPECT_EQ(procThread, std::this_thread::get_id());
    EXPECT_EQ(lastMsg, 0x1799u);
    EXPECT_EQ(lastW, WPARAM('C'));
    EXPECT_EQ(lastL, ~LPARAM('C'));
    LRESULT fromOther = 0;
    std::thread([&] { fromOther = SendMessageW(wnd, 1, 0, 0); }).join();
    EXPECT_EQ(fromOther, 77);
    EXPECT_NE(procThread, std::this_thread::get_id());

    EXPECT_TRUE(DestroyWindow(wnd));
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(SendMessageW(wnd, 2, 0, 0), 0);
    EXPECT_FALSE(DestroyWindow(wnd));
    EXPECT_FALSE(IsWindow(nullptr));
}

TEST(HostWindows, MessageBoxWritesOneLine) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, L"data corrupted!\nnow quit.", L"fatal error", MB_ICONERROR),
              IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fatal error: data corrupted! now quit.\n");
}

}  // namespace
