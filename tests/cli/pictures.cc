#include "cli/pictures.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "builders.h"

// The JPEG library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace pictures {

namespace {

using exiftest::Bytes;

// IFD0 (make, model), the EXIF directory (exposure at f/2.8 and 50 mm, ISO, capture
// times) and, with a position, the GPS directory; little-endian.
Bytes Tiff(const Shot& s) {
    exiftest::TiffBuilder t(false);
    const int exif = t.Add();
    t.Ascii(0, 0x010F, s.make).Ascii(0, 0x0110, s.model).Pointer(0, 0x8769, exif);
    t.Rationals(exif, 0x829A, {1, s.exposureDen}).Rationals(exif, 0x829D, {28, 10});
    t.Shorts(exif, 0x8827, {std::uint16_t(s.iso)});
    if (!s.taken.empty()) t.Ascii(exif, 0x9003, s.taken).Ascii(exif, 0x9004, s.taken);
    t.Rationals(exif, 0x920A, {50, 1});
    if (s.gps) {
        const int gps = t.Add();
        t.Pointer(0, 0x8825, gps).Typed(gps, 0x0000, 1, 4, {2, 2, 0, 0}).Ascii(gps, 1, "N");
        t.Rationals(gps, 2, {s.latDeg, 1, 51, 1, 30, 1}).Ascii(gps, 3, "E");
        t.Rationals(gps, 4, {2, 1, 17, 1, 40, 1});
    }
    return t.Build();
}

// The IPTC record 2 datasets: the record version, the keywords, the city.
Bytes Iptc(const Shot& s) {
    Bytes iptc = exiftest::Dataset(2, 0, std::string("\x00\x04", 2));
    std::stringstream keywords(s.keywords);
    for (std::string word; std::getline(keywords, word, ',');)
        if (!word.empty()) exiftest::Append(iptc, exiftest::Dataset(2, 25, word));
    if (!s.city.empty()) exiftest::Append(iptc, exiftest::Dataset(2, 90, s.city));
    return iptc;
}

// The compressed pixels (no JFIF segment), a pattern that differs with the seed.
Bytes Pixels(const Shot& shot) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(shot.width);
    cinfo.image_height = JDIMENSION(shot.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.write_JFIF_header = FALSE;  // the EXIF segment comes first, as cameras write it
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(shot.width) * 3);
    const unsigned seed = unsigned(shot.seed) * 2654435761u;
    for (JSAMPROW rows[1] = {row.data()}; cinfo.next_scanline < cinfo.image_height;) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = JSAMPLE(i * 5 + cinfo.next_scanline * 7 + (seed >> (i % 3 * 8)));
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

}  // namespace

std::string Jpeg(const Shot& shot) {
    exiftest::JpegBuilder jpeg;
    jpeg.Exif(Tiff(shot));
    if (!(shot.keywords + shot.city).empty())
        jpeg.App(0xED, std::string("Photoshop 3.0\0", 14),
                 exiftest::ResourceBlock(0x0404, Iptc(shot)));
    const Bytes pixels = Pixels(shot);
    jpeg.Raw(Bytes(pixels.begin() + 2, pixels.end()));  // after its start of image
    return std::string(jpeg.Data().begin(), jpeg.Data().end());
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace pictures
