// A thin layer over the SQLite 3 C library: one connection (CppSQLite3DB), one
// prepared and stepped statement with its current row (CppSQLite3Query), and the one
// error type of the database layer (CppSQLite3Exception).
//
// Every SQLite failure becomes a thrown CppSQLite3Exception whose message reads
// "<code name>[<code>]: <detail>"; no operation returns an error code. Errors found by
// the wrapper itself carry code 1000 (CPPSQLITE_ERROR). Nothing here retries: SQLite's
// own busy handler waits up to the busy time-out (60000 ms) for a locked file.
//
// Not thread-safe and holds no lock: one connection and its queries are used by one
// thread at a time. The database manager (db_mng.h) derives from CppSQLite3DB and
// serialises every call with its own lock.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

// The one exception type of the database layer. Thrown and caught by value; a copy
// owns its own copy of the message (allocated by SQLite's formatter, freed with it).
class CppSQLite3Exception {
public:
    // Builds "<CodeName(code)>[<code>]: <detail>"; a null detail reads as "".
    CppSQLite3Exception(int code, const char* detail);
    CppSQLite3Exception(const CppSQLite3Exception& other);
    CppSQLite3Exception& operator=(const CppSQLite3Exception& other);
    virtual ~CppSQLite3Exception();

    int ErrorCode() const { return m_nCode; }
    // The full message; may be null when SQLite could not allocate it.
    const char* ErrorMessage() const { return m_pszMessage; }

    // The name of an SQLite result code ("SQLITE_BUSY"), "CPPSQLITE_ERROR" for 1000,
    // "UNKNOWN_ERROR" for anything else.
    static const char* CodeName(int code);

private:
    int m_nCode;
    char* m_pszMessage;
};

// The code of errors detected by the wrapper itself.
constexpr int CPPSQLITE_ERROR = 1000;

// One prepared statement and its current row. Made by CppSQLite3DB::Query, movable
// only. Column texts returned by the accessors live until the next step or finalize.
class CppSQLite3Query {
public:
    CppSQLite3Query() = default;
    CppSQLite3Query(sqlite3* db, sqlite3_stmt* stmt, bool atEnd, bool ownsStatement = true);
    CppSQLite3Query(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query& operator=(CppSQLite3Query&& other) noexcept;
    CppSQLite3Query(const CppSQLite3Query&) = delete;
    CppSQLite3Query& operator=(const CppSQLite3Query&) = delete;
    // Finalizes an owned statement; errors are swallowed here.
    virtual ~CppSQLite3Query();

    int ColumnCount() const;
    // First column whose name equals `name` byte for byte (case-sensitive).
    int ColumnIndex(const char* name) const;
    // SQLite's fundamental type of the column in the current row (SQLITE_NULL = 5).
    int ColumnType(int index) const;
    // The column as UTF-8 text; null for SQL NULL.
    const char* ColumnText(int index) const;
    // The column as a 32-bit integer (SQLite's conversion; SQL NULL reads as 0).
    int ColumnInt(int index) const;
    // By column name, with `nullValue` returned for SQL NULL.
    const char* GetText(const char* name, const char* nullValue) const;
    int GetInt(const char* name, int nullValue) const;

    bool IsEnd() const;
    // Steps to the next row; on failure the statement is finalized and forgotten.
    void Next();
    // Finalizes an owned statement (a failure throws); otherwise does nothing.
    void Finalize();

private:
    void CheckStatement() const;
    void CheckIndex(int index) const;

    sqlite3* m_pDB = nullptr;
    sqlite3_stmt* m_pStmt = nullptr;
    bool m_bEof = true;
    int m_nCols = 0;
    bool m_bOwnStmt = false;
    // The column names, copied on the first lookup by name.
    mutable std::vector<std::string> m_names;
    mutable std::vector<bool> m_hasName;
};

// One connection. Closed at construction; Open makes it usable.
class CppSQLite3DB {
public:
    CppSQLite3DB();
    // Closes the connection when one is held.
    virtual ~CppSQLite3DB();
    CppSQLite3DB(const CppSQLite3DB&) = delete;
    CppSQLite3DB& operator=(const CppSQLite3DB&) = delete;

    // `path` is in the system's ANSI code page; it is opened as UTF-8. A null path does
    // nothing. On success the busy time-out is set; on failure the connection stays
    // closed and the exception carries SQLite's code and text.
    void Open(const char* path);
    // Forgets the connection; statements not yet finalized keep it alive until they are.
    void Close();
    bool IsOpen() const { return m_pDB != nullptr; }

    // Runs one or more statements; returns the rows changed by the last data-changing one.
    int Execute(const char* sql);
    // Prepares and steps once: the query is at end or holds the first row.
    CppSQLite3Query Query(const char* sql);
    // As Query, for exactly one statement that cannot change the database; anything else
    // (a write, a second statement, an empty text) throws code 1000 without running.
    CppSQLite3Query QueryReadOnly(const char* sql);
    // The first column of the first row read as a decimal integer (count(*) queries).
    int QueryScalar(const char* sql);
    // The row id of the last successful insert on this connection (0 when closed).
    sqlite3_int64 LastRowId() const;

    // The raw handle, for diagnostics and comparison benchmarks; null while closed.
    sqlite3* Handle() const { return m_pDB; }

protected:
    sqlite3_stmt* Prepare(const char* sql);
    void CheckDB() const;

    sqlite3* m_pDB;
    int m_nBusyTimeoutMs;
};
