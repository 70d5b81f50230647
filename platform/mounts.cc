#include "platform/mounts.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

namespace plat::mounts {
namespace {

const char* const kPseudo[] = {"proc",    "sysfs",      "devtmpfs", "devpts",     "cgroup",
                               "cgroup2", "debugfs",    "tracefs",  "securityfs", "pstore",
                               "bpf",     "configfs",   "fusectl",  "mqueue",     "hugetlbfs",
                               "autofs",  "binfmt_misc"};

bool IsPseudo(const std::string& type) {
    for (const char* p : kPseudo)
        if (type == p) return true;
    return false;
}

// mountinfo escapes blanks and a few other bytes as \ooo.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            int v = 0;
            bool ok = true;
            for (int k = 1; k <= 3; ++k) {
                char c = s[i + size_t(k)];
                if (c < '0' || c > '7') {
                    ok = false;
                    break;
                }
                v = v * 8 + (c - '0');
            }
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

struct Table {
    std::mutex lock;
    std::vector<Mount> mounts;
    std::chrono::steady_clock::time_point readAt;
    bool valid = false;
};

Table& TheTable() {
    static Table* t = new Table;
    return *t;
}

void Refresh(Table& t) {
    auto now = std::chrono::steady_clock::now();
    if (t.valid && now - t.readAt < std::chrono::seconds(1)) return;
    std::ifstream in("/proc/self/mountinfo");
    if (!in) {
        t.valid = false;
        return;
    }
    std::vector<Mount> mounts;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::vector<std::string> f;
        for (std::string w; ls >> w;)
            f.push_back(w);
        size_t dash = 0;
        for (size_t i = 6; i < f.size(); ++i)
            if (f[i] == "-") {
                dash = i;
                break;
            }
        if (f.size() < 5 || dash == 0 || dash + 2 >= f.size()) continue;
        mounts.push_back(Mount{Unescape(f[4]), f[dash + 1], Unescape(f[dash + 2])});
    }
    t.mounts = std::move(mounts);
    t.readAt = now;
    t.valid = true;
}

}  // namespace

std::string Normalize(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::string();
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string c = path.substr(i, j - i);
        if (c == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!c.empty() && c != ".") {
            parts.push_back(c);
        }
        i = j + 1;
    }
    std::string out;
    for (auto& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

std::string Resolve(const std::string& path) {
    if (char* r = realpath(path.c_str(), nullptr)) {
        std::string s(r);
        free(r);
        return s;
    }
    return Normalize(path);
}

bool IsUnder(const std::string& path, const std::string& dir) {
    if (dir == "/") return !path.empty() && path[0] == '/';
    return path.size() >= dir.size() && path.compare(0, dir.size(), dir) == 0 &&
           (path.size() == dir.size() || path[dir.size()] == '/');
}

bool MountOf(const std::string& realPath, Mount& mount) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> g(t.lock);
    Refresh(t);
    if (!t.valid) return false;
    const Mount* best = nullptr;
    // Later lines win on equal mount points: they are mounted over the earlier ones.
    for (const Mount& m : t.mounts)
        if (IsUnder(realPath, m.point) && (!best || m.point.size() >= best->point.size()))
            best = &m;
    if (!best) return false;
    mount = *best;
    return true;
}

bool IsOnPseudoFileSystem(const std::string& realPath) {
    Mount m;
    return MountOf(realPath, m) && IsPseudo(m.fsType);
}

}  // namespace plat::mounts
