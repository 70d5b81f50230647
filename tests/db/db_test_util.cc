#include "db_test_util.h"

#include "db/schema.h"

namespace dbtest {

ScopedMachine::ScopedMachine()
    : m_data("XDG_DATA_HOME", m_root.MakeDir("data")),
      m_docs("XDG_DOCUMENTS_DIR", m_root.MakeDir("docs")),
      m_tmp("TMPDIR", m_root.MakeDir("tmp")),
      m_config("XDG_CONFIG_HOME", m_root.MakeDir("config")),
      m_drives("C=" + m_root.path()) {}

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
