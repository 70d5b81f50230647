// Helpers of the analysis tests (and of the fuzz target): the fixture pictures and what
// exiftool read back from them, JPEG files given a chosen EXIF or IPTC segment, and the
// text of a file-detail record.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "builders.h"
#include "db/records.h"

namespace antest {

using exiftest::Bytes;

// The fixture folder (made at build time), its pictures' names (sorted), and exiftool's
// "-Tag=value" lines of <picture>.txt.
std::string FixtureDir();
std::vector<std::string> FixtureNames();
std::map<std::string, std::string> Expected(const std::string& name);
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);
CString Lib(const std::string& host);  // the library's path of a host file, or ""

// The fixture rgb.jpg (64 x 48) with an APP1 "Exif" segment holding `tiff` and, when
// given, an APP13 segment of IPTC `datasets`.
Bytes JpegWithExif(const Bytes& tiff, const Bytes& datasets = {});

// Every field but tFileSearch (the time of the analysis), "part.name=value" per line.
std::string Describe(const _tagFileDetail& detail);

}  // namespace antest
