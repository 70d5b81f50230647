// The format readers behind plat::Image, one per format, and the EXIF structure reader
// they share. Each reader is handed data whose signature matched its format, reads the
// headers only through the byte source, and returns true with `facts` filled when it
// accepts them. A reader that misses bytes of the source returns false; the caller
// then sees the miss on the source. Internal to the decoder; never throw.
#pragma once

#include <cstdint>

#include "platform/byte_source.h"
#include "platform/image_decoder.h"

namespace plat {

bool ReadJpegFacts(CByteSource& source, ImageFacts& facts);
bool ReadPngFacts(CByteSource& source, ImageFacts& facts);
bool ReadGifFacts(CByteSource& source, ImageFacts& facts);
bool ReadTiffFacts(CByteSource& source, ImageFacts& facts);
bool ReadBmpFacts(CByteSource& source, ImageFacts& facts);
bool ReadIcoFacts(CByteSource& source, ImageFacts& facts);
bool ReadEmfFacts(CByteSource& source, ImageFacts& facts);
bool ReadWmfFacts(CByteSource& source, ImageFacts& facts);

// The property items of the TIFF structure whose header starts at `base`; every
// offset in it counts from `base`, and entries and values must end by `limit`.
void ReadTiffItems(CByteSource& source, size_t base, size_t limit, std::vector<PropertyRef>& items);

// The bytes of one value element of a TIFF field type (0 for an unknown type).
size_t TiffTypeSize(WORD type);

// Little- and big-endian reads of unaligned bytes.
inline WORD Le16(const BYTE* p) {
    return WORD(p[0] | p[1] << 8);
}
inline DWORD Le32(const BYTE* p) {
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}
inline WORD Be16(const BYTE* p) {
    return WORD(p[0] << 8 | p[1]);
}
inline DWORD Be32(const BYTE* p) {
    return DWORD(p[0]) << 24 | DWORD(p[1]) << 16 | DWORD(p[2]) << 8 | DWORD(p[3]);
}

// Bits per pixel of a PNG colour type and bit depth (0 for an invalid pair).
int PngBitsPerPixel(int colourType, int bitDepth);

}  // namespace plat
