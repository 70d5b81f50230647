// Reads JPEG files written by the system's JPEG library and tagged by exiftool (made at
// build time by make_fixtures.sh) and compares what the reader finds with what exiftool
// reads back from the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"
#include "walk.h"

using namespace ExifLib;
using namespace exiftest;

namespace {

const std::string kDir = EXIFLIB_FIXTURES;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// exiftool's "-Tag=value" lines.
std::map<std::string, std::string> ReadExpected(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        size_t eq = line.find('=');
        if (line.size() > 1 && line[0] == '-' && eq != std::string::npos)
            values[line.substr(1, eq - 1)] = line.substr(eq + 1);
    }
    return values;
}

IIFDEntry* Entry(CIFD* ifd, WORD tag) {
    return ifd ? ifd->GetEntry(tag) : nullptr;
}

std::string Ascii(CIFD* ifd, WORD tag) {
    auto* e = dynamic_cast<CNormalIFDEntry<char>*>(Entry(ifd, tag));
    return e ? std::string(e->GetValues(), strnlen(e->GetValues(), e->GetCount())) : "(none)";
}

double Rational(CIFD* ifd, WORD tag, DWORD index = 0) {
    auto* e = dynamic_cast<CNormalIFDEntry<tagRational>*>(Entry(ifd, tag));
    if (e == nullptr || index >= e->GetCount() || e->GetValue(index).denominator == 0) return NAN;
    return double(e->GetValue(index).numerator) / e->GetValue(index).denominator;
}

double Degrees(CIFD* gps, WORD tag) {
    return Rational(gps, tag, 0) + Rational(gps, tag, 1) / 60 + Rational(gps, tag, 2) / 3600;
}

std::string LastListItem(const std::string& list) {
    return list.substr(list.rfind('|') + 1);
}

class Fixture : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(Fixture, ReaderAgreesWithExiftool) {
    const std::string name = GetParam();
    auto expected = ReadExpected(kDir + "/" + name + ".txt");
    ASSERT_EQ(expected.count("Make"), 1u) << "fixture not made: " << name;
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(ReadFile(kDir + "/" + name + ".jpg"), mgr));

    CExifApp1Seg* exif = mgr.GetExif();
    ASSERT_NE(exif, nullptr);
    EXPECT_EQ(exif->IsBigEndian(), expected["ExifByteOrder"] == "MM");
    CIFD* ifd0 = exif->GetIFD0();
    EXPECT_EQ(Ascii(ifd0, 0x010F), expected["Make"]);
    EXPECT_EQ(Ascii(ifd0, 0x0110), expected["Model"]);
    CIFD* sub = Sub(ifd0, 0x8769);
    ASSERT_NE(sub, nullptr);
    EXPECT_NEAR(Rational(sub, 0x829A), std::stod(expected["ExposureTime"]), 1e-9);
    EXPECT_NEAR(Rational(sub, 0x829D), std::stod(expected["FNumber"]), 1e-9);
    auto* iso = dynamic_cast<CNormalIFDEntry<short>*>(Entry(sub, 0x8827));
    ASSERT_NE(iso, nullptr);
    EXPECT_EQ(std::to_string(iso->GetValue(0)), expected["ISO"]);
    EXPECT_EQ(Ascii(sub, 0x9004), expected["CreateDate"]);

    CIFD* gps = Sub(ifd0, 0x8825);
    ASSERT_NE(gps, nullptr);
    EXPECT_NEAR(Degrees(gps, 2), std::stod(expected["GPSLatitude"]), 1e-6);
    EXPECT_NEAR(Degrees(gps, 4), std::stod(expected["GPSLongitude"]), 1e-6);
    EXPECT_EQ(Ascii(gps, 1), expected["GPSLatitudeRef"]);
    EXPECT_EQ(Ascii(gps, 3), expected["GPSLongitudeRef"]);

    CIptc* iptc = mgr.GetIptc();
    ASSERT_NE(iptc, nullptr);
    const std::string* keyword = iptc->GetDataset(2, 25);
    const std::string* city = iptc->GetDataset(2, 90);
    ASSERT_TRUE(keyword && city);
    EXPECT_EQ(*keyword, LastListItem(expected["Keywords"]));  // of repeated keys the last stays
    EXPECT_EQ(*city, expected["City"]);
}

INSTANTIATE_TEST_SUITE_P(Exiftool, Fixture, testing::Values("big", "little", "thumb"));

TEST(Fixture, ThumbnailAndJfifOfRealFiles) {
    CAppSegMgr mgr;
    ASSERT_TRUE(ParseBytes(ReadFile(kDir + "/thumb.jpg"), mgr));
    ASSERT_NE(mgr.GetExif(), nullptr);
    auto* ifd1 = dynamic_cast<CJPEGIFD1*>(mgr.GetExif()->GetIFD0()->GetNext());
    ASSERT_NE(ifd1, nullptr);
    Bytes small = ReadFile(kDir + "/small.jpg");
    ASSERT_FALSE(small.empty());
    EXPECT_EQ(Bytes(ifd1->GetThumbnail(), ifd1->GetThumbnail() + ifd1->GetThumbnailLength()),
              small);

    ASSERT_TRUE(ParseBytes(ReadFile(kDir + "/plain.jpg"), mgr));
    ASSERT_EQ(mgr.GetCount(), 1);
    auto* jfif = dynamic_cast<CJFIFApp0Seg*>(mgr.GetSegment(0));
    ASSERT_NE(jfif, nullptr);
    EXPECT_EQ(jfif->GetVersion(), 0x0101);
    EXPECT_EQ(jfif->GetThumbWidth(), 0);
    EXPECT_EQ(mgr.GetExif(), nullptr);
    EXPECT_EQ(mgr.GetIptc(), nullptr);
}
