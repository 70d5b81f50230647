// The image and metadata step: EXIF structures built by hand inside a real JPEG file
// (readings, marks, GPS arithmetic, snapshot-time precedence, the tag map); data the
// decoder must reject and hostile headers; the fixture pictures' facts, and the camera
// values exiftool reads back from its tagged copies; reading less than the whole data.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "analysis/file_analyze.h"
#include "analysis/file_bytes.h"
#include "analysis/image_data.h"
#include "common/temp_dir.h"
#include "db/text_codec.h"
#include "pictures.h"
#include "platform/file.h"

using namespace antest;
using exiftest::TiffBuilder;

namespace {

const CTime kCreated(2001, 2, 3, 4, 5, 6);  // the snapshot time the file's facts give

_tagFileDetail Extract(const Bytes& data, _tagFileDetail d = {}) {
    ExtractImageData(data.data(), UINT(data.size()), d);
    return d;
}

Bytes Fixture(const std::string& name) {
    return ReadBytes(FixtureDir() + "/" + name);
}

// The fixture rgb.jpg (64 x 48) after an EXIF segment of `tiff` and, when given, a
// Photoshop segment of IPTC `datasets`.
Bytes JpegWithExif(const Bytes& tiff, const Bytes& datasets = {}) {
    exiftest::JpegBuilder jpeg;
    jpeg.Exif(tiff);
    if (!datasets.empty())
        jpeg.App(0xED, std::string("Photoshop 3.0", 14), exiftest::ResourceBlock(0x0404, datasets));
    const Bytes picture = Fixture("rgb.jpg");
    return jpeg.Raw(Bytes(picture.begin() + 2, picture.end())).Data();
}

// Latitude, longitude, altitude | ISO, exposure time | the EXIF and GPS marks | where
// the snapshot time came from.
std::string Readings(const _tagFileDetail& d) {
    const _tagFileInfo& f = d.fileInfo;
    const bool digitised = f.tSnapTime == d.exifInfo.tDititalTime && f.tSnapTime.GetTime() > 0;
    const std::string snap = f.tSnapTime == kCreated ? "created"
                             : digitised             ? "digitised"
                                                     : std::to_string(f.tSnapTime.GetTime());
    char s[200];
    std::snprintf(s, sizeof s, "%d %d %d | %d %d/%d | %d %d | %s", d.gpsInfo.iLatitude,
                  d.gpsInfo.iLongitute, d.gpsInfo.iAltitute, d.exifInfo.iISO,
                  d.exifInfo.iExposureTimeL, d.exifInfo.iExposureTimeR, f.iExifID, f.iGpsID,
                  snap.c_str());
    return s;
}

// Width x height, bits per pixel, pages.
std::string Facts(const _tagFileInfo& f) {
    return std::to_string(f.iWidth) + "x" + std::to_string(f.iHeight) + " " +
           std::to_string(f.iBPP) + " " + std::to_string(f.iPageCount);
}

// One entry of the EXIF ('e') or GPS ('g') directory: text for ASCII, else values.
struct Entry {
    char dir;
    std::uint16_t tag, type;
    std::vector<std::int64_t> v;
    const char* text = nullptr;
};

// GPS positions in arc seconds, signed by their references; ISO and exposure items of
// any type; the snapshot time: a GPS time stamp, else the digitised time, else the
// file's creation.
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
        _tagFileDetail d;
        d.fileInfo.tSnapTime = kCreated;
        EXPECT_EQ(want, Readings(Extract(JpegWithExif(t.Build()), d)));
    }
}

// The tag map: the metadata reader's entries as texts (numbers as unsigned, fractions
// with their signs), texts ending at their first NUL, and what they give the record.
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
    _tagFileDetail d, plain, date;
    MapTags(map, d);
    // A number is the first run of digits; texts that are not fractions or numbers count
    // as not found; a date text that is not a date still marks.
    MapTags({{0x829D, L"wide open"}, {0x8827, L"auto"}}, plain);
    MapTags({{0x9004, L"not a date"}}, date);
    EXPECT_EQ(std::tuple(L"Cam key", "0 0 0 | 1 0/1 | 0 -1 | 0", -2, 3, 0, -1, 0, 0),
              std::tuple(d.exifInfo.strManufacturer + L" " + d.iptcInfo.strKeyWord, Readings(d),
                         d.exifInfo.iExposureCompL, d.exifInfo.iExposureCompR, d.fileInfo.iIptcID,
                         plain.fileInfo.iExifID, date.fileInfo.iExifID,
                         int(date.exifInfo.tDititalTime.GetTime())));
    // Not a JPEG file: an empty map; a JPEG whose segments cannot be parsed: a failure.
    Bytes png = Fixture("rgba8.png"), broken = {0xFF, 0xD8, 0xFF, 0xD9, 1, 2, 3, 4, 5, 6, 7, 8};
    map.clear();
    EXPECT_EQ(1, BuildTagMap(png.data(), UINT(png.size()), map));
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(0, BuildTagMap(broken.data(), UINT(broken.size()), map));
}

// Bytes as 16- or 32-bit little-endian words.
Bytes Le(const std::vector<std::uint32_t>& words, int width) {
    Bytes b;
    for (std::uint32_t w : words)
        for (int i = 0; i < width; ++i)
            b.push_back(std::uint8_t(w >> (8 * i)));
    return b;
}

// Data the decoder rejects gives no facts (metadata stays); hostile headers end in
// defined answers; metafiles are sized from their frames.
TEST(Decoder, RejectedAndHostileData) {
    Bytes jpeg = JpegWithExif(TiffBuilder(false).Ascii(0, 0x110, "Model Z").Build());
    Bytes bmp = Fixture("rgb24.bmp");
    const Bytes png = Fixture("rgba8.png"), gif = Fixture("anim.gif");
    bmp[26] = 2;  // two planes
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) jpeg[i + 9] = 9;  // nine components
    Bytes frames(gif.begin(), gif.begin() + 13 + 48);                 // 100000 one-pixel frames
    for (int i = 0; i < 100000; ++i)
        frames.insert(frames.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0});
    frames.push_back(0x3B);
    // A directory chain that loops back (A -> B -> A) counts each directory once; forty
    // entries naming the same 64 KB are refused rather than held forty times.
    TiffBuilder loop(true);
    const int second = loop.Add();
    for (int d : {0, second})
        for (auto [tag, v] : {std::pair(256, 5), {257, 3}, {258, 8}, {273, 8}, {279, 1}})
            loop.Longs(d, std::uint16_t(tag), {std::uint32_t(v)});
    loop.Next(0, second).Next(second, 0).Typed(0, 40000, 7, 65536, Bytes(65536, 1));
    TiffBuilder overlapping = loop;
    for (std::uint16_t tag = 40001; tag < 40041; ++tag)
        overlapping.Typed(0, tag, 7, 65536, Bytes{0, 0, 0, 8});  // each at offset 8
    // EMF: a 50.8 x 25.4 mm frame, a device of 1000 x 500 pixels over 254 x 127 mm; then
    // the widest frame on the finest device. A placeable WMF of 2 x 1 inches.
    std::vector<std::uint32_t> emf = {1,       88, 0, 0, 199, 99, 0, 0,    5080, 2540, 0x464D4520,
                                      0x10000, 88, 1, 0, 0,   0,  0, 1000, 500,  254,  127},
                               wide = emf;
    wide[6] = 0x80000000;
    wide[8] = wide[18] = wide[20] = 0x7FFFFFFF;
    Bytes wmf = Le({0x9AC6CDD7}, 4), notWmf;
    exiftest::Append(wmf, Le({0, 0, 0, 2880, 1440, 1440, 0, 0, 0, 1, 9, 0, 0, 0, 0, 0, 0, 0}, 2));
    (notWmf = wmf)[22] = 7;  // not a metafile header
    std::string got;
    for (const Bytes& data :
         {Bytes(4096, 0x5A), Bytes(png.begin(), png.begin() + 40), bmp, overlapping.Build(), notWmf,
          frames, loop.Build(), Le(emf, 4), Le(wide, 4), wmf})
        got += Facts(Extract(data).fileInfo) + "|";
    const _tagFileDetail rejected = Extract(jpeg);
    EXPECT_EQ(
        "0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|20x10 4 100000|5x3 8 2|"
        "200x100 32 1|42949673x100 32 1|192x96 32 1|0x0 0 0 0 Model Z",
        got + Facts(rejected.fileInfo) + " " + std::to_string(rejected.fileInfo.iExifID) + " " +
            WideToUtf8(rejected.exifInfo.strModel));
}

// Each fixture picture's facts, as the maker wrote them (an icon: its largest image, and
// the number of its images; a TIFF file: its pages, bits summed over samples).
const std::pair<const char*, const char*> kFixtureFacts[] = {
    {"anim.gif", "20x10 4 3"},       {"camera.jpg", "64x48 24 1"},  {"camera_be.jpg", "64x48 24 1"},
    {"cmyk.jpg", "32x24 32 1"},      {"grey.jpg", "40x30 8 1"},     {"grey1.png", "17x5 1 1"},
    {"greyalpha8.png", "20x8 16 1"}, {"pages.tif", "30x20 24 3"},   {"palette2.png", "25x13 2 1"},
    {"rgb.jpg", "64x48 24 1"},       {"rgb16.png", "22x10 48 1"},   {"rgb24.bmp", "7x5 24 1"},
    {"rgba8.png", "24x24 32 1"},     {"three.ico", "256x256 32 3"}, {"topdown32.bmp", "4x6 32 1"},
    {"two.ico", "32x32 32 2"},
};

// exiftool's "-Tag=value" lines of <picture>.txt, for the tagged copies.
std::map<std::string, std::string> Exiftool(const std::string& name) {
    std::map<std::string, std::string> values;
    std::ifstream in(FixtureDir() + "/" + name + ".txt");
    for (std::string line; std::getline(in, line);)
        if (size_t eq = line.find('='); line.starts_with("-") && eq != std::string::npos)
            values[line.substr(1, eq - 1)] = line.substr(eq + 1);
    return values;
}

// The camera values, GPS and IPTC datasets of a record against exiftool's reading `m`.
void ExpectMetadata(const _tagFileDetail& d, std::map<std::string, std::string> m) {
    const _tagExifInfo& e = d.exifInfo;
    const _tagGpsInfo& g = d.gpsInfo;
    const _tagIptcInfo& i = d.iptcInfo;
    auto sign = [&](const char* ref, char positive) { return m[ref][0] == positive ? 1 : -1; };
    const std::pair<const char*, double> numbers[] = {
        {"ExposureTime", double(e.iExposureTimeL) / e.iExposureTimeR},
        {"FNumber", double(e.iApertureL) / e.iApertureR},
        {"ExposureCompensation", double(e.iExposureCompL) / e.iExposureCompR},
        {"FocalLength", double(e.iFocalLenL) / e.iFocalLenR},
        // Stored as an APEX value; exiftool shows the f-number.
        {"MaxApertureValue", std::pow(2.0, double(e.iWTL) / e.iWTR / 2)},
        {"ISO", e.iISO},
        {"GPSLatitude", g.iLatitude / 3600.0 * sign("GPSLatitudeRef", 'N')},
        {"GPSLongitude", g.iLongitute / 3600.0 * sign("GPSLongitudeRef", 'E')},
        {"GPSAltitude", g.iAltitute}};
    for (auto [key, value] : numbers)
        EXPECT_NEAR(std::stod(m[key]), value, 1e-6) << key;
    int t[6];
    std::sscanf(m["CreateDate"].c_str(), "%d:%d:%d %d:%d:%d", t, t + 1, t + 2, t + 3, t + 4, t + 5);
    EXPECT_EQ(CTime(t[0], t[1], t[2], t[3], t[4], t[5]), e.tDititalTime);
    // A GPS time stamp (10:20:30 on 1 January 1970) outranks the digitised time.
    EXPECT_EQ(m.count("GPSTimeStamp") ? CTime(37230) : e.tDititalTime, d.fileInfo.tSnapTime);
    // Texts; of the keywords the last. The record is marked for what the file has.
    std::string want = std::to_string(m.count("Keywords") ? 0 : -1), got;
    const std::pair<const char*, CString> texts[] = {{"Make", e.strManufacturer},
                                                     {"Model", e.strModel},
                                                     {"Keywords", i.strKeyWord},
                                                     {"City", i.strCity},
                                                     {"Country-PrimaryLocationName", i.strCountry},
                                                     {"Category", i.strClass},
                                                     {"Caption-Abstract", i.strTitle},
                                                     {"Sub-location", i.strLocation},
                                                     {"CopyrightNotice", i.strCopyRight},
                                                     {"Writer-Editor", i.strWriter}};
    for (const auto& [key, value] : texts) {
        want += "|" + m[key].substr(m[key].rfind('|') + 1);
        got += "|" + WideToUtf8(value);
    }
    EXPECT_EQ(want + " 0", std::to_string(d.fileInfo.iIptcID) + got + " " +
                               std::to_string(d.fileInfo.iExifID + d.fileInfo.iGpsID));
}

// The analyser's reads of real files give the file's facts and what the whole data
// gives; the pictures' facts are the maker's, the camera values exiftool's. A file that
// shrinks under a read is no longer whole, and a load it needs fails, leaving the
// record as it was.
TEST(PartialRead, RealFilesGiveTheWholeDataRecordAndWhatExiftoolReads) {
    // A camera JPEG whose EXIF follows 120 KB of other segments.
    testutil::TempDir dir;
    const Bytes camera = Fixture("camera.jpg");
    exiftest::JpegBuilder jpeg;
    jpeg.App(0xE2, "", Bytes(59998, 'x')).App(0xE2, "", Bytes(59998, 'x'));  // APP2 segments
    const Bytes late = jpeg.Raw(Bytes(camera.begin() + 2, camera.end())).Data();
    std::vector<std::pair<std::string, std::string>> files = {
        {dir.WriteFile("late.jpg", std::string(late.begin(), late.end())), "64x48 24 1"}};
    for (auto [name, facts] : kFixtureFacts)
        files.push_back({FixtureDir() + "/" + name, facts});
    for (const auto& [host, facts] : files) {
        _tagFileDetail got, whole;
        ASSERT_EQ(1, CFileAnalyze::AnalyseFile(got, Lib(host), 1, 0)) << host;
        whole.fileInfo = got.fileInfo;  // the file's facts, then the step over its bytes
        whole.fileInfo.tSnapTime = got.fileInfo.tFileCreate;
        EXPECT_EQ(Describe(Extract(ReadBytes(host), whole)) + facts,
                  Describe(got) + Facts(got.fileInfo))
            << host;
        const std::string name = host.substr(host.rfind('/') + 1);
        if (name.starts_with("camera") || name == "pages.tif") ExpectMetadata(got, Exiftool(name));
    }
    HANDLE h = CreateFileW(Lib(dir / "late.jpg"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    CFileBytes bytes(h, late.size());
    _tagFileDetail d;
    ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
    EXPECT_TRUE(bytes.IsStillWhole());
    std::filesystem::resize_file(dir / "late.jpg", 100000);
    EXPECT_FALSE(bytes.IsStillWhole());
    EXPECT_EQ(-1, ExtractFromPartial(bytes, d));
    EXPECT_EQ(Describe(_tagFileDetail()), Describe(d));
    CloseHandle(h);
}

// Over every picture, cut and damaged copies of each and the kept fuzz inputs, bytes
// loaded on demand (down to one at a time) give the record the whole data gives.
TEST(PartialRead, EveryPictureGivesTheWholeDataRecord) {
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(FixtureDir())) {
        const std::string name = entry.path().filename();
        if (name == "stamp" || name.ends_with(".txt")) continue;
        const Bytes data = ReadBytes(entry.path());
        inputs.push_back({name, data});
        for (size_t cut : {size_t(3), data.size() / 7, data.size() / 2, data.size() - 1})
            inputs.push_back({name + " cut", Bytes(data.begin(), data.begin() + long(cut))});
        std::mt19937 gen(unsigned(data.size()));
        for (int i = 0; i < 6; ++i) {
            inputs.push_back({name + " changed", data});
            inputs.back().second[gen() % std::min<size_t>(data.size(), 600)] ^= 1 + gen() % 255;
        }
    }
    for (const auto& entry : std::filesystem::directory_iterator(ANALYSIS_REGRESS_DIR))
        inputs.push_back({entry.path().string(), ReadBytes(entry.path().string())});
    for (const auto& [what, data] : inputs)
        for (auto [first, ahead] : {std::pair<size_t, size_t>(1, 1), {7, 13}, {512, 4096}}) {
            CMemoryBytes bytes(data.data(), data.size(), first, ahead);
            _tagFileDetail d;
            ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
            ASSERT_GE(ExtractFromPartial(bytes, d), 0);
            ASSERT_EQ(Describe(Extract(data)), Describe(d))
                << what << " by " << first << "/" << ahead;
        }
    EXPECT_GT(inputs.size(), 150u);
}

}  // namespace
