#include "scan_test_util.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace scantest {

TempDir::TempDir() {
    std::random_device rd;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("picdex-scan-" + std::to_string(stamp) + "-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore permissions that a test may have taken away, so that removal works.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_path, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_symlink(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(m_path, ec);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string Md5sum(const std::filesystem::path& path) {
    auto out = path;
    out += ".md5sum";
    std::string command = "md5sum '" + path.string() + "' > '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    std::ifstream in(out);
    std::string digest;
    in >> digest;
    std::filesystem::remove(out);
    return digest;
}

}  // namespace scantest
