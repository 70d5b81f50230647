// Picture recognition: the extension table, its keys and the filter text.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "scan/common_func.h"

namespace {

class PicExtTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }
    void TearDown() override { CCommonFunc::InitPicExt({}); }
};

TEST_F(PicExtTest, DefaultsRecogniseCommonPictureNamesWhateverTheCase) {
    for (const wchar_t* name :
         {L"photo.JPG", L"photo.jpg", L"PHOTO.Jpg", L"scan.tiff", L"scan.tif", L"C:\\a.b\\logo.PNG",
          L"x.ai", L"old.wi", L"plan.dxf", L"a.b.c.gif"}) {
        EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(name))) << name;
        EXPECT_EQ(1, CCommonFunc::IsPicFile(name, 0)) << name;
    }
    for (const wchar_t* name : {L"photo.jpeg", L"notes.txt", L"movie.mp4", L"x.jp",
                                L"archive.jpg.zip", L"a.", L"", L"."}) {
        EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(name))) << name;
    }
}

TEST_F(PicExtTest, DefaultFilterTextNamesAllTwentySevenEntriesInOrder) {
    EXPECT_EQ(CString(L"*.JPG | *.BMP | *.GIF | *.ICO | *.PNG | *.IMG | *.TIFF | *.TIF | "
                      L"*.EMF | *.PSD | *.EPS | *.RAW | *.PXR | *.MAC | *.TGA | *.VST | "
                      L"*.PCD | *.PCT | *.AI | *.FPX | *.CAL | *.WI | *.PNG | *.EPS | "
                      L"*.SCT | *.PDP | *.DXF"),
              CCommonFunc::GetPicExtFilter());
}

TEST_F(PicExtTest, KeyUsesOnlyTheFirstFourCharacters) {
    // tiffany shares its first four characters with TIFF, so it is taken for one.
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"x.tiffany")));
    CCommonFunc::InitPicExt({L"jpeg"});
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.JPEG")));
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.jpegxyz")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.jpg")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.jpe")));
}

TEST_F(PicExtTest, CharacterAbove127InTheExtensionRulesTheNameOut) {
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.jp\u00e9")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.\u4e2djpg")));
    // Only the text after the last dot is walked: a wide name is fine.
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"\u4e2d\u6587\u00e9.jpg")));
    // Without a dot the whole name after the first character is walked.
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"\u00e9jpg\u00e9")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile("a.jp\xc3\xa9", 0));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("\xe4\xb8\xad.jpg", 0));
}

TEST_F(PicExtTest, NameWithoutDotIsJudgedByTheTextAfterItsFirstCharacter) {
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"xjpg")));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("xjpg", 0));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"jpg")));  // "pg" is no extension
    // A leading dot is never reached by the walk.
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L".jpg")));
}

TEST_F(PicExtTest, LengthArgumentLimitsTheName) {
    const wchar_t* wide = L"photo.jpg.txt";
    EXPECT_EQ(0, CCommonFunc::IsPicFile(wide, -1));
    EXPECT_EQ(1, CCommonFunc::IsPicFile(wide, 9));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(wide, 8));  // "jp"
    const char* narrow = "photo.gif.txt";
    EXPECT_EQ(1, CCommonFunc::IsPicFile(narrow, 9));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(narrow, 0));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(static_cast<const wchar_t*>(nullptr), 5));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(static_cast<const char*>(nullptr), 0));
}

TEST_F(PicExtTest, HostListReplacesTheDefaults) {
    CCommonFunc::InitPicExt({L"jpg", L"png"});
    EXPECT_EQ(CString(L"*.jpg | *.png"), CCommonFunc::GetPicExtFilter());
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.BMP")));
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.PNG")));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("A.Jpg", 0));

    // The host's spelling is kept in the filter, and the set's order decides it.
    CCommonFunc::InitPicExt({L"Tif", L"HEIC"});
    EXPECT_EQ(CString(L"*.HEIC | *.Tif"), CCommonFunc::GetPicExtFilter());
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.heic")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.jpg")));

    // Back to the defaults with an empty list.
    CCommonFunc::InitPicExt({});
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.bmp")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.heic")));
}

TEST_F(PicExtTest, DigitsInExtensionsAreKeptApart) {
    CCommonFunc::InitPicExt({L"jp2", L"mp4"});
    EXPECT_EQ(1, CCommonFunc::IsPicFile(CString(L"a.JP2")));
    EXPECT_EQ(0, CCommonFunc::IsPicFile(CString(L"a.jp3")));
    EXPECT_EQ(1, CCommonFunc::IsPicFile("clip.MP4", 0));
}

}  // namespace
