// Helpers of the analysis tests: the fixture pictures and what exiftool read back from
// them, small real JPEG files made in memory by the JPEG library with a chosen EXIF
// structure, and a field-by-field text of a file-detail record for comparisons.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "builders.h"
#include "db/records.h"

namespace antest {

using exiftest::Bytes;

// The fixture folder (made at build time) and the names of its pictures, sorted.
std::string FixtureDir();
std::vector<std::string> FixtureNames();
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
// exiftool's "-Tag=value" lines of <picture>.txt.
std::map<std::string, std::string> Expected(const std::string& name);

// A w x h JPEG file of 1, 3 or 4 components written by the JPEG library.
Bytes MakeJpeg(int width, int height, int components);
// The file with an APP1 "Exif" segment holding `tiff` put right after its start marker.
Bytes WithExif(const Bytes& jpeg, const Bytes& tiff);
// The file with an APP13 IPTC segment holding `datasets` put right after its start.
Bytes WithIptc(const Bytes& jpeg, const Bytes& datasets);

// Every field of the record, one "name=value" per line; tFileSearch left out when
// `withSearchTime` is false (it is the time of the analysis).
std::string Describe(const _tagFileDetail& detail, bool withSearchTime = false);

}  // namespace antest
