#include "db_test_util.h"

#include "db/schema.h"

namespace dbtest {

ScopedMachine::ScopedMachine()
    : m_data("XDG_DATA_HOME", m_root.MakeDir("data")),
      m_docs("XDG_DOCUMENTS_DIR", m_root.MakeDir("docs")),
      m_tmp("TMPDIR", m_root.MakeDir("tmp")),
      m_config("XDG_CONFIG_HOME", m_root.MakeDir("config")),
      m_drives("C=" + m_root.path()) {}

BusyReader::BusyReader(CDBMng& busy, const std::string& path) {
    sqlite3_busy_timeout(busy.Handle(), 50);
    sqlite3_open(path.c_str(), &m_db);
    // A read in progress inside a transaction keeps the shared lock.
    sqlite3_exec(m_db, "begin;", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(m_db, "select * from sqlite_master;", -1, &m_stmt, nullptr);
    EXPECT_EQ(SQLITE_ROW, sqlite3_step(m_stmt));
}

void BusyReader::Release() {
    if (!m_db) return;
    sqlite3_finalize(m_stmt);
    sqlite3_exec(m_db, "commit;", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
    m_db = nullptr;
}

Strings StatementsOf(CDBMng& db, const std::function<void()>& call) {
    Strings seen;
    db.SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
    call();
    db.SetStatementObserver(nullptr);
    return seen;
}

void RecordingSink::OnFolderStats(const CString& folder, const CMonthChangeMap& changes) {
    for (const auto& [month, change] : changes) {
        stats[folder][month].first += change.first;
        stats[folder][month].second += change.second;
    }
}

void RecordingSink::OnFolderWalkDone() {
    m_db.CleanupStale();
    m_db.RefreshAll();
    m_db.PruneEmptyFolders();
    events.push_back("walk");
}

void RecordingSink::RunScanFinishAction() {
    m_db.RebuildAllMonths();
    events.push_back("finish");
}

void FacadeTest::SetUp() {
    ASSERT_TRUE(db.Initialize(Utf8ToWide(file.Path())));
    db.SetReportSink(&sink);
}

int FacadeTest::AddFile(const CString& folder, const CString& name, LONGLONG size, CTime snap,
                        const CString& md5, CTime search) {
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

void OpenWithSchema(CDBMng& db, const std::string& path) {
    ASSERT_EQ(0, db.Open(path.c_str()));
    // One transaction: the file is synced once rather than after every statement.
    CScopedTransaction txn(&db);
    for (const char* sql : schema::kCreateAll)
        db.Execute(sql);
}

std::string Rows(CDBMng& db, const std::string& sql) {
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

Strings Column(CDBMng& db, const std::string& sql) {
    Strings out;
    CSingleLock lock(&db.GetLock(), TRUE);
    for (CppSQLite3Query q = db.Query(sql.c_str()); !q.IsEnd(); q.Next()) {
        const char* text = q.ColumnText(0);
        out.push_back(text ? text : "NULL");
    }
    return out;
}

int CountRows(CDBMng& db, const std::string& table, const std::string& where) {
    std::string sql = "select count(*) from " + table;
    if (!where.empty()) sql += " where " + where;
    return db.QueryScalar(sql.c_str());
}

}  // namespace dbtest
