#include "cli/pictures.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

// The JPEG library's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace pictures {

namespace {

// TIFF field types.
constexpr std::uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5;

// `bytes` bytes of v, least significant first, or most significant first with `big`.
void Int(std::string& out, std::uint32_t v, int bytes, bool big = false) {
    for (int i = 0; i < bytes; ++i)
        out += char((v >> (8 * (big ? bytes - 1 - i : i))) & 0xFF);
}

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::string data;  // little-endian value bytes
};

Entry Ascii(std::uint16_t tag, const std::string& text) {
    return {tag, kAscii, std::uint32_t(text.size() + 1), text + '\0'};
}
// One SHORT, or one LONG such as the place of another directory.
Entry Number(std::uint16_t tag, std::uint16_t type, std::uint32_t v) {
    std::string d;
    Int(d, v, type == kShort ? 2 : 4);
    return {tag, type, 1, d};
}
Entry Rationals(std::uint16_t tag, std::initializer_list<std::pair<int, int>> values) {
    std::string d;
    for (auto [n, den] : values) {
        Int(d, std::uint32_t(n), 4);
        Int(d, std::uint32_t(den), 4);
    }
    return {tag, kRational, std::uint32_t(values.size()), d};
}
Entry Bytes(std::uint16_t tag, const std::string& bytes) {
    return {tag, kByte, std::uint32_t(bytes.size()), bytes};
}

// An IFD with its out-of-line values right after it (its size does not depend on `at`).

std::string Block(const std::vector<Entry>& entries, std::uint32_t at) {
    std::string ifd, data;
    std::uint32_t dataAt = std::uint32_t(at + 2 + 12 * entries.size() + 4);
    Int(ifd, unsigned(entries.size()), 2);
    for (const Entry& e : entries) {
        Int(ifd, e.tag, 2);
        Int(ifd, e.type, 2);
        Int(ifd, e.count, 4);
        if (e.data.size() <= 4) {
            std::string v = e.data;
            v.resize(4, '\0');
            ifd += v;
        } else {
            Int(ifd, std::uint32_t(dataAt + data.size()), 4);
            data += e.data;
            if (data.size() % 2) data += '\0';
        }
    }
    Int(ifd, 0, 4);  // no next IFD
    return ifd + data;
}

std::string Tiff(const Shot& s) {
    std::vector<Entry> exif = {
        Rationals(0x829A, {{1, s.exposureDen}}),
        Rationals(0x829D, {{28, 10}}),
        Number(0x8827, kShort, std::uint32_t(s.iso)),
    };
    if (!s.taken.empty()) {
        exif.push_back(Ascii(0x9003, s.taken));
        exif.push_back(Ascii(0x9004, s.taken));
    }
    exif.push_back(Rationals(0x920A, {{50, 1}}));

    std::vector<Entry> gps;
    if (s.gps) {
        gps = {
            Bytes(0x0000, std::string("\x02\x02\x00\x00", 4)),    Ascii(0x0001, "N"),
            Rationals(0x0002, {{s.latDeg, 1}, {51, 1}, {30, 1}}), Ascii(0x0003, "E"),
            Rationals(0x0004, {{2, 1}, {17, 1}, {40, 1}}),
        };
    }

    std::vector<Entry> ifd0 = {Ascii(0x010F, s.make), Ascii(0x0110, s.model),
                               Number(0x8769, kLong, 0)};
    if (s.gps) ifd0.push_back(Number(0x8825, kLong, 0));
    std::uint32_t ifd0At = 8;
    std::uint32_t exifAt = std::uint32_t(ifd0At + Block(ifd0, 0).size());
    std::uint32_t gpsAt = std::uint32_t(exifAt + Block(exif, 0).size());
    ifd0[2] = Number(0x8769, kLong, exifAt);
    if (s.gps) ifd0[3] = Number(0x8825, kLong, gpsAt);

    std::string t = "II";
    Int(t, 42, 2);
    Int(t, ifd0At, 4);
    t += Block(ifd0, ifd0At);
    t += Block(exif, exifAt);
    if (s.gps) t += Block(gps, gpsAt);
    return t;
}

void Dataset(std::string& out, int number, const std::string& value) {
    out += '\x1C';
    out += char(2);
    out += char(number);
    Int(out, unsigned(value.size()), 2, true);
    out += value;
}

// The Photoshop resource block holding the IPTC record 2 datasets.
std::string Iptc(const Shot& s) {
    std::string iptc;
    Dataset(iptc, 0, std::string("\x00\x04", 2));  // record version
    std::stringstream keywords(s.keywords);
    for (std::string word; std::getline(keywords, word, ',');)
        if (!word.empty()) Dataset(iptc, 25, word);
    if (!s.city.empty()) Dataset(iptc, 90, s.city);
    std::string block = std::string("Photoshop 3.0\0", 14) + "8BIM";
    Int(block, 0x0404, 2, true);
    block += std::string("\0\0", 2);  // empty resource name, padded
    Int(block, std::uint32_t(iptc.size()), 4, true);
    block += iptc;
    if (iptc.size() % 2) block += '\0';
    return block;
}

}  // namespace

std::string Jpeg(const Shot& shot) {
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
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    std::string exif = std::string("Exif\0\0", 6) + Tiff(shot);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(exif.data()),
                      unsigned(exif.size()));
    if (!(shot.keywords + shot.city).empty()) {
        std::string iptc = Iptc(shot);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 13, reinterpret_cast<const JOCTET*>(iptc.data()),
                          unsigned(iptc.size()));
    }

    std::vector<JSAMPLE> row(size_t(shot.width) * 3);
    unsigned seed = unsigned(shot.seed) * 2654435761u;
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < shot.width; ++x) {
            row[size_t(x) * 3] = JSAMPLE((x * 255 / shot.width + seed) & 0xFF);
            row[size_t(x) * 3 + 1] = JSAMPLE((cinfo.next_scanline * 7 + (seed >> 8)) & 0xFF);
            row[size_t(x) * 3 + 2] = JSAMPLE((seed >> 16) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

}  // namespace pictures
