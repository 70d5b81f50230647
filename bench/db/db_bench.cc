// Database layer benchmarks, on real files in a temporary folder.
//
//  - FileDaoInsert / FileDaoGetByName: 100,000 tb_file_info rows written through
//    CFileDao::Insert in one transaction, then read back one by one with GetByName
//    (SQL built as text by the literal rules).
//  - PreparedInsert / PreparedSelect: the same rows with one prepared statement and
//    bound parameters, on the same schema: the ceiling of this machine.
//  - DrainFolderFiles / DrainFileDetails: 10,000 CSaveFolderFile tasks of 20 files
//    each, then 10,000 CSaveFileDetail tasks (for files already listed), drained 100
//    tasks per drain (as the writer thread does, one transaction each) or all at once.
//
// Run: build/bench/db/db_bench   (add --benchmark_filter=... to pick one)
#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/file_dao.h"
#include "db/record_sql.h"
#include "db/save_queue.h"
#include "db/schema.h"
#include "db/text_codec.h"

namespace {

constexpr int kRows = 100000;
constexpr int kFolders = 100;

_tagFileInfo MakeFile(int i) {
    _tagFileInfo f;
    f.iPathID = 1 + i % kFolders;
    f.strFileName = L"IMG_" + std::to_wstring(i) + L".JPG";
    f.strExt = L"JPG";
    f.iHeight = 3000;
    f.iWidth = 4000;
    f.iBPP = 24;
    f.iExifID = i;
    f.iFileSize = 4000000 + i;
    f.tSnapTime = CTime(1262304000 + i * 60LL);
    f.tFileCreate = f.tSnapTime;
    f.tFileModify = f.tSnapTime;
    f.tFileSearch = CTime(1700000000);
    f.strMD5 = L"0123456789ABCDEF0123456789ABCDEF";
    return f;
}

void CreateSchema(CDBMng& db, const std::string& path) {
    db.Open(path.c_str());
    CScopedTransaction txn(&db);
    for (const char* sql : schema::kCreateAll)
        db.Execute(sql);
    for (const char* sql : schema::kVersion3Indexes)
        db.Execute(sql);
}

// One file with kRows rows written by the DAO, shared by the read benchmark.
struct DaoFile {
    testutil::TempDir dir;
    CDBMng db;
    CFileDao dao;
    DaoFile() {
        CreateSchema(db, dir / "dao.db");
        dao.SetDbMng(&db);
    }
};

void BM_FileDaoInsert(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto file = std::make_unique<DaoFile>();
        std::vector<_tagFileInfo> rows;
        rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            rows.push_back(MakeFile(i));
        state.ResumeTiming();
        {
            CScopedTransaction txn(&file->db);
            for (auto& f : rows)
                file->dao.Insert(f);
        }
        state.PauseTiming();
        file.reset();
        state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FileDaoGetByName(benchmark::State& state) {
    DaoFile file;
    {
        CScopedTransaction txn(&file.db);
        for (int i = 0; i < kRows; ++i) {
            _tagFileInfo f = MakeFile(i);
            file.dao.Insert(f);
        }
    }
    int found = 0;
    for (auto _ : state) {
        for (int i = 0; i < kRows; ++i) {
            _tagFileInfo f;
            f.iPathID = 1 + i % kFolders;
            f.strFileName = L"IMG_" + std::to_wstring(i) + L".JPG";
            found += file.dao.GetByName(f);
        }
    }
    if (found != kRows * int(state.iterations())) state.SkipWithError("rows missing");
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The ceiling: one prepared statement, values bound, text converted once per value.
void BindFile(sqlite3_stmt* s, const _tagFileInfo& f) {
    auto text = [&](int col, const CString& v) {
        std::string u = WideToUtf8(v);
        sqlite3_bind_text(s, col, u.c_str(), int(u.size()), SQLITE_TRANSIENT);
    };
    auto time = [&](int col, const CTime& t) {
        CTime::Fields x = t.GetLocalFields();
        char buf[40];
        snprintf(buf, sizeof buf, "%d-%02d-%02d %02d:%02d:%02d", x.year, x.month, x.day, x.hour,
                 x.minute, x.second);
        sqlite3_bind_text(s, col, buf, -1, SQLITE_TRANSIENT);
    };
    sqlite3_bind_int(s, 1, f.iPathID);
    text(2, f.strFileName);
    text(3, f.strExt);
    sqlite3_bind_int64(s, 4, f.iFileSize);
    time(5, f.tSnapTime);
    time(6, f.tFileCreate);
    time(7, f.tFileModify);
    time(8, f.tFileSearch);
    text(9, f.strMD5);
    sqlite3_bind_int(s, 10, f.iIptcID);
    sqlite3_bind_int(s, 11, f.iExifID);
    sqlite3_bind_int(s, 12, f.iGpsID);
    sqlite3_bind_int(s, 13, f.iHeight);
    sqlite3_bind_int(s, 14, f.iWidth);
    sqlite3_bind_int(s, 15, f.iBPP);
    sqlite3_bind_int(s, 16, f.iPageCount);
}

constexpr char kPreparedInsert[] =
    "Replace into tb_file_info(iPathID, strFileName, strExt, iFileSize, tSnapTime, tFileCreate, "
    "tFileModify, tFileSearch, strMD5, iIptcID, iExifID, iGpsID, iHeight, iWidth, iBPP, "
    "iPageCount )values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);";

void PreparedInsertAll(sqlite3* h, const std::vector<_tagFileInfo>& rows) {
    sqlite3_exec(h, "begin;", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(h, kPreparedInsert, -1, &s, nullptr);
    for (const auto& f : rows) {
        BindFile(s, f);
        sqlite3_step(s);
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    sqlite3_exec(h, "commit;", nullptr, nullptr, nullptr);
}

void BM_PreparedInsert(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto file = std::make_unique<DaoFile>();
        std::vector<_tagFileInfo> rows;
        rows.reserve(kRows);
        for (int i = 0; i < kRows; ++i)
            rows.push_back(MakeFile(i));
        state.ResumeTiming();
        PreparedInsertAll(file->db.Handle(), rows);
        state.PauseTiming();
        file.reset();
        state.ResumeTiming();
    }
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_PreparedSelect(benchmark::State& state) {
    DaoFile file;
    std::vector<_tagFileInfo> rows;
    for (int i = 0; i < kRows; ++i)
        rows.push_back(MakeFile(i));
    PreparedInsertAll(file.db.Handle(), rows);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(file.db.Handle(),
                       "Select * from tb_file_info where iPathID = ? and strFileName = ? LIMIT 1;",
                       -1, &s, nullptr);
    int found = 0;
    for (auto _ : state) {
        for (int i = 0; i < kRows; ++i) {
            sqlite3_bind_int(s, 1, 1 + i % kFolders);
            std::string name = "IMG_" + std::to_string(i) + ".JPG";
            sqlite3_bind_text(s, 2, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
            // The row is read by the DAO's own reader, through a query that does not own
            // the statement, so that only the statement handling differs.
            CppSQLite3Query q(file.db.Handle(), s, sqlite3_step(s) != SQLITE_ROW, false);
            _tagFileInfo f;
            found += ReadRow(q, f);
            sqlite3_reset(s);
        }
    }
    sqlite3_finalize(s);
    if (found != kRows * int(state.iterations())) state.SkipWithError("rows missing");
    state.counters["rows/s"] =
        benchmark::Counter(double(kRows) * double(state.iterations()), benchmark::Counter::kIsRate);
}

// ---------------------------------------------------------------- save-queue drains

constexpr int kTasks = 10000;
constexpr int kFilesPerFolder = 20;

struct DrainFile {
    testutil::TempDir dir;
    CDbFacade db;
    CSaveQueue queue{&db};
    DrainFile() {
        db.Initialize(Utf8ToWide(dir / "drain.db"));
        db.SetConfig(L"BackSearchStartTime", L"2020-01-01 00:00:00");
    }
    static CString Folder(int t) {
        return L"D:\\photos\\" + std::to_wstring(t / 100) + L"\\" + std::to_wstring(t) + L"\\";
    }
};

std::vector<std::set<_tagSimpleFileInfo>> FolderLists() {
    std::vector<std::set<_tagSimpleFileInfo>> lists(kTasks);
    for (int t = 0; t < kTasks; ++t) {
        for (int i = 0; i < kFilesPerFolder; ++i) {
            _tagSimpleFileInfo e;
            e.strFileName = L"IMG_" + std::to_wstring(i) + L".JPG";
            e.iFileSize = 3000000 + i;
            e.tFileModify = CTime(1262304000 + i);
            lists[size_t(t)].insert(e);
        }
    }
    return lists;
}

// Queues every folder list and drains `batch` tasks at a time (the writer thread drains
// once 100 are waiting; 10,000 is everything in one transaction).
int QueueAndDrain(DrainFile& f, const std::vector<std::set<_tagSimpleFileInfo>>& lists, int batch) {
    int written = 0;
    for (int t = 0; t < kTasks; ++t) {
        f.queue.QueueFolderFiles(DrainFile::Folder(t), lists[size_t(t)], 1);
        if ((t + 1) % batch == 0) written += f.queue.Drain(nullptr);
    }
    return written + f.queue.Drain(nullptr);
}

void BM_DrainFolderFiles(benchmark::State& state) {
    const int batch = int(state.range(0));
    auto lists = FolderLists();
    for (auto _ : state) {
        state.PauseTiming();
        auto f = std::make_unique<DrainFile>();
        state.ResumeTiming();
        int written = QueueAndDrain(*f, lists, batch);
        state.PauseTiming();
        if (written != kTasks) state.SkipWithError("tasks missing");
        f.reset();
        state.ResumeTiming();
    }
    double n = double(state.iterations());
    state.counters["tasks/s"] = benchmark::Counter(kTasks * n, benchmark::Counter::kIsRate);
    state.counters["files/s"] =
        benchmark::Counter(kTasks * kFilesPerFolder * n, benchmark::Counter::kIsRate);
}

void BM_DrainFileDetails(benchmark::State& state) {
    const int batch = int(state.range(0));
    auto lists = FolderLists();
    for (auto _ : state) {
        state.PauseTiming();
        auto f = std::make_unique<DrainFile>();
        // The files exist (as after the folder walk): 500 folders of 20 files each.
        QueueAndDrain(*f, lists, kTasks);
        std::vector<ISaveTask*> tasks;
        for (int t = 0; t < kTasks; ++t) {
            auto* task = new CSaveFileDetail(&f->db);
            _tagFileDetail& d = task->m_detail;
            d.strFolder = DrainFile::Folder(t / kFilesPerFolder);
            d.fileInfo.iPathID = f->db.GetPathDao().GetPathID(d.strFolder, true);
            d.fileInfo.strFileName = L"IMG_" + std::to_wstring(t % kFilesPerFolder) + L".JPG";
            d.fileInfo.strExt = L"JPG";
            d.fileInfo.iFileSize = 3000000 + t;
            d.fileInfo.tSnapTime = CTime(1262304000 + t * 3600LL);
            d.fileInfo.tFileModify = d.fileInfo.tSnapTime;
            d.fileInfo.tFileSearch = CTime::GetCurrentTime();
            d.fileInfo.strMD5 = L"0";
            d.fileInfo.iExifID = 0;
            d.exifInfo.strManufacturer = L"Maker";
            d.exifInfo.strModel = L"Model";
            d.exifInfo.tDititalTime = d.fileInfo.tSnapTime;
            tasks.push_back(task);
        }
        state.ResumeTiming();
        int written = 0;
        for (int t = 0; t < kTasks; ++t) {
            f->queue.Enqueue(tasks[size_t(t)]);
            if ((t + 1) % batch == 0) written += f->queue.Drain(nullptr);
        }
        written += f->queue.Drain(nullptr);
        state.PauseTiming();
        if (written != kTasks) state.SkipWithError("tasks missing");
        f.reset();
        state.ResumeTiming();
    }
    state.counters["tasks/s"] =
        benchmark::Counter(kTasks * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_FileDaoInsert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PreparedInsert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FileDaoGetByName)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_PreparedSelect)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_DrainFolderFiles)
    ->Arg(100)
    ->Arg(kTasks)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_DrainFileDetails)
    ->Arg(100)
    ->Arg(kTasks)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
