#include "scan_test_util.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "picdex/drives.h"
#include "platform/drives.h"

namespace scantest {

ScopedDriveTable::ScopedDriveTable(const std::string& table) : m_previous(picdex::GetDriveTable()) {
    std::string error;
    EXPECT_TRUE(picdex::SetDriveTable(table, &error)) << error;
}

ScopedDriveTable::~ScopedDriveTable() {
    picdex::SetDriveTable(m_previous, nullptr);
}

CString LibPath(const std::string& hostPath) {
    CString path;
    return plat::ToLibraryPath(hostPath, path) ? path : CString();
}

std::string Md5sum(const std::string& hostPath) {
    std::string out = hostPath + ".md5sum";
    std::string command = "md5sum '" + hostPath + "' > '" + out + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    std::ifstream in(out);
    std::string digest;
    in >> digest;
    std::filesystem::remove(out);
    return digest;
}

CString UpperHex(const std::string& hex) {
    CString out;
    for (char c : hex)
        out += wchar_t(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace scantest
