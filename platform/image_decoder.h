// The image decoder: what the platform's decoder tells about a picture held in memory,
// without decoding a single pixel. An Image is made over the bytes of a file; it
// recognises the format by its signature and reads the headers only, through the
// system's format libraries (JPEG, PNG, GIF, TIFF) or directly (BMP, ICO, EMF, WMF).
// It then answers the pixel format, the width and height in pixels, the number of
// frames in the page dimension, and the EXIF and GPS property items by tag number
// with their TIFF field types.
//
// Data it does not know, or whose headers it rejects, gives an image whose every
// query fails: pixel format 0, width 0, height 0, frame count 0, no property items.
//
// How each format's header becomes the facts (bits per pixel = bits 8..15 of the
// pixel format; where the platform decoder's own answer is not certain, the value is
// what a user comparing files would expect, marked *):
//
// | format | bits per pixel                                   | pages               |
// |--------|--------------------------------------------------|---------------------|
// | JPEG   | 1 component 8, 3 components 24, 4 (CMYK/YCCK) 32;| 1                   |
// |        | other component counts, 12-bit samples: rejected |                     |
// | PNG    | channels x bit depth: grey d, grey+alpha 2d,     | 1                   |
// |        | RGB 3d, RGBA 4d (8-bit RGBA 32, 16-bit RGB 48);  |                     |
// |        | palette: its index depth (1, 2, 4, 8)            |                     |
// | GIF    | the colour table's index depth (global table,    | frames *            |
// |        | else the first frame's local one, else 8) *      |                     |
// | BMP    | the header's bit count (1, 4, 8, 16, 24, 32)     | 1                   |
// | ICO    | the largest image's bit count (its PNG header's  | images in the file *|
// |        | channels x depth for a PNG image) *              |                     |
// | TIFF   | first directory: bits per sample x samples per   | directories in the  |
// |        | pixel (1-bit 1, RGB 24, CMYK 32, 16-bit RGB 48);  | main chain          |
// |        | above 255: rejected                              |                     |
// | EMF    | 32 (a metafile is drawn in 32-bit colour)        | 1                   |
// | WMF    | 32 (placeable files only; others rejected)       | 1                   |
//
// Width and height: the frame header (JPEG), IHDR (PNG), the logical screen (GIF), the
// info header (BMP, |height|), the chosen image (ICO), the first directory (TIFF); for
// EMF the frame rectangle at the reference device's resolution, for a placeable WMF
// its bounding box at 96 dots per inch *. A TIFF whose first directory names more value
// bytes than the file holds (entries sharing one run of bytes many times over) is
// rejected rather than loaded.
//
// Property items come from the EXIF structure: the first APP1 "Exif" segment of a JPEG
// file, or the TIFF file itself (classic TIFF; BigTIFF files give none). IFD0 is read
// in entry order, and where an entry points to the EXIF (0x8769) or GPS (0x8825)
// directory that directory is read at that point; a tag met twice keeps its later
// value. Values are returned in the host's byte order. PNG, GIF, BMP, ICO and metafiles
// give no EXIF items *.
//
// The bytes are read through a CByteSource: a header read that misses bytes not yet
// loaded leaves the source's miss set, and the image's answers are then to be thrown
// away. An Image is used by one thread at a time; nothing here throws.
#pragma once

#include <memory>
#include <vector>

#include "platform/byte_source.h"
#include "platform/types.h"

using PROPID = ULONG;
using PixelFormat = int;

// The bits-per-pixel field of a pixel format.
constexpr int PixelFormatBits(PixelFormat format) {
    return (format >> 8) & 0xFF;
}

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
    bool operator==(const GUID&) const = default;
};
// The page frame dimension {7462DC86-6180-4C7E-8E3F-EE7333A7A483}.
extern const GUID FrameDimensionPage;

// A property item as the decoder hands it out: the value bytes follow the item in the
// caller's buffer.
struct PropertyItem {
    PROPID id;
    ULONG length;  // bytes of value
    WORD type;     // TIFF field type
    void* value;
};

enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    UnknownImageFormat = 13,
    PropertyNotFound = 19,
};

// TIFF field types of property items.
enum : WORD {
    PropertyTagTypeByte = 1,
    PropertyTagTypeASCII = 2,
    PropertyTagTypeShort = 3,
    PropertyTagTypeLong = 4,
    PropertyTagTypeRational = 5,
    PropertyTagTypeUndefined = 7,
    PropertyTagTypeSLONG = 9,
    PropertyTagTypeSRational = 10,
};

namespace plat {

enum class ImageFormat { Unknown, Jpeg, Png, Gif, Bmp, Ico, Tiff, Emf, Wmf };

// Where one property item's value lies in the data.
struct PropertyRef {
    PROPID id;
    WORD type;
    DWORD count;
    size_t offset;  // of the value bytes in the data
    size_t length;  // bytes of value
    bool bigEndian;
};

// The facts of one picture, as the format readers fill them.
struct ImageFacts {
    ImageFormat format = ImageFormat::Unknown;
    UINT width = 0;
    UINT height = 0;
    int bitsPerPixel = 0;
    UINT pages = 0;
    std::vector<PropertyRef> items;
};

class Image {
public:
    // Reads the headers of the data in `source`. The source must outlive the image.
    explicit Image(CByteSource& source);

    // Ok when the data was recognised and its headers accepted; UnknownImageFormat
    // otherwise (every query below then fails).
    Status GetLastStatus() const { return m_status; }
    ImageFormat GetFormat() const { return m_facts.format; }

    // 0 for rejected data.
    PixelFormat GetPixelFormat() const;
    UINT GetWidth() const;
    UINT GetHeight() const;
    // The number of frames in `dimension`; only the page dimension is known.
    UINT GetFrameCount(const GUID* dimension) const;

    // The bytes needed for the item and its value; 0 when there is no such item.
    UINT GetPropertyItemSize(PROPID id) const;
    // Fills `buffer` (`size` bytes, at least GetPropertyItemSize) with the item, its value
    // following the PropertyItem. PropertyNotFound, InvalidParameter for a short or null
    // buffer, GenericError when the value's bytes cannot be read (a miss of the source).
    Status GetPropertyItem(PROPID id, UINT size, PropertyItem* buffer) const;

private:
    const PropertyRef* FindItem(PROPID id) const;

    CByteSource& m_source;
    Status m_status = UnknownImageFormat;
    ImageFacts m_facts;
};

}  // namespace plat
