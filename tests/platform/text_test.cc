#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "platform/codepage.h"
#include "platform/ctime.h"
#include "platform/strings.h"

namespace {

TEST(Strings, FormatTakesWideTextForPercentS) {
    EXPECT_EQ(plat::Format(L"%s%s", L"C:\\Users\\", L"照片"), L"C:\\Users\\照片");
    EXPECT_EQ(plat::Format(L"%S|%c|%C", "narrow", L'ü', 'n'), L"narrow|ü|n");
    EXPECT_EQ(plat::Format(L"%d-%02d-%02d %02d:%02d:%02d", 2008, 2, 9, 7, 5, 0),
              L"2008-02-09 07:05:00");
    EXPECT_EQ(plat::Format(L"%02X%02X", 0xab, 0x0c), L"AB0C");
    EXPECT_EQ(plat::Format(L"%-4s|%5.1f|%%", L"ab", 2.25), L"ab  |  2.2|%");
    CString longText(5000, L'x');
    EXPECT_EQ(plat::Format(L"<%s>", longText.c_str()).size(), 5002u);
    EXPECT_EQ(plat::FormatA("%s=%d", "n", 5), "n=5");
}

TEST(Strings, AsciiCaseRulesAndClampedPieces) {
    EXPECT_EQ(plat::CompareNoCase(L"C:\\Photos", L"c:\\PHOTOS"), 0);
    EXPECT_LT(plat::CompareNoCase(L"abc", L"ABD"), 0);
    EXPECT_GT(plat::CompareNoCase(L"abcd", L"ABC"), 0);
    EXPECT_NE(plat::CompareNoCase(L"É", L"é"), 0);  // only ASCII folds
    EXPECT_EQ(plat::MakeUpper(L"jpg é"), L"JPG é");
    EXPECT_EQ(plat::Trim(L" \t a b \r\n"), L"a b");
    EXPECT_EQ(plat::TrimRight(L"C:\\a\\\\", L"\\"), L"C:\\a");
    EXPECT_EQ(plat::Find(L"a.b.c", L'.'), 1);
    EXPECT_EQ(plat::Find(L"a.b.c", L'.', 2), 3);
    EXPECT_EQ(plat::Find(L"a.b.c", L'.', 99), -1);
    EXPECT_EQ(plat::ReverseFind(L"a.b.c", L'.'), 3);
    EXPECT_EQ(plat::ReverseFind(L"abc", L'.'), -1);
    EXPECT_EQ(plat::Mid(L"abc", 5), L"");
    EXPECT_EQ(plat::Mid(L"abcdef", 2, 100), L"cdef");
    EXPECT_EQ(plat::Left(L"abc", -1), L"");
    EXPECT_EQ(plat::Right(L"abc", 10), L"abc");
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
    EXPECT_EQ(plat::MultiByteToWide(CP_UTF8, ""), L"");
}

TEST(CodePages, AnsiFollowsPicdexAcp) {
    {
        testutil::ScopedEnv acp("PICDEX_ACP", "CP936");
        plat::ResetAnsiCodePage();
        EXPECT_EQ(plat::AnsiCodePageName(), "CP936");
        std::string gbk = plat::WideToMultiByte(CP_ACP, L"照片a");
        EXPECT_EQ(gbk,
                  "\xD5\xD5\xC6\xAC"
                  "a");
        EXPECT_EQ(plat::MultiByteToWide(CP_ACP, gbk), L"照片a");
        // A character the code page lacks becomes '?'.
        EXPECT_EQ(plat::WideToMultiByte(CP_ACP, L"x\U0001F600y"), "x?y");
    }
    {
        testutil::ScopedEnv acp("PICDEX_ACP", "CP1252");
        plat::ResetAnsiCodePage();
        EXPECT_EQ(plat::WideToMultiByte(CP_ACP, L"café €"), "caf\xE9 \x80");
        EXPECT_EQ(plat::MultiByteToWide(CP_ACP, "caf\xE9 \x80"), L"café €");
    }
    {
        testutil::ScopedEnv acp("PICDEX_ACP", "");
        testutil::ScopedEnv lang("LC_ALL", "C");
        plat::ResetAnsiCodePage();
        EXPECT_EQ(plat::AnsiCodePageName(), "UTF-8");  // plain ASCII locale
    }
    plat::ResetAnsiCodePage();
}

class TimeZoneTest : public ::testing::Test {
protected:
    void Use(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(TimeZoneTest, FieldsAreLocalTime) {
    Use("UTC0");
    CTime t(2008, 7, 1, 12, 30, 15);
    EXPECT_EQ(t.GetTime(), 1214915415);
    Use("CET-1CEST,M3.5.0,M10.5.0/3");
    CTime summer(2008, 7, 1, 12, 30, 15);
    EXPECT_EQ(summer.GetTime(), 1214915415 - 2 * 3600);
    CTime winter(2008, 1, 1, 0, 0, 0);
    EXPECT_EQ(winter.GetTime(), 1199142000);
    auto f = summer.GetLocalFields();
    EXPECT_EQ(f.year, 2008);
    EXPECT_EQ(f.month, 7);
    EXPECT_EQ(f.day, 1);
    EXPECT_EQ(f.hour, 12);
    EXPECT_EQ(f.minute, 30);
    EXPECT_EQ(f.second, 15);
    EXPECT_EQ(f.dayOfWeek, 3);  // a Tuesday
    // Out-of-range fields are normalised: 30 February 2008 is 1 March.
    CTime feb30(2008, 2, 30, 0, 0, 0);
    EXPECT_EQ(feb30.GetMonth(), 3);
    EXPECT_EQ(feb30.GetDay(), 1);
    EXPECT_EQ((CTime(2009, 1, 1, 0, 0, 0) - 1).GetDay(), 31);
    EXPECT_TRUE(f.valid);
    // A time without a local calendar form says so.
    auto none = CTime(std::int64_t(1) << 62).GetLocalFields();
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.year, 1970);
}

}  // namespace
