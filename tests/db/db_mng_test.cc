// The database manager: the shared transaction flag, the catch rules of begin and
// commit, the scoped transaction, and the commit attempts of Close, on real files
// (a second connection holding a read lock makes commits fail with SQLITE_BUSY).
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "db_test_util.h"

namespace {

using dbtest::CountRows;

// A second connection to the same file that holds a shared (read) lock while alive,
// so that the first connection cannot commit a write.
class Reader {
public:
    explicit Reader(const std::string& path) {
        sqlite3_open(path.c_str(), &m_db);
        sqlite3_exec(m_db, "begin; select count(*) from tb_config_info;", nullptr, nullptr,
                     nullptr);
        // A statement in progress keeps the shared lock.
        sqlite3_prepare_v2(m_db, "select * from tb_config_info;", -1, &m_stmt, nullptr);
        sqlite3_step(m_stmt);
    }
    ~Reader() { Release(); }
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

class DbMngTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, db.Open(file.Path().c_str()));
        db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('a','1');");
    }
    // Lets commits fail quickly instead of waiting the 60 s busy time-out.
    void ShortBusyTimeout() { sqlite3_busy_timeout(db.Handle(), 50); }

    dbtest::TempDb file;
    CDBMng db;
};

TEST_F(DbMngTest, TransactionFlagFollowsBeginAndCommit) {
    EXPECT_FALSE(db.IsInTransaction());
    EXPECT_EQ(1, db.CommitTransaction());  // nothing open
    db.BeginTransaction();
    EXPECT_TRUE(db.IsInTransaction());
    EXPECT_EQ(1, db.BeginTransaction());  // already open
    db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('b','2');");
    db.CommitTransaction();
    EXPECT_FALSE(db.IsInTransaction());

    // A begin that fails (a transaction opened behind the manager's back) is caught.
    db.Execute("begin;");
    EXPECT_EQ(0, db.BeginTransaction());
    EXPECT_FALSE(db.IsInTransaction());
    db.Execute("commit;");
}

TEST_F(DbMngTest, FailedCommitKeepsTheFlagAndALaterCommitSucceeds) {
    ShortBusyTimeout();
    db.BeginTransaction();
    db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('b','2');");
    Reader reader(file.Path());
    EXPECT_EQ(SQLITE_BUSY, db.CommitTransaction());
    EXPECT_TRUE(db.IsInTransaction());
    reader.Release();
    db.CommitTransaction();
    EXPECT_FALSE(db.IsInTransaction());

    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ(2, CountRows(check, "tb_config_info"));
}

TEST_F(DbMngTest, ScopedTransactionsNestAndCommitOnTheWayOut) {
    {
        CScopedTransaction outer(&db);
        EXPECT_TRUE(outer.Began());
        {
            CScopedTransaction inner(&db);
            EXPECT_FALSE(inner.Began());
        }
        EXPECT_TRUE(db.IsInTransaction());
    }
    EXPECT_FALSE(db.IsInTransaction());

    // An exception passing through still commits what ran before it.
    try {
        CScopedTransaction txn(&db);
        db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('c','3');");
        db.Execute("no such statement;");
    } catch (const CppSQLite3Exception&) {
    }
    EXPECT_FALSE(db.IsInTransaction());
    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ(2, CountRows(check, "tb_config_info"));

    CScopedTransaction none(nullptr);
    EXPECT_FALSE(none.Began());
}

TEST_F(DbMngTest, CloseCommitsAnOpenTransaction) {
    db.BeginTransaction();
    db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('b','2');");
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_FALSE(db.IsInTransaction());
    EXPECT_THROW(db.Execute("select 1;"), CppSQLite3Exception);
    db.Close();  // a second close does nothing

    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ(2, CountRows(check, "tb_config_info"));
}

TEST_F(DbMngTest, CloseRetriesTheCommitWhileTheFileIsBusy) {
    ShortBusyTimeout();
    db.BeginTransaction();
    db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('b','2');");
    auto reader = std::make_unique<Reader>(file.Path());
    std::atomic<int> commits{0};
    db.SetStatementObserver([&](const char* sql) {
        if (std::string(sql) == "commit transaction;") commits.fetch_add(1);
    });
    // The reader lets go once Close has failed at least twice.
    std::thread releaser([&] {
        testutil::WaitUntil([&] { return commits.load() >= 2; });
        reader->Release();
    });
    db.Close();
    releaser.join();
    EXPECT_GE(commits.load(), 2);
    EXPECT_LE(commits.load(), 10);

    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ(2, CountRows(check, "tb_config_info"));
}

TEST_F(DbMngTest, CloseGivesUpAfterTenAttempts) {
    ShortBusyTimeout();
    db.BeginTransaction();
    db.Execute("Replace into tb_config_info(strCfgKey, strCfgValue) values('b','2');");
    Reader reader(file.Path());
    int commits = 0;
    db.SetStatementObserver([&](const char* sql) {
        if (std::string(sql) == "commit transaction;") ++commits;
    });
    db.Close();
    EXPECT_EQ(10, commits);
    EXPECT_FALSE(db.IsOpen());
    reader.Release();

    // The uncommitted write is gone; the row written before the transaction stays.
    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ(1, CountRows(check, "tb_config_info"));
}

TEST_F(DbMngTest, QueryOutlivingCloseIsStillSafeToRead) {
    CppSQLite3Query q = db.Query("select strCfgKey from tb_config_info;");
    db.Close();
    ASSERT_FALSE(q.IsEnd());
    EXPECT_STREQ("a", q.ColumnText(0));
    q.Next();
    EXPECT_TRUE(q.IsEnd());
}

}  // namespace
