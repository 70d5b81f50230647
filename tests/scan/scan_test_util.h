// Helpers shared by the scan tests: a temporary folder removed at the end, file
// writing, host paths in drive-letter form, and the md5sum tool's digest of a file.
#pragma once

#include <filesystem>
#include <string>

#include "platform/types.h"

namespace scantest {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The lower-case hexadecimal digest that md5sum prints for the file ("" on failure).
std::string Md5sum(const std::filesystem::path& path);

}  // namespace scantest
