#include "db/db_mng.h"

#include "db/schema.h"
#include "db/sql_texts.h"

CDBMng::CDBMng() : CppSQLite3DB(), CLongThread(1, 0) {}

CDBMng::~CDBMng() {
    Close();
}

void CDBMng::SetStatementObserver(std::function<void(const char*)> observer) {
    CSingleLock lock(&m_cs, TRUE);
    m_fnObserver = std::move(observer);
}

void CDBMng::Observe(const char* sql) {
    if (m_fnObserver) m_fnObserver(sql);
}

int CDBMng::Open(const char* path) {
    CSingleLock lock(&m_cs, TRUE);
    CppSQLite3DB::Open(path);
    for (const char* sql : schema::kOnOpen) {
        if (Execute(sql) < 0) return 1;
    }
    return 0;
}

bool CDBMng::IsOpen() {
    CSingleLock lock(&m_cs, TRUE);
    return CppSQLite3DB::IsOpen();
}

int CDBMng::Execute(const char* sql) {
    CSingleLock lock(&m_cs, TRUE);
    Observe(sql);
    return CppSQLite3DB::Execute(sql);
}

int CDBMng::ExecuteGetRowId(const char* sql, int& rowId) {
    CSingleLock lock(&m_cs, TRUE);
    Observe(sql);
    int changes = CppSQLite3DB::Execute(sql);
    rowId = static_cast<int>(LastRowId());
    return changes;
}

CppSQLite3Query CDBMng::Query(const char* sql) {
    CSingleLock lock(&m_cs, TRUE);
    Observe(sql);
    return CppSQLite3DB::Query(sql);
}

CppSQLite3Query CDBMng::QueryReadOnly(const char* sql) {
    CSingleLock lock(&m_cs, TRUE);
    Observe(sql);
    return CppSQLite3DB::QueryReadOnly(sql);
}

int CDBMng::QueryScalar(const char* sql) {
    CSingleLock lock(&m_cs, TRUE);
    Observe(sql);
    return CppSQLite3DB::QueryScalar(sql);
}

int CDBMng::BeginTransaction() {
    CSingleLock lock(&m_cs, TRUE);
    if (m_bInTransaction) return 1;
    try {
        int result = Execute(sqltext::kBeginTransaction);
        m_bInTransaction = 1;
        return result;
    } catch (const CppSQLite3Exception&) {
        return 0;
    }
}

int CDBMng::CommitTransaction() {
    CSingleLock lock(&m_cs, TRUE);
    if (!m_bInTransaction) return 1;
    try {
        int result = Execute(sqltext::kCommitTransaction);
        m_bInTransaction = 0;
        return result;
    } catch (const CppSQLite3Exception& e) {
        return e.ErrorCode();
    }
}

bool CDBMng::IsInTransaction() {
    CSingleLock lock(&m_cs, TRUE);
    return m_bInTransaction != 0;
}

bool CDBMng::BeginTransactionIfNone() {
    CSingleLock lock(&m_cs, TRUE);
    if (m_bInTransaction || !CppSQLite3DB::IsOpen()) return false;
    // The begin's own result is a change count, so the flag tells whether it worked.
    BeginTransaction();
    return m_bInTransaction != 0;
}

void CDBMng::Close() {
    constexpr int kCommitAttempts = 10;
    for (int attempt = 1; attempt <= kCommitAttempts; ++attempt) {
        {
            CSingleLock lock(&m_cs, TRUE);
            if (!m_bInTransaction || !CppSQLite3DB::IsOpen()) break;
            try {
                Execute(sqltext::kCommitTransaction);
                m_bInTransaction = 0;
                break;
            } catch (const CppSQLite3Exception&) {
            }
        }
        // The lock is left while waiting, so other threads' statements can finish.
        if (attempt < kCommitAttempts) Sleep(100);
    }
    CLongThread::Cancel(TRUE);
    CSingleLock lock(&m_cs, TRUE);
    CppSQLite3DB::Close();
    // Whatever was not committed is gone with the connection.
    m_bInTransaction = 0;
}

CScopedTransaction::CScopedTransaction(CDBMng* db) : m_pDB(db) {
    if (m_pDB) m_bBegan = m_pDB->BeginTransactionIfNone();
}

CScopedTransaction::~CScopedTransaction() {
    if (m_bBegan) m_pDB->CommitTransaction();
}
