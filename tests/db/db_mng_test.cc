// The database manager: the shared transaction flag, the catch rules of begin and
// commit, the scoped transaction, and the commit attempts of Close, on real files (a
// second connection holding a read lock makes commits fail with SQLITE_BUSY).
#include <gtest/gtest.h>

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
    int Committed() {  // the rows another connection sees
        CDBMng check;
        check.Open(file.Path().c_str());
        return dbtest::CountRows(check, "tb_config_info");
    }

    dbtest::TempDb file;
    CDBMng db;
};

class DbMngTest : public ::testing::Test, protected Connection {};

// A begin that fails (a transaction opened behind the manager's back) is caught; a
// commit that fails is caught and keeps the flag, so a later commit tries again.
TEST_F(DbMngTest, TransactionFlagFollowsBeginAndCommit) {
    EXPECT_EQ(1, db.CommitTransaction());  // nothing open
    db.BeginTransaction();
    EXPECT_EQ(std::pair(true, 1), (std::pair{db.IsInTransaction(), db.BeginTransaction()}));
    db.CommitTransaction();
    db.Execute("begin;");
    EXPECT_EQ(std::pair(0, false), (std::pair{db.BeginTransaction(), db.IsInTransaction()}));
    db.Execute("commit;");

    dbtest::ShortBusyTimeout(db);
    db.BeginTransaction();
    Write("c");
    dbtest::BusyReader reader(file.Path());
    EXPECT_EQ(std::pair(SQLITE_BUSY, true),
              (std::pair{db.CommitTransaction(), db.IsInTransaction()}));
    reader.Release();
    db.CommitTransaction();
    EXPECT_EQ(std::pair(false, 2), (std::pair{db.IsInTransaction(), Committed()}));
}

// Nested scopes share the outermost transaction; an exception passing through still
// commits what ran before it.
TEST_F(DbMngTest, ScopedTransactionsNestAndCommitOnTheWayOut) {
    {
        CScopedTransaction outer(&db), inner(&db);
        EXPECT_EQ(std::pair(true, false), std::pair(outer.Began(), inner.Began()));
    }
    EXPECT_FALSE(db.IsInTransaction());
    try {
        CScopedTransaction txn(&db);
        Write("b");
        db.Execute("no such statement;");
    } catch (const CppSQLite3Exception&) {
    }
    EXPECT_EQ(std::pair(false, 2), (std::pair{db.IsInTransaction(), Committed()}));
    EXPECT_FALSE(CScopedTransaction(nullptr).Began());
    CppSQLite3Query q = db.Query("select strCfgKey from tb_config_info order by 1;");
    db.Close();
    EXPECT_STREQ("a", q.ColumnText(0));  // a query that outlives Close is still safe to read
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
        int commits = 0;
        t.db.SetStatementObserver([&](const char* sql) {
            if (std::string(sql) == "commit transaction;" && ++commits == freeAt) reader.Release();
        });
        t.db.Close();
        t.db.Close();  // a second close does nothing
        EXPECT_EQ(freeAt ? freeAt : 10, commits);
        EXPECT_FALSE(t.db.IsOpen() || t.db.IsInTransaction());
        EXPECT_THROW(t.db.Execute("select 1;"), CppSQLite3Exception);
        reader.Release();
        EXPECT_EQ(freeAt ? 2 : 1, t.Committed());
    }
}

}  // namespace
