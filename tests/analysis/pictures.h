// Helpers of the analysis tests (and of the fuzz target): the fixture pictures, files,
// and the text of a file-detail record.
#pragma once

#include <string>

#include "builders.h"
#include "db/records.h"

namespace antest {

using exiftest::Bytes;
using exiftest::ReadBytes;

std::string FixtureDir();              // made at build time
CString Lib(const std::string& host);  // the library's path of a host file, or ""

// Every field but tFileSearch (the time of the analysis), "part.name=value" per line.
std::string Describe(const _tagFileDetail& detail);

}  // namespace antest
