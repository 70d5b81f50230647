// Texts: picture recognition, path texts, number texts and date ranges.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "common/temp_dir.h"
#include "scan/common_func.h"

namespace {

// Case-blind keys of the first four characters after the last dot (TIF and TIFF are two
// keys); without a dot, the text after the first character. A host list replaces the
// table. Keys OR each code with 0x20 and shift whole codes (0x263 in second place puts
// 0x02 into the first byte: 'a' becomes 'c'). An 8-bit name is read as signed bytes:
// 0xE9 in second place enters as 0xFFFFFFE9. Wide names refuse codes above 127.
TEST(PicExtTest, DefaultTableHostListsAndKeys) {
    auto is = [](auto name) { return CCommonFunc::IsPicFile(name, 0); };
    CCommonFunc::InitPicExt({});
    for (const wchar_t* name :
         {L"a.JPG", L"A.Jpg", L"a.tiff", L"a.tif", L"x.tiffany", L"xjpg", L"\u4e2d.bmp"})
        EXPECT_EQ(1, is(name)) << name;
    for (const wchar_t* name : {L"a.jpeg", L"a.jpg.zip", L"a.", L"", L"jpg", L"a.jp\u00e9"})
        EXPECT_EQ(0, is(name)) << name;
    EXPECT_EQ(1, CCommonFunc::IsPicFile(L"a.jpg.txt", 5));  // the length bounds the name
    EXPECT_EQ(CString(L"*.JPG | *.BMP | *.GIF | *.ICO | *.PNG | *.IMG | *.TIFF | *.TIF | "
                      L"*.EMF | *.PSD | *.EPS | *.RAW | *.PXR | *.MAC | *.TGA | *.VST | "
                      L"*.PCD | *.PCT | *.AI | *.FPX | *.CAL | *.WI | *.PNG | *.EPS | "
                      L"*.SCT | *.PDP | *.DXF"),
              CCommonFunc::GetPicExtFilter());
    CCommonFunc::InitPicExt({L"png", L"jpg"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());  // the set's order
    EXPECT_EQ(std::pair(1, 0), std::pair(is(L"a.PNG"), is(L"a.BMP")));
    CCommonFunc::InitPicExt({L"{x2", L"a\u0263", L"\u00ff\u00e9"});
    for (const char* name : {"a.[X2", "x.cc", "x.j\xe9", "x.\xff\xe9"})
        EXPECT_EQ(1, is(name)) << name;
    EXPECT_EQ(std::tuple(0, 0, 0), std::tuple(is("x.ac"), is(L"x.\u00ff\u00e9"), is(L"x.a\u0263")));
    CCommonFunc::InitPicExt({});
}

TEST(PathTextTest, FolderParentTitleAndExtension) {
    CString path = L"C:\\Photos", empty;
    for (CString* p : {&path, &path, &empty})
        CCommonFunc::CheckFolderName(*p);
    EXPECT_EQ(std::pair(CString(L"C:\\Photos\\"), CString()), std::pair(path, empty));
    // Path, parent, title.
    const wchar_t* const cases[][3] = {{L"C:\\a\\b\\\\", L"C:\\a\\", L"b"},
                                       {L"C:\\a\\b.jpg", L"C:\\a\\", L"b.jpg"},
                                       {L"C:\\", L"", L"C:"},
                                       {L"\\a\\", L"", L"\\a"}};
    for (auto [p, parent, title] : cases)
        EXPECT_EQ(std::pair(CString(parent), CString(title)),
                  std::pair(CCommonFunc::GetParentFolder(p), CCommonFunc::GetTitle(p)))
            << p;
    EXPECT_EQ(CString(L"JPG"), CCommonFunc::GetFileExt(L"C:\\a\\b.c.JPG"));
    for (const wchar_t* name : {L".profile", L"README"})
        EXPECT_EQ(CString(), CCommonFunc::GetFileExt(name)) << name;
}

// Examined from the first digit, blank or sign on and converted whole. A fraction's
// denominator starts at the first such character after the slash, and only digits may
// follow it. Refused texts leave the outputs alone.
TEST(NumberTextTest, IntegersDecimalsAndFractions) {
    int n = 7, d = 8;
    double x = 9;
    EXPECT_EQ(std::tuple(1, -42, 1, -0.25),
              (std::tuple{CCommonFunc::CanBeInt(L" -42 ", n), n,
                          CCommonFunc::CanBeDouble(L" -.25 ", x), x}));
    EXPECT_EQ(std::tuple(1, 1, 250), (std::tuple{CCommonFunc::CanBeFrac(L"1/250", n, d), n, d}));
    EXPECT_EQ(std::tuple(1, 3, 2), (std::tuple{CCommonFunc::CanBeFrac(L"f/ 3/x2", n, d), n, d}));
    EXPECT_EQ(std::pair(0, -0.25), (std::pair{CCommonFunc::CanBeDouble(L"1e5", x), x}));
    for (const wchar_t* text : {L"", L"12a", L"1 2", L"2147483648"})
        EXPECT_EQ(std::pair(0, 3), (std::pair{CCommonFunc::CanBeInt(text, n), n})) << text;
    for (const wchar_t* text : {L"1/", L"/250", L"1/250x"})
        EXPECT_EQ(std::tuple(0, 3, 2), (std::tuple{CCommonFunc::CanBeFrac(text, n, d), n, d}))
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
        {"2008", k2008, kEnd},
        {"2008-", k2008, kEnd},
        {"0", 946684800, 978307199},
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
    CTime from, to;
    ASSERT_EQ(1, CCommonFunc::CanBeTime(L"2008-03-30", from, to));
    EXPECT_EQ(std::pair(std::int64_t(1206831600), std::int64_t(86400 - 1)),
              std::pair(from.GetTime(), to - from));  // from 2008-03-29 23:00:00 UTC
    ASSERT_EQ(1, CCommonFunc::CanBeTime("2008-03", from, to));
    EXPECT_EQ(1207000799, to.GetTime());  // 2008-03-31 21:59:59 UTC
}

}  // namespace
