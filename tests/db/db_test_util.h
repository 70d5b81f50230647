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
    BusyReader(CDBMng& busy, const std::string& path);
    ~BusyReader() { Release(); }
    void Release();

private:
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

// The statements `call` runs on the manager, in order.
Strings StatementsOf(CDBMng& db, const std::function<void()>& call);

// What the database layer reported (read it after the drain); the kind-4 and kind-5
// actions run the operations the service and the scanner run.
class RecordingSink : public IDbReportSink {
public:
    explicit RecordingSink(CDbFacade& db) : m_db(db) {}
    void OnFolderSaved(const CString& folder, int newFiles) override {
        saved.emplace_back(folder, newFiles);
    }
    void OnFolderStats(const CString& folder, const CMonthChangeMap& changes) override;
    void OnDriveDone(wchar_t letter) override {
        events.push_back("drive " + WideToUtf8(CString(1, letter)));
    }
    void OnNtfsPhaseDone() override { events.push_back("ntfs"); }
    void OnFolderWalkDone() override;
    void RunScanFinishAction() override;
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
    void SetUp() override;
    CDBMng& Mng() { return db.GetDbMng(); }
    int PathID(const CString& folder) { return db.GetPathDao().GetPathID(folder, true); }
    void StartRun(const wchar_t* when = L"2020-06-01 12:00:00") {  // a scan run's start
        db.SetConfig(L"BackSearchStartTime", when);
    }
    // Stores a file row in `folder` (created as needed); returns its id.
    int AddFile(const CString& folder, const CString& name, LONGLONG size, CTime snap,
                const CString& md5 = L"0", CTime search = CTime::GetCurrentTime());

    ScopedMachine machine;
    TempDb file;
    CDbFacade db;
    RecordingSink sink{db};
};

void OpenWithSchema(CDBMng& db, const std::string& path);  // every table of the schema
// Every row of a query as "column|column|..." (SQL NULL as "NULL"), the rows separated
// by blanks; the first column of every row; and count(*) of a table with a where clause.
std::string Rows(CDBMng& db, const std::string& sql);
Strings Column(CDBMng& db, const std::string& sql);
int CountRows(CDBMng& db, const std::string& table, const std::string& where = "");

}  // namespace dbtest
