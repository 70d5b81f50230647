// The process-wide registry of application-segment factories, keyed by the marker byte
// followed by the segment's identifier bytes, and the library's start-up call.
//
// InitExifLib builds the marker tables and registers the library's own factories; it is
// to be called once before the first parse (later calls change nothing). The registry is
// filled at start-up and only read afterwards: Register is not synchronised with parses
// running on other threads.
#pragma once

#include "exiflib/segment.h"
#include "exiflib/trie.h"

namespace ExifLib {

// Makes a segment from the stream standing just after the identifier; `bodyLength` is
// the number of segment bytes after the identifier. Null when the segment is unusable.
using SegmentFactory = IMarkerSegment* (*)(IIO* io, unsigned short bodyLength);
using CSegmentTrie = CTrieTree<char, SegmentFactory>;

CSegmentTrie& GetSegmentRegistry();

// Registers `factory` for application segments with `marker` (0xE0 ... 0xEF) whose body
// starts with the `idLength` bytes of `id`, replacing an earlier registration of the same
// key. False for another marker, a null factory, a null id with a non-zero length, or
// when memory runs out.
bool Register(BYTE marker, const char* id, unsigned short idLength, SegmentFactory factory);

// Builds the marker tables and registers the factories of APP13 "Photoshop 3.0", APP1
// "Exif", APP0 "JFIF", APP0 "JFXX" and APP1 "QVIMGDATA". Thread-safe.
void InitExifLib();

}  // namespace ExifLib
