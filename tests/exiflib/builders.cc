#include "builders.h"

#include <fstream>
#include <iterator>

namespace exiftest {

Bytes Str(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}
void PutBE16(Bytes& out, unsigned v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

JpegBuilder& JpegBuilder::Segment(std::uint8_t marker, const Bytes& body) {
    Append(m_data, {0xFF, marker});
    PutBE16(m_data, unsigned(body.size() + 2));
    return Raw(body);
}

JpegBuilder& JpegBuilder::App(std::uint8_t marker, const std::string& id, const Bytes& body) {
    Bytes all = Str(id);
    Append(all, body);
    return Segment(marker, all);
}

JpegBuilder& JpegBuilder::Raw(const Bytes& bytes) {
    Append(m_data, bytes);
    return *this;
}

Bytes JpegBuilder::Finish() const {
    Bytes out = m_data;
    Append(out, {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    Append(out, {0x12, 0x34, 0x56, 0x78, 0xFF, 0x00, 0x9A, 0xFF, 0xD9});
    return out;
}

int TiffBuilder::Add() {
    m_dirs.emplace_back();
    return int(m_dirs.size()) - 1;
}

void TiffBuilder::Put(Bytes& out, std::uint32_t v, int size) const {
    for (int i = 0; i < size; ++i)
        out.push_back(std::uint8_t(v >> (8 * (big ? size - 1 - i : i))));
}

TiffBuilder& TiffBuilder::Typed(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                                const Bytes& value) {
    m_dirs[size_t(ifd)].entries.push_back(Entry{tag, type, count, value});
    return *this;
}

TiffBuilder& TiffBuilder::Numbers(int ifd, std::uint16_t tag, std::uint16_t type, int size,
                                  std::uint32_t count, const std::vector<std::int64_t>& v) {
    Bytes b;
    for (auto x : v)
        Put(b, std::uint32_t(x), size);
    return Typed(ifd, tag, type, count, b);
}

TiffBuilder& TiffBuilder::Pointer(int ifd, std::uint16_t tag, int sub) {
    m_dirs[size_t(ifd)].entries.push_back(Entry{tag, 4, 1, {}, kSub, sub});
    return *this;
}

TiffBuilder& TiffBuilder::Next(int ifd, int next) {
    m_dirs[size_t(ifd)].next = next;
    return *this;
}

TiffBuilder& TiffBuilder::Thumbnail(int ifd, const Bytes& jpeg, bool withLength) {
    m_dirs[size_t(ifd)].thumbnail = jpeg;
    m_dirs[size_t(ifd)].entries.push_back(Entry{0x0201, 4, 1, {}, kThumbnail});
    return withLength ? Longs(ifd, 0x0202, {std::uint32_t(jpeg.size())}) : *this;
}

Bytes TiffBuilder::Build(bool bare) const {
    // Every directory first, then every value that does not fit its entry and every
    // thumbnail, each padded to an even size.
    std::vector<std::uint32_t> at;
    std::uint32_t pos = bare ? 2 : 8;
    for (const Dir& d : m_dirs) {
        at.push_back(pos);
        pos += 6 + 12 * std::uint32_t(d.entries.size());
    }
    Bytes out = Str(big ? "MM" : "II"), values;
    if (!bare) Put(out, 42, 2), Put(out, 8, 4);
    auto place = [&](const Bytes& value) {  // its offset
        std::uint32_t offset = pos + std::uint32_t(values.size());
        Append(values, value);
        values.resize((values.size() + 1) & ~size_t(1), 0);
        return offset;
    };
    for (const Dir& d : m_dirs) {
        Put(out, std::uint32_t(d.entries.size()), 2);
        for (const Entry& e : d.entries) {
            Put(out, e.tag, 2);
            Put(out, e.type, 2);
            Put(out, e.count, 4);
            Bytes field = e.kind == kValue && e.value.size() <= 4 ? e.value : Bytes();
            if (e.kind == kValue && e.value.size() > 4) Put(field, place(e.value), 4);
            if (e.kind == kSub) Put(field, at[size_t(e.sub)], 4);
            if (e.kind == kThumbnail) Put(field, place(d.thumbnail), 4);
            field.resize(4, 0);
            Append(out, field);
        }
        Put(out, d.next >= 0 ? at[size_t(d.next)] : 0, 4);
    }
    Append(out, values);
    return out;
}

Bytes ResourceBlock(std::uint16_t id, const Bytes& data, const std::string& name) {
    Bytes out = Str("8BIM");
    PutBE16(out, id);
    out.push_back(std::uint8_t(name.size()));
    Append(out, Str(name));
    if ((name.size() + 1) & 1) out.push_back(0);
    PutBE16(out, unsigned(data.size() >> 16));
    PutBE16(out, unsigned(data.size() & 0xFFFF));
    Append(out, data);
    if (data.size() & 1) out.push_back(0);
    return out;
}

Bytes Dataset(std::uint8_t record, std::uint8_t dataset, const std::string& data) {
    Bytes out{0x1C, record, dataset};
    PutBE16(out, unsigned(data.size()));
    Append(out, Str(data));
    return out;
}

}  // namespace exiftest
