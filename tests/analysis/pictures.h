// Helpers of the analysis tests: the fixture pictures and what exiftool read back from
// them, real JPEG files given a chosen EXIF or IPTC segment, and a field-by-field text
// of a file-detail record for comparisons.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "builders.h"
#include "db/records.h"

namespace antest {

using exiftest::Bytes;

// The fixture folder (made at build time), the names of its pictures (sorted), and
// exiftool's "-Tag=value" lines of <picture>.txt.
std::string FixtureDir();
std::vector<std::string> FixtureNames();
std::map<std::string, std::string> Expected(const std::string& name);
Bytes ReadBytes(const std::string& path);
// The library's path of a host file (empty when no drive holds it).
CString Lib(const std::string& host);
void WriteBytes(const std::string& path, const Bytes& bytes);

// The fixture rgb.jpg (64 x 48, written by the JPEG library) with an APP1 "Exif"
// segment holding `tiff` and, when given, an APP13 segment of IPTC `datasets`.
Bytes JpegWithExif(const Bytes& tiff, const Bytes& datasets = {});

// Every field of the record, "part.name=value" per line, as picdex info lists them;
// tFileSearch (the time of the analysis) is left out.
std::string Describe(const _tagFileDetail& detail);

}  // namespace antest
