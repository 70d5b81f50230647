// The image decoder: real pictures written by the format libraries against what exiftool
// reads back, and data it must reject or whose hostile headers must end in defined
// answers.
#include <gtest/gtest.h>

#include <numeric>
#include <sstream>

#include "pictures.h"
#include "platform/image_decoder.h"

using namespace antest;
using exiftest::TiffBuilder;

namespace {

// Width x height, bits per pixel, pages: as the decoder reports them.
std::string Decode(const Bytes& data) {
    CByteSource source(data.data(), data.size());
    plat::Image image(source);
    return std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) + " " +
           std::to_string(PixelFormatBits(image.GetPixelFormat())) + " " +
           std::to_string(image.GetFrameCount(&FrameDimensionPage)) +
           (image.GetPropertyItemSize(0x10F) ? " items" : "");
}

TEST(Decoder, FixturePicturesGiveWhatExiftoolReads) {
    for (const std::string& name : FixtureNames()) {
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
        std::string want = m["ImageWidth"] + "x" + m["ImageHeight"] + " " + std::to_string(bits) +
                           " " + std::to_string(std::max(pages, 1));
        // exiftool reads an icon's first image; the decoder the largest, and counts them.
        if (name == "two.ico") want = "32x32 32 2";
        if (name == "withpng.ico") want = "48x48 32 2";
        if (m.count("Make")) want += " items";  // EXIF property items
        EXPECT_EQ(want, Decode(ReadBytes(FixtureDir() + "/" + name))) << name;
    }
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
        overlapping.RawField(0, tag, 7, 65536, 8);
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
        got += Decode(data) + "|";
    EXPECT_EQ(
        "0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|0x0 0 0|12x9 8 1|12x9 8 100000|5x3 8 2|"
        "200x100 32 1|42949673x100 32 1|192x96 32 1|",
        got);
}

}  // namespace
