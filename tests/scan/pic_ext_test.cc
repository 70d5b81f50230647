// Picture recognition: extension keys, the default table and its filter text, host lists.
#include <gtest/gtest.h>

#include "scan/common_func.h"

namespace {

class PicExtTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }
    void TearDown() override { CCommonFunc::InitPicExt({}); }
    static int Wide(const wchar_t* name) { return CCommonFunc::IsPicFile(CString(name)); }
};

TEST_F(PicExtTest, DefaultTable) {
    // Case-blind keys of the first four characters after the last dot (TIF and TIFF are
    // two keys); without a dot, the text after the first character.
    for (const wchar_t* name : {L"photo.JPG", L"PHOTO.Jpg", L"scan.tiff", L"scan.tif", L"x.tiffany",
                                L"a.b.gif", L"x.ai", L"xjpg", L".jpg", L"\u4e2d\u6587.bmp"})
        EXPECT_EQ(1, Wide(name)) << name;
    for (const wchar_t* name : {L"photo.jpeg", L"x.jp", L"a.jpg.zip", L"a.", L"", L"jpg",
                                L"a.jp\u00e9", L"\u00e9jpg\u00e9"})
        EXPECT_EQ(0, Wide(name)) << name;
    EXPECT_EQ(1, CCommonFunc::IsPicFile(L"photo.jpg.txt", 9));  // the length bounds the name
    EXPECT_EQ(0, CCommonFunc::IsPicFile(L"photo.jpg.txt", 8));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("\xe4\xb8\xad.GIF", -1));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(static_cast<const wchar_t*>(nullptr), 5));
    EXPECT_EQ(CString(L"*.JPG | *.BMP | *.GIF | *.ICO | *.PNG | *.IMG | *.TIFF | *.TIF | "
                      L"*.EMF | *.PSD | *.EPS | *.RAW | *.PXR | *.MAC | *.TGA | *.VST | "
                      L"*.PCD | *.PCT | *.AI | *.FPX | *.CAL | *.WI | *.PNG | *.EPS | "
                      L"*.SCT | *.PDP | *.DXF"),
              CCommonFunc::GetPicExtFilter());
}

TEST_F(PicExtTest, HostListReplacesTheDefaults) {
    CCommonFunc::InitPicExt({L"png", L"jpg"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());  // the set's order
    EXPECT_EQ(0, Wide(L"a.BMP"));
    EXPECT_EQ(1, Wide(L"a.PNG"));
    // Keys OR each code with 0x20: '[' folds onto '{' as 'X' onto 'x'; digits stay.
    CCommonFunc::InitPicExt({L"{x2"});
    EXPECT_EQ(CString(L"*.{x2"), CCommonFunc::GetPicExtFilter());
    EXPECT_EQ(1, Wide(L"a.[X2"));
    EXPECT_EQ(0, Wide(L"a.{x3"));
}

TEST_F(PicExtTest, KeysTakeFullCodesAndSignedBytes) {
    // A wide code is shifted whole: 0x263 in second place ORs 0x02 into the first byte
    // ('a' becomes 'c'). An 8-bit name is read as signed bytes: none is above 127, and 0xE9
    // in second place enters as 0xFFFFFFE9, filling the first byte too.
    CCommonFunc::InitPicExt({L"a\u0263", L"\u00ff\u00e9"});
    EXPECT_EQ(1, CCommonFunc::IsPicFile("x.cc", 0));
    EXPECT_EQ(0, CCommonFunc::IsPicFile("x.ac", 0));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("x.j\xe9", 0));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("x.\xff\xe9", 0));
    EXPECT_EQ(0, Wide(L"x.\u00ff\u00e9"));  // a wide name is refused above 127
    EXPECT_EQ(0, Wide(L"x.a\u0161"));
}

}  // namespace
