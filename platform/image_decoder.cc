#include "platform/image_decoder.h"

#include <bit>
#include <cstring>
#include <utility>

#include "platform/image_formats.h"

const GUID FrameDimensionPage = {
    0x7462DC86, 0x6180, 0x4C7E, {0x8E, 0x3F, 0xEE, 0x73, 0x33, 0xA7, 0xA4, 0x83}};

namespace plat {
namespace {

// The format a signature announces. EMF is told by its header record's type and the
// signature " EMF" at offset 40.
ImageFormat Recognise(CByteSource& source) {
    BYTE head[44] = {};
    size_t n = source.Copy(0, sizeof head, head);
    if (n >= 2 && head[0] == 0xFF && head[1] == 0xD8) return ImageFormat::Jpeg;
    static const BYTE kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (n >= 8 && std::memcmp(head, kPng, 8) == 0) return ImageFormat::Png;
    if (n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0))
        return ImageFormat::Gif;
    if (n >= 2 && head[0] == 'B' && head[1] == 'M') return ImageFormat::Bmp;
    if (n >= 4 &&
        ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
         (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43))))
        return ImageFormat::Tiff;
    if (n >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0)
        return ImageFormat::Ico;
    if (n >= 44 && Le32(head) == 1 && Le32(head + 40) == 0x464D4520) return ImageFormat::Emf;
    if (n >= 4 && Le32(head) == 0x9AC6CDD7) return ImageFormat::Wmf;
    return ImageFormat::Unknown;
}

}  // namespace

size_t TiffTypeSize(WORD type) {
    switch (type) {
        case 1:  // BYTE
        case 2:  // ASCII
        case 6:  // SBYTE
        case 7:  // UNDEFINED
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:   // LONG
        case 9:   // SLONG
        case 11:  // FLOAT
        case 13:  // IFD
            return 4;
        case 5:   // RATIONAL
        case 10:  // SRATIONAL
        case 12:  // DOUBLE
            return 8;
        default:
            return 0;
    }
}

int PngBitsPerPixel(int colourType, int bitDepth) {
    switch (colourType) {
        case 0:  // grey
            return bitDepth;
        case 2:  // RGB
            return bitDepth >= 8 ? 3 * bitDepth : 0;
        case 3:  // palette: the index depth
            return bitDepth <= 8 ? bitDepth : 0;
        case 4:  // grey and alpha
            return bitDepth >= 8 ? 2 * bitDepth : 0;
        case 6:  // RGBA
            return bitDepth >= 8 ? 4 * bitDepth : 0;
        default:
            return 0;
    }
}

Image::Image(CByteSource& source) : m_source(source) {
    ImageFacts facts;
    bool ok = false;
    switch (Recognise(source)) {
        case ImageFormat::Jpeg:
            ok = ReadJpegFacts(source, facts);
            break;
        case ImageFormat::Png:
            ok = ReadPngFacts(source, facts);
            break;
        case ImageFormat::Gif:
            ok = ReadGifFacts(source, facts);
            break;
        case ImageFormat::Bmp:
            ok = ReadBmpFacts(source, facts);
            break;
        case ImageFormat::Tiff:
            ok = ReadTiffFacts(source, facts);
            break;
        case ImageFormat::Ico:
            ok = ReadIcoFacts(source, facts);
            break;
        case ImageFormat::Emf:
            ok = ReadEmfFacts(source, facts);
            break;
        case ImageFormat::Wmf:
            ok = ReadWmfFacts(source, facts);
            break;
        case ImageFormat::Unknown:
            break;
    }
    // Sizes that do not fit the signed 32-bit fields of a record, and bit counts that
    // do not fit the pixel format's field, are not pictures the decoder can hold.
    if (ok && facts.width > 0 && facts.height > 0 && facts.width <= 0x7FFFFFFF &&
        facts.height <= 0x7FFFFFFF && facts.bitsPerPixel > 0 && facts.bitsPerPixel <= 255) {
        m_facts = std::move(facts);
        m_status = Ok;
    }
}

PixelFormat Image::GetPixelFormat() const {
    return m_status == Ok ? PixelFormat(m_facts.bitsPerPixel << 8) : 0;
}

UINT Image::GetWidth() const {
    return m_status == Ok ? m_facts.width : 0;
}

UINT Image::GetHeight() const {
    return m_status == Ok ? m_facts.height : 0;
}

UINT Image::GetFrameCount(const GUID* dimension) const {
    if (m_status != Ok || dimension == nullptr || !(*dimension == FrameDimensionPage)) return 0;
    return m_facts.pages;
}

const PropertyRef* Image::FindItem(PROPID id) const {
    if (m_status != Ok) return nullptr;
    // A tag met twice keeps its later value.
    for (auto it = m_facts.items.rbegin(); it != m_facts.items.rend(); ++it)
        if (it->id == id) return &*it;
    return nullptr;
}

UINT Image::GetPropertyItemSize(PROPID id) const {
    const PropertyRef* ref = FindItem(id);
    return ref ? UINT(sizeof(PropertyItem) + ref->length) : 0;
}

Status Image::GetPropertyItem(PROPID id, UINT size, PropertyItem* buffer) const {
    const PropertyRef* ref = FindItem(id);
    if (ref == nullptr) return PropertyNotFound;
    if (buffer == nullptr || size < sizeof(PropertyItem) + ref->length) return InvalidParameter;
    const BYTE* src = m_source.Get(ref->offset, ref->length);
    if (src == nullptr) return GenericError;
    BYTE* value = reinterpret_cast<BYTE*>(buffer + 1);
    std::memcpy(value, src, ref->length);
    // Elements to the host's byte order; rationals are two 32-bit halves.
    size_t unit = TiffTypeSize(ref->type);
    if (unit == 8 && ref->type != 12) unit = 4;
    const bool swap = ref->bigEndian != (std::endian::native == std::endian::big);
    if (swap && unit > 1) {
        for (size_t i = 0; i + unit <= ref->length; i += unit)
            for (size_t a = i, b = i + unit - 1; a < b; ++a, --b)
                std::swap(value[a], value[b]);
    }
    buffer->id = ref->id;
    buffer->length = ULONG(ref->length);
    buffer->type = ref->type;
    buffer->value = ref->length ? value : nullptr;
    return Ok;
}

}  // namespace plat
