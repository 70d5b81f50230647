// Text: formatting, ASCII-only case rules, clamped pieces and code pages. (Local times are
// guarded where they are used: the database's time literals and the scanner's date texts.)
#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "platform/codepage.h"
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
    // Comparisons without case (ASCII only) and finds from a place, or from the end.
    EXPECT_EQ((std::vector<int>{plat::CompareNoCase(L"C:\\Photos", L"c:\\PHOTOS"),
                                plat::CompareNoCase(L"abc", L"ABD") < 0,
                                plat::CompareNoCase(L"É", L"é") != 0, plat::Find(L"a.b.c", L'.', 2),
                                plat::Find(L"a.b.c", L'.', 99), plat::ReverseFind(L"a.b.c", L'.')}),
              (std::vector<int>{0, 1, 1, 3, -1, 3}));
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
        // (The database tests open an index by a path in this code page.)
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

}  // namespace
