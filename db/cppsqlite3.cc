#include "db/cppsqlite3.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "db/text_codec.h"

namespace {

constexpr int kDefaultBusyTimeoutMs = 60000;

const char kDatabaseNotOpen[] = "Database not open";
const char kNullVm[] = "Null Virtual Machine pointer";
const char kBadFieldIndex[] = "Invalid field index requested";
const char kBadFieldName[] = "Invalid field name requested";
const char kBadScalar[] = "Invalid scalar query";
const char kNotReadOnly[] = "Not a single read-only statement";

}  // namespace

// ---------------------------------------------------------------- exception

CppSQLite3Exception::CppSQLite3Exception(int code, const char* detail)
    : m_nCode(code),
      m_pszMessage(sqlite3_mprintf("%s[%d]: %s", CodeName(code), code, detail ? detail : "")) {}

CppSQLite3Exception::CppSQLite3Exception(const CppSQLite3Exception& other)
    : m_nCode(other.m_nCode),
      m_pszMessage(other.m_pszMessage ? sqlite3_mprintf("%s", other.m_pszMessage) : nullptr) {}

CppSQLite3Exception& CppSQLite3Exception::operator=(const CppSQLite3Exception& other) {
    if (this != &other) {
        char* copy = other.m_pszMessage ? sqlite3_mprintf("%s", other.m_pszMessage) : nullptr;
        sqlite3_free(m_pszMessage);
        m_pszMessage = copy;
        m_nCode = other.m_nCode;
    }
    return *this;
}

CppSQLite3Exception::~CppSQLite3Exception() {
    sqlite3_free(m_pszMessage);
    m_pszMessage = nullptr;
}

const char* CppSQLite3Exception::CodeName(int code) {
    switch (code) {
        case SQLITE_OK:
            return "SQLITE_OK";
        case SQLITE_ERROR:
            return "SQLITE_ERROR";
        case SQLITE_INTERNAL:
            return "SQLITE_INTERNAL";
        case SQLITE_PERM:
            return "SQLITE_PERM";
        case SQLITE_ABORT:
            return "SQLITE_ABORT";
        case SQLITE_BUSY:
            return "SQLITE_BUSY";
        case SQLITE_LOCKED:
            return "SQLITE_LOCKED";
        case SQLITE_NOMEM:
            return "SQLITE_NOMEM";
        case SQLITE_READONLY:
            return "SQLITE_READONLY";
        case SQLITE_INTERRUPT:
            return "SQLITE_INTERRUPT";
        case SQLITE_IOERR:
            return "SQLITE_IOERR";
        case SQLITE_CORRUPT:
            return "SQLITE_CORRUPT";
        case SQLITE_NOTFOUND:
            return "SQLITE_NOTFOUND";
        case SQLITE_FULL:
            return "SQLITE_FULL";
        case SQLITE_CANTOPEN:
            return "SQLITE_CANTOPEN";
        case SQLITE_PROTOCOL:
            return "SQLITE_PROTOCOL";
        case SQLITE_EMPTY:
            return "SQLITE_EMPTY";
        case SQLITE_SCHEMA:
            return "SQLITE_SCHEMA";
        case SQLITE_TOOBIG:
            return "SQLITE_TOOBIG";
        case SQLITE_CONSTRAINT:
            return "SQLITE_CONSTRAINT";
        case SQLITE_MISMATCH:
            return "SQLITE_MISMATCH";
        case SQLITE_MISUSE:
            return "SQLITE_MISUSE";
        case SQLITE_NOLFS:
            return "SQLITE_NOLFS";
        case SQLITE_AUTH:
            return "SQLITE_AUTH";
        case SQLITE_FORMAT:
            return "SQLITE_FORMAT";
        case SQLITE_RANGE:
            return "SQLITE_RANGE";
        case SQLITE_ROW:
            return "SQLITE_ROW";
        case SQLITE_DONE:
            return "SQLITE_DONE";
        case CPPSQLITE_ERROR:
            return "CPPSQLITE_ERROR";
        default:
            return "UNKNOWN_ERROR";
    }
}

// ---------------------------------------------------------------- query

CppSQLite3Query::CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool atEnd, bool ownsStatement)
    : m_pDB(db),
      m_pStmt(stmt),
      m_bEof(atEnd),
      m_nCols(stmt ? sqlite3_column_count(stmt) : 0),
      m_bOwnStmt(ownsStatement) {}

CppSQLite3Query::CppSQLite3Query(CppSQLite3Query&& other) noexcept
    : m_pDB(std::exchange(other.m_pDB, nullptr)),
      m_pStmt(std::exchange(other.m_pStmt, nullptr)),
      m_bEof(std::exchange(other.m_bEof, true)),
      m_nCols(std::exchange(other.m_nCols, 0)),
      m_bOwnStmt(std::exchange(other.m_bOwnStmt, false)),
      m_names(std::move(other.m_names)),
      m_hasName(std::move(other.m_hasName)) {
    other.m_names.clear();
    other.m_hasName.clear();
}

CppSQLite3Query& CppSQLite3Query::operator=(CppSQLite3Query&& other) noexcept {
    if (this != &other) {
        try {
            Finalize();
        } catch (const CppSQLite3Exception&) {
        }
        m_pDB = std::exchange(other.m_pDB, nullptr);
        m_pStmt = std::exchange(other.m_pStmt, nullptr);
        m_bEof = std::exchange(other.m_bEof, true);
        m_nCols = std::exchange(other.m_nCols, 0);
        m_bOwnStmt = std::exchange(other.m_bOwnStmt, false);
        m_names = std::move(other.m_names);
        m_hasName = std::move(other.m_hasName);
        other.m_names.clear();
        other.m_hasName.clear();
    }
    return *this;
}

CppSQLite3Query::~CppSQLite3Query() {
    try {
        Finalize();
    } catch (const CppSQLite3Exception&) {
    }
}

void CppSQLite3Query::CheckStatement() const {
    if (!m_pStmt) throw CppSQLite3Exception(CPPSQLITE_ERROR, kNullVm);
}

void CppSQLite3Query::CheckIndex(int index) const {
    CheckStatement();
    if (index < 0 || index > m_nCols - 1)
        throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldIndex);
}

int CppSQLite3Query::ColumnCount() const {
    CheckStatement();
    return m_nCols;
}

int CppSQLite3Query::ColumnIndex(const char* name) const {
    CheckStatement();
    if (name) {
        // A statement's column names never change, and readers ask for the same names
        // on every row: they are copied once, so that a lookup takes neither the
        // connection's mutex nor a call into SQLite per column.
        if (m_names.empty() && m_nCols > 0) {
            m_names.reserve(size_t(m_nCols));
            for (int i = 0; i < m_nCols; ++i) {
                const char* col = sqlite3_column_name(m_pStmt, i);
                m_names.emplace_back(col ? col : "");
                m_hasName.push_back(col != nullptr);
            }
        }
        for (int i = 0; i < m_nCols; ++i) {
            if (m_hasName[size_t(i)] && m_names[size_t(i)] == name) return i;
        }
    }
    throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadFieldName);
}

int CppSQLite3Query::ColumnType(int index) const {
    CheckIndex(index);
    return sqlite3_column_type(m_pStmt, index);
}

const char* CppSQLite3Query::ColumnText(int index) const {
    CheckIndex(index);
    return reinterpret_cast<const char*>(sqlite3_column_text(m_pStmt, index));
}

int CppSQLite3Query::ColumnInt(int index) const {
    CheckIndex(index);
    return sqlite3_column_int(m_pStmt, index);
}

const char* CppSQLite3Query::GetText(const char* name, const char* nullValue) const {
    int index = ColumnIndex(name);
    if (ColumnType(index) == SQLITE_NULL) return nullValue;
    return ColumnText(index);
}

int CppSQLite3Query::GetInt(const char* name, int nullValue) const {
    int index = ColumnIndex(name);
    if (ColumnType(index) == SQLITE_NULL) return nullValue;
    return sqlite3_column_int(m_pStmt, index);
}

bool CppSQLite3Query::IsEnd() const {
    CheckStatement();
    return m_bEof;
}

void CppSQLite3Query::Next() {
    CheckStatement();
    int rc = sqlite3_step(m_pStmt);
    if (rc == SQLITE_DONE) {
        m_bEof = true;
    } else if (rc == SQLITE_ROW) {
        m_bEof = false;
    } else {
        rc = sqlite3_finalize(m_pStmt);
        m_pStmt = nullptr;
        m_bEof = true;
        throw CppSQLite3Exception(rc, m_pDB ? sqlite3_errmsg(m_pDB) : "");
    }
}

void CppSQLite3Query::Finalize() {
    if (m_pStmt && m_bOwnStmt) {
        int rc = sqlite3_finalize(m_pStmt);
        m_pStmt = nullptr;
        if (rc != SQLITE_OK) throw CppSQLite3Exception(rc, m_pDB ? sqlite3_errmsg(m_pDB) : "");
    }
}

// ---------------------------------------------------------------- connection

CppSQLite3DB::CppSQLite3DB() : m_pDB(nullptr), m_nBusyTimeoutMs(kDefaultBusyTimeoutMs) {}

CppSQLite3DB::~CppSQLite3DB() {
    Close();
}

void CppSQLite3DB::Open(const char* path) {
    if (!path) return;
    // Reopening replaces the connection held so far.
    Close();
    std::string utf8 = AnsiToUtf8(path);
    sqlite3* db = nullptr;
    int rc = sqlite3_open(utf8.c_str(), &db);
    if (rc != SQLITE_OK) {
        // SQLite hands out a connection even when opening fails; its text is the detail.
        std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close(db);
        throw CppSQLite3Exception(rc, detail.c_str());
    }
    m_pDB = db;
    sqlite3_busy_timeout(m_pDB, m_nBusyTimeoutMs);
}

void CppSQLite3DB::Close() {
    if (m_pDB) {
        // A query handed out earlier may still hold a statement; close_v2 lets the
        // connection go once that statement is finalized instead of failing with BUSY
        // and leaking the handle.
        sqlite3_close_v2(m_pDB);
        m_pDB = nullptr;
    }
}

void CppSQLite3DB::CheckDB() const {
    if (!m_pDB) throw CppSQLite3Exception(CPPSQLITE_ERROR, kDatabaseNotOpen);
}

int CppSQLite3DB::Execute(const char* sql) {
    CheckDB();
    char* error = nullptr;
    int rc = sqlite3_exec(m_pDB, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::string detail = error ? error : "";
        sqlite3_free(error);
        throw CppSQLite3Exception(rc, detail.c_str());
    }
    return sqlite3_changes(m_pDB);
}

sqlite3_stmt* CppSQLite3DB::Prepare(const char* sql) {
    CheckDB();
    sqlite3_stmt* stmt = nullptr;
    // The original interface: a failed step reports a generic error, and the precise
    // code and text come from the finalize that follows it (see Query and Next).
    int rc = sqlite3_prepare(m_pDB, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw CppSQLite3Exception(rc, "");
    }
    return stmt;
}

CppSQLite3Query CppSQLite3DB::Query(const char* sql) {
    CheckDB();
    sqlite3_stmt* stmt = Prepare(sql);
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return CppSQLite3Query(m_pDB, stmt, true);
    if (rc == SQLITE_ROW) return CppSQLite3Query(m_pDB, stmt, false);
    rc = sqlite3_finalize(stmt);
    throw CppSQLite3Exception(rc, sqlite3_errmsg(m_pDB));
}

CppSQLite3Query CppSQLite3DB::QueryReadOnly(const char* sql) {
    CheckDB();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare(m_pDB, sql, -1, &stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw CppSQLite3Exception(rc, "");
    }
    // Only blanks and semicolons may follow the statement: a second statement is never
    // run, and its presence means the text is not what its builder meant to write.
    bool onlyOne = true;
    for (const char* p = tail; p && *p; ++p) {
        if (*p != ';' && !std::isspace(static_cast<unsigned char>(*p))) onlyOne = false;
    }
    if (!stmt || !onlyOne || !sqlite3_stmt_readonly(stmt)) {
        sqlite3_finalize(stmt);
        throw CppSQLite3Exception(CPPSQLITE_ERROR, kNotReadOnly);
    }
    rc = sqlite3_step(stmt);
    if (rc == SQLITE_DONE) return CppSQLite3Query(m_pDB, stmt, true);
    if (rc == SQLITE_ROW) return CppSQLite3Query(m_pDB, stmt, false);
    rc = sqlite3_finalize(stmt);
    throw CppSQLite3Exception(rc, sqlite3_errmsg(m_pDB));
}

int CppSQLite3DB::QueryScalar(const char* sql) {
    CppSQLite3Query q = Query(sql);
    if (q.IsEnd() || q.ColumnCount() < 1) throw CppSQLite3Exception(CPPSQLITE_ERROR, kBadScalar);
    // A NULL first column reads as 0, like a text without digits.
    const char* text = q.ColumnText(0);
    int value = text ? std::atoi(text) : 0;
    q.Finalize();
    return value;
}

sqlite3_int64 CppSQLite3DB::LastRowId() const {
    return m_pDB ? sqlite3_last_insert_rowid(m_pDB) : 0;
}
