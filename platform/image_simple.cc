// The formats whose headers are read directly: BMP, ICO and the two metafile formats.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/image_formats.h"

namespace plat {
namespace {

std::int32_t S32(const BYTE* p) {
    return std::int32_t(Le32(p));
}
std::int16_t S16(const BYTE* p) {
    return std::int16_t(Le16(p));
}

bool IsBitCount(unsigned bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// A device-independent bitmap header at `offset`: width, height (as stored, may be
// negative for a top-down bitmap) and bit count. `inIcon` accepts only the 40-byte
// header (an icon image's).
bool ReadDibHeader(CByteSource& source, size_t offset, bool inIcon, std::int64_t& width,
                   std::int64_t& height, unsigned& bits) {
    const BYTE* p = source.Get(offset, 4);
    if (p == nullptr) return false;
    const DWORD size = Le32(p);
    if (size == 12 && !inIcon) {
        // The old core header: 16-bit sizes.
        p = source.Get(offset, 12);
        if (p == nullptr || Le16(p + 8) != 1) return false;
        width = Le16(p + 4);
        height = Le16(p + 6);
        bits = Le16(p + 10);
        return IsBitCount(bits);
    }
    if (size != 40 &&
        (inIcon || (size != 52 && size != 56 && size != 64 && size != 108 && size != 124)))
        return false;
    p = source.Get(offset, 20);
    if (p == nullptr || Le16(p + 12) != 1) return false;
    width = S32(p + 4);
    height = S32(p + 8);
    bits = Le16(p + 14);
    const DWORD compression = Le32(p + 16);
    // Uncompressed, run-length (8 and 4 bits), bit fields (16 and 32 bits); embedded
    // JPEG or PNG data is not a bitmap the decoder draws.
    bool known = compression == 0 || (compression == 1 && bits == 8) ||
                 (compression == 2 && bits == 4) ||
                 ((compression == 3 || compression == 6) && (bits == 16 || bits == 32));
    return known && IsBitCount(bits);
}

// The PNG header of an icon image at `offset`: width, height, bits per pixel.
bool ReadIconPng(CByteSource& source, size_t offset, std::int64_t& width, std::int64_t& height,
                 unsigned& bits) {
    const BYTE* p = source.Get(offset, 26);
    if (p == nullptr || std::memcmp(p + 12, "IHDR", 4) != 0) return false;
    width = Be32(p + 16);
    height = Be32(p + 20);
    const BYTE* q = source.Get(offset + 24, 2);
    if (q == nullptr) return false;
    bits = unsigned(PngBitsPerPixel(q[1], q[0]));
    return bits != 0;
}

}  // namespace

bool ReadBmpFacts(CByteSource& source, ImageFacts& facts) {
    std::int64_t width = 0, height = 0;
    unsigned bits = 0;
    if (!ReadDibHeader(source, 14, false, width, height, bits)) return false;
    if (width <= 0 || height == 0) return false;
    facts.format = ImageFormat::Bmp;
    facts.width = UINT(std::min<std::int64_t>(width, 0xFFFFFFFF));
    facts.height = UINT(std::min<std::int64_t>(std::llabs(height), 0xFFFFFFFF));
    facts.bitsPerPixel = int(bits);
    facts.pages = 1;
    return true;
}

bool ReadIcoFacts(CByteSource& source, ImageFacts& facts) {
    const BYTE* head = source.Get(0, 6);
    if (head == nullptr || Le16(head + 2) != 1) return false;
    const size_t count = Le16(head + 4);
    const BYTE* dir = source.Get(6, 16 * count);
    if (count == 0 || dir == nullptr) return false;
    static const BYTE kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    UINT images = 0;
    std::int64_t bestArea = -1;
    for (size_t i = 0; i < count; ++i) {
        const BYTE* e = dir + 16 * i;
        const DWORD length = Le32(e + 8);
        const DWORD offset = Le32(e + 12);
        if (offset >= source.GetSize() || length > source.GetSize() - offset || length < 26)
            continue;
        const BYTE* sig = source.Get(offset, 8);
        if (sig == nullptr) return false;
        std::int64_t width = 0, height = 0;
        unsigned bits = 0;
        bool ok;
        if (std::memcmp(sig, kPng, 8) == 0) {
            ok = ReadIconPng(source, offset, width, height, bits);
        } else {
            ok = ReadDibHeader(source, offset, true, width, height, bits);
            height /= 2;  // the colour rows and the mask rows
        }
        if (source.HasMissed()) return false;
        if (!ok || width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) continue;
        ++images;
        // The largest image, then the deepest; the first of equals.
        const std::int64_t area = width * height;
        if (area > bestArea || (area == bestArea && int(bits) > facts.bitsPerPixel)) {
            bestArea = area;
            facts.width = UINT(width);
            facts.height = UINT(height);
            facts.bitsPerPixel = int(bits);
        }
    }
    if (images == 0) return false;
    facts.format = ImageFormat::Ico;
    facts.pages = images;
    return true;
}

bool ReadEmfFacts(CByteSource& source, ImageFacts& facts) {
    const BYTE* h = source.Get(0, 88);
    if (h == nullptr || Le32(h + 4) < 88) return false;
    // The frame rectangle in hundredths of a millimetre, and the reference device's
    // size in pixels and in millimetres.
    const std::int64_t frameW = std::int64_t(S32(h + 32)) - S32(h + 24);
    const std::int64_t frameH = std::int64_t(S32(h + 36)) - S32(h + 28);
    const std::int64_t devW = S32(h + 72), devH = S32(h + 76);
    const std::int64_t mmW = S32(h + 80), mmH = S32(h + 84);
    if (frameW <= 0 || frameH <= 0 || devW <= 0 || devH <= 0 || mmW <= 0 || mmH <= 0) return false;
    // The frame (below 2^32 hundredths of a millimetre) times the device's pixels (below
    // 2^31), with the rounding term, can pass 2^63: it is worked out in 128 bits.
    auto pixels = [](std::int64_t frame, std::int64_t dev, std::int64_t mm) {
        return std::int64_t((__int128(frame) * dev + mm * 50) / (mm * 100));
    };
    const std::int64_t width = pixels(frameW, devW, mmW);
    const std::int64_t height = pixels(frameH, devH, mmH);
    if (width <= 0 || height <= 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    facts.format = ImageFormat::Emf;
    facts.width = UINT(width);
    facts.height = UINT(height);
    facts.bitsPerPixel = 32;
    facts.pages = 1;
    return true;
}

bool ReadWmfFacts(CByteSource& source, ImageFacts& facts) {
    // The placeable header (22 bytes), then the metafile header: type 1 or 2, 9 words.
    const BYTE* h = source.Get(0, 40);
    if (h == nullptr) return false;
    const std::int64_t w = std::int64_t(S16(h + 10)) - S16(h + 6);
    const std::int64_t ht = std::int64_t(S16(h + 12)) - S16(h + 8);
    const std::int64_t unitsPerInch = Le16(h + 14);
    const WORD type = Le16(h + 22), headerWords = Le16(h + 24);
    if (unitsPerInch == 0 || (type != 1 && type != 2) || headerWords != 9) return false;
    const std::int64_t width = (std::llabs(w) * 96 + unitsPerInch / 2) / unitsPerInch;
    const std::int64_t height = (std::llabs(ht) * 96 + unitsPerInch / 2) / unitsPerInch;
    if (width <= 0 || height <= 0) return false;
    facts.format = ImageFormat::Wmf;
    facts.width = UINT(width);
    facts.height = UINT(height);
    facts.bitsPerPixel = 32;
    facts.pages = 1;
    return true;
}

}  // namespace plat
