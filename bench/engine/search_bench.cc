// Search and statistics timings on a generated index (search_index.h; by default
// 1,000,000 files in 20,000 folders over 15 years), beside the same statements run by
// the sqlite3 command-line shell on the same file.
//
// For each operation the library runs it once while every statement it runs is
// recorded; then it is timed over K runs (K chosen so that a batch takes about 0.4 s,
// at least 3), best of 3 batches. The shell gets a script of the recorded statements
// repeated K times (rows to /dev/null); its time is the best of 3 runs less the best
// of 3 runs of a script that only opens the file and reads the schema, divided by K.
// Both wall and processor time are shown (the processor time of the shell process,
// and of all threads of this one), the latter being the steadier on a busy machine.
// Finally the query plan of each operation's first statement is printed: a "SCAN" of a
// table is a statement that the schema's indexes cannot serve.
//
// Run:  build/bench/engine/search_bench [--files N] [--folders N] [--db PATH]
//                                       [--shell PATH] [--no-shell] [--only TEXT]
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

#include <fcntl.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "db/db_facade.h"
#include "db/text_codec.h"
#include "engine/db_search.h"
#include "search_index.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Milliseconds of processor time used by this process (all its threads) so far.
double CpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Wall and processor milliseconds of one measurement.
struct Timing {
    double wall = -1, cpu = -1;
};

// The search, with a wait for its worker's end that does not poll.
class TimedSearch : public CDbSearch {
public:
    using CDbSearch::CDbSearch;
    void WaitUntilFinished() { WaitForSingleObject(m_hThreads[0], INFINITE); }
};

class CountingSink : public ISearchResultSink {
public:
    void RecordResults(const CSearchResultMap& results) override { count += long(results.size()); }
    std::atomic<long> count{0};
};

// Runs the shell on a script; its wall and processor time, or -1 when it failed.
Timing RunShell(const std::string& shell, const std::string& db, const std::string& script) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, script.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = {const_cast<char*>(shell.c_str()), const_cast<char*>("-batch"),
                               const_cast<char*>("-bail"), const_cast<char*>(db.c_str()), nullptr};
    Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, shell.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return {};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Timing t;
    t.wall = MsSince(start);
    t.cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    return t;
}

// The best of three runs, for wall and processor time separately.
Timing BestShell(const std::string& shell, const std::string& db, const std::string& script) {
    Timing best;
    for (int i = 0; i < 3; ++i) {
        Timing t = RunShell(shell, db, script);
        if (t.wall < 0) return {};
        best.wall = best.wall < 0 ? t.wall : std::min(best.wall, t.wall);
        best.cpu = best.cpu < 0 ? t.cpu : std::min(best.cpu, t.cpu);
    }
    return best;
}

void PrintPlan(sqlite3* db, const std::string& sql) {
    std::string text = "EXPLAIN QUERY PLAN " + sql;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        std::printf("    (no plan: %s)\n", sqlite3_errmsg(db));
        return;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW)
        std::printf("    %s\n", reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3)));
    sqlite3_finalize(stmt);
}

struct Operation {
    const char* name;
    std::function<long()> run;  // returns the number of results
};

}  // namespace

int main(int argc, char** argv) {
    benchindex::Options options;
    std::string path, shell = "/usr/bin/sqlite3";
    bool withShell = true;
    std::string only;  // run only the operations whose name contains this text
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (arg == "--files")
            options.files = std::atoi(next().c_str());
        else if (arg == "--folders")
            options.folders = std::atoi(next().c_str());
        else if (arg == "--db")
            path = next();
        else if (arg == "--shell")
            shell = next();
        else if (arg == "--no-shell")
            withShell = false;
        else if (arg == "--only")
            only = next();
        else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.files < options.folders || options.folders < options.years) return 2;
    if (path.empty()) path = benchindex::DefaultPath(options);
    if (!benchindex::EnsureIndex(path, options)) return 1;

    CDbFacade db;
    if (!db.Initialize(Utf8ToWide(path))) return 1;
    TimedSearch search(&db);
    CountingSink sink;
    search.SetResultSink(&sink);
    auto runSearch = [&](auto start) -> long {
        sink.count = 0;
        if (!start()) return -1;
        search.Resume();
        search.WaitUntilFinished();
        return sink.count;
    };

    _tagQuickSearch quick;
    quick.strText = L"DSCF004";
    quick.iScope = kScopeAll;
    _tagFieldSearch field;
    field.lstConditions = {{34855, kOpGreaterEqual, L"800"}, {271, kOpEqual, L"Canon"}};
    const int midYear = options.firstYear + options.years / 2;
    std::vector<Operation> ops = {
        {"quick search 'DSCF004', all scopes",
         [&] { return runSearch([&] { return search.StartQuickSearch(quick); }); }},
        {"field search ISO >= 800, maker = Canon",
         [&] { return runSearch([&] { return search.StartFieldSearch(field); }); }},
        {"GetYearTotals",
         [&] {
             std::map<int, int> out;
             db.GetYearTotals(out);
             return long(out.size());
         }},
        {"GetMonthFolders of one month",
         [&] {
             std::list<_tagTimePath> out;
             db.GetMonthFolders(CDbFacade::MonthFirstSecond(midYear, 6),
                                CDbFacade::MonthLastSecond(midYear, 6), out);
             return long(out.size());
         }},
        {"GetTreePicCount C:\\Photos", [&] { return long(db.GetTreePicCount(L"C:\\Photos")); }},
        {"GetDuplicateFiles",
         [&] {
             std::map<CString, std::set<CString>> out;
             db.GetDuplicateFiles(out);
             return long(out.size());
         }},
    };

    std::printf("index %s: %d files, %d folders, %d years; SQLite %s\n", path.c_str(),
                options.files, options.folders, options.years, sqlite3_libversion());
    std::string dir = path + ".scripts";
    std::filesystem::create_directories(dir);
    const std::string baseScript = dir + "/base.sql";
    std::ofstream(baseScript) << "select count(*) from sqlite_master;\n";
    Timing base = withShell ? BestShell(shell, path, baseScript) : Timing();
    if (withShell && base.wall < 0) {
        std::fprintf(stderr, "cannot run %s; use --no-shell\n", shell.c_str());
        withShell = false;
    }
    std::printf("%-40s %8s %6s %5s | %9s %9s %6s | %9s %9s %6s\n", "", "", "", "", "wall ms", "",
                "", "cpu ms", "", "");
    std::printf("%-40s %8s %6s %5s | %9s %9s %6s | %9s %9s %6s\n", "operation", "results", "stmts",
                "runs", "library", "shell", "ratio", "library", "shell", "ratio");

    std::vector<std::string> firstStatements;
    for (size_t n = 0; n < ops.size(); ++n) {
        const Operation& op = ops[n];
        if (!only.empty() && std::string(op.name).find(only) == std::string::npos) {
            firstStatements.emplace_back();
            continue;
        }
        std::vector<std::string> seen;
        db.GetDbMng().SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
        Clock::time_point t0 = Clock::now();
        long results = op.run();
        double once = MsSince(t0);
        db.GetDbMng().SetStatementObserver(nullptr);
        // The plan shown is that of the first query (a quick search writes its text to
        // the search history first).
        std::string first;
        for (const std::string& sql : seen)
            if (first.empty() && (sql.rfind("select", 0) == 0 || sql.rfind("Select", 0) == 0))
                first = sql;
        firstStatements.push_back(first);

        const int runs = std::clamp(int(std::ceil(400.0 / std::max(once, 0.01))), 3, 2000);
        Timing library;
        for (int batch = 0; batch < 3; ++batch) {
            Clock::time_point start = Clock::now();
            double cpu = CpuMs();
            for (int r = 0; r < runs; ++r)
                op.run();
            double wall = MsSince(start) / runs;
            cpu = (CpuMs() - cpu) / runs;
            library.wall = batch == 0 ? wall : std::min(library.wall, wall);
            library.cpu = batch == 0 ? cpu : std::min(library.cpu, cpu);
        }

        Timing other;
        if (withShell) {
            const std::string script = dir + "/op" + std::to_string(n) + ".sql";
            {
                std::ofstream out(script);
                out << "select count(*) from sqlite_master;\n";
                for (int r = 0; r < runs; ++r) {
                    for (std::string sql : seen) {
                        while (!sql.empty() && (sql.back() == ' ' || sql.back() == '\n'))
                            sql.pop_back();
                        if (sql.empty() || sql.back() != ';') sql += ';';
                        out << sql << '\n';
                    }
                }
            }
            Timing total = BestShell(shell, path, script);
            if (total.wall >= 0) {
                other.wall = std::max(0.0, total.wall - base.wall) / runs;
                other.cpu = std::max(0.0, total.cpu - base.cpu) / runs;
            }
        }
        auto cell = [](double v) {
            char buf[32] = "-";
            if (v >= 0) std::snprintf(buf, sizeof buf, "%.3f", v);
            return std::string(buf);
        };
        auto ratio = [](double lib, double sh) {
            char buf[32] = "-";
            if (sh > 0 && lib >= 0) std::snprintf(buf, sizeof buf, "%.2f", lib / sh);
            return std::string(buf);
        };
        std::printf("%-40s %8ld %6zu %5d | %9s %9s %6s | %9s %9s %6s\n", op.name, results,
                    seen.size(), runs, cell(library.wall).c_str(), cell(other.wall).c_str(),
                    ratio(library.wall, other.wall).c_str(), cell(library.cpu).c_str(),
                    cell(other.cpu).c_str(), ratio(library.cpu, other.cpu).c_str());
        std::fflush(stdout);
    }

    std::printf("\nquery plans of each operation's first statement:\n");
    for (size_t n = 0; n < ops.size(); ++n) {
        if (firstStatements[n].empty()) continue;
        std::printf("  %s: %s\n", ops[n].name, firstStatements[n].c_str());
        PrintPlan(db.GetDbMng().Handle(), firstStatements[n]);
    }
    return 0;
}
