// Helpers shared by the scan tests: a drive table set for one test and restored after
// it, library paths of host paths, and the md5sum tool's digest of a file.
#pragma once

#include <string>

#include "platform/types.h"

namespace scantest {

// Sets the drive table (see picdex/drives.h) for the life of the object; the test
// fails at once when the text is refused. The previous table comes back afterwards.
class ScopedDriveTable {
public:
    explicit ScopedDriveTable(const std::string& table);
    ~ScopedDriveTable();
    ScopedDriveTable(const ScopedDriveTable&) = delete;
    ScopedDriveTable& operator=(const ScopedDriveTable&) = delete;

private:
    std::string m_previous;
};

// The library form of a host path under the drive table in force ("" when unmapped).
CString LibPath(const std::string& hostPath);

// The lower-case hexadecimal digest that md5sum prints for the file ("" on failure).
std::string Md5sum(const std::string& hostPath);

// "D41D8CD9..." from "d41d8cd9...".
CString UpperHex(const std::string& hex);

}  // namespace scantest
