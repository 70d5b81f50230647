// CDBMng: the one database connection of the process, shared by every thread.
//
// One recursive lock serialises every statement and every change of the transaction
// flag; it is held for the whole of each Execute, ExecuteGetRowId, Query and
// QueryScalar. Statement failures are thrown as CppSQLite3Exception and pass to the
// caller, except in BeginTransaction and CommitTransaction, which catch them and
// report through their result, and Close, which retries its commit.
//
// One transaction flag lets many writes share a transaction: whoever begins it
// commits it, and statements that other threads run meanwhile are part of it.
//
// Lock order: a lock of a data-access object, cache, filter set or history may be held
// while this lock is taken, never the reverse. A query returned by Query holds a
// statement of the shared connection; callers that step it through several rows hold
// GetLock() for the whole read so that no other thread's statement interleaves.
//
// The CLongThread base (one thread, priority 0) is never started; it is cancelled
// when the manager closes.
#pragma once

#include <functional>

#include "db/cppsqlite3.h"
#include "picdex/long_thread.h"
#include "picdex/sync.h"

class CDBMng : public CppSQLite3DB, public CLongThread {
public:
    CDBMng();
    ~CDBMng() override;

    // Opens the file and runs the two tb_config_info statements. 0 when done, 1 when
    // one of them reports a negative count; exceptions leave the call.
    int Open(const char* path);
    // Whether a connection is held.
    bool IsOpen();

    int Execute(const char* sql);
    // Also reads the last inserted row id under the same lock (0 without a handle).
    int ExecuteGetRowId(const char* sql, int& rowId);
    CppSQLite3Query Query(const char* sql);
    // Query for one read-only statement only (see CppSQLite3DB::QueryReadOnly).
    CppSQLite3Query QueryReadOnly(const char* sql);
    int QueryScalar(const char* sql);

    // 1 when a transaction is open afterwards (already, or begun now); 0 when the begin
    // failed (the flag stays clear).
    int BeginTransaction();
    // 1 when no transaction was open; else the result of the commit, or the code of
    // the error when it failed (the flag then stays set, so a later commit retries).
    int CommitTransaction();
    bool IsInTransaction();
    // Begins a transaction when none is open, in one step under the lock; true when
    // this call began it (the caller then commits it).
    bool BeginTransactionIfNone();

    // Commits an open transaction (up to 10 attempts, 100 ms apart), cancels the thread
    // base and closes the connection. Safe to call more than once.
    void Close();

    // The lock around every statement, for reads that step through several rows.
    CCriticalSection& GetLock() { return m_cs; }

    // Called with the text of every statement run through this manager, under its
    // lock, before the statement runs (diagnostics and tests). Must not call back in.
    void SetStatementObserver(std::function<void(const char*)> observer);

private:
    void Observe(const char* sql);

    CCriticalSection m_cs;
    LONG m_bInTransaction = 0;
    std::function<void(const char*)> m_fnObserver;
};

// Begins a transaction unless one is open and commits it at the end of the scope when
// it began it (also when an exception passes), so nested uses share the outermost
// transaction. A null or closed manager makes it do nothing.
class CScopedTransaction {
public:
    explicit CScopedTransaction(CDBMng* db);
    ~CScopedTransaction();
    CScopedTransaction(const CScopedTransaction&) = delete;
    CScopedTransaction& operator=(const CScopedTransaction&) = delete;

    bool Began() const { return m_bBegan; }

private:
    CDBMng* m_pDB;
    bool m_bBegan = false;
};
