// Timed driver: how long a host waits from StartQuickSearch to the results message, on
// the search benchmark's generated index (1,000,000 files in 20,000 folders over 15
// years), with the service idle and while a background scan runs.
//
//   service_bench [--files N] [--tree DIR] [--tree-files N] [--runs N] [--text TEXT]
//                 [--gap MS]
//
// The generated index (made once and kept, see search_index.h) is copied to a working
// file, whose search stamps are then moved into the future: the scan run started here
// cleans up what it did not see, and the generated rows must survive it. The scan
// walks and analyses a tree of small JPEG files (default /tmp/picdex-service-bench-tree,
// made when missing) mapped as drive E:, so it never touches the generated C: rows.
//
// Each run takes every result in the handler, so the next search may start at once;
// the figures are milliseconds from the start call to the first results message.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "bench/engine/search_index.h"
#include "db/cppsqlite3.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "bench_pictures.h"
#include "picdex/drives.h"
#include "picdex/window.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int files = 1000000;
    std::string tree = "/tmp/picdex-service-bench-tree";
    int treeFiles = 4000;
    int runs = 15;
    DWORD gapMs = 700;            // scan time between two searches while scanning
    std::string text = "DSCF12";  // a name fragment; "_" would be taken literally
};

std::string TimeText(int year, int month, int day, int hour, int minute, int second) {
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    return text;
}

// A working copy of the generated index whose rows every scan run counts as seen.
bool PrepareCopy(const std::string& generated, const std::string& copy) {
    std::error_code ec;
    std::filesystem::remove(copy, ec);
    if (!std::filesystem::copy_file(generated, copy, ec)) {
        std::fprintf(stderr, "cannot copy %s: %s\n", generated.c_str(), ec.message().c_str());
        return false;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(copy.c_str(), &db) != SQLITE_OK) return false;
    char* error = nullptr;
    int rc = sqlite3_exec(db,
                          "begin;"
                          "update tb_file_info set tFileSearch = '2099-01-01 00:00:00';"
                          "update tb_path_info set tPathSearch = '2099-01-01 00:00:00';"
                          "update tb_time_path_info set tPathTSearch = '2099-01-01 00:00:00';"
                          "commit;",
                          nullptr, nullptr, &error);
    if (rc != SQLITE_OK) std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
    sqlite3_free(error);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

void GenerateTree(const Options& o) {
    namespace fs = std::filesystem;
    std::printf("writing %d pictures into %s ...\n", o.treeFiles, o.tree.c_str());
    int perFolder = 40;
    for (int n = 0; n < o.treeFiles; ++n) {
        fs::path folder = fs::path(o.tree) / ("album" + std::to_string(n / perFolder));
        fs::create_directories(folder);
        std::string taken = TimeText(2010 + n % 10, 1 + n % 12, 1 + n % 28, 10, 0, 0);
        for (char& c : taken)
            if (c == '-') c = ':';
        std::ofstream(folder / ("P" + std::to_string(n) + ".jpg"), std::ios::binary)
            << testutil::JpegWithExif("BenchCam", "B-1", taken);
    }
}

// A window that takes every result and records when the first message came.
struct ResultWindow {
    std::mutex lock;
    std::condition_variable arrived;
    bool got = false;
    size_t count = 0;
    Clock::time_point at;
    HWND hWnd = CreateHostWindow([this](HWND, UINT msg, WPARAM wParam, LPARAM) -> LRESULT {
        if (msg != WM_PD_SEARCH_RESULTS) return 0;
        auto* set = reinterpret_cast<CSearchResultSet*>(wParam);
        std::lock_guard<std::mutex> g(lock);
        if (!got) at = Clock::now();
        got = true;
        count += set->size();
        set->clear();
        arrived.notify_all();
        return 0;
    });
    ~ResultWindow() { DestroyWindow(hWnd); }
    void Reset() {
        std::lock_guard<std::mutex> g(lock);
        got = false;
        count = 0;
    }
    bool Wait(double seconds) {
        std::unique_lock<std::mutex> g(lock);
        return arrived.wait_for(g, std::chrono::duration<double>(seconds), [&] { return got; });
    }
};

struct Figures {
    std::set<int> phases;  // the scan's phases at the starts
    std::vector<double> ms;
    std::vector<double> alone;  // the statement alone
    size_t results = 0;
    int missed = 0;
};

Figures Measure(CSearchEngine& engine, ResultWindow& window, const CString& text, int scope,
                int runs, DWORD gapMs = 0) {
    Figures f;
    for (int i = 0; i < runs; ++i) {
        while (engine.IsBusy(FALSE))
            Sleep(5);
        // While scanning, the scan resumes between two searches and is at work (reading,
        // writing a batch) when the next one starts.
        if (gapMs) Sleep(gapMs);
        int state = 0, c;
        WORD d;
        engine.GetScanStatus(0, &state, &d, &c, &c, &c, &c, &c);
        f.phases.insert(state);
        window.Reset();
        _tagQuickSearch request;
        request.strText = text;
        request.iScope = scope;
        request.hWnd = window.hWnd;
        auto start = Clock::now();
        if (!engine.StartQuickSearch(&request)) {
            ++f.missed;
            continue;
        }
        // A search that finds nothing ends without a message.
        bool got = false;
        while (!(got = window.Wait(0.05)) && engine.IsBusy(FALSE)) {
        }
        if (!got) {
            ++f.missed;
            continue;
        }
        f.ms.push_back(std::chrono::duration<double, std::milli>(window.at - start).count());
        // The same statement alone, on this thread, read to its last row: what the search
        // itself costs, beside the span the host sees.
        while (engine.IsBusy(FALSE))
            Sleep(5);
        _tagQuickSearch converted = request;
        converted.strText = CDbSearch::ConvertWildcards(request.strText);
        std::string sql = CDbSearch::BuildResultSql(CDbSearch::BuildQuickSql(converted));
        auto alone = Clock::now();
        {
            CSingleLock lock(&engine.Db().GetDbMng().GetLock(), TRUE);
            CppSQLite3Query q = engine.Db().GetDbMng().Query(sql.c_str());
            while (!q.IsEnd())
                q.Next();
        }
        f.alone.push_back(std::chrono::duration<double, std::milli>(Clock::now() - alone).count());
        f.results = window.count;
    }
    return f;
}

void Print(const char* label, Figures f) {
    if (f.ms.empty()) {
        std::printf("%-28s no results message (%d runs missed)\n", label, f.missed);
        return;
    }
    std::sort(f.ms.begin(), f.ms.end());
    std::sort(f.alone.begin(), f.alone.end());
    std::string phases;
    for (int p : f.phases)
        phases += " " + std::to_string(p);
    std::printf(
        "%-27s min %6.1f  median %6.1f  max %6.1f ms; statement alone median %6.1f ms  (%zu "
        "runs, %zu paths%s; phase%s)\n",
        label, f.ms.front(), f.ms[f.ms.size() / 2], f.ms.back(), f.alone[f.alone.size() / 2],
        f.ms.size(), f.results, f.missed ? ", some missed" : "", phases.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--tree")
            o.tree = v;
        else if (k == "--files")
            o.files = std::atoi(v.c_str());
        else if (k == "--tree-files")
            o.treeFiles = std::atoi(v.c_str());
        else if (k == "--runs")
            o.runs = std::atoi(v.c_str());
        else if (k == "--text")
            o.text = v;
        else if (k == "--gap")
            o.gapMs = DWORD(std::atoi(v.c_str()));
        else {
            std::fprintf(stderr, "unknown option %s\n", k.c_str());
            return 2;
        }
    }
    if (o.files < 1 || o.runs < 1) return 2;
    benchindex::Options shape;
    shape.files = o.files;
    shape.folders = std::max(1, o.files / 50);
    std::string generated = benchindex::DefaultPath(shape);
    if (!benchindex::EnsureIndex(generated, shape)) return 1;
    std::string db = generated + ".service.db";
    if (!PrepareCopy(generated, db)) return 1;
    if (!std::filesystem::exists(o.tree)) GenerateTree(o);
    std::string error;
    if (!picdex::SetDriveTable("E=" + o.tree, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    CSearchEngine& engine = CSearchEngine::Instance();
    if (!engine.Initialize(Utf8ToWide(db), L"", L"", 0)) return 1;
    ResultWindow window;
    CString text = Utf8ToWide(o.text);
    Print("idle, names (scope 1)", Measure(engine, window, text, 1, o.runs));
    Print("idle, all four scopes", Measure(engine, window, text, 15, o.runs));

    if (!engine.StartBackSearch()) return 1;
    // Measure once the scan is past its lists and writing.
    int state = 0;
    WORD drive = 0;
    int c[5] = {};
    auto until = Clock::now() + std::chrono::seconds(120);
    do {
        Sleep(20);
        engine.GetScanStatus(0, &state, &drive, &c[0], &c[1], &c[2], &c[3], &c[4]);
    } while (state < 5 && Clock::now() < until);
    std::printf("scan running, phase %d, %d picture files queued, %d saved\n", state, c[3], c[4]);
    Print("scanning, names (scope 1)", Measure(engine, window, text, 1, o.runs, o.gapMs));
    Print("scanning, all four scopes", Measure(engine, window, text, 15, o.runs, o.gapMs));
    engine.GetScanStatus(0, &state, &drive, &c[0], &c[1], &c[2], &c[3], &c[4]);
    std::printf("scan %s, phase %d\n", engine.IsBusy(TRUE) ? "still running" : "finished", state);
    auto stop = Clock::now();
    engine.Shutdown();
    std::printf("Shutdown took %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - stop).count());
    return 0;
}
