// picdex stats: pictures per year, per month of a year, per folder of a month or of a
// range of months, per folder, and the months of one folder, with totals; and the
// pictures behind those counts.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/args.h"
#include "cli/command.h"
#include "cli/fields.h"
#include "cli/index_edits.h"
#include "cli/output.h"
#include "cli/session.h"
#include "picdex/common_func.h"
#include "picdex/host_paths.h"

namespace cli {
namespace {

const char kHelp[] =
    "Usage: picdex stats [OPTIONS] [YEAR | YEAR-MM | FROM..TO]\n"
    "       picdex stats [OPTIONS] FOLDER\n"
    "       picdex stats [OPTIONS] --months [PERIOD]\n"
    "       picdex stats [OPTIONS] --folders [FOLDER] [--tree]\n"
    "       picdex stats [OPTIONS] --files PERIOD [FOLDER [--tree]]\n"
    "       picdex stats [OPTIONS] --files FOLDER [--tree]\n"
    "\n"
    "Counts the indexed pictures by when they were taken (or, without a capture time,\n"
    "when the file was made), or by folder, and lists the pictures behind a count:\n"
    "  (nothing)   pictures per year\n"
    "  YEAR        pictures per month of that year\n"
    "  YEAR-MM     pictures per folder in that month\n"
    "  FROM..TO    pictures per month and folder from FROM to TO (each a YEAR or a\n"
    "              YEAR-MM; FROM.. runs to the end)\n"
    "  FOLDER      pictures of that one folder per month, its total and, when folders\n"
    "              below it are indexed, the total with them\n"
    "  --months    pictures per month and folder, in PERIOD (YEAR, YEAR-MM or\n"
    "              FROM..TO) or everywhere\n"
    "  --folders   pictures per folder (below FOLDER when given), with their size\n"
    "  --tree      with --folders: each folder with everything below it, as a tree;\n"
    "              with --files: the pictures below FOLDER too\n"
    "  --files     the pictures themselves, one path per line: those taken in PERIOD\n"
    "              (in FOLDER when given), or those of FOLDER\n"
    "\n"
    "With --files a PERIOD may also be a day or a time, and FROM and TO too:\n"
    "  picdex stats --files 2019-05-01..2019-05-10 ~/Pictures --tree\n"
    "  picdex stats --files '2019-05-01 10:00..2019-05-01 12:30'\n"
    "An operand that starts with a digit is a period; write a folder named so as\n"
    "./2019. Each count line is a count and what it counts, separated by tabs; the last\n"
    "line is the total. The counts are those of the last finished 'picdex index'.\n"
    "\n"
    "Options:\n"
    "  --db PATH          the index file (default: $PICDEX_DB, else\n"
    "                     $XDG_DATA_HOME/picdex/index.db)\n"
    "  --json             one JSON object per line; the last is {\"total\": N} (with\n"
    "                     --files: one {\"path\": ...} per picture, no total)\n"
    "  --library-paths    show paths in the library's form (C:\\...)\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 on success, 1 on failure (a FOLDER the index does not hold), 2 on\n"
    "a usage error (a malformed period).\n";

const std::vector<OptionSpec> kOptions = {
    {"folders", 0, false}, {"tree", 0, false}, {"months", 0, false},        {"files", 0, false},
    {"db", 0, true},       {"json", 0, false}, {"library-paths", 0, false}, {"help", 'h', false},
};

// A period at the command line: one year, month, day or time, or a range between two of
// them ("FROM..TO", "FROM.." to the end of time).
struct Period {
    CTime from, to;  // first and last second covered, local time
    int year = 0;    // a single YEAR or YEAR-MM: its year and month (0 for a year)
    int month = 0;
    bool single = false;       // one YEAR or YEAR-MM, no range
    bool wholeMonths = false;  // every end is a YEAR or a YEAR-MM
};

// Operands that start with a digit are periods, every other one a folder.
bool IsPeriodText(const std::string& text) {
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
}

CTime TimeOf(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
    return CTime(y, mo, d, h, mi, s);
}

// One end of a period; years before 1900 are refused (the calendar lookups reject them).
bool ParseEnd(const std::string& text, std::string* first, std::string* last, bool* wholeMonth) {
    if (!DateRange(text, first, last) || std::stoi(text.substr(0, 4)) < 1900) return false;
    *wholeMonth = text.size() == 4 || text.size() == 7;
    return true;
}

bool ParsePeriod(const std::string& text, Period* p, std::string* error) {
    *error = "'" + text +
             "' is not a period: YEAR (1900 or later), YEAR-MM, YYYY-MM-DD[ HH:MM[:SS]] "
             "or FROM..TO";
    size_t dots = text.find("..");
    std::string first, last, unused;
    bool whole = false;
    if (dots == std::string::npos) {
        if (!ParseEnd(text, &first, &last, &whole)) return false;
        p->from = TimeOf(first);
        p->to = TimeOf(last);
        p->wholeMonths = whole;
        p->single = whole;
        if (whole) {
            p->year = std::stoi(text.substr(0, 4));
            p->month = text.size() == 7 ? std::stoi(text.substr(5, 2)) : 0;
        }
        return true;
    }
    std::string fromText = text.substr(0, dots), toText = text.substr(dots + 2);
    bool wholeTo = true;
    if (!ParseEnd(fromText, &first, &unused, &whole)) return false;
    p->from = TimeOf(first);
    if (toText.empty()) {
        p->to = CTime(9999, 12, 31, 23, 59, 59);
    } else {
        if (!ParseEnd(toText, &unused, &last, &wholeTo)) return false;
        p->to = TimeOf(last);
    }
    p->wholeMonths = whole && wholeTo;
    if (p->to < p->from) {
        *error = "'" + text + "': the period ends before it begins";
        return false;
    }
    return true;
}

std::string MonthText(const CTime& t) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d-%02d", t.GetYear(), t.GetMonth());
    return name;
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

// The totals of a year and of a month come from the index's own count of that period.
int Months(ISearchBuss* s, int year, bool json) {
    std::map<int, int> months;
    s->GetMonthTotalsOfYear(year, months);
    for (const auto& [month, count] : months) {
        char name[16];
        std::snprintf(name, sizeof name, "%04d-%02d", year, month);
        if (json)
            JsonLine().Add("month", name).Add("pictures", count).Print();
        else
            std::printf("%d\t%s\n", count, name);
    }
    PrintTotal(s->GetYearPicCount(year), json);
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
    for (const auto& [path, figures] : folders) {
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
    PrintTotal(s->GetMonthPicCount(year, month), json);
    return kExitOk;
}

// Month rows of many folders: one line per month and folder, by month, then folder.
int MonthRows(const std::list<_tagTimePath>& rows, bool json, bool libraryPaths) {
    std::map<std::pair<CTime, CString>, std::pair<long long, long long>> byMonth;
    for (const _tagTimePath& r : rows) {
        auto& f = byMonth[{r.tPathPicTime, r.strFullPath}];
        f.first += r.iPicCountT;
        f.second += r.iPicSizeT;
    }
    long long total = 0;
    for (const auto& [key, figures] : byMonth) {
        total += figures.first;
        std::string month = MonthText(key.first), shown = ShowPath(key.second, libraryPaths);
        if (json)
            JsonLine()
                .Add("month", month)
                .Add("path", shown)
                .Add("pictures", std::int64_t(figures.first))
                .Add("bytes", std::int64_t(figures.second))
                .Print();
        else
            std::printf("%lld\t%s\t%s\n", figures.first, month.c_str(), shown.c_str());
    }
    PrintTotal(total, json);
    return kExitOk;
}

// The library folder of a FOLDER operand that the index holds; false after saying why.
bool IndexedFolder(ISearchBuss* s, const std::string& operand, CString* folder) {
    std::string error;
    if (!ToLibraryFolder(operand, folder, &error)) {
        PrintError(error);
        return false;
    }
    if (!IsIndexedFolder(s, *folder)) {
        PrintError("'" + operand + "' is not in the index");
        return false;
    }
    return true;
}

// One folder: its pictures per month, then the total of the folder and, when the
// index holds folders below it, the total of the whole tree.
int FolderMonths(ISearchBuss* s, const CString& folder, bool json) {
    std::list<_tagTimePath> rows;
    s->GetMonthFoldersOfFolder(folder, rows);
    // The index compares paths without regard to letter case; keep this folder's own.
    std::map<CTime, long long> months;
    for (const _tagTimePath& r : rows)
        if (r.strFullPath == folder) months[r.tPathPicTime] += r.iPicCountT;
    for (const auto& [month, count] : months) {
        if (json)
            JsonLine().Add("month", MonthText(month)).Add("pictures", std::int64_t(count)).Print();
        else
            std::printf("%lld\t%s\n", count, MonthText(month).c_str());
    }
    int own = s->GetFolderPicCount(folder);
    bool subfolders = s->HasIndexedSubfolder(folder) != 0;
    int tree = subfolders ? s->GetTreePicCount(folder) : own;
    if (json) {
        JsonLine()
            .AddBool("subfolders", subfolders)
            .Add("tree_total", tree)
            .Add("total", own)
            .Print();
    } else {
        if (subfolders) std::printf("%d\twith subfolders\n", tree);
        std::printf("%d\ttotal\n", own);
    }
    return kExitOk;
}

// The pictures behind a count: taken in `period` (null: any time), in `folder` (empty:
// anywhere) or, with `tree`, in it and below it.
int Files(ISearchBuss* s, const Period* period, const CString& folder, bool tree, bool json,
          bool libraryPaths) {
    std::set<CString> files;
    if (!period)
        s->GetFolderFiles(folder, tree, files);
    else if (period->single && period->month && folder.empty())
        s->GetFilesOfMonth(period->year, period->month, files);
    else if (period->single && period->month && !tree)
        s->GetFolderFilesOfMonth(folder, period->year, period->month, files);
    else
        s->GetFilesBySnapTime(folder, folder.empty() || tree, period->from, period->to, files);
    for (const CString& path : files) {
        // The index compares paths without regard to letter case; keep what lies in
        // this very folder (or below it).
        if (!folder.empty() && (path.compare(0, folder.size(), folder) != 0 ||
                                (!tree && CCommonFunc::GetParentFolder(path) != folder)))
            continue;
        std::string shown = ShowPath(path, libraryPaths);
        if (json)
            JsonLine().Add("path", shown).Print();
        else
            std::printf("%s\n", shown.c_str());
    }
    return kExitOk;
}

int Folders(ISearchBuss* s, const std::string& operand, bool tree, bool json, bool libraryPaths) {
    CString base;
    if (!operand.empty() && !IndexedFolder(s, operand, &base)) return kExitFailure;
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
    int done = kExitOk;
    if (!ParseCommandArgs("stats", kHelp, args, kOptions, &a, &done)) return done;
    bool json = a.Has("json"), libraryPaths = a.Has("library-paths");
    bool folders = a.Has("folders"), files = a.Has("files"), months = a.Has("months");
    bool tree = a.Has("tree");
    if (int(folders) + int(files) + int(months) > 1)
        return UsageError("stats", "choose one of --folders, --files and --months");

    // At most one period and one folder, in either order (a period only with --files
    // and a folder, or alone).
    std::string periodText, folderText;
    for (const std::string& operand : a.operands) {
        std::string& slot = !folders && IsPeriodText(operand) ? periodText : folderText;
        if (!slot.empty() || a.operands.size() > (files ? 2u : 1u))
            return UsageError("stats", "too many arguments");
        slot = operand;
    }
    if (tree && !folders && !(files && !folderText.empty()))
        return UsageError("stats", "--tree goes with --folders, or with --files and a FOLDER");
    if (files && periodText.empty() && folderText.empty())
        return UsageError("stats", "--files needs a PERIOD or a FOLDER");
    Period period;
    if (!periodText.empty()) {
        if (!ParsePeriod(periodText, &period, &error)) return UsageError("stats", error);
        if (!files && !period.wholeMonths)
            return UsageError("stats", "'" + periodText +
                                           "': counts go by whole months; give years or "
                                           "months (days and times work with --files)");
    }

    Session session;
    if (!session.Open(a.Value("db"), IndexUse::kRead)) return kExitFailure;
    ISearchBuss* s = session.Service();
    if (folders) return Folders(s, folderText, tree, json, libraryPaths);
    CString folder;
    if (!folderText.empty() && !IndexedFolder(s, folderText, &folder)) return kExitFailure;
    if (files)
        return Files(s, periodText.empty() ? nullptr : &period, folder, tree, json, libraryPaths);
    if (!folderText.empty()) return FolderMonths(s, folder, json);
    if (months && periodText.empty()) {
        std::list<_tagTimePath> rows;
        s->GetAllMonthFolders(rows);
        return MonthRows(rows, json, libraryPaths);
    }
    if (periodText.empty()) return Years(s, json);
    if (!months && period.single && period.month == 0) return Months(s, period.year, json);
    if (!months && period.single)
        return MonthFolders(s, period.year, period.month, json, libraryPaths);
    std::list<_tagTimePath> rows;
    s->GetMonthFolders(period.from, period.to, rows);
    return MonthRows(rows, json, libraryPaths);
}

PICDEX_COMMAND("stats", "count pictures per year, month or folder, and list them", RunStatsCommand);

}  // namespace cli
