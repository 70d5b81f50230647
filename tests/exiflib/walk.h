// Walks everything a parse kept (every segment, directory, entry, dataset) and returns
// it as text: one line per item, entries with their tag, type, count and ToString text.
// Shared by the tests and the fuzz target, which only needs the walk to touch it all.
#pragma once

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"

namespace exiftest {

// With `withByteOrder` false, the byte order of TIFF segments is left out, so a file and
// its mirror in the other byte order describe the same.
std::string Describe(const ExifLib::CAppSegMgr& mgr, bool withByteOrder = true);
std::string DescribeIFD(const ExifLib::CIFD* ifd, int depth = 0);

// The sub-directory of a pointer entry, or null.
ExifLib::CIFD* Sub(const ExifLib::CIFD* ifd, WORD tag);
// The entry's ToString text, or "(none)".
std::string Text(const ExifLib::CIFD* ifd, WORD tag);

// Writes the comment and every segment the manager kept into a new JPEG file; `complete`
// is cleared when a segment could not be written.
Bytes RewriteSegments(const ExifLib::CAppSegMgr& mgr, bool* complete);

// Initialises the library and parses `data` through a read-only memory stream.
bool ParseBytes(const Bytes& data, ExifLib::CAppSegMgr& mgr);

// Parses `data`, walks everything kept and writes every kept segment back. When all of
// them could be written, the rewritten file must parse to the same content: false (with
// both descriptions in `report`) when it does not.
bool ParseWalkRewrite(const std::uint8_t* data, std::size_t size, std::string* report);

// Writes `seg` into a buffer (exactly GetLength() + 2 bytes are expected); empty when
// the write fails or its size disagrees with the length.
Bytes WriteSegment(ExifLib::IMarkerSegment* seg);

}  // namespace exiftest
