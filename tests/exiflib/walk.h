// Walks everything a parse kept and returns it as text: entries with their tag, type,
// count and ToString text, datasets, other segments as their bytes. Shared by the tests
// and the fuzz target, which needs the walk to touch everything kept.
#pragma once

#include <string>

#include "builders.h"
#include "exiflib/exiflib.h"

namespace exiftest {

std::string Describe(const ExifLib::CAppSegMgr& mgr);
// The kinds of the kept segments in order, each followed by a blank: "jfif ", "jfxx ",
// "exif ", "iptc ", "maker " or "raw ".
std::string Kinds(const ExifLib::CAppSegMgr& mgr);
std::string Text(const ExifLib::CIFD* ifd, WORD tag);  // ToString, or "(none)"

// Initialises the library and parses `data` through a read-only memory stream.
bool ParseBytes(const Bytes& data, ExifLib::CAppSegMgr& mgr);
// Parses `data`, walks everything kept and writes it back into a new JPEG file. When
// every segment could be written (`complete`), the new file must parse to the same
// content: false (with both descriptions in `report`) when it does not.
bool ParseWalkRewrite(const std::uint8_t* data, std::size_t size, std::string* report,
                      bool* complete = nullptr);

}  // namespace exiftest
