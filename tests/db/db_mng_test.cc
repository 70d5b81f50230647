// The database manager: the shared transaction flag, the catch rules of begin and
// commit, the scoped transaction, and the commit attempts of Close, on real files
// (a second connection holding a read lock makes commits fail with SQLITE_BUSY).
#include <gtest/gtest.h>

#include <functional>

#include "db_test_util.h"

namespace {

// A manager on a fresh file holding one committed row.
struct Connection {
    Connection() {
        EXPECT_EQ(0, db.Open(file.Path().c_str()));
        Write("a");
    }
    void Write(const std::string& key) {
        db.Execute(
            ("Replace into tb_config_info(strCfgKey, strCfgValue) values('" + key + "','1');")
                .c_str());
    }
    // The rows another connection sees: what was committed.
    int Committed() {
        CDBMng check;
        check.Open(file.Path().c_str());
        return dbtest::CountRows(check, "tb_config_info");
    }
    // Counts the manager's commits; `onCommit` runs before each (with its number).
    void CountCommits(std::function<void(int)> onCommit = nullptr) {
        db.SetStatementObserver([this, onCommit](const char* sql) {
            if (std::string(sql) != "commit transaction;") return;
            ++commits;
            if (onCommit) onCommit(commits);
        });
    }

    dbtest::TempDb file;
    CDBMng db;
    int commits = 0;
};

class DbMngTest : public ::testing::Test, protected Connection {};

TEST_F(DbMngTest, TransactionFlagFollowsBeginAndCommit) {
    EXPECT_FALSE(db.IsInTransaction());
    EXPECT_EQ(1, db.CommitTransaction());  // nothing open
    db.BeginTransaction();
    EXPECT_TRUE(db.IsInTransaction());
    EXPECT_EQ(1, db.BeginTransaction());  // already open
    Write("b");
    db.CommitTransaction();
    EXPECT_FALSE(db.IsInTransaction());

    // A begin that fails (a transaction opened behind the manager's back) is caught.
    db.Execute("begin;");
    EXPECT_EQ(0, db.BeginTransaction());
    EXPECT_FALSE(db.IsInTransaction());
    db.Execute("commit;");

    // A commit that fails is caught and keeps the flag, so a later commit tries again.
    dbtest::ShortBusyTimeout(db);
    db.BeginTransaction();
    Write("c");
    dbtest::BusyReader reader(file.Path());
    EXPECT_EQ(SQLITE_BUSY, db.CommitTransaction());
    EXPECT_TRUE(db.IsInTransaction());
    reader.Release();
    db.CommitTransaction();
    EXPECT_FALSE(db.IsInTransaction());
    EXPECT_EQ(3, Committed());
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
        Write("b");
        db.Execute("no such statement;");
    } catch (const CppSQLite3Exception&) {
    }
    EXPECT_FALSE(db.IsInTransaction());
    EXPECT_EQ(2, Committed());

    CScopedTransaction none(nullptr);
    EXPECT_FALSE(none.Began());
}

// Close tries the commit up to ten times while the file is busy; what it could not
// commit is gone, the rows written before the transaction stay.
TEST(DbMngCloseTest, RetriesTheCommitTenTimesWhileTheFileIsBusy) {
    for (int freeAt : {3, 0}) {
        Connection t;
        dbtest::ShortBusyTimeout(t.db);
        t.db.BeginTransaction();
        t.Write("b");
        dbtest::BusyReader reader(t.file.Path());
        t.CountCommits([&](int n) {
            if (n == freeAt) reader.Release();
        });
        t.db.Close();
        EXPECT_EQ(freeAt ? freeAt : 10, t.commits);
        EXPECT_FALSE(t.db.IsOpen() || t.db.IsInTransaction());
        EXPECT_THROW(t.db.Execute("select 1;"), CppSQLite3Exception);
        t.db.Close();  // a second close does nothing
        EXPECT_EQ(freeAt ? freeAt : 10, t.commits);
        reader.Release();
        EXPECT_EQ(freeAt ? 2 : 1, t.Committed());
    }
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
