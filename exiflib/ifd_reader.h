// Reading TIFF directories from a stream: the EXIF structure's IFD0, EXIF, GPS,
// interoperability and IFD1 directories, and the shared machinery the maker segment's
// reader uses too.
//
// Each reader reads the directory at the stream's position and returns a new directory
// (owned by the caller), or null when it kept no entries. Offsets in the data are
// counted from `base` (the first byte of the TIFF header). Entries and values must lie
// before `limit` (the end of the segment that holds the structure; -1: the end of the
// stream); anything beyond is treated as missing. Only tags the directory knows are kept,
// each only with the type and count the format gives it; the first entry of a repeated
// tag wins. The readers never throw; when memory runs out the fatal-error message is
// shown and the entry concerned is left out.
#pragma once

#include <cstdint>
#include <span>

#include "exiflib/ifd.h"
#include "exiflib/io.h"

namespace ExifLib {

struct IFDReadContext {
    IIO* io;
    int base;
    bool bigEndian;
    std::int64_t limit;
    // Bytes of values (and thumbnail) still to be kept. It starts at the size of the
    // structure (limit - base): in a well-formed structure values never overlap, so they
    // cannot add up to more, and data whose entries all point at the same bytes cannot
    // make the reader hold many times the size of its input.
    mutable std::int64_t budget;
};

// How the value of a tag is read.
enum class ValueRule {
    Ascii,      // type 2
    Undefined,  // type 7, held as bytes
    Byte,       // type 1
    ShortList,  // type 3
    Rational,   // type 5
    SRational,  // type 10
    Short1,     // any type: the first two bytes of the value field as one SHORT
    Long1,      // any type: the value field as one LONG
    PixelDim,   // SHORT when the type is SHORT, else LONG
    SubIFD,     // type 4, count 1: the offset of a sub-directory
};

struct TagRule {
    WORD tag;
    ValueRule rule;
    DWORD exactCount;  // 0: any count of at least minCount
    DWORD minCount;
    CIFD* (*readSub)(const IFDReadContext&);  // SubIFD only
};

// Reads the entry table at the stream's position into `ifd`, keeping the tags of `rules`
// (sorted by tag). Returns false when the table ended early (a short read). A repeated
// sub-directory pointer whose earlier occurrences gave nothing is followed at most
// kMaxPointerTries times in all, which keeps the work linear in the data.
constexpr int kMaxPointerTries = 4;
bool ReadEntries(const IFDReadContext& ctx, CIFD* ifd, std::span<const TagRule> rules);

CIFD* ReadIFD0(IIO* io, int base, bool bigEndian, int limit = -1);
CIFD* ReadExifIFD(IIO* io, int base, bool bigEndian, int limit = -1);
CIFD* ReadGpsIFD(IIO* io, int base, bool bigEndian, int limit = -1);
CIFD* ReadInterOpIFD(IIO* io, int base, bool bigEndian, int limit = -1);
CIFD* ReadIFD1(IIO* io, int base, bool bigEndian, int limit = -1);

// The context for a structure at `base` whose data ends at `limit` (-1: end of stream).
IFDReadContext MakeReadContext(IIO* io, int base, bool bigEndian, int limit);

}  // namespace ExifLib
