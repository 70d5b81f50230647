// The image decoder on real pictures written by the format libraries (compared with
// what exiftool reads back), on data it must reject, on damaged and hostile headers,
// and its property items from hand-built TIFF structures.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <sstream>

#include "pictures.h"
#include "platform/image_decoder.h"

using namespace antest;
using exiftest::TiffBuilder;

namespace {

struct Facts {
    UINT width, height;
    int bits;
    UINT pages;
    bool operator==(const Facts&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Facts& f) {
    return o << f.width << "x" << f.height << " " << f.bits << "bpp " << f.pages << "p";
}

Facts Decode(const Bytes& data) {
    CByteSource source(data.data(), data.size());
    plat::Image image(source);
    return {image.GetWidth(), image.GetHeight(), PixelFormatBits(image.GetPixelFormat()),
            image.GetFrameCount(&FrameDimensionPage)};
}

int Int(const std::map<std::string, std::string>& m, const std::string& key, int fallback = 0) {
    auto it = m.find(key);
    return it == m.end() ? fallback : std::stoi(it->second);
}

// What the decoder must report, from exiftool's reading of the file.
Facts FromExiftool(const std::string& name) {
    auto m = Expected(name);
    Facts f{UINT(Int(m, "ImageWidth")), UINT(Int(m, "ImageHeight")), 0, 1};
    std::string ext = name.substr(name.rfind('.') + 1);
    if (ext == "jpg") f.bits = 8 * Int(m, "ColorComponents");
    if (ext == "png") {
        static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
        int type = Int(m, "ColorType"), depth = Int(m, "BitDepth");
        f.bits = type == 3 ? depth : kChannels[type] * depth;
    }
    if (ext == "gif") {
        f.bits = Int(m, "BitsPerPixel");
        f.pages = UINT(Int(m, "FrameCount", 1));
    }
    if (ext == "bmp") f.bits = Int(m, "BitDepth");
    if (ext == "tif") {
        std::istringstream bits(m["BitsPerSample"]);
        f.bits = std::accumulate(std::istream_iterator<int>(bits), std::istream_iterator<int>(), 0);
        f.pages = UINT(Int(m, "Pages"));
    }
    return f;
}

TEST(Decoder, FixturePicturesGiveWhatExiftoolReads) {
    // exiftool reads an icon's first image only; the decoder reports the largest.
    const std::map<std::string, Facts> icons = {{"two.ico", {32, 32, 32, 2}},
                                                {"withpng.ico", {48, 48, 32, 2}}};
    int checked = 0;
    for (const std::string& name : FixtureNames()) {
        Facts want = icons.count(name) ? icons.at(name) : FromExiftool(name);
        EXPECT_EQ(want, Decode(ReadBytes(FixtureDir() + "/" + name))) << name;
        ++checked;
    }
    EXPECT_GE(checked, 25);
}

Bytes Le(const std::vector<std::uint32_t>& words, int width) {
    Bytes b;
    for (std::uint32_t w : words)
        for (int i = 0; i < width; ++i)
            b.push_back(std::uint8_t(w >> (8 * i)));
    return b;
}

TEST(Decoder, MetafileHeaders) {
    // EMF: header record (type 1, size 88), bounds, a 50.8 x 25.4 mm frame, " EMF", and a
    // reference device of 1000 x 500 pixels over 254 x 127 mm: 200 x 100 pixels.
    std::vector<std::uint32_t> emf = {1,       88, 0, 0, 199, 99, 0, 0,    5080, 2540, 0x464D4520,
                                      0x10000, 88, 1, 0, 0,   0,  0, 1000, 500,  254,  127};
    EXPECT_EQ((Facts{200, 100, 32, 1}), Decode(Le(emf, 4)));
    // Placeable WMF: a 2 x 1 inch box at 1440 units per inch, then a metafile header.
    Bytes wmf = Le({0x9AC6CDD7}, 4);
    exiftest::Append(wmf, Le({0, 0, 0, 2880, 1440, 1440, 0, 0, 0, 1, 9, 0x300}, 2));
    exiftest::Append(wmf, Bytes(12, 0));
    EXPECT_EQ((Facts{192, 96, 32, 1}), Decode(wmf));
    wmf[22] = 7;  // not a metafile header
    EXPECT_EQ((Facts{0, 0, 0, 0}), Decode(wmf));
    // The widest frame at the finest device: worked out without overflow.
    emf[6] = 0x80000000;
    emf[8] = 0x7FFFFFFF;
    emf[18] = emf[20] = 0x7FFFFFFF;
    EXPECT_EQ((Facts{42949673, 100, 32, 1}), Decode(Le(emf, 4)));
}

TEST(Decoder, DataItDoesNotKnowOrRejectsGivesNothing) {
    Bytes noise(4096);
    std::mt19937 gen(7);
    for (auto& b : noise)
        b = std::uint8_t(gen());
    const Bytes jpeg = MakeJpeg(16, 16, 3);
    const Bytes png = ReadBytes(FixtureDir() + "/rgb8.png");
    const Bytes gif = ReadBytes(FixtureDir() + "/still.gif");
    const Bytes bmp = ReadBytes(FixtureDir() + "/rgb24.bmp");
    Bytes badPlanes = bmp;
    badPlanes[26] = 2;
    Bytes twoComponents = jpeg;  // the frame header's component count
    for (size_t i = 2; i + 9 < twoComponents.size(); ++i)
        if (twoComponents[i] == 0xFF && twoComponents[i + 1] == 0xC0) twoComponents[i + 9] = 2;
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"empty", {}},
        {"noise", noise},
        {"text", exiftest::Str("just some words, not a picture")},
        {"jpeg cut in its headers", Bytes(jpeg.begin(), jpeg.begin() + 30)},
        {"jpeg of two components", twoComponents},
        {"png signature only", Bytes(png.begin(), png.begin() + 8)},
        {"png cut before its image data", Bytes(png.begin(), png.begin() + 40)},
        {"gif without an image", Bytes(gif.begin(), gif.begin() + 13 + 768)},
        {"bmp with two planes", badPlanes},
        {"tiff pointing past its end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}},
        {"icon without images", {0, 0, 1, 0, 0, 0}},
    };
    for (const auto& [what, data] : cases) {
        CByteSource source(data.data(), data.size());
        plat::Image image(source);
        EXPECT_EQ(UnknownImageFormat, image.GetLastStatus()) << what;
        EXPECT_EQ((Facts{0, 0, 0, 0}), Decode(data)) << what;
        EXPECT_EQ(0u, image.GetPropertyItemSize(0x10F)) << what;
    }
}

TEST(Decoder, HostileHeadersEndWithDefinedAnswers) {
    // GIF: one image, then an extension whose sub-blocks run to the end of 1 MB.
    Bytes gif = ReadBytes(FixtureDir() + "/still.gif");
    gif.pop_back();  // the trailer
    gif.push_back(0x21);
    gif.push_back(0xFE);
    while (gif.size() < (1u << 20))
        gif.insert(gif.end(), {1, 'x'});
    EXPECT_EQ((Facts{12, 9, 8, 1}), Decode(gif));
    // GIF: 100000 one-pixel frames.
    Bytes frames(ReadBytes(FixtureDir() + "/still.gif"));
    frames.resize(13 + 768);
    for (int i = 0; i < 100000; ++i)
        frames.insert(frames.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0});
    frames.push_back(0x3B);
    EXPECT_EQ((Facts{12, 9, 8, 100000}), Decode(frames));
    // TIFF: a directory chain that loops back (A -> B -> A) counts each directory once.
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        int second = t.Add();
        for (int d : {0, second})
            t.Longs(d, 256, {5})
                .Longs(d, 257, {3})
                .Shorts(d, 258, {8})
                .Longs(d, 273, {8})
                .Longs(d, 279, {1});
        t.Next(0, second).Next(second, 0);
        EXPECT_EQ((Facts{5, 3, 8, 2}), Decode(t.Build())) << big;
        // Forty entries naming the same 64 KB: refused rather than held forty times.
        t.Typed(0, 40000, 7, 65536, Bytes(65536, 1));
        EXPECT_EQ(5u, Decode(t.Build()).width);
        for (std::uint16_t tag = 40001; tag < 40041; ++tag)
            t.RawField(0, tag, 7, 65536, 8);
        EXPECT_EQ((Facts{0, 0, 0, 0}), Decode(t.Build())) << big;
    }
    // Sizes as large as the headers can state are reported, or refused, never trusted
    // for an allocation.
    Bytes png = ReadBytes(FixtureDir() + "/rgb8.png");
    std::memset(png.data() + 16, 0x7F, 1);
    std::memset(png.data() + 17, 0xFF, 3);
    EXPECT_EQ(0u, Decode(png).width);  // the changed header fails its checksum
    Bytes jpeg = MakeJpeg(8, 8, 1);
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) std::memset(jpeg.data() + i + 5, 0xFF, 4);
    EXPECT_EQ((Facts{0, 0, 0, 0}), Decode(jpeg));  // beyond the JPEG library's limit
}

// A real JPEG carrying a TIFF structure in APP1.
Bytes JpegWith(const TiffBuilder& t) {
    return WithExif(MakeJpeg(8, 8, 3), t.Build());
}

TEST(Decoder, PropertyItemsComeInTheHostsByteOrder) {
    for (bool big : {false, true}) {
        TiffBuilder t(big);
        int exif = t.Add(), gps = t.Add();
        t.Ascii(0, 0x10F, "Maker").Pointer(0, 0x8769, exif).Pointer(0, 0x8825, gps);
        t.Rationals(exif, 0x829A, {1, 125}).Shorts(exif, 0x8827, {40000, 7});
        t.Rationals(exif, 0x9204, {-2, 3}, 10).Typed(exif, 0xA000, 7, 4, exiftest::Str("0230"));
        t.Rationals(gps, 2, {48, 1, 30, 1, 36, 1}).Ascii(gps, 1, "N");
        t.Typed(exif, 0x9999, 99, 1, Bytes(4, 1));  // an unknown type is left out
        Bytes data = JpegWith(t);
        CByteSource source(data.data(), data.size());
        plat::Image image(source);
        ASSERT_EQ(Ok, image.GetLastStatus());
        auto item = [&](PROPID id, std::vector<std::uint32_t> words, WORD type, size_t unit) {
            UINT size = image.GetPropertyItemSize(id);
            ASSERT_EQ(sizeof(PropertyItem) + words.size() * unit, size) << id;
            std::vector<std::uint64_t> room(size / 8 + 1);
            auto* p = reinterpret_cast<PropertyItem*>(room.data());
            ASSERT_EQ(InvalidParameter, image.GetPropertyItem(id, size - 1, p));
            ASSERT_EQ(Ok, image.GetPropertyItem(id, size, p));
            EXPECT_EQ(type, p->type);
            for (size_t i = 0; i < words.size(); ++i) {
                std::uint32_t v = 0;
                std::memcpy(&v, static_cast<BYTE*>(p->value) + i * unit, unit);
                EXPECT_EQ(words[i], v) << id << " value " << i;
            }
        };
        item(0x829A, {1, 125}, 5, 4);
        item(0x8827, {40000, 7}, 3, 2);
        item(0x9204, {std::uint32_t(-2), 3}, 10, 4);
        item(2, {48, 1, 30, 1, 36, 1}, 5, 4);
        item(0x10F, {'M', 'a', 'k', 'e', 'r', 0}, 2, 1);
        EXPECT_EQ(PropertyNotFound, image.GetPropertyItem(0x9999, 64, nullptr));
    }
}

TEST(Decoder, PropertyItemsStayInsideTheirStructure) {
    TiffBuilder t(false);
    t.Ascii(0, 0x110, "first").Ascii(0, 0x10F, "Made");
    Bytes data = JpegWith(t);
    // Point Make's value 1000 bytes past the segment: it is left out; Model stays.
    for (size_t i = 0; i + 12 < data.size(); ++i)
        if (data[i] == 0x0F && data[i + 1] == 0x01 && data[i + 2] == 2) {
            data[i + 8] = 0xE8;
            data[i + 9] = 0x03;
        }
    CByteSource source(data.data(), data.size());
    plat::Image image(source);
    EXPECT_EQ(0u, image.GetPropertyItemSize(0x10F));
    EXPECT_EQ(sizeof(PropertyItem) + 6, image.GetPropertyItemSize(0x110));
}

}  // namespace
