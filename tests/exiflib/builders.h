// Test-side builders of the byte streams the reader is fed: JPEG files assembled
// segment by segment, TIFF structures in either byte order, Photoshop resource blocks
// with IPTC datasets. They write what the formats say, independently of the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exiftest {

using Bytes = std::vector<std::uint8_t>;

Bytes Str(const std::string& s);  // the characters, no terminator
void Append(Bytes& out, const Bytes& more);
void PutBE16(Bytes& out, unsigned v);
Bytes ReadBytes(const std::string& path);  // a file's bytes

// SOI, then segments, then (Finish) a scan header, a few scan bytes and EOI. App writes
// an application segment whose body is the identifier followed by `body`.
class JpegBuilder {
public:
    JpegBuilder() : m_data{0xFF, 0xD8} {}
    JpegBuilder& Segment(std::uint8_t marker, const Bytes& body);  // with its length field
    JpegBuilder& App(std::uint8_t marker, const std::string& id, const Bytes& body);
    JpegBuilder& Exif(const Bytes& tiff) { return App(0xE1, std::string("Exif\0\0", 6), tiff); }
    JpegBuilder& Raw(const Bytes& bytes);
    Bytes Finish() const;
    const Bytes& Data() const { return m_data; }

private:
    Bytes m_data;
};

// A TIFF structure: header, IFD0 at offset 8, then every other directory with its values
// and thumbnail after it. Directories are numbered as Add() returns them (IFD0 is 0).
// Values are given as numbers, or (Typed) as bytes in the structure's byte order: up to
// 4 of them are the entry's value field as is (an offset, say), whatever the count.
// Build(true) puts only the byte-order mark before IFD0, as the maker segment does.
class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian) : big(bigEndian), m_dirs(1) {}
    int Add();  // a new, empty directory

    TiffBuilder& Ascii(int ifd, std::uint16_t tag, const std::string& text) {  // NUL added
        return Typed(ifd, tag, 2, std::uint32_t(text.size() + 1), Str(text + '\0'));
    }
    TiffBuilder& Shorts(int ifd, std::uint16_t tag, const std::vector<std::uint16_t>& v) {
        return Numbers(ifd, tag, 3, 2, std::uint32_t(v.size()), {v.begin(), v.end()});
    }
    TiffBuilder& Longs(int ifd, std::uint16_t tag, const std::vector<std::uint32_t>& v) {
        return Numbers(ifd, tag, 4, 4, std::uint32_t(v.size()), {v.begin(), v.end()});
    }
    // (numerator, denominator) pairs, RATIONAL (type 5) or SRATIONAL (type 10).
    TiffBuilder& Rationals(int ifd, std::uint16_t tag, const std::vector<std::int64_t>& nd,
                           std::uint16_t type = 5) {
        return Numbers(ifd, tag, type, 4, std::uint32_t(nd.size() / 2), nd);
    }
    TiffBuilder& Typed(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                       const Bytes& value);
    TiffBuilder& Pointer(int ifd, std::uint16_t tag, int sub);  // LONG offset of `sub`
    TiffBuilder& Next(int ifd, int next);
    // IFD1's JPEGInterchangeFormat (pointing at the bytes) and, optionally, its length.
    TiffBuilder& Thumbnail(int ifd, const Bytes& jpeg, bool withLength = true);
    Bytes Build(bool bare = false) const;
    bool big;

private:
    enum Kind { kValue, kSub, kThumbnail };
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count;
        Bytes value;
        Kind kind = kValue;
        int sub = -1;
    };
    struct Dir {
        std::vector<Entry> entries;
        int next = -1;
        Bytes thumbnail;
    };
    void Put(Bytes& out, std::uint32_t v, int size) const;  // `size` bytes, in byte order
    TiffBuilder& Numbers(int ifd, std::uint16_t tag, std::uint16_t type, int size,
                         std::uint32_t count, const std::vector<std::int64_t>& v);
    std::vector<Dir> m_dirs;
};

// One Photoshop image resource block ("8BIM", id, name, size, data padded to even).
Bytes ResourceBlock(std::uint16_t id, const Bytes& data, const std::string& name = "");
// One IPTC dataset: 0x1C, record, dataset, 16-bit length, data.
Bytes Dataset(std::uint8_t record, std::uint8_t dataset, const std::string& data);

}  // namespace exiftest
