// The image and metadata step: camera pictures tagged by exiftool compared with what it
// reads back, and the readings, marks, GPS arithmetic and snapshot-time precedence on
// hand-built EXIF structures inside real JPEG files.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "analysis/image_data.h"
#include "db/text_codec.h"
#include "pictures.h"

using namespace antest;
using exiftest::Dataset;
using exiftest::TiffBuilder;

namespace {

_tagFileDetail Extract(const Bytes& data, int* result = nullptr) {
    _tagFileDetail d;
    int r = ExtractImageData(data.data(), UINT(data.size()), d);
    if (result) *result = r;
    return d;
}

double Ratio(int n, int d) {
    return double(n) / double(d);
}

CTime ExifTime(const std::string& text) {  // "YYYY:MM:DD hh:mm:ss", local time
    int y, mo, d, h, mi, s;
    EXPECT_EQ(6, std::sscanf(text.c_str(), "%d:%d:%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s));
    return CTime(y, mo, d, h, mi, s);
}

// Degrees as exiftool prints them (-n) to seconds of arc; the fixtures use whole seconds.
int Arc(const std::string& degrees, const std::string& ref, char positive) {
    int v = int(std::lround(std::stod(degrees) * 3600));
    return ref[0] == positive ? v : -v;
}

TEST(ImageData, CameraPicturesGiveWhatExiftoolReads) {
    for (const char* name : {"camera.jpg", "camera_be.jpg", "south.jpg", "camera.tif"}) {
        SCOPED_TRACE(name);
        auto m = Expected(name);
        int r = 0;
        _tagFileDetail d = Extract(ReadBytes(FixtureDir() + "/" + name), &r);
        const _tagExifInfo& e = d.exifInfo;
        EXPECT_EQ(1, r);
        EXPECT_EQ(m["Make"], WideToUtf8(e.strManufacturer));
        EXPECT_EQ(m["Model"], WideToUtf8(e.strModel));
        EXPECT_DOUBLE_EQ(std::stod(m["ExposureTime"]), Ratio(e.iExposureTimeL, e.iExposureTimeR));
        EXPECT_NEAR(std::stod(m["FNumber"]), Ratio(e.iApertureL, e.iApertureR), 1e-9);
        EXPECT_NEAR(std::stod(m["ExposureCompensation"]), Ratio(e.iExposureCompL, e.iExposureCompR),
                    1e-9);
        EXPECT_NEAR(std::stod(m["FocalLength"]), Ratio(e.iFocalLenL, e.iFocalLenR), 1e-9);
        // The maximum aperture is stored as an APEX value; exiftool shows the f-number.
        EXPECT_NEAR(std::stod(m["MaxApertureValue"]), std::pow(2.0, Ratio(e.iWTL, e.iWTR) / 2),
                    1e-6);
        EXPECT_EQ(std::stoi(m["ISO"]), e.iISO);
        EXPECT_EQ(ExifTime(m["CreateDate"]), e.tDititalTime);
        const _tagGpsInfo& g = d.gpsInfo;
        EXPECT_EQ(Arc(m["GPSLatitude"], m["GPSLatitudeRef"], 'N'), g.iLatitude);
        EXPECT_EQ(Arc(m["GPSLongitude"], m["GPSLongitudeRef"], 'E'), g.iLongitute);
        EXPECT_EQ(std::stoi(m["GPSAltitude"]), g.iAltitute);
        EXPECT_EQ(0, d.fileInfo.iExifID);
        EXPECT_EQ(0, d.fileInfo.iGpsID);
        if (m.count("GPSTimeStamp")) {  // 10:20:30 on 1 January 1970 (UTC)
            EXPECT_EQ(37230, g.tGpsTime.GetTime());
            EXPECT_EQ(g.tGpsTime, d.fileInfo.tSnapTime);
        } else {
            EXPECT_EQ(e.tDititalTime, d.fileInfo.tSnapTime);
        }
        const _tagIptcInfo& i = d.iptcInfo;
        if (m.count("Keywords")) {
            // A repeated dataset keeps its last value.
            EXPECT_EQ(m["Keywords"].substr(m["Keywords"].rfind('|') + 1), WideToUtf8(i.strKeyWord));
            EXPECT_EQ(m["City"], WideToUtf8(i.strCity));
            EXPECT_EQ(m["Country-PrimaryLocationName"], WideToUtf8(i.strCountry));
            EXPECT_EQ(m["Caption-Abstract"], WideToUtf8(i.strTitle));
            EXPECT_EQ(m["Category"], WideToUtf8(i.strClass));
            EXPECT_EQ(m["Sub-location"], WideToUtf8(i.strLocation));
            EXPECT_EQ(m["CopyrightNotice"], WideToUtf8(i.strCopyRight));
            EXPECT_EQ(m["Writer-Editor"], WideToUtf8(i.strWriter));
            EXPECT_EQ(0, d.fileInfo.iIptcID);
        } else {
            EXPECT_EQ(-1, d.fileInfo.iIptcID);
        }
    }
}

TEST(ImageData, GpsPositionArithmetic) {
    struct Case {
        const char* what;
        std::vector<std::int64_t> latitude;  // three rationals
        const char* ref;                     // null: no reference item
        bool stored;
        int seconds;
    };
    const Case cases[] = {
        {"north", {48, 1, 30, 1, 36, 1}, "N", true, 174636},
        {"south", {48, 1, 30, 1, 36, 1}, "S", true, -174636},
        {"lower-case north", {48, 1, 30, 1, 36, 1}, "n", true, 174636},
        {"no reference", {48, 1, 30, 1, 36, 1}, nullptr, false, 0},
        {"minutes as a fraction, integer division", {1, 1, 1, 3, 5, 100}, "N", true, 3625},
        {"denominators of degrees and seconds unused", {2, 7, 0, 1, 9, 4}, "N", true, 7209},
        {"zero minutes denominator", {48, 1, 30, 0, 36, 1}, "N", false, 0},
        {"unsigned minutes product wraps", {0, 1, 0x4444445, 1, 0, 1}, "N", true, 44},
    };
    for (const Case& c : cases) {
        TiffBuilder t(false);
        int gps = t.Add();
        t.Pointer(0, 0x8825, gps).Rationals(gps, 2, c.latitude);
        if (c.ref) t.Ascii(gps, 1, c.ref);
        _tagFileDetail d = Extract(WithExif(MakeJpeg(8, 8, 3), t.Build()));
        EXPECT_EQ(c.seconds, d.gpsInfo.iLatitude) << c.what;
        EXPECT_EQ(c.stored ? 0 : -1, d.fileInfo.iGpsID) << c.what;
    }
    // Altitude: the numerator alone, and only with its reference; longitude with E/W.
    TiffBuilder t(true);
    int gps = t.Add();
    t.Pointer(0, 0x8825, gps).Rationals(gps, 6, {355, 10}).Shorts(gps, 5, {0});
    t.Rationals(gps, 4, {2, 1, 20, 1, 51, 1}).Ascii(gps, 3, "W");
    _tagFileDetail d = Extract(WithExif(MakeJpeg(8, 8, 3), t.Build()));
    EXPECT_EQ(355, d.gpsInfo.iAltitute);
    EXPECT_EQ(-8451, d.gpsInfo.iLongitute);
}

TEST(ImageData, DecoderItemReadings) {
    struct Case {
        const char* what;
        std::function<void(TiffBuilder&, int)> add;  // into the EXIF directory
        int iso;
        int exifMark;
    };
    Bytes one = {0x41, 0, 0, 0};
    const Case cases[] = {
        {"ISO as SHORT, unsigned", [](TiffBuilder& t, int e) { t.Shorts(e, 0x8827, {40000}); },
         40000, 0},
        {"ISO as LONG", [](TiffBuilder& t, int e) { t.Longs(e, 0x8827, {3200}); }, 3200, 0},
        {"ISO as RATIONAL, divided",
         [](TiffBuilder& t, int e) {
             t.Rationals(e, 0x8827, {800, 2});
         },
         400, 0},
        {"ISO as RATIONAL over 0",
         [](TiffBuilder& t, int e) {
             t.Rationals(e, 0x8827, {800, 0});
         },
         800, 0},
        {"ISO as BYTE", [&](TiffBuilder& t, int e) { t.Typed(e, 0x8827, 1, 1, one); }, 0x41, 0},
        {"ISO as ASCII: not read", [](TiffBuilder& t, int e) { t.Ascii(e, 0x8827, "100"); }, 0, -1},
        {"fraction as SHORT: ignored", [](TiffBuilder& t, int e) { t.Shorts(e, 0x829A, {5}); }, 0,
         -1},
    };
    for (const Case& c : cases) {
        TiffBuilder t(false);
        int exif = t.Add();
        t.Pointer(0, 0x8769, exif);
        c.add(t, exif);
        _tagFileDetail d = Extract(WithExif(MakeJpeg(8, 8, 3), t.Build()));
        EXPECT_EQ(c.iso, d.exifInfo.iISO) << c.what;
        EXPECT_EQ(c.exifMark, d.fileInfo.iExifID) << c.what;
    }
}

TEST(ImageData, SnapshotTimePrecedence) {
    const CTime created(2001, 2, 3, 4, 5, 6);
    // Reader's digitised time, then the decoder's (the same entry), then the GPS stamp.
    TiffBuilder t(false);
    int exif = t.Add(), gps = t.Add();
    t.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps);
    t.Ascii(exif, 0x9004, "2008:05:01 10:20:30");
    Bytes withDate = WithExif(MakeJpeg(8, 8, 3), t.Build());
    _tagFileDetail d;
    d.fileInfo.tSnapTime = created;
    ExtractImageData(withDate.data(), UINT(withDate.size()), d);
    EXPECT_EQ(CTime(2008, 5, 1, 10, 20, 30), d.fileInfo.tSnapTime);
    t.Rationals(gps, 7, {1, 1, 2, 1, 3, 1});
    Bytes withStamp = WithExif(MakeJpeg(8, 8, 3), t.Build());
    d = _tagFileDetail();
    d.fileInfo.tSnapTime = created;
    ExtractImageData(withStamp.data(), UINT(withStamp.size()), d);
    EXPECT_EQ(3723, d.fileInfo.tSnapTime.GetTime());
    EXPECT_EQ(0, d.fileInfo.iGpsID);
    // A date text that is not a date leaves the times alone but marks the record.
    TiffBuilder bad(false);
    int e2 = bad.Add();
    bad.Pointer(0, 0x8769, e2).Ascii(e2, 0x9004, "not a date at all!!");
    Bytes badDate = WithExif(MakeJpeg(8, 8, 3), bad.Build());
    d = _tagFileDetail();
    d.fileInfo.tSnapTime = created;
    ExtractImageData(badDate.data(), UINT(badDate.size()), d);
    EXPECT_EQ(created, d.fileInfo.tSnapTime);
    EXPECT_EQ(0, d.exifInfo.tDititalTime.GetTime());
    EXPECT_EQ(0, d.fileInfo.iExifID);
}

TEST(ImageData, TagMapTextsAndTheirReadings) {
    TiffBuilder t(true);
    int exif = t.Add();
    t.Ascii(0, 0x10F, std::string("Cam\0junk", 8)).Pointer(0, 0x8769, exif);
    t.Rationals(exif, 0x829A, {0xFFFFFFFF, 1}).Rationals(exif, 0x9204, {-2, 3}, 10);
    t.Shorts(exif, 0x8827, {0xFFFF});
    Bytes iptc = Dataset(2, 25, "key");
    exiftest::Append(iptc, Dataset(2, 90, "City"));
    Bytes data = WithIptc(WithExif(MakeJpeg(8, 8, 3), t.Build()), iptc);
    CTagMap map;
    ASSERT_EQ(1, BuildTagMap(data.data(), UINT(data.size()), map));
    EXPECT_EQ(L"4294967295/1", map[0x829A]);
    EXPECT_EQ(L"-2/3", map[0x9204]);
    EXPECT_EQ(L"-1", map[0x8827]);  // SHORT as signed 16 bits
    EXPECT_EQ(L"key", map[0x219]);
    EXPECT_EQ(L"City", map[0x25A]);
    _tagFileDetail d;
    MapTags(map, d);
    EXPECT_EQ(L"Cam", d.exifInfo.strManufacturer);  // stored up to its first NUL
    EXPECT_EQ(1, d.exifInfo.iISO);                  // the first run of digits
    EXPECT_EQ(-2, d.exifInfo.iExposureCompL);
    EXPECT_EQ(3, d.exifInfo.iExposureCompR);
    EXPECT_EQ(L"key", d.iptcInfo.strKeyWord);
    EXPECT_EQ(0, d.fileInfo.iIptcID);
    // Texts that are not fractions or numbers count as not found.
    _tagFileDetail plain;
    MapTags({{0x829D, L"wide open"}, {0x8827, L"auto"}}, plain);
    EXPECT_EQ(-1, plain.fileInfo.iExifID);
    EXPECT_EQ(1, plain.exifInfo.iApertureR);
    // Not a JPEG file: no map, no failure; a JPEG whose end marker is not last: failure.
    Bytes png = ReadBytes(FixtureDir() + "/rgb8.png");
    map.clear();
    EXPECT_EQ(1, BuildTagMap(png.data(), UINT(png.size()), map));
    EXPECT_TRUE(map.empty());
    Bytes broken = {0xFF, 0xD8, 0xFF, 0xD9, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0, BuildTagMap(broken.data(), UINT(broken.size()), map));
}

TEST(ImageData, RejectedDataKeepsTheReadersMetadata) {
    Bytes noise(3000);
    std::mt19937 gen(11);
    for (auto& b : noise)
        b = std::uint8_t(gen());
    int r = 0;
    _tagFileDetail d = Extract(noise, &r);
    EXPECT_EQ(1, r);
    EXPECT_EQ(0, d.fileInfo.iWidth + d.fileInfo.iHeight + d.fileInfo.iBPP + d.fileInfo.iPageCount);
    // A JPEG whose frame header is damaged: no pixel facts, the EXIF values stay.
    TiffBuilder t(false);
    t.Ascii(0, 0x110, "Model Z");
    Bytes data = WithExif(MakeJpeg(8, 8, 3), t.Build());
    for (size_t i = 2; i + 9 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == 0xC0) data[i + 9] = 9;  // nine components
    d = Extract(data, &r);
    EXPECT_EQ(1, r);
    EXPECT_EQ(0, d.fileInfo.iPageCount);
    EXPECT_EQ(L"Model Z", d.exifInfo.strModel);
    EXPECT_EQ(0, d.fileInfo.iExifID);
}

}  // namespace
