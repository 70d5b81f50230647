// The step of the file analysis that works on a file's bytes: the pixel facts of the
// file record from the image decoder, and the EXIF, IPTC and GPS parts of the
// file-detail record from two sources, the JPEG metadata reader (collected first into
// a tag map) and the decoder's property items, which overwrite the reader's values.
//
// Tag map keys: EXIF and GPS tag numbers (one key space); IPTC datasets as record x 256
// + dataset (2:25 is 0x219). Texts by TIFF type, first value only: ASCII and UNDEFINED
// the bytes from the ANSI code page ("????" for an UNDEFINED entry held as neither
// bytes nor characters), SHORT signed decimal, RATIONAL "n/d" unsigned, SRATIONAL "n/d"
// signed, SLONG signed decimal; other types are not kept.
//
// Link marks: iIptcID / iExifID / iGpsID of the file record become 0 as values of that
// kind are found. Snapshot time, from weakest: the file's creation time (set by the
// caller), the reader's digitised time, the decoder's digitised time, the decoder's
// GPS time stamp.
//
// Everything here runs on the caller's thread on per-call objects; nothing throws. The
// byte-source forms may be run over data only partly loaded: when the source notes a
// miss, the record is to be thrown away and the step run again with more data.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>

#include "db/records.h"
#include "platform/byte_source.h"
#include "platform/image_decoder.h"

using CTagMap = std::map<int, CString>;

// A property item fetched from the decoder, freed with free().
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
using CPropertyItemPtr = std::unique_ptr<PropertyItem, FreeDeleter>;

// The whole step: 1 once the decoder's image object was made (also when the decoder
// rejected the data, whose pixel facts then read 0); 0 when it could not be made.
// The reader's metadata stays in the record in every case.
int ExtractImageData(const BYTE* data, UINT size, _tagFileDetail& detail);
int ExtractImageData(CByteSource& source, _tagFileDetail& detail);

// Runs the metadata reader and fills the tag map; 0 only when the data starts like a
// JPEG file but its segments cannot be parsed (the map is then empty).
int BuildTagMap(const BYTE* data, UINT size, CTagMap& tagMap);
int BuildTagMap(CByteSource& source, CTagMap& tagMap);

// The reader's values into the record.
void MapTags(const CTagMap& tagMap, _tagFileDetail& detail);

// The decoder's facts and property items into the record; always 1.
int ReadDecoderFacts(const plat::Image& image, _tagFileDetail& detail);

// The item `id` in its own allocation, or null when the decoder has none or it cannot
// be fetched.
CPropertyItemPtr GetPropertyItem(const plat::Image& image, PROPID id);
