// Reads JPEG files written by the system's JPEG library and tagged by exiftool (made at
// build time by make_fixtures.sh). The values exiftool reads back are compared with the
// index's fields by the analysis tests; here: both byte orders and a real thumbnail.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

Bytes ReadFile(const std::string& name) {
    std::ifstream in(std::string(EXIFLIB_FIXTURES) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(Fixture, RealFilesInBothByteOrdersThumbnailAndJfif) {
    CAppSegMgr big, little, thumb, plain;
    ASSERT_TRUE(ParseBytes(ReadFile("big.jpg"), big) && ParseBytes(ReadFile("little.jpg"), little));
    ASSERT_TRUE(big.GetExif() && little.GetExif() && big.GetIptc());
    EXPECT_EQ(std::pair(true, false),
              std::pair(big.GetExif()->IsBigEndian(), little.GetExif()->IsBigEndian()));
    EXPECT_EQ(Describe(big, false), Describe(little, false));
    EXPECT_EQ("{50X,69X,63X,64X,65X,78X,43X,61X,6dX,00X}", Text(big.GetExif()->GetIFD0(), 0x010F));

    ASSERT_TRUE(ParseBytes(ReadFile("thumb.jpg"), thumb) && thumb.GetExif());
    auto* ifd1 = dynamic_cast<CJPEGIFD1*>(thumb.GetExif()->GetIFD0()->GetNext());
    ASSERT_NE(ifd1, nullptr);
    EXPECT_EQ(Bytes(ifd1->GetThumbnail(), ifd1->GetThumbnail() + ifd1->GetThumbnailLength()),
              ReadFile("small.jpg"));
    ASSERT_TRUE(ParseBytes(ReadFile("plain.jpg"), plain));
    ASSERT_EQ("jfif ", Kinds(plain));
    auto* jfif = static_cast<CJFIFApp0Seg*>(plain.GetSegment(0));
    EXPECT_EQ(std::pair(0x0101, 0), std::pair(int(jfif->GetVersion()), int(jfif->GetThumbWidth())));
}
