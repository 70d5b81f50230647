// The SQLite wrapper and the database manager on real files: paths, errors; the
// transaction flag, scoped transactions, the commit attempts of Close.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "db/cppsqlite3.h"
#include "db_test_util.h"
#include "platform/codepage.h"

namespace {

std::string Message(const CppSQLite3Exception& e) {
    return e.ErrorMessage() ? e.ErrorMessage() : "<null>";
}

// The path is in the ANSI code page and opened as UTF-8.
TEST(CppSQLite3DBTest, PathsAreInTheAnsiCodePage) {
    dbtest::TempDb file;
    testutil::ScopedEnv acp("PICDEX_ACP", "CP936");
    plat::ResetAnsiCodePage();
    CppSQLite3DB db;
    db.Open(WideToAnsi(Utf8ToWide(file.Dir() / "照片.db")).c_str());
    plat::ResetAnsiCodePage();
    db.Execute("create table t (a);");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file.Dir() / "照片.db")));
}

// Messages name their code ("UNKNOWN_ERROR" when it has no name); copies own separate
// buffers, each freed once (checked by the sanitizer build). abs() of the smallest
// integer fails while stepping: the code and text are those the finalize reports, and no
// statement is left behind. A constraint failure found by the step keeps its own code.
TEST(CppSQLite3DBTest, ErrorsCarryTheirCodeAndMessage) {
    dbtest::TempDb file;
    CppSQLite3DB db, closed;
    db.Open(file.Path().c_str());
    db.Execute(
        "create table u (k int unique); insert into u values (1); create table big (v int);"
        "insert into big values (1), (9223372036854775807);");
    CppSQLite3Query q = db.Query("select * from u;");
    CppSQLite3Query big = db.Query("select abs(-v - 1) from big;");
    EXPECT_STREQ("2", big.ColumnText(0));
    const std::string e = "CPPSQLITE_ERROR[1000]: ";
    const std::tuple<std::function<void()>, int, std::string> cases[] = {
        {[] {
             CppSQLite3Exception first(26, "x"), copy(first);
             copy = first;
             throw copy;
         },
         26, "UNKNOWN_ERROR[26]: x"},
        {[] { throw CppSQLite3Exception(1000, nullptr); }, 1000, e},
        {[&] { closed.Execute("select 1;"); }, 1000, e + "Database not open"},
        {[&] { q.GetText("K", ""); }, 1000, e + "Invalid field name requested"},
        {[&] { q.ColumnText(1); }, 1000, e + "Invalid field index requested"},
        {[&] { db.QueryScalar("select k from u where k > 1;"); }, 1000, e + "Invalid scalar query"},
        {[&] { db.Query("selec * from t;"); }, 1, "SQLITE_ERROR[1]: "},
        {[&] { db.Execute("selec * from t;"); }, 1,
         "SQLITE_ERROR[1]: near \"selec\": syntax error"},
        {[&] { big.Next(); }, 1, "SQLITE_ERROR[1]: integer overflow"},
        {[&] { big.IsEnd(); }, 1000, e + "Null Virtual Machine pointer"},
        {[&] { db.Query("insert into u values (1);"); }, SQLITE_CONSTRAINT,
         "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: u.k"},
    };
    for (const auto& [fn, code, message] : cases) {
        try {
            fn();
            ADD_FAILURE() << "no exception, expected " << message;
        } catch (const CppSQLite3Exception& ex) {
            EXPECT_EQ(std::pair(code, message), std::pair(ex.ErrorCode(), Message(ex)));
        }
    }
}

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

// A begin that fails (a transaction opened behind the manager's back) is caught (a failed
// commit keeps the flag: see the save queue's drains). Nested scopes share the outermost
// transaction; an exception passing through still commits what ran before it.
TEST_F(DbMngTest, TransactionFlagAndScopedTransactions) {
    EXPECT_EQ(1, db.CommitTransaction());  // nothing open
    db.Execute("begin;");
    EXPECT_EQ(std::pair(0, false), (std::pair{db.BeginTransaction(), db.IsInTransaction()}));
    db.Execute("commit;");
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
        t.db.BeginTransaction();
        t.Write("b");
        dbtest::BusyReader reader(t.db, t.file.Path());
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
