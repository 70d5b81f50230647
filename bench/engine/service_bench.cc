// Timed driver: how long a host waits from StartQuickSearch to the results message, on
// a large index, with the service idle and while a background scan runs.
//
//   service_bench [--db FILE] [--files N] [--folders N] [--years N] [--tree DIR]
//                 [--tree-files N] [--runs N] [--text TEXT]
//
// The index (default /tmp/picdex-bench-index.db) is generated when the file is missing:
// N files (1,000,000) in N folders (20,000) on drive D:, taken over N years (15), every
// file with an EXIF row, one in ten with IPTC and one in ten with GPS. Rows are written
// directly with SQLite in one transaction; their search stamp lies in the future, so
// that a scan run's clean-up keeps them. The scan walks and analyses a tree of small
// JPEG files (default /tmp/picdex-bench-tree, generated when missing) mapped as C:.
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
#include <string>
#include <vector>

#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_pictures.h"
#include "picdex/drives.h"
#include "picdex/window.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string db = "/tmp/picdex-bench-index.db";
    std::string tree = "/tmp/picdex-bench-tree";
    int files = 1000000;
    int folders = 20000;
    int years = 15;
    int treeFiles = 4000;
    int runs = 15;
    std::string text = "IMG_1234";
};

bool Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "sqlite: %s\n  in %s\n", error ? error : "?", sql);
        sqlite3_free(error);
        return false;
    }
    return true;
}

std::string TimeText(int year, int month, int day, int hour, int minute, int second) {
    char text[32];
    std::snprintf(text, sizeof text, "%d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    return text;
}

// Folders D:\Photos\<year>\<event>\ ; files IMG_<n>.JPG spread evenly over them.
bool GenerateIndex(const Options& o) {
    std::printf("generating %d files in %d folders into %s ...\n", o.files, o.folders,
                o.db.c_str());
    auto start = Clock::now();
    {
        // The library creates the schema.
        CDbFacade facade;
        if (!facade.Initialize(Utf8ToWide(o.db))) return false;
        facade.Close();
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(o.db.c_str(), &db) != SQLITE_OK) return false;
    Exec(db, "PRAGMA synchronous = OFF;");
    Exec(db, "begin transaction;");
    const std::string future = TimeText(2099, 1, 1, 0, 0, 0);
    auto prepare = [&](const char* sql) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK)
            std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        return st;
    };
    sqlite3_stmt* path = prepare(
        "insert into tb_path_info(iPathID, iParentID, strPathName, strFullPath, iPicCount, "
        "iPicSize, tPathSearch) values(?,?,?,?,0,0,?);");
    sqlite3_stmt* file = prepare(
        "insert into tb_file_info(iPathID, iHeight, iWidth, iBPP, iPageCount, iIptcID, iExifID, "
        "iGpsID, iFileSize, strFileName, tSnapTime, tFileCreate, tFileModify, tFileSearch, "
        "strExt, strMD5) values(?,3000,4000,24,1,?,?,?,?,?,?,?,?,?,'JPG','0');");
    sqlite3_stmt* exif = prepare(
        "insert into tb_exif_info(iExifID, iExposureTimeL, iExposureTimeR, iApertureL, "
        "iApertureR, iISO, tDititalTime, iFocalLenL, iFocalLenR, strManufacturer, strModel) "
        "values(?,1,125,56,10,?,?,50,1,?,?);");
    sqlite3_stmt* iptc = prepare(
        "insert into tb_iptc_info(iIptcID, strKeyWord, strTitle, strCity, strCountry) "
        "values(?,?,?,?,?);");
    sqlite3_stmt* gps = prepare(
        "insert into tb_gps_info(iGpsID, iLatitude, iLongitute, iAltitute, iGpsSpeed) "
        "values(?,?,?,?,0);");
    static const char* kMakers[][2] = {{"Canon", "EOS 5D"},
                                       {"NIKON", "D700"},
                                       {"SONY", "ILCE-7M3"},
                                       {"FUJIFILM", "X-T3"},
                                       {"Panasonic", "DMC-GX8"}};
    static const char* kCities[] = {"Paris", "Nice", "Lyon", "Berlin", "Rome", "Madrid"};
    auto text = [](sqlite3_stmt* st, int i, const std::string& s) {
        sqlite3_bind_text(st, i, s.c_str(), int(s.size()), SQLITE_TRANSIENT);
    };
    auto step = [&](sqlite3_stmt* st) {
        if (sqlite3_step(st) != SQLITE_DONE)
            std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
        sqlite3_reset(st);
    };
    // Ids: 1 D:\, 2 D:\Photos\, then one per year, then the event folders.
    int nextPath = 1;
    auto addPath = [&](int parent, const std::string& name, const std::string& full) {
        int id = nextPath++;
        sqlite3_bind_int(path, 1, id);
        sqlite3_bind_int(path, 2, parent);
        text(path, 3, name);
        text(path, 4, full);
        text(path, 5, future);
        step(path);
        return id;
    };
    addPath(0, "D:", "D:\\");
    int photos = addPath(1, "Photos", "D:\\Photos\\");
    int firstYear = 2024 - o.years + 1;
    std::vector<int> yearIds;
    for (int y = 0; y < o.years; ++y) {
        std::string name = std::to_string(firstYear + y);
        yearIds.push_back(addPath(photos, name, "D:\\Photos\\" + name + "\\"));
    }
    struct Event {
        int id, year, month;
    };
    std::vector<Event> events;
    for (int f = 0; f < o.folders; ++f) {
        int y = f % o.years;
        int month = 1 + (f / o.years) % 12;
        std::string name = TimeText(firstYear + y, month, 1 + f % 28, 0, 0, 0).substr(0, 10) +
                           " event " + std::to_string(f);
        std::string full = "D:\\Photos\\" + std::to_string(firstYear + y) + "\\" + name + "\\";
        events.push_back({addPath(yearIds[y], name, full), firstYear + y, month});
    }
    for (int n = 0; n < o.files; ++n) {
        const Event& ev = events[n % events.size()];
        int id = n + 1;
        int day = 1 + n % 28, hour = n % 24, minute = n % 60, second = (n / 60) % 60;
        std::string snap = TimeText(ev.year, ev.month, day, hour, minute, second);
        const char* const* cam = kMakers[n % 5];
        sqlite3_bind_int(exif, 1, id);
        sqlite3_bind_int(exif, 2, 100 << (n % 5));
        text(exif, 3, snap);
        text(exif, 4, cam[0]);
        text(exif, 5, cam[1]);
        step(exif);
        bool hasIptc = n % 10 == 0, hasGps = n % 10 == 5;
        if (hasIptc) {
            sqlite3_bind_int(iptc, 1, id);
            text(iptc, 2, n % 20 == 0 ? "beach" : "family");
            text(iptc, 3, "Trip " + std::to_string(ev.year));
            text(iptc, 4, kCities[n % 6]);
            text(iptc, 5, "France");
            step(iptc);
        }
        if (hasGps) {
            sqlite3_bind_int(gps, 1, id);
            sqlite3_bind_int(gps, 2, 43 + n % 10);
            sqlite3_bind_int(gps, 3, 7 + n % 20);
            sqlite3_bind_int(gps, 4, n % 500);
            step(gps);
        }
        sqlite3_bind_int(file, 1, ev.id);
        sqlite3_bind_int(file, 2, hasIptc ? id : -1);
        sqlite3_bind_int(file, 3, id);
        sqlite3_bind_int(file, 4, hasGps ? id : -1);
        sqlite3_bind_int64(file, 5, 2000000 + (n % 1000) * 1000);
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%07d.JPG", n);
        text(file, 6, name);
        text(file, 7, snap);
        text(file, 8, snap);
        text(file, 9, snap);
        text(file, 10, future);
        step(file);
    }
    for (sqlite3_stmt* st : {path, file, exif, iptc, gps})
        sqlite3_finalize(st);
    // The folder and month figures, as a finished scan leaves them.
    Exec(db,
         "update tb_path_info set iPicCount = (select count(*) from tb_file_info where "
         "tb_file_info.iPathID = tb_path_info.iPathID), iPicSize = (select SUM(iFileSize) from "
         "tb_file_info where tb_file_info.iPathID = tb_path_info.iPathID);");
    Exec(db,
         "insert into tb_time_path_info (iPathID, tPathPicTime, iPicCountT, iPicSizeT, "
         "tPathTSearch) select iPathID, datetime(tSnapTime, 'start of month'), count(iPathID), "
         "SUM(iFileSize), '2099-01-01 00:00:00' from tb_file_info group by iPathID, "
         "datetime(tSnapTime, 'start of month');");
    bool ok = Exec(db, "commit transaction;");
    sqlite3_close(db);
    std::printf("generated in %.1f s\n",
                std::chrono::duration<double>(Clock::now() - start).count());
    return ok;
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
    std::vector<double> ms;
    size_t results = 0;
    int missed = 0;
};

Figures Measure(CSearchEngine& engine, ResultWindow& window, const CString& text, int scope,
                int runs) {
    Figures f;
    for (int i = 0; i < runs; ++i) {
        while (engine.IsBusy(FALSE))
            Sleep(5);
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
        if (!window.Wait(120)) {
            ++f.missed;
            continue;
        }
        f.ms.push_back(std::chrono::duration<double, std::milli>(window.at - start).count());
        f.results = window.count;
    }
    return f;
}

void Print(const char* label, Figures f) {
    if (f.ms.empty()) {
        std::printf("%-34s no results message (%d runs missed)\n", label, f.missed);
        return;
    }
    std::sort(f.ms.begin(), f.ms.end());
    std::printf("%-34s min %7.1f  median %7.1f  max %7.1f ms  (%zu runs, %zu paths%s)\n", label,
                f.ms.front(), f.ms[f.ms.size() / 2], f.ms.back(), f.ms.size(), f.results,
                f.missed ? ", some missed" : "");
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i], v = argv[i + 1];
        if (k == "--db")
            o.db = v;
        else if (k == "--tree")
            o.tree = v;
        else if (k == "--files")
            o.files = std::atoi(v.c_str());
        else if (k == "--folders")
            o.folders = std::atoi(v.c_str());
        else if (k == "--years")
            o.years = std::atoi(v.c_str());
        else if (k == "--tree-files")
            o.treeFiles = std::atoi(v.c_str());
        else if (k == "--runs")
            o.runs = std::atoi(v.c_str());
        else if (k == "--text")
            o.text = v;
        else {
            std::fprintf(stderr, "unknown option %s\n", k.c_str());
            return 2;
        }
    }
    if (o.files < 1 || o.folders < 1 || o.years < 1 || o.runs < 1) return 2;
    if (!std::filesystem::exists(o.db) && !GenerateIndex(o)) return 1;
    if (!std::filesystem::exists(o.tree)) GenerateTree(o);
    std::string error;
    if (!picdex::SetDriveTable("C=" + o.tree, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }

    CSearchEngine& engine = CSearchEngine::Instance();
    if (!engine.Initialize(Utf8ToWide(o.db), L"", L"", 0)) return 1;
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
    Print("scanning, names (scope 1)", Measure(engine, window, text, 1, o.runs));
    Print("scanning, all four scopes", Measure(engine, window, text, 15, o.runs));
    engine.GetScanStatus(0, &state, &drive, &c[0], &c[1], &c[2], &c[3], &c[4]);
    std::printf("scan %s, phase %d\n", engine.IsBusy(TRUE) ? "still running" : "finished", state);
    engine.Shutdown();
    return 0;
}
