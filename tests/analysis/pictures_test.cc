// Real pictures: the fixtures (written by the format libraries, some tagged by exiftool)
// analysed as the scan does give the facts and metadata exiftool reads back; data the
// decoder must reject, and hostile headers that must end in defined answers. Reading
// less than the whole file: over every picture, cut and damaged copies of each and the
// kept fuzz inputs, bytes loaded on demand (down to one at a time) give the record the
// whole data gives; so do the analyser's reads of real files. A camera JPEG is analysed
// from its start; a file that shrinks under a read fails it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <random>
#include <sstream>

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

_tagFileDetail Detail(const Bytes& data, _tagFileDetail d = {}) {
    ExtractImageData(data.data(), UINT(data.size()), d);
    return d;
}

std::string Whole(const Bytes& data, _tagFileDetail d = {}) {
    return Describe(Detail(data, d));
}

// Width x height, bits per pixel, pages: as the record has them, and as exiftool reads
// them from a fixture picture.
std::string Facts(const _tagFileInfo& f) {
    return std::to_string(f.iWidth) + "x" + std::to_string(f.iHeight) + " " +
           std::to_string(f.iBPP) + " " + std::to_string(f.iPageCount);
}

std::string ExiftoolFacts(const std::string& name) {
    auto m = Expected(name);
    auto get = [&](const char* key) { return m.count(key) ? std::stoi(m[key]) : 0; };
    const std::string ext = name.substr(name.rfind('.') + 1);
    int bits = get("BitDepth"), pages = 1;  // BMP
    if (ext == "jpg") bits = 8 * get("ColorComponents");
    if (ext == "png") bits *= "1031204"[get("ColorType")] - '0';  // channels (palette 1)
    if (ext == "gif") std::tie(bits, pages) = std::pair(get("BitsPerPixel"), get("FrameCount"));
    if (ext == "tif") {
        std::istringstream in(m["BitsPerSample"]);
        bits = std::accumulate(std::istream_iterator<int>(in), std::istream_iterator<int>(), 0);
        pages = get("Pages");
    }
    // exiftool reads an icon's first image; the decoder the largest, and counts them.
    if (name == "two.ico") return "32x32 32 2";
    if (name == "withpng.ico") return "48x48 32 2";
    return m["ImageWidth"] + "x" + m["ImageHeight"] + " " + std::to_string(bits) + " " +
           std::to_string(std::max(pages, 1));
}

// The camera values, GPS and IPTC datasets of a record against exiftool's reading `m`.
void ExpectMetadata(const _tagFileDetail& d, std::map<std::string, std::string> m) {
    auto num = [&](const char* key) { return std::stod(m[key]); };
    auto arc = [&](const char* key, char positive) {  // exiftool's degrees, in seconds
        int v = int(std::lround(num(key) * 3600));
        return m[std::string(key) + "Ref"][0] == positive ? v : -v;
    };
    const _tagExifInfo& e = d.exifInfo;
    EXPECT_EQ(m["Make"] + m["Model"], WideToUtf8(e.strManufacturer + e.strModel));
    const std::tuple<const char*, int, int> fractions[] = {
        {"ExposureTime", e.iExposureTimeL, e.iExposureTimeR},
        {"FNumber", e.iApertureL, e.iApertureR},
        {"ExposureCompensation", e.iExposureCompL, e.iExposureCompR},
        {"FocalLength", e.iFocalLenL, e.iFocalLenR}};
    for (auto [key, l, r] : fractions)
        EXPECT_NEAR(num(key), double(l) / r, 1e-9) << key;
    // The maximum aperture is stored as an APEX value; exiftool shows the f-number.
    EXPECT_NEAR(num("MaxApertureValue"), std::pow(2.0, double(e.iWTL) / e.iWTR / 2), 1e-6);
    EXPECT_EQ(int(num("ISO")), e.iISO);
    int t[6];
    std::sscanf(m["CreateDate"].c_str(), "%d:%d:%d %d:%d:%d", t, t + 1, t + 2, t + 3, t + 4, t + 5);
    EXPECT_EQ(CTime(t[0], t[1], t[2], t[3], t[4], t[5]), e.tDititalTime);
    EXPECT_EQ(arc("GPSLatitude", 'N'), d.gpsInfo.iLatitude);
    EXPECT_EQ(arc("GPSLongitude", 'E'), d.gpsInfo.iLongitute);
    EXPECT_EQ(int(num("GPSAltitude")), d.gpsInfo.iAltitute);
    EXPECT_EQ(0, d.fileInfo.iExifID + d.fileInfo.iGpsID);
    // A GPS time stamp (10:20:30 on 1 January 1970) outranks the digitised time.
    EXPECT_EQ(m.count("GPSTimeStamp") ? CTime(37230) : e.tDititalTime, d.fileInfo.tSnapTime);
    const _tagIptcInfo& i = d.iptcInfo;
    EXPECT_EQ(m.count("Keywords") ? 0 : -1, d.fileInfo.iIptcID);
    if (!m.count("Keywords")) return;
    EXPECT_EQ(m["Keywords"].substr(m["Keywords"].rfind('|') + 1) + m["City"] +
                  m["Country-PrimaryLocationName"] + m["Category"] + m["Caption-Abstract"] +
                  m["Sub-location"] + m["CopyrightNotice"] + m["Writer-Editor"],
              WideToUtf8(i.strKeyWord + i.strCity + i.strCountry + i.strClass + i.strTitle +
                         i.strLocation + i.strCopyRight + i.strWriter));
}

Bytes Le(const std::vector<std::uint32_t>& words, int width) {
    Bytes b;
    for (std::uint32_t w : words)
        for (int i = 0; i < width; ++i)
            b.push_back(std::uint8_t(w >> (8 * i)));
    return b;
}

TEST(Decoder, RejectedAndHostileData) {
    Bytes jpeg = ReadBytes(FixtureDir() + "/grey.jpg"),
          bmp = ReadBytes(FixtureDir() + "/rgb24.bmp");
    const Bytes png = ReadBytes(FixtureDir() + "/rgb8.png"),
                gif = ReadBytes(FixtureDir() + "/still.gif");
    bmp[26] = 2;  // two planes
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) jpeg[i + 9] = 2;  // two components
    Bytes endless(gif.begin(), gif.end() - 1);  // an extension whose blocks fill 1 MB
    for (endless.insert(endless.end(), {0x21, 0xFE}); endless.size() < (1u << 20);)
        endless.insert(endless.end(), {1, 'x'});
    Bytes frames(gif.begin(), gif.begin() + 13 + 768);  // 100000 one-pixel frames
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
    wide[6] = 0x80000000, wide[8] = wide[18] = wide[20] = 0x7FFFFFFF;
    Bytes wmf = Le({0x9AC6CDD7}, 4), notWmf;
    exiftest::Append(wmf, Le({0, 0, 0, 2880, 1440, 1440, 0, 0, 0, 1, 9, 0, 0, 0, 0, 0, 0, 0}, 2));
    (notWmf = wmf)[22] = 7;  // not a metafile header
    std::string got;
    for (const Bytes& data :
         {Bytes(4096, 0x5A), jpeg, Bytes(png.begin(), png.begin() + 40), bmp, overlapping.Build(),
          notWmf, endless, frames, loop.Build(), Le(emf, 4), Le(wide, 4), wmf})
        got += Facts(Detail(data).fileInfo) + "|";
    EXPECT_EQ(
        "0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|12x9 8 1|12x9 8 100000|5x3 8 2|"
        "200x100 32 1|42949673x100 32 1|192x96 32 1|",
        got);
}

TEST(PartialRead, EveryPictureGivesTheWholeDataRecord) {
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (const std::string& name : FixtureNames()) {
        const Bytes data = ReadBytes(FixtureDir() + "/" + name);
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
            ASSERT_EQ(Whole(data), Describe(d)) << what << " by " << first << "/" << ahead;
        }
    EXPECT_GT(inputs.size(), 300u);
}

TEST(PartialRead, RealFilesGiveTheWholeDataRecordAndWhatExiftoolReads) {
    // A 4 MB camera JPEG whose scan is noise, and one whose EXIF follows 120 KB of other
    // segments; then every fixture picture.
    testutil::TempDir dir;
    const Bytes camera = ReadBytes(FixtureDir() + "/camera.jpg");
    Bytes big(camera.begin(), camera.end() - 2), late = {0xFF, 0xD8};
    std::mt19937 gen(3);
    while (big.size() < (4u << 20))
        big.push_back(std::uint8_t(gen() % 255));  // never 0xFF: no marker in the scan
    big.insert(big.end(), {0xFF, 0xD9});
    for (int i = 0; i < 2; ++i) {
        late.insert(late.end(), {0xFF, 0xE2, 0xEA, 0x60});  // APP2 of 60000 bytes
        late.resize(late.size() + 59998, 'x');
    }
    late.insert(late.end(), camera.begin() + 2, camera.end());
    WriteBytes(dir / "big.jpg", big);
    WriteBytes(dir / "late.jpg", late);
    std::vector<std::string> files = {dir / "big.jpg", dir / "late.jpg"};
    for (const std::string& name : FixtureNames())
        files.push_back(FixtureDir() + "/" + name);
    for (const std::string& host : files) {
        _tagFileDetail got, facts;
        ASSERT_EQ(1, CFileAnalyze::AnalyseFile(got, Lib(host), 1, 0)) << host;
        facts.fileInfo = got.fileInfo;  // the file's facts, then the step over its bytes
        facts.fileInfo.tSnapTime = got.fileInfo.tFileCreate;
        EXPECT_EQ(Whole(ReadBytes(host), facts), Describe(got)) << host;
        if (!host.starts_with(FixtureDir())) continue;
        const std::string name = host.substr(FixtureDir().size() + 1);
        EXPECT_EQ(ExiftoolFacts(name), Facts(got.fileInfo)) << name;
        if (Expected(name).count("Make")) ExpectMetadata(got, Expected(name));
    }
    for (const char* name : {"big.jpg", "late.jpg"}) {
        HANDLE h = CreateFileW(Lib(dir / name), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        CFileBytes bytes(h, std::filesystem::file_size(dir / name));
        _tagFileDetail d;
        ASSERT_TRUE(bytes.Allocate() && bytes.Begin());
        EXPECT_TRUE(bytes.IsStillWhole());
        // The file shrinks: it is no longer whole, and a load it needs fails, leaving
        // the record as it was.
        std::filesystem::resize_file(dir / name, 100000);
        EXPECT_FALSE(bytes.IsStillWhole());
        const int r = ExtractFromPartial(bytes, d);
        EXPECT_EQ(name == std::string("big.jpg") ? 1 : -1, r) << name;     // the camera JPEG
        EXPECT_EQ(r == 1 ? L"PX-100 Mark II" : L"", d.exifInfo.strModel);  // needs one load
        CloseHandle(h);
    }
}

}  // namespace
