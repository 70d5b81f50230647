#include "cli/mount_notice.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <string>

#include "cli/output.h"
#include "picdex/drives.h"

namespace cli {
namespace {

// A mount point as one line can show it: control characters (a tab or a line feed in a
// folder name) written as the mount table writes them, \ooo.
std::string Printable(const std::string& path) {
    std::string out;
    for (unsigned char c : path) {
        if (c < 0x20 || c == 0x7f) {
            char esc[5];
            std::snprintf(esc, sizeof esc, "\\%03o", c);
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

bool IsUnder(const std::string& path, const std::string& dir) {
    return dir == "/" || (path.compare(0, dir.size(), dir) == 0 &&
                          (path.size() == dir.size() || path[dir.size()] == '/'));
}

}  // namespace

int NoteSkippedMounts(const std::vector<CString>& folders) {
    static std::atomic<bool> said{false};
    if (said.exchange(true)) return 0;

    // Every mount once, in path order, grouped by why it is left out.
    std::map<std::string, picdex::SkippedMount> mounts;
    for (const CString& folder : folders)
        for (picdex::SkippedMount& m : picdex::GetSkippedMounts(folder))
            mounts.emplace(m.hostPath, std::move(m));
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const auto& [point, m] : mounts) {
        std::string why = m.reason + ", " + m.fsType;
        auto it = groups.begin();
        while (it != groups.end() && it->first != why)
            ++it;
        if (it == groups.end()) it = groups.insert(groups.end(), {why, {}});
        it->second.push_back(point);
    }

    int lines = 0;
    for (const auto& [why, points] : groups) {
        if (points.size() <= 3) {
            for (const std::string& p : points) {
                PrintError("not scanned: " + Printable(p) + " (" + Printable(why) + ")");
                ++lines;
            }
            continue;
        }
        std::string common = ParentOf(points.front());
        for (const std::string& p : points)
            while (!IsUnder(p, common))
                common = ParentOf(common);
        std::string what;
        if (common != "/") {
            what = std::to_string(points.size()) + " mounts under " + Printable(common);
        } else {
            what = Printable(points[0]) + ", " + Printable(points[1]) + ", " +
                   Printable(points[2]) + " and " + std::to_string(points.size() - 3) + " more";
        }
        PrintError("not scanned: " + what + " (" + Printable(why) + ")");
        ++lines;
    }
    return lines;
}

}  // namespace cli
