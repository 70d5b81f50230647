// Picture files for the service benchmark: a small real JPEG (8 x 8 grey pixels, written by
// the JPEG library) with an EXIF block naming the camera and the capture time, so that a
// scan gives the index files, folders, months and camera rows to work on.
#pragma once

#include <cstdint>
#include <string>

namespace testutil {

namespace detail {

// The JPEG's segments after its start marker: tables, frame, scan, end.
inline const std::string& JpegBody() {
    static const std::string body(
        "\xff\xdb\x00\x43\x00\x05\x03\x04\x04\x04\x03\x05\x04\x04\x04\x05\x05\x05\x06"
        "\x07\x0c\x08\x07\x07\x07\x07\x0f\x0b\x0b\x09\x0c\x11\x0f\x12\x12\x11\x0f\x11"
        "\x11\x13\x16\x1c\x17\x13\x14\x1a\x15\x11\x11\x18\x21\x18\x1a\x1d\x1d\x1f\x1f"
        "\x1f\x13\x17\x22\x24\x22\x1e\x24\x1c\x1e\x1f\x1e\xff\xc0\x00\x0b\x08\x00\x08"
        "\x00\x08\x01\x01\x11\x00\xff\xc4\x00\x14\x00\x01\x00\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x07\xff\xc4\x00\x1e\x10\x00\x01\x03\x04\x03"
        "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x11\x03\x05\x14\x00\x02\x04\x06"
        "\x13\x31\x81\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00\x3b\xd5\xf4\x89\x2c\x6d"
        "\xf8\xbc\x26\x43\x33\x56\x30\x1d\xce\x5a\xe5\x47\xa2\xbf\xff\xd9",
        168);
    return body;
}

inline void Put16(std::string& out, unsigned v) {
    out += char(v & 0xFF);
    out += char((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A little-endian TIFF structure: IFD0 with Make, Model and the EXIF pointer, the EXIF
// directory with DateTimeOriginal and DateTimeDigitized (the same time); texts longer than four
// bytes follow the directories, shorter ones sit in their entry's value field.
inline std::string ExifTiff(const std::string& make, const std::string& model,
                            const std::string& taken) {
    const std::uint32_t ifd0 = 8, exif = ifd0 + 2 + 3 * 12 + 4, data = exif + 2 + 2 * 12 + 4;
    std::string texts[3] = {make + '\0', model + '\0', taken + '\0'};
    std::uint32_t at[3] = {};
    std::string tail;
    for (int i = 0; i < 3; ++i) {
        if (texts[i].size() <= 4) continue;
        at[i] = data + std::uint32_t(tail.size());
        tail += texts[i];
    }
    std::string t = "II";
    Put16(t, 42);
    Put32(t, ifd0);
    auto entry = [&](unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value) {
        Put16(t, tag);
        Put16(t, type);
        Put32(t, count);
        Put32(t, value);
    };
    auto text = [&](unsigned tag, int i) {
        if (texts[i].size() > 4) {
            entry(tag, 2, std::uint32_t(texts[i].size()), at[i]);
            return;
        }
        Put16(t, tag);
        Put16(t, 2);
        Put32(t, std::uint32_t(texts[i].size()));
        t += texts[i] + std::string(4 - texts[i].size(), '\0');
    };
    Put16(t, 3);
    text(0x010F, 0);            // Make
    text(0x0110, 1);            // Model
    entry(0x8769, 4, 1, exif);  // EXIF directory
    Put32(t, 0);
    Put16(t, 2);
    text(0x9003, 2);  // DateTimeOriginal
    text(0x9004, 2);  // DateTimeDigitized, which the capture time is taken from
    Put32(t, 0);
    return t + tail;
}

}  // namespace detail

// A JPEG file's bytes taken by `make` `model` at `taken` ("2008:05:01 10:20:30").
inline std::string JpegWithExif(const std::string& make, const std::string& model,
                                const std::string& taken) {
    std::string tiff = detail::ExifTiff(make, model, taken);
    std::string out = "\xFF\xD8\xFF\xE1";
    unsigned length = unsigned(2 + 6 + tiff.size());
    out += char(length >> 8);
    out += char(length & 0xFF);
    out += std::string("Exif\0\0", 6);
    out += tiff;
    out += detail::JpegBody();
    return out;
}

}  // namespace testutil
