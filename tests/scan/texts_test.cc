// Texts: picture recognition, path texts, number texts and date ranges.
#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <string>
#include <tuple>

#include "common/temp_dir.h"
#include "scan/common_func.h"

namespace {

class PicExtTest : public ::testing::Test {
protected:
    void TearDown() override { CCommonFunc::InitPicExt({}); }
    // 1 for every name of `yes`, 0 for every name of `no`; Ch char: the 8-bit form.
    template <class Ch>
    static void Expect(std::initializer_list<const Ch*> yes, std::initializer_list<const Ch*> no) {
        for (const Ch* name : yes)
            EXPECT_EQ(1, CCommonFunc::IsPicFile(name, 0)) << name;
        for (const Ch* name : no)
            EXPECT_EQ(0, CCommonFunc::IsPicFile(name, 0)) << name;
    }
};

// Case-blind keys of the first four characters after the last dot (TIF and TIFF are two
// keys); without a dot, the text after the first character. A host list replaces the
// table. Keys OR each code with 0x20 ('[' folds onto '{' as 'X' onto 'x') and shift whole
// codes (0x263 in second place puts 0x02 into the first byte: 'a' becomes 'c'). An 8-bit
// name is read as signed bytes: none is above 127, and 0xE9 in second place enters as
// 0xFFFFFFE9, filling the first byte too. Wide names refuse codes above 127.
TEST_F(PicExtTest, DefaultTableHostListsAndKeys) {
    CCommonFunc::InitPicExt({});
    Expect<wchar_t>({L"a.JPG", L"A.Jpg", L"a.tiff", L"a.tif", L"x.tiffany", L"a.b.gif", L"x.ai",
                     L"xjpg", L".jpg", L"\u4e2d.bmp"},
                    {L"a.jpeg", L"x.jp", L"a.jpg.zip", L"a.", L"", L"jpg", L"a.jp\u00e9"});
    EXPECT_EQ(1, CCommonFunc::IsPicFile(L"a.jpg.txt", 5));  // the length bounds the name
    EXPECT_EQ(0, CCommonFunc::IsPicFile(L"a.jpg.txt", 4));
    EXPECT_EQ(CString(L"*.JPG | *.BMP | *.GIF | *.ICO | *.PNG | *.IMG | *.TIFF | *.TIF | "
                      L"*.EMF | *.PSD | *.EPS | *.RAW | *.PXR | *.MAC | *.TGA | *.VST | "
                      L"*.PCD | *.PCT | *.AI | *.FPX | *.CAL | *.WI | *.PNG | *.EPS | "
                      L"*.SCT | *.PDP | *.DXF"),
              CCommonFunc::GetPicExtFilter());
    CCommonFunc::InitPicExt({L"png", L"jpg"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());  // the set's order
    Expect<wchar_t>({L"a.PNG"}, {L"a.BMP"});
    CCommonFunc::InitPicExt({L"{x2", L"a\u0263", L"\u00ff\u00e9"});
    Expect<char>({"a.[X2", "x.cc", "x.j\xe9", "x.\xff\xe9"}, {"a.{x3", "x.ac"});
    Expect<wchar_t>({}, {L"x.\u00ff\u00e9", L"x.a\u0263"});
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
                                       {L"\\a\\", L"", L"\\a"},
                                       {L"name", L"", L"name"}};
    for (auto [p, parent, title] : cases)
        EXPECT_EQ(std::pair(CString(parent), CString(title)),
                  std::pair(CCommonFunc::GetParentFolder(p), CCommonFunc::GetTitle(p)))
            << p;
    EXPECT_EQ(CString(L"JPG"), CCommonFunc::GetFileExt(L"C:\\a\\b.c.JPG"));
    for (const wchar_t* name : {L".profile", L"README", L"name."})
        EXPECT_EQ(CString(), CCommonFunc::GetFileExt(name)) << name;
}

TEST(NumberTextTest, IntegersDecimalsAndFractions) {
    // Examined from the first digit, blank or sign on; the value converts the whole text,
    // so what comes before that character counts ("a12" is 0).
    const std::pair<const wchar_t*, int> ints[] = {
        {L"250", 250}, {L" -42 ", -42}, {L"\t7", 7}, {L"a12", 0}, {L"-2147483648", INT_MIN}};
    for (auto [text, expected] : ints) {
        int value = 99, result = CCommonFunc::CanBeInt(text, value);
        EXPECT_EQ(std::pair(1, expected), std::pair(result, value)) << text;
    }
    const std::pair<const wchar_t*, double> doubles[] = {
        {L"-0.25", -0.25}, {L" .5 ", 0.5}, {L"x1.5", 0}};
    for (auto [text, expected] : doubles) {
        double value = 99;
        int result = CCommonFunc::CanBeDouble(text, value);
        EXPECT_EQ(std::pair(1, expected), std::pair(result, value)) << text;
    }
    // The numerator starts at the first digit, blank or sign; the denominator at the
    // first such character after the slash, and only digits may follow it.
    const std::tuple<const wchar_t*, int, int> fracs[] = {
        {L"1/250", 1, 250}, {L"-28/10", -28, 10}, {L"f/ 3/x2", 3, 2}};
    for (auto [text, num, den] : fracs) {
        int n = 7, d = 8, result = CCommonFunc::CanBeFrac(text, n, d);
        EXPECT_EQ(std::tuple(1, num, den), std::tuple(result, n, d)) << text;
    }
    // Refused texts leave the outputs alone (braces: the call is made before the reads).
    CString huge(400, L'9');  // beyond the range of a double
    int n = 7, d = 8;
    double x = 9;
    for (const wchar_t* text : {L"", L"+", L"12a", L"1 2", L"+-1", L"1.5", L"2147483648"})
        EXPECT_EQ(std::pair(0, 7), (std::pair{CCommonFunc::CanBeInt(text, n), n})) << text;
    for (const wchar_t* text : {L".", L"1.2.3", L"1e5", huge.c_str()})
        EXPECT_EQ(std::pair(0, 9.0), (std::pair{CCommonFunc::CanBeDouble(text, x), x})) << text;
    for (const wchar_t* text : {L"1/", L"/250", L"1/250x", L"1/ 250"})
        EXPECT_EQ(std::tuple(0, 7, 8), (std::tuple{CCommonFunc::CanBeFrac(text, n, d), n, d}))
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
        {"08", k2008, kEnd},
        {"0", 946684800, 978307199},
        {"99", 915148800, 946684799},
        {"1971", 31536000, 63071999},
        {"2035", 2051222400, 2082758399},
        {"08-02", 1201824000, kMar - 1},  // to 29 February
        {"2008-12", kEnd - 31 * kDay + 1, kEnd},
        {"2008.12.31 ", kEnd - kDay + 1, kEnd},
        {"2008-02-30", kMar, kMar + kDay - 1},  // no month-length check: 1 March
        {"2008-01-01 10:30:15", 1199183415, 1199183415},
        {"08-1-1T10:30:15.250", 1199183415, 1199183415}};  // text after the seconds is ignored
    for (auto [text, from, to] : cases)
        EXPECT_EQ(std::pair(from, to), Parse(text)) << text;
    // Refused texts leave both outputs untouched.
    const char* const refused[] = {"",
                                   " 2008",
                                   "1970",
                                   "2036",
                                   "35",
                                   "100",
                                   "99999999999999999999",
                                   "2008-13",
                                   "2008-0",
                                   "2008--",
                                   "2008-01-32",
                                   "2008-01-00",
                                   "2008-01-01 10",
                                   "2008-01-01 10:30",
                                   "2008-01-01 10:30:",
                                   "2008-01-01 10:30:60",
                                   "2008-01-01 24:00:00",
                                   "2008-01-01 10:60:00",
                                   "2008-01-01  10:30:15",
                                   "2000-00-00 01:01:01"};
    for (const char* text : refused)
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
