// picdex stats: pictures per year, per month of a year, per folder of a month, and per
// folder, with totals.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/index_edits.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/common_func.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex stats [OPTIONS]\n"
    "       picdex stats [OPTIONS] YEAR\n"
    "       picdex stats [OPTIONS] YEAR-MM\n"
    "       picdex stats [OPTIONS] --folders [FOLDER] [--tree]\n"
    "\n"
    "Counts the indexed pictures by when they were taken (or, without a capture time,\n"
    "when the file was made), or by folder:\n"
    "  (nothing)   pictures per year\n"
    "  YEAR        pictures per month of that year\n"
    "  YEAR-MM     pictures per folder in that month\n"
    "  --folders   pictures per folder (below FOLDER when given), with their size\n"
    "  --tree      with --folders: each folder with everything below it, as a tree\n"
    "\n"
    "Each line is a count and what it counts, separated by a tab; the last line is the\n"
    "total. The counts are those of the last finished 'picdex index'.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             one JSON object per line; the last is {\"total\": N}\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success, 1 on failure, 2 on a usage error.\n";

const std::vector<OptionSpec> kOptions = {
    {"folders", 0, false}, {"tree", 0, false},          {"db", 0, true},
    {"json", 0, false},    {"library-paths", 0, false}, {"help", 'h', false},
};

// "2019" or "2019-05" -> year and month (0 when only a year).
bool ParsePeriod(const std::string& text, int* year, int* month) {
    auto digits = [&](size_t from, size_t n) {
        if (text.size() < from + n) return false;
        for (size_t i = from; i < from + n; ++i)
            if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    };
    if (!digits(0, 4)) return false;
    *year = std::stoi(text.substr(0, 4));
    *month = 0;
    if (text.size() == 4) return true;
    if (text.size() != 7 || text[4] != '-' || !digits(5, 2)) return false;
    *month = std::stoi(text.substr(5, 2));
    return *month >= 1 && *month <= 12;
}

void PrintTotal(long long total, bool json) {
    if (json)
        JsonLine().Add("total", std::int64_t(total)).Print();
    else
        std::printf("%lld\ttotal\n", total);
}

int Years(ISearchBuss* s, bool json) {
    std::map<int, int> years;
    s->GetYearTotals(years);
    long long total = 0;
    for (const auto& [year, count] : years) {
        total += count;
        if (json)
            JsonLine().Add("year", year).Add("pictures", count).Print();
        else
            std::printf("%d\t%d\n", count, year);
    }
    PrintTotal(total, json);
    return kExitOk;
}

int Months(ISearchBuss* s, int year, bool json) {
    std::map<int, int> months;
    s->GetMonthTotalsOfYear(year, months);
    long long total = 0;
    for (const auto& [month, count] : months) {
        total += count;
        char name[16];
        std::snprintf(name, sizeof name, "%04d-%02d", year, month);
        if (json)
            JsonLine().Add("month", name).Add("pictures", count).Print();
        else
            std::printf("%d\t%s\n", count, name);
    }
    PrintTotal(total, json);
    return kExitOk;
}

int MonthFolders(ISearchBuss* s, int year, int month, bool json, bool libraryPaths) {
    std::list<_tagTimePath> rows;
    s->GetMonthFoldersOfMonth(year, month, rows);
    // One row per folder and month; ordered by folder for the listing.
    std::map<CString, std::pair<long long, long long>> folders;
    for (const _tagTimePath& r : rows) {
        auto& f = folders[r.strFullPath];
        f.first += r.iPicCountT;
        f.second += r.iPicSizeT;
    }
    long long total = 0;
    for (const auto& [path, figures] : folders) {
        total += figures.first;
        std::string shown = ShowPath(path, libraryPaths);
        if (json)
            JsonLine()
                .Add("path", shown)
                .Add("pictures", std::int64_t(figures.first))
                .Add("bytes", std::int64_t(figures.second))
                .Print();
        else
            std::printf("%lld\t%s\n", figures.first, shown.c_str());
    }
    PrintTotal(total, json);
    return kExitOk;
}

int Folders(ISearchBuss* s, const std::string& operand, bool tree, bool json, bool libraryPaths) {
    CString base;
    if (!operand.empty()) {
        std::string error;
        if (!ToLibraryFolder(operand, &base, &error)) {
            PrintError(error);
            return kExitFailure;
        }
        if (!IsIndexedFolder(s, base)) {
            PrintError("'" + operand + "' is not in the index");
            return kExitFailure;
        }
    }
    std::list<_tagPathInfo> rows;
    s->GetFolders(base, 1, rows);
    // The library selects with a pattern that can reach neighbours of the folder; keep
    // exactly the folder and what lies below it.
    std::map<CString, _tagPathInfo> folders;
    for (_tagPathInfo& r : rows)
        if (r.strFullPath.compare(0, base.size(), base) == 0) folders[r.strFullPath] = r;

    long long total = 0;
    if (!tree) {
        for (const auto& [path, f] : folders) {
            if (f.iPicCount <= 0) continue;
            total += f.iPicCount;
            std::string shown = ShowPath(path, libraryPaths);
            if (json)
                JsonLine()
                    .Add("path", shown)
                    .Add("pictures", f.iPicCount)
                    .Add("bytes", std::int64_t(f.iPicSize))
                    .Print();
            else
                std::printf("%d\t%s\t%s\n", f.iPicCount, HumanBytes(f.iPicSize).c_str(),
                            shown.c_str());
        }
        PrintTotal(total, json);
        return kExitOk;
    }

    // Each folder's figures with everything below it: children add into their parent,
    // deepest first (a parent's path sorts before its children's).
    std::map<CString, std::pair<long long, long long>> below;
    for (const auto& [path, f] : folders) {
        below[path].first += f.iPicCount > 0 ? f.iPicCount : 0;
        below[path].second += f.iPicSize > 0 ? f.iPicSize : 0;
        total += f.iPicCount > 0 ? f.iPicCount : 0;
    }
    for (auto it = below.rbegin(); it != below.rend(); ++it) {
        CString parent = CCommonFunc::GetParentFolder(it->first);
        auto p = below.find(parent);
        if (p != below.end() && parent.size() >= base.size()) {
            p->second.first += it->second.first;
            p->second.second += it->second.second;
        }
    }
    // Without a FOLDER the tree starts at the deepest folder that holds every picture,
    // rather than at a chain of drive root and folders with nothing of their own.
    CString top = base;
    if (top.empty()) {
        bool first = true;
        for (const auto& [path, f] : folders) {
            if (f.iPicCount <= 0) continue;
            if (first) {
                top = path;
                first = false;
            }
            while (!top.empty() && path.compare(0, top.size(), top) != 0)
                top = CCommonFunc::GetParentFolder(top);
        }
    }
    auto depthOf = [](const CString& path) {
        size_t n = 0;
        for (wchar_t c : path)
            if (c == L'\\') ++n;
        return n;
    };
    size_t topDepth = depthOf(top);
    for (const auto& [path, figures] : below) {
        if (figures.first <= 0 || path.compare(0, top.size(), top) != 0) continue;
        size_t depth = depthOf(path) - topDepth;
        std::string shown = ShowPath(path, libraryPaths);
        int own = folders[path].iPicCount;
        if (json) {
            JsonLine()
                .Add("path", shown)
                .Add("pictures", own > 0 ? own : 0)
                .Add("tree_pictures", std::int64_t(figures.first))
                .Add("tree_bytes", std::int64_t(figures.second))
                .Add("depth", std::int64_t(depth))
                .Print();
            continue;
        }
        std::string name = depth == 0 ? shown : picdex::TextToUtf8(CCommonFunc::GetTitle(path));
        std::printf("%lld\t%s\t%s%s\n", figures.first, HumanBytes(figures.second).c_str(),
                    std::string(depth * 2, ' ').c_str(), name.c_str());
    }
    PrintTotal(total, json);
    return kExitOk;
}

}  // namespace

int RunStatsCommand(const std::vector<std::string>& args) {
    ParsedArgs a;
    std::string error;
    if (!ParseArgs(args, kOptions, &a, &error)) return UsageError("stats", error);
    if (a.Has("help")) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    bool json = a.Has("json"), libraryPaths = a.Has("library-paths");
    bool folders = a.Has("folders");
    if (a.Has("tree") && !folders) return UsageError("stats", "--tree goes with --folders");
    if (a.operands.size() > 1) return UsageError("stats", "too many arguments");
    int year = 0, month = 0;
    if (!folders && !a.operands.empty()) {
        if (!ParsePeriod(a.operands[0], &year, &month) || year < 1900)
            return UsageError("stats", "'" + a.operands[0] +
                                           "' is neither a year (1900 or later) nor a month "
                                           "(YYYY-MM)");
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    if (folders)
        return Folders(s, a.operands.empty() ? std::string() : a.operands[0], a.Has("tree"), json,
                       libraryPaths);
    if (a.operands.empty()) return Years(s, json);
    if (month == 0) return Months(s, year, json);
    return MonthFolders(s, year, month, json, libraryPaths);
}

PICDEX_COMMAND("stats", "count pictures per year, month or folder", RunStatsCommand);

}  // namespace cli
