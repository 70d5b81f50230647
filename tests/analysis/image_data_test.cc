// The image and metadata step on EXIF structures built by hand inside a real JPEG file:
// the readings, marks, GPS arithmetic and snapshot-time precedence (camera pictures
// tagged by exiftool are checked with the partial reads).
#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/image_data.h"
#include "db/text_codec.h"
#include "pictures.h"

using namespace antest;
using exiftest::TiffBuilder;

namespace {

const CTime kCreated(2001, 2, 3, 4, 5, 6);  // the snapshot time the file's facts give
const BYTE kSof[] = {0xFF, 0xC0};

_tagFileDetail Extract(const Bytes& data, int* result = nullptr) {
    _tagFileDetail d;
    d.fileInfo.tSnapTime = kCreated;
    int r = ExtractImageData(data.data(), UINT(data.size()), d);
    if (result) *result = r;
    return d;
}

// The readings a case looks at, as one text: latitude, longitude, altitude | ISO,
// exposure time | the EXIF and GPS marks | where the snapshot time came from.
std::string Readings(const _tagFileDetail& d) {
    const _tagFileInfo& f = d.fileInfo;
    std::string snap = f.tSnapTime == kCreated ? "created"
                       : f.tSnapTime == d.exifInfo.tDititalTime && f.tSnapTime.GetTime() > 0
                           ? "digitised"
                           : std::to_string(f.tSnapTime.GetTime());
    char s[200];
    std::snprintf(s, sizeof s, "%d %d %d | %d %d/%d | %d %d | %s", d.gpsInfo.iLatitude,
                  d.gpsInfo.iLongitute, d.gpsInfo.iAltitute, d.exifInfo.iISO,
                  d.exifInfo.iExposureTimeL, d.exifInfo.iExposureTimeR, f.iExifID, f.iGpsID,
                  snap.c_str());
    return s;
}

// One entry of the EXIF ('e') or GPS ('g') directory: text for ASCII, else values.
struct Entry {
    char dir;
    std::uint16_t tag, type;
    std::vector<std::int64_t> v;
    const char* text = nullptr;
};

TEST(ImageData, DecoderItems) {
    const std::vector<std::int64_t> dms = {48, 1, 30, 1, 36, 1};
    const std::pair<std::vector<Entry>, const char*> cases[] = {
        {{{'g', 2, 5, dms}, {'g', 1, 2, {}, "N"}}, "174636 0 0 | 0 0/1 | -1 0 | created"},
        {{{'g', 2, 5, dms}, {'g', 1, 2, {}, "S"}}, "-174636 0 0 | 0 0/1 | -1 0 | created"},
        {{{'g', 4, 5, dms}, {'g', 3, 2, {}, "e"}}, "0 174636 0 | 0 0/1 | -1 0 | created"},
        {{{'g', 2, 5, dms}}, "0 0 0 | 0 0/1 | -1 -1 | created"},  // no reference
        // Minutes 1/3: 60 / 3; the denominators of degrees and seconds are not used.
        {{{'g', 2, 5, {1, 7, 1, 3, 5, 100}}, {'g', 1, 2, {}, "N"}},
         "3625 0 0 | 0 0/1 | -1 0 | created"},
        {{{'g', 2, 5, {48, 1, 30, 0, 36, 1}}, {'g', 1, 2, {}, "N"}},  // minutes over 0
         "0 0 0 | 0 0/1 | -1 -1 | created"},
        {{{'g', 2, 5, {0, 1, 0x4444445, 1, 0, 1}}, {'g', 1, 2, {}, "N"}},  // 32 bits wrap
         "44 0 0 | 0 0/1 | -1 0 | created"},
        {{{'g', 6, 5, {355, 10}}, {'g', 5, 1, {1}}}, "0 0 355 | 0 0/1 | -1 0 | created"},
        {{{'g', 6, 5, {355, 10}}}, "0 0 0 | 0 0/1 | -1 -1 | created"},
        {{{'e', 0x8827, 3, {40000}}}, "0 0 0 | 40000 0/1 | 0 -1 | created"},
        {{{'e', 0x8827, 4, {3200}}}, "0 0 0 | 3200 0/1 | 0 -1 | created"},
        {{{'e', 0x8827, 5, {800, 2}}}, "0 0 0 | 400 0/1 | 0 -1 | created"},
        {{{'e', 0x8827, 5, {800, 0}}}, "0 0 0 | 800 0/1 | 0 -1 | created"},
        {{{'e', 0x8827, 1, {65}}}, "0 0 0 | 65 0/1 | 0 -1 | created"},
        {{{'e', 0x8827, 2, {}, "100"}}, "0 0 0 | 0 0/1 | -1 -1 | created"},
        {{{'e', 0x829A, 10, {7, 0xFFFFFFFF}}}, "0 0 0 | 0 7/-1 | 0 -1 | created"},
        {{{'e', 0x829A, 3, {5}}}, "0 0 0 | 0 0/1 | -1 -1 | created"},
        // The digitised time, then a GPS time stamp (07:30:03 in 1970) over it; a text
        // that is not a date changes no time but marks the record.
        {{{'e', 0x9004, 2, {}, "2008:05:01 10:20:30"}}, "0 0 0 | 0 0/1 | 0 -1 | digitised"},
        {{{'e', 0x9004, 2, {}, "2008:05:01 10:20:30"}, {'g', 7, 5, {7, 0, 60, 2, 9, 3}}},
         "0 0 0 | 0 0/1 | 0 0 | 27003"},
        {{{'e', 0x9004, 2, {}, "not a date at all!!"}}, "0 0 0 | 0 0/1 | 0 -1 | created"},
    };
    for (const auto& [entries, want] : cases) {
        TiffBuilder t(false);
        const int exif = t.Add(), gps = t.Add();
        t.Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps);
        for (const Entry& e : entries) {
            const int dir = e.dir == 'e' ? exif : gps;
            if (e.text) t.Ascii(dir, e.tag, e.text);
            if (e.type == 1) t.Typed(dir, e.tag, 1, 1, {std::uint8_t(e.v[0]), 0, 0, 0});
            if (e.type == 3) t.Shorts(dir, e.tag, {std::uint16_t(e.v[0])});
            if (e.type == 4) t.Longs(dir, e.tag, {std::uint32_t(e.v[0])});
            if (e.type == 5 || e.type == 10) t.Rationals(dir, e.tag, e.v, e.type);
        }
        EXPECT_EQ(want, Readings(Extract(JpegWithExif(t.Build()))));
    }
}

TEST(ImageData, TagMapTextsAndTheirReadings) {
    TiffBuilder t(true);
    int exif = t.Add();
    t.Ascii(0, 0x10F, std::string("Cam\0junk", 8)).Pointer(0, 0x8769, exif);
    t.Rationals(exif, 0x829D, {0xFFFFFFFF, 1}).Rationals(exif, 0x9204, {-2, 3}, 10);
    t.Shorts(exif, 0x8827, {0xFFFF});
    Bytes iptc = exiftest::Dataset(2, 25, "key");
    exiftest::Append(iptc, exiftest::Dataset(2, 90, "City"));
    Bytes data = JpegWithExif(t.Build(), iptc);
    CTagMap map;
    ASSERT_EQ(1, BuildTagMap(data.data(), UINT(data.size()), map));
    EXPECT_EQ(L"4294967295/1 -2/3 -1 key City", map[0x829D] + L" " + map[0x9204] + L" " +
                                                    map[0x8827] + L" " + map[0x219] + L" " +
                                                    map[0x25A]);
    _tagFileDetail d;
    MapTags(map, d);
    // Texts end at their first NUL; a number is the first run of digits.
    EXPECT_EQ(L"Cam key", d.exifInfo.strManufacturer + L" " + d.iptcInfo.strKeyWord);
    EXPECT_EQ("0 0 0 | 1 0/1 | 0 -1 | 0", Readings(d));
    EXPECT_EQ(std::pair(-2, 3), std::pair(d.exifInfo.iExposureCompL, d.exifInfo.iExposureCompR));
    EXPECT_EQ(0, d.fileInfo.iIptcID);
    // Texts that are not fractions or numbers count as not found; a date text that is
    // not a date still marks.
    _tagFileDetail plain, date;
    MapTags({{0x829D, L"wide open"}, {0x8827, L"auto"}}, plain);
    MapTags({{0x9004, L"not a date"}}, date);
    EXPECT_EQ(-1, plain.fileInfo.iExifID);
    EXPECT_EQ(0, date.fileInfo.iExifID + date.exifInfo.tDititalTime.GetTime());
    // Not a JPEG file: an empty map; a JPEG whose segments cannot be parsed: a failure.
    Bytes png = ReadBytes(FixtureDir() + "/rgb8.png"),
          broken = {0xFF, 0xD8, 0xFF, 0xD9, 1, 2, 3, 4, 5, 6, 7, 8};
    map.clear();
    EXPECT_EQ(1, BuildTagMap(png.data(), UINT(png.size()), map));
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(0, BuildTagMap(broken.data(), UINT(broken.size()), map));
    // Data the decoder rejects (a frame header of nine components) keeps the metadata.
    TiffBuilder model(false);
    data = JpegWithExif(model.Ascii(0, 0x110, "Model Z").Build());
    data[std::search(data.begin(), data.end(), kSof, kSof + 2) - data.begin() + 9] = 9;
    int r = 0;
    d = Extract(data, &r);
    EXPECT_EQ(1, r);
    EXPECT_EQ(0, d.fileInfo.iWidth + d.fileInfo.iBPP + d.fileInfo.iPageCount + d.fileInfo.iExifID);
    EXPECT_EQ(L"Model Z", d.exifInfo.strModel);
}

}  // namespace
