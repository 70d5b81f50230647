#include "db_test_util.h"

#include "db/schema.h"

namespace dbtest {

ScopedMachine::ScopedMachine()
    : m_data("XDG_DATA_HOME", m_root.MakeDir("data")),
      m_docs("XDG_DOCUMENTS_DIR", m_root.MakeDir("docs")),
      m_tmp("TMPDIR", m_root.MakeDir("tmp")),
      m_config("XDG_CONFIG_HOME", m_root.MakeDir("config")),
      m_drives("C=" + m_root.path()) {}

void RecordingSink::OnFolderSaved(const CString& folder, int newFiles) {
    CSingleLock lock(&m_cs, TRUE);
    saved.emplace_back(folder, newFiles);
}

void RecordingSink::OnFolderStats(const CString& folder, const CMonthChangeMap& changes) {
    CSingleLock lock(&m_cs, TRUE);
    for (const auto& [month, change] : changes) {
        stats[folder][month].first += change.first;
        stats[folder][month].second += change.second;
    }
}

void RecordingSink::OnDriveDone(wchar_t letter) {
    CSingleLock lock(&m_cs, TRUE);
    events.push_back("drive " + WideToUtf8(CString(1, letter)));
}

void RecordingSink::OnNtfsPhaseDone() {
    CSingleLock lock(&m_cs, TRUE);
    events.push_back("ntfs");
}

void RecordingSink::OnFolderWalkDone() {
    m_db.CleanupStale();
    m_db.RefreshAll();
    m_db.PruneEmptyFolders();
    CSingleLock lock(&m_cs, TRUE);
    events.push_back("walk");
}

void RecordingSink::RunScanFinishAction() {
    m_db.RebuildAllMonths();
    CSingleLock lock(&m_cs, TRUE);
    events.push_back("finish");
}

void RecordingSink::OnRunDone() {
    CSingleLock lock(&m_cs, TRUE);
    events.push_back("run");
}

void FacadeTest::SetUp() {
    ASSERT_TRUE(db.Initialize(Utf8ToWide(file.Path())));
    db.SetReportSink(&sink);
}

int FacadeTest::AddFile(const CString& folder, const CString& name, LONGLONG size, CTime snap,
                        const CString& md5, CTime search) {
    _tagFileInfo f;
    f.iPathID = db.GetPathDao().GetPathID(folder, true);
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

std::vector<std::string> Column(CDBMng& db, const std::string& sql) {
    std::vector<std::string> out;
    CSingleLock lock(&db.GetLock(), TRUE);
    CppSQLite3Query q = db.Query(sql.c_str());
    while (!q.IsEnd()) {
        const char* text = q.ColumnText(0);
        out.push_back(text ? text : "NULL");
        q.Next();
    }
    return out;
}

std::string Scalar(CDBMng& db, const std::string& sql) {
    std::vector<std::string> col = Column(db, sql);
    return col.empty() ? "<none>" : col.front();
}

int CountRows(CDBMng& db, const std::string& table, const std::string& where) {
    std::string sql = "select count(*) from " + table;
    if (!where.empty()) sql += " where " + where;
    return db.QueryScalar(sql.c_str());
}

}  // namespace dbtest
