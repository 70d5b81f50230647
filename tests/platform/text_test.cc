// Text: formatting, ASCII-only case rules, clamped pieces, code pages and local times.
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/ctime.h"
#include "platform/strings.h"

namespace {

TEST(Strings, FormatCaseRulesAndClampedPieces) {
    const std::pair<CString, CString> cases[] = {
        {plat::Format(L"%s%s", L"C:\\Users\\", L"照片"), L"C:\\Users\\照片"},  // %s is wide
        {plat::Format(L"%S|%c|%C", "narrow", L'ü', 'n'), L"narrow|ü|n"},
        {plat::Format(L"%-4s|%5.1f|%02X|%%", L"ab", 2.25, 0x0c), L"ab  |  2.2|0C|%"},
        {plat::MakeUpper(L"jpg é"), L"JPG é"},  // only ASCII folds
        {plat::Trim(L" \t a b \r\n"), L"a b"},
        {plat::TrimRight(L"C:\\a\\\\", L"\\"), L"C:\\a"},
        {plat::Mid(L"abc", 5), L""},
        {plat::Mid(L"abcdef", 2, 100), L"cdef"},
        {plat::Left(L"abc", -1), L""},
        {plat::Right(L"abc", 10), L"abc"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
    EXPECT_EQ(plat::CompareNoCase(L"C:\\Photos", L"c:\\PHOTOS"), 0);
    EXPECT_LT(plat::CompareNoCase(L"abc", L"ABD"), 0);
    EXPECT_NE(plat::CompareNoCase(L"É", L"é"), 0);
    EXPECT_EQ(plat::Find(L"a.b.c", L'.', 2), 3);
    EXPECT_EQ(plat::Find(L"a.b.c", L'.', 99), -1);
    EXPECT_EQ(plat::ReverseFind(L"a.b.c", L'.'), 3);
}

TEST(CodePages, Utf8RoundTripsAndRepairsBadBytes) {
    CString text = L"Zürich 照片 \U0001F600";
    std::string utf8 = plat::WideToMultiByte(CP_UTF8, text);
    EXPECT_EQ(utf8, "Z\xC3\xBCrich \xE7\x85\xA7\xE7\x89\x87 \xF0\x9F\x98\x80");
    EXPECT_EQ(plat::MultiByteToWide(CP_UTF8, utf8), text);
    // A stray continuation byte, a truncated sequence and an overlong form.
    EXPECT_EQ(plat::MultiByteToWide(CP_UTF8, "a\x80z"), L"a\uFFFDz");
    EXPECT_EQ(plat::MultiByteToWide(CP_UTF8, "a\xE7\x85"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(plat::MultiByteToWide(CP_UTF8, "\xC0\xAF"), L"\uFFFD\uFFFD");
}

TEST(CodePages, AnsiFollowsPicdexAcp) {
    {
        testutil::ScopedEnv acp("PICDEX_ACP", "CP936");
        plat::ResetAnsiCodePage();
        EXPECT_EQ(plat::WideToMultiByte(CP_ACP, L"照片a"),
                  "\xD5\xD5\xC6\xAC"
                  "a");
        EXPECT_EQ(plat::MultiByteToWide(CP_ACP,
                                        "\xD5\xD5\xC6\xAC"
                                        "a"),
                  L"照片a");
        EXPECT_EQ(plat::WideToMultiByte(CP_ACP, L"x\U0001F600y"), "x?y");  // not in the page
    }
    {
        testutil::ScopedEnv acp("PICDEX_ACP", "");
        testutil::ScopedEnv lang("LC_ALL", "C");
        plat::ResetAnsiCodePage();
        EXPECT_EQ(plat::AnsiCodePageName(), "UTF-8");  // plain ASCII locale
    }
    plat::ResetAnsiCodePage();
}

TEST(Times, FieldsAreLocalTime) {
    struct ZoneBack {
        ~ZoneBack() { tzset(); }  // after TZ is restored
    } back;
    testutil::ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    CTime summer(2008, 7, 1, 12, 30, 15);
    EXPECT_EQ(summer.GetTime(), 1214915415 - 2 * 3600);
    EXPECT_EQ(CTime(2008, 1, 1, 0, 0, 0).GetTime(), 1199142000);
    auto f = summer.GetLocalFields();
    EXPECT_TRUE(f.valid);
    EXPECT_EQ(std::vector<int>({f.year, f.month, f.day, f.hour, f.minute, f.second, f.dayOfWeek}),
              std::vector<int>({2008, 7, 1, 12, 30, 15, 3}));  // a Tuesday
    // Out-of-range fields are normalised: 30 February 2008 is 1 March.
    CTime feb30(2008, 2, 30, 0, 0, 0);
    EXPECT_EQ(feb30.GetMonth() * 100 + feb30.GetDay(), 301);
    EXPECT_EQ((CTime(2009, 1, 1, 0, 0, 0) - 1).GetDay(), 31);
    // A time without a local calendar form says so.
    auto none = CTime(std::int64_t(1) << 62).GetLocalFields();
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.year, 1970);
}

}  // namespace
