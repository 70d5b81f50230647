// One picture file analysed as the background scan analyses it, for hosts that show
// what the index stores for a file: every field of its file-detail record (the file,
// EXIF, IPTC and GPS parts and the folder), named as the records name them.
// Thread-safe (each call works on its own objects); never throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picdex/export.h"
#include "picdex/types.h"

namespace picdex {

struct FileField {
    enum Kind { Number, Text, Time };
    std::string part;  // "file", "exif", "iptc", "gps", or "" for the folder
    std::string name;  // "iWidth", "strManufacturer", "tSnapTime", ...
    Kind kind = Number;
    std::int64_t number = 0;  // a Number, or a Time in seconds since 1970-01-01 UTC
    std::string text;         // a Text, in UTF-8
};

enum class FileStatus {
    Ok,          // read and analysed
    TooLarge,    // larger than the read limit: its facts only, as the scan stores it
    Unreadable,  // there, but it could not be opened or read (facts as far as reached)
    Missing,     // no such file (no fields)
};

// Analyses the file at `path` (the library's form, C:\Photos\a.jpg) with its MD5 digest
// when `digest` is set, and lists the fields of the record the scan would store, in
// record order (the folder's row id is left 0: nothing is looked up in an index).
PICDEX_API FileStatus AnalysePictureFile(const CString& path, bool digest,
                                         std::vector<FileField>* fields);

}  // namespace picdex
