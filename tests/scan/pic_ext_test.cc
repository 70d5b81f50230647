// Picture recognition: the extension table, its keys and the filter text.
#include <gtest/gtest.h>

#include "scan/common_func.h"

namespace {

class PicExtTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }
    void TearDown() override { CCommonFunc::InitPicExt({}); }
    static int Wide(const wchar_t* name) { return CCommonFunc::IsPicFile(CString(name)); }
};

TEST_F(PicExtTest, DefaultExtensions) {
    // Case-blind keys of the first four characters; TIF and TIFF are two keys; the last
    // dot decides; a name without dot is judged by its text after the first character.
    for (const wchar_t* name :
         {L"photo.JPG", L"photo.jpg", L"PHOTO.Jpg", L"scan.tiff", L"scan.tif", L"x.tiffany",
          L"a.b.gif", L"x.ai", L"xjpg", L".jpg", L"\u4e2d\u6587.bmp"})
        EXPECT_EQ(1, Wide(name)) << name;
    for (const wchar_t* name : {L"photo.jpeg", L"notes.txt", L"x.jp", L"a.jpg.zip", L"a.", L"",
                                L".", L"jpg", L"a.jp\u00e9", L"a.\u4e2djpg", L"\u00e9jpg\u00e9"})
        EXPECT_EQ(0, Wide(name)) << name;
    EXPECT_EQ(1, CCommonFunc::IsPicFile("\xe4\xb8\xad.jpg", 0));
    EXPECT_EQ(0, CCommonFunc::IsPicFile("a.jp\xc3\xa9", 0));  // bytes above 127
    EXPECT_EQ(1, CCommonFunc::IsPicFile("xJPG", -1));
    // The length argument bounds the name.
    EXPECT_EQ(1, CCommonFunc::IsPicFile(L"photo.jpg.txt", 9));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(L"photo.jpg.txt", 8));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("photo.gif.txt", 9));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(static_cast<const wchar_t*>(nullptr), 5));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(static_cast<const char*>(nullptr), 0));
    EXPECT_EQ(CString(L"*.JPG | *.BMP | *.GIF | *.ICO | *.PNG | *.IMG | *.TIFF | *.TIF | "
                      L"*.EMF | *.PSD | *.EPS | *.RAW | *.PXR | *.MAC | *.TGA | *.VST | "
                      L"*.PCD | *.PCT | *.AI | *.FPX | *.CAL | *.WI | *.PNG | *.EPS | "
                      L"*.SCT | *.PDP | *.DXF"),
              CCommonFunc::GetPicExtFilter());
}

TEST_F(PicExtTest, HostListReplacesTheDefaults) {
    CCommonFunc::InitPicExt({L"jpg", L"png"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());
    EXPECT_EQ(0, Wide(L"a.BMP"));
    EXPECT_EQ(1, Wide(L"a.PNG"));
    // The host's spelling, in the set's order; digits stay apart from letters.
    CCommonFunc::InitPicExt({L"jpeg", L"Jp2"});
    EXPECT_EQ(CString(L"*.Jp2 | *.jpeg"), CCommonFunc::GetPicExtFilter());
    EXPECT_EQ(1, Wide(L"a.JPEG"));
    EXPECT_EQ(1, Wide(L"a.jp2"));
    EXPECT_EQ(0, Wide(L"a.jp3"));
    EXPECT_EQ(0, Wide(L"a.jpg"));
    // A name is refused for a character above 127 even when the host's list has it.
    CCommonFunc::InitPicExt({L"\u00e9jp"});
    EXPECT_EQ(0, Wide(L"a.\u00e9jp"));
    EXPECT_EQ(0, CCommonFunc::IsPicFile("a.\xe9jp", 0));
    CCommonFunc::InitPicExt({});
    EXPECT_EQ(1, Wide(L"a.bmp"));
    EXPECT_EQ(0, Wide(L"a.jpeg"));
}

}  // namespace
