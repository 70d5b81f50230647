// Helpers of the database tests: database files, time zones, a connection that keeps
// commits busy, the statements a call runs, a recording report sink, readers of rows.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/db_mng.h"
#include "db/report_sink.h"
#include "db/schema.h"
#include "db/text_codec.h"

namespace dbtest {

using Strings = std::vector<std::string>;

// A temporary folder holding one database file path (made by whoever opens it).
struct TempDb {
    const std::string& Path() const { return path; }
    const testutil::TempDir& Dir() const { return dir; }
    testutil::TempDir dir;
    std::string path = dir / "index.db";
};

// Sets TZ (and re-reads it) for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) : m_env("TZ", tz) { tzset(); }

private:
    struct Reread {  // destroyed after m_env has restored TZ
        ~Reread() { tzset(); }
    } m_reread;
    testutil::ScopedEnv m_env;
};

// A machine whose drive C: is a temporary folder holding the data, documents and
// temporary folders, so the default folder lists name folders on C: only.
class ScopedMachine {
public:
    ScopedMachine();

private:
    testutil::TempDir m_root;
    testutil::ScopedEnv m_data, m_docs, m_tmp, m_config;
    testutil::ScopedDriveTable m_drives;
};

// A second connection holding a shared (read) lock until Release, so that the commits
// of `busy` (on the same file) fail with SQLITE_BUSY meanwhile, after 50 ms.
class BusyReader {
public:
    BusyReader(CDBMng& busy, const std::string& path) {
        sqlite3_busy_timeout(busy.Handle(), 50);
        sqlite3_open(path.c_str(), &m_db);
        // A read in progress inside a transaction keeps the shared lock.
        sqlite3_exec(m_db, "begin;", nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(m_db, "select * from sqlite_master;", -1, &m_stmt, nullptr);
        EXPECT_EQ(SQLITE_ROW, sqlite3_step(m_stmt));
    }
    ~BusyReader() { Release(); }
    void Release() {
        if (!m_db) return;
        sqlite3_finalize(m_stmt);
        sqlite3_exec(m_db, "commit;", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

// The statements `call` runs on the manager, in order.
inline Strings StatementsOf(CDBMng& db, const std::function<void()>& call) {
    Strings seen;
    db.SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
    call();
    db.SetStatementObserver(nullptr);
    return seen;
}

// What the database layer reported (read it after the drain); the kind-4 and kind-5
// actions run the operations the service and the scanner run.
class RecordingSink : public IDbReportSink {
public:
    explicit RecordingSink(CDbFacade& db) : m_db(db) {}
    void OnFolderSaved(const CString& folder, int newFiles) override {
        saved.emplace_back(folder, newFiles);
    }
    void OnFolderStats(const CString& folder, const CMonthChangeMap& changes) override {
        for (const auto& [month, change] : changes) {
            stats[folder][month].first += change.first;
            stats[folder][month].second += change.second;
        }
    }
    void OnDriveDone(wchar_t letter) override {
        events.push_back("drive " + WideToUtf8(CString(1, letter)));
    }
    void OnNtfsPhaseDone() override { events.push_back("ntfs"); }
    void OnFolderWalkDone() override {
        m_db.CleanupStale();
        m_db.RefreshAll();
        m_db.PruneEmptyFolders();
        events.push_back("walk");
    }
    void RunScanFinishAction() override {
        m_db.RebuildAllMonths();
        events.push_back("finish");
    }
    void OnRunDone() override { events.push_back("run"); }

    std::vector<std::pair<CString, int>> saved;
    std::map<CString, CMonthChangeMap> stats;
    std::vector<std::string> events;  // "drive C", "ntfs", "walk", "finish", "run"

private:
    CDbFacade& m_db;
};

// A database layer object on a fresh file (drive C: only) reporting to a recording sink.
class FacadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.Initialize(Utf8ToWide(file.Path())));
        db.SetReportSink(&sink);
    }
    CDBMng& Mng() { return db.GetDbMng(); }
    int PathID(const CString& folder) { return db.GetPathDao().GetPathID(folder, true); }
    void StartRun(const wchar_t* when = L"2020-06-01 12:00:00") {  // a scan run's start
        db.SetConfig(L"BackSearchStartTime", when);
    }
    // Stores a file row in `folder` (created as needed); returns its id.
    int AddFile(const CString& folder, const CString& name, LONGLONG size, CTime snap,
                const CString& md5 = L"0", CTime search = CTime::GetCurrentTime()) {
        _tagFileInfo f;
        f.iPathID = PathID(folder);
        f.strFileName = name;
        f.iFileSize = size;
        f.tSnapTime = snap;
        f.tFileModify = snap;
        f.tFileSearch = search;
        f.strMD5 = md5;
        EXPECT_TRUE(db.GetFileDao().Insert(f));
        return f.iFileID;
    }

    ScopedMachine machine;
    TempDb file;
    CDbFacade db;
    RecordingSink sink{db};
};

// Every table of the schema.
inline void OpenWithSchema(CDBMng& db, const std::string& path) {
    ASSERT_EQ(0, db.Open(path.c_str()));
    // One transaction: the file is synced once rather than after every statement.
    CScopedTransaction txn(&db);
    for (const char* sql : schema::kCreateAll)
        db.Execute(sql);
}

// Every row of a query as "column|column|..." (SQL NULL as "NULL"), the rows separated
// by blanks.
inline std::string Rows(CDBMng& db, const std::string& sql) {
    std::string out;
    CSingleLock lock(&db.GetLock(), TRUE);
    int row = 0;
    for (CppSQLite3Query q = db.Query(sql.c_str()); !q.IsEnd(); q.Next(), ++row) {
        for (int i = 0; i < q.ColumnCount(); ++i) {
            const char* text = q.ColumnText(i);
            out += i ? "|" : row ? " " : "";
            out += text ? text : "NULL";
        }
    }
    return out;
}

// The first column of every row.
inline Strings Column(CDBMng& db, const std::string& sql) {
    Strings out;
    CSingleLock lock(&db.GetLock(), TRUE);
    for (CppSQLite3Query q = db.Query(sql.c_str()); !q.IsEnd(); q.Next()) {
        const char* text = q.ColumnText(0);
        out.push_back(text ? text : "NULL");
    }
    return out;
}

// count(*) of a table with a where clause.
inline int CountRows(CDBMng& db, const std::string& table, const std::string& where = "") {
    std::string sql = "select count(*) from " + table;
    if (!where.empty()) sql += " where " + where;
    return db.QueryScalar(sql.c_str());
}

}  // namespace dbtest
