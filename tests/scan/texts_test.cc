// Texts: picture recognition, path texts, number texts and date ranges.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "common/temp_dir.h"
#include "scan/common_func.h"

namespace {

// Case-blind keys of the first four characters after the last dot (TIF and TIFF are two
// keys); without a dot, the text after the first character. A host list replaces the
// table. A code above 127 after the last dot makes no picture.
TEST(PicExtTest, DefaultTableHostListsAndKeys) {
    auto is = [](auto name) { return CCommonFunc::IsPicFile(name, 0); };
    CCommonFunc::InitPicExt({});
    for (const wchar_t* name :
         {L"a.JPG", L"A.Jpg", L"a.tiff", L"a.tif", L"x.tiffany", L"xjpg", L"\u4e2d.bmp"})
        EXPECT_EQ(1, is(name)) << name;
    for (const wchar_t* name : {L"a.jpeg", L"a.jpg.zip", L"a.", L"", L"jpg", L"a.tiff\u00e9"})
        EXPECT_EQ(0, is(name)) << name;
    EXPECT_EQ(1, CCommonFunc::IsPicFile(L"a.jpg.txt", 5));  // the length bounds the name
    CCommonFunc::InitPicExt({L"png", L"jpg"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());  // the set's order
    EXPECT_EQ(std::pair(1, 0), std::pair(is(L"a.PNG"), is(L"a.BMP")));
    EXPECT_EQ(std::pair(1, 0), std::pair(is("x.Png"), is("x.gif")));  // 8-bit names
    CCommonFunc::InitPicExt({});
}

// Path, parent, title, extension (after the last dot when something comes before it).
// (The service's tests see folders get their backslash.)
TEST(PathTextTest, ParentTitleAndExtension) {
    const wchar_t* const cases[][4] = {{L"C:\\a\\b\\\\", L"C:\\a\\", L"b", L""},
                                       {L"C:\\a\\b.c.JPG", L"C:\\a\\", L"b.c.JPG", L"JPG"},
                                       {L"C:\\", L"", L"C:", L""},
                                       {L"\\a\\", L"", L"\\a", L""},
                                       {L".profile", L"", L".profile", L""}};
    for (auto [p, parent, title, ext] : cases)
        EXPECT_EQ(std::tuple(CString(parent), CString(title), CString(ext)),
                  std::tuple(CCommonFunc::GetParentFolder(p), CCommonFunc::GetTitle(p),
                             CCommonFunc::GetFileExt(p)))
            << p;
}

// Plain digits are numbers. A fraction's numerator starts at the first digit, blank or
// sign, its denominator at the first such character after the slash, and only digits
// may follow that. Refused texts leave the outputs alone.
TEST(NumberTextTest, IntegersDecimalsAndFractions) {
    int n = 7, d = 8;
    double x = 9;
    EXPECT_EQ(std::tuple(1, 250, 1, 0.25), (std::tuple{CCommonFunc::CanBeInt(L"250", n), n,
                                                       CCommonFunc::CanBeDouble(L"0.25", x), x}));
    EXPECT_EQ(std::tuple(1, 3, 2), (std::tuple{CCommonFunc::CanBeFrac(L"f/ 3/x2", n, d), n, d}));
    EXPECT_EQ(std::tuple(1, -28, 10), (std::tuple{CCommonFunc::CanBeFrac(L"-28/10", n, d), n, d}));
    for (const wchar_t* text : {L"1/", L"/250", L"1/250x", L"12"})
        EXPECT_EQ(std::tuple(0, -28, 10), (std::tuple{CCommonFunc::CanBeFrac(text, n, d), n, d}))
            << text;
}

// Date ranges in a fixed zone (UTC+9) through both overloads, as wall-clock seconds.
class DateTextTest : public ::testing::Test {
protected:
    static std::pair<std::int64_t, std::int64_t> Parse(const std::string& text) {
        CTime f(12345), t(67890), nf(12345), nt(67890);
        int wide = CCommonFunc::CanBeTime(CString(text.begin(), text.end()).c_str(), f, t);
        EXPECT_EQ(wide, CCommonFunc::CanBeTime(text.c_str(), nf, nt)) << text;
        EXPECT_EQ(std::pair(f, t), std::pair(nf, nt)) << text;
        return {f.GetTime() + (wide ? 9 * 3600 : 0), t.GetTime() + (wide ? 9 * 3600 : 0)};
    }
    testutil::ScopedEnv m_tz{"TZ", "XYZ-9"};  // mktime reads TZ at each call
};

TEST_F(DateTextTest, RangesByPrecision) {
    constexpr std::int64_t k2008 = 1199145600, kEnd = 1230767999, kMar = 1204329600, kDay = 86400;
    const std::tuple<const char*, std::int64_t, std::int64_t> cases[] = {
        {"2008-", k2008, kEnd},
        {"99", 915148800, 946684799},
        {"1971", 31536000, 63071999},
        {"2035", 2051222400, 2082758399},
        {"08-02", 1201824000, kMar - 1},  // to 29 February
        {"2008-12", kEnd - 31 * kDay + 1, kEnd},
        {"2008.12.31 ", kEnd - kDay + 1, kEnd},
        {"2008-02-30", kMar, kMar + kDay - 1},             // no month-length check: 1 March
        {"08-1-1T10:30:15.250", 1199183415, 1199183415}};  // text after the seconds is ignored
    for (auto [text, from, to] : cases)
        EXPECT_EQ(std::pair(from, to), Parse(text)) << text;
    // Refused texts leave both outputs untouched.
    for (const char* text :
         {"", " 2008", "1970", "2036", "35", "100", "99999999999999999999", "2008-13", "2008-0",
          "2008-01-32", "2008-01-00", "2008-01-01 10", "2008-01-01 10:30", "2008-01-01 10:30:60",
          "2008-01-01 10:60:00", "2008-01-01 24:00:00", "2000-00-00 01:01:01"})
        EXPECT_EQ(std::pair(std::int64_t(12345), std::int64_t(67890)), Parse(text)) << text;
}

// Central Europe: 30 March 2008 has 23 hours. A day runs from its local midnight for
// 86400 - 1 seconds; a month ends one second before the next month's local midnight.
TEST_F(DateTextTest, DaylightSavingChange) {
    testutil::ScopedEnv cet("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    CTime from, to, monthFrom, monthTo;
    CCommonFunc::CanBeTime(L"2008-03-30", from, to);
    CCommonFunc::CanBeTime("2008-03", monthFrom, monthTo);
    // From 2008-03-29 23:00:00 UTC; to 2008-03-31 21:59:59 UTC.
    EXPECT_EQ(
        std::tuple(std::int64_t(1206831600), std::int64_t(86400 - 1), std::int64_t(1207000799)),
        std::tuple(from.GetTime(), to - from, monthTo.GetTime()));
}

}  // namespace
