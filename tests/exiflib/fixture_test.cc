// Reads JPEG files written by the system's JPEG library and tagged by exiftool in either
// byte order (made at build time by make_fixtures.sh). Their values as the index stores
// them are compared with what exiftool reads back by the analysis tests; here: what the
// directories hold, in both byte orders, and a real thumbnail.
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

TEST(Fixture, BothByteOrdersGiveTheSameEntries) {
    CAppSegMgr big, little;
    ASSERT_TRUE(ParseBytes(ReadFile("big.jpg"), big) && ParseBytes(ReadFile("little.jpg"), little));
    ASSERT_TRUE(big.GetExif() && little.GetExif() && big.GetIptc());
    EXPECT_EQ(std::pair(true, false),
              std::pair(big.GetExif()->IsBigEndian(), little.GetExif()->IsBigEndian()));
    EXPECT_EQ(Describe(big, false), Describe(little, false));
    CIFD* ifd0 = big.GetExif()->GetIFD0();
    CIFD *exif = Sub(ifd0, 0x8769), *gps = Sub(ifd0, 0x8825);
    ASSERT_TRUE(dynamic_cast<CJPEGExifIFD*>(exif) && dynamic_cast<CJPEGGpsIFD*>(gps));
    EXPECT_EQ(
        std::tuple("{50X,69X,63X,64X,65X,78X,43X,61X,6dX,00X}", "1/125", "400", "-2/3",
                   "{000aX,0014X}", "640", "{48/1,30/1,45/1}", "{02X,03X,00X,00X}"),
        std::tuple(Text(ifd0, 0x010F), Text(exif, 0x829A), Text(exif, 0x8827), Text(exif, 0x9204),
                   Text(exif, 0xA214), Text(exif, 0xA002), Text(gps, 2), Text(gps, 0)));
    EXPECT_TRUE(exif->HasEntry(0x9286) && exif->HasEntry(0x9000));
}

TEST(Fixture, ThumbnailAndJfif) {
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(ReadFile("thumb.jpg"), mgr) && mgr.GetExif());
    auto* ifd1 = dynamic_cast<CJPEGIFD1*>(mgr.GetExif()->GetIFD0()->GetNext());
    ASSERT_NE(ifd1, nullptr);
    EXPECT_EQ(Bytes(ifd1->GetThumbnail(), ifd1->GetThumbnail() + ifd1->GetThumbnailLength()),
              ReadFile("small.jpg"));
    ASSERT_TRUE(ParseBytes(ReadFile("plain.jpg"), mgr));
    ASSERT_EQ("jfif ", Kinds(mgr));
    auto* jfif = static_cast<CJFIFApp0Seg*>(mgr.GetSegment(0));
    EXPECT_EQ(std::pair(0x0101, 0), std::pair(int(jfif->GetVersion()), int(jfif->GetThumbWidth())));
}
