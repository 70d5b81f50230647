// The SQLite wrapper on real database files: error codes and messages, query stepping,
// column access by name, scalar queries, and the exception's own memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "db/cppsqlite3.h"
#include "db/text_codec.h"
#include "db_test_util.h"
#include "platform/codepage.h"

namespace {

std::string Message(const CppSQLite3Exception& e) {
    return e.ErrorMessage() ? e.ErrorMessage() : "<null>";
}

class WrapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.Open(file.Path().c_str());
        db.Execute("create table t (strMD5 text, iNum int, iOther int);");
        db.Execute("insert into t values ('abc', NULL, 7);");
        db.Execute("insert into t values (NULL, '12', 8);");
    }
    dbtest::TempDb file;
    CppSQLite3DB db;
};

TEST(CppSQLite3ExceptionTest, CodeNames) {
    EXPECT_STREQ("SQLITE_OK", CppSQLite3Exception::CodeName(0));
    EXPECT_STREQ("SQLITE_BUSY", CppSQLite3Exception::CodeName(5));
    EXPECT_STREQ("SQLITE_RANGE", CppSQLite3Exception::CodeName(25));
    EXPECT_STREQ("SQLITE_ROW", CppSQLite3Exception::CodeName(100));
    EXPECT_STREQ("SQLITE_DONE", CppSQLite3Exception::CodeName(101));
    EXPECT_STREQ("CPPSQLITE_ERROR", CppSQLite3Exception::CodeName(1000));
    EXPECT_STREQ("UNKNOWN_ERROR", CppSQLite3Exception::CodeName(26));
    EXPECT_STREQ("UNKNOWN_ERROR", CppSQLite3Exception::CodeName(-1));
    EXPECT_STREQ("UNKNOWN_ERROR", CppSQLite3Exception::CodeName(99));
}

TEST(CppSQLite3ExceptionTest, MessageFormatAndCopies) {
    CppSQLite3Exception a(5, "database is locked");
    EXPECT_EQ("SQLITE_BUSY[5]: database is locked", Message(a));
    CppSQLite3Exception b(1000, nullptr);
    EXPECT_EQ("CPPSQLITE_ERROR[1000]: ", Message(b));

    // Copies own separate buffers: each is freed once (checked by the sanitizer build).
    CppSQLite3Exception copy(a);
    EXPECT_NE(a.ErrorMessage(), copy.ErrorMessage());
    EXPECT_EQ(Message(a), Message(copy));
    copy = b;
    EXPECT_EQ(1000, copy.ErrorCode());
    EXPECT_EQ("CPPSQLITE_ERROR[1000]: ", Message(copy));
    CppSQLite3Exception& self = copy;
    copy = self;
    EXPECT_EQ("CPPSQLITE_ERROR[1000]: ", Message(copy));

    // Thrown by value: the thrown object is a copy with its own message.
    try {
        throw a;
    } catch (const CppSQLite3Exception& e) {
        EXPECT_NE(a.ErrorMessage(), e.ErrorMessage());
        EXPECT_EQ(5, e.ErrorCode());
        EXPECT_EQ("SQLITE_BUSY[5]: database is locked", Message(e));
    }
}

TEST(CppSQLite3DBTest, ClosedConnectionRefusesEverything) {
    CppSQLite3DB db;
    EXPECT_FALSE(db.IsOpen());
    for (int which = 0; which < 3; ++which) {
        try {
            if (which == 0) db.Execute("select 1;");
            if (which == 1) db.Query("select 1;");
            if (which == 2) db.QueryScalar("select 1;");
            FAIL() << "no exception for operation " << which;
        } catch (const CppSQLite3Exception& e) {
            EXPECT_EQ(1000, e.ErrorCode());
            EXPECT_EQ("CPPSQLITE_ERROR[1000]: Database not open", Message(e));
        }
    }
    db.Open(nullptr);  // a null path does nothing
    EXPECT_FALSE(db.IsOpen());
}

TEST(CppSQLite3DBTest, OpenFailureLeavesConnectionClosed) {
    dbtest::TempDb file;
    CppSQLite3DB db;
    std::string missing = file.Dir() / "no/such/folder/x.db";
    try {
        db.Open(missing.c_str());
        FAIL() << "opened a file in a missing folder";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(SQLITE_CANTOPEN, e.ErrorCode());
        EXPECT_EQ(0u, Message(e).find("SQLITE_CANTOPEN[14]: "));
    }
    EXPECT_FALSE(db.IsOpen());
}

TEST(CppSQLite3DBTest, NonAsciiPathInUtf8CodePage) {
    testutil::ScopedEnv acp("PICDEX_ACP", "UTF-8");
    plat::ResetAnsiCodePage();
    dbtest::TempDb file;
    std::string path = WideToAnsi(Utf8ToWide(file.Dir() / "照片.db"));
    {
        CppSQLite3DB db;
        db.Open(path.c_str());
        db.Execute("create table t (a);");
    }
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file.Dir() / "照片.db")));
    plat::ResetAnsiCodePage();
}

TEST_F(WrapperTest, ExecuteReturnsChangedRows) {
    EXPECT_EQ(2, db.Execute("update t set iOther = iOther + 1;"));
    EXPECT_EQ(0, db.Execute("update t set iOther = 0 where iOther > 100;"));
    EXPECT_EQ(1, db.Execute("delete from t where iOther = 9;"));
}

TEST_F(WrapperTest, QueryWithoutRowsIsAtEndAtOnce) {
    CppSQLite3Query q = db.Query("select strMD5, iNum from t where iOther > 100;");
    EXPECT_TRUE(q.IsEnd());
    EXPECT_EQ(2, q.ColumnCount());
}

TEST_F(WrapperTest, StepsThroughRowsAndReadsByName) {
    CppSQLite3Query q = db.Query("select * from t order by iOther;");
    ASSERT_FALSE(q.IsEnd());
    EXPECT_EQ(3, q.ColumnCount());
    EXPECT_STREQ("abc", q.GetText("strMD5", "dflt"));
    EXPECT_EQ(-1, q.GetInt("iNum", -1));
    EXPECT_EQ(SQLITE_NULL, q.ColumnType(1));
    EXPECT_EQ(nullptr, q.ColumnText(1));
    q.Next();
    ASSERT_FALSE(q.IsEnd());
    EXPECT_STREQ("dflt", q.GetText("strMD5", "dflt"));
    EXPECT_EQ(12, q.GetInt("iNum", -1));  // stored as the text '12'
    EXPECT_EQ(8, q.GetInt("iOther", 0));
    q.Next();
    EXPECT_TRUE(q.IsEnd());
    q.Finalize();
    q.Finalize();  // a second finalize does nothing
    try {
        q.IsEnd();
        FAIL() << "IsEnd on a finalized query";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ("CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer", Message(e));
    }
}

TEST_F(WrapperTest, ColumnLookupErrors) {
    CppSQLite3Query q = db.Query("select * from t;");
    auto expectError = [&](auto fn, const char* text) {
        try {
            fn();
            FAIL() << "no exception, expected " << text;
        } catch (const CppSQLite3Exception& e) {
            EXPECT_EQ(1000, e.ErrorCode());
            EXPECT_EQ(std::string("CPPSQLITE_ERROR[1000]: ") + text, Message(e));
        }
    };
    expectError([&] { q.GetText("missing", ""); }, "Invalid field name requested");
    expectError([&] { q.GetText("strmd5", ""); }, "Invalid field name requested");
    expectError([&] { q.ColumnIndex(nullptr); }, "Invalid field name requested");
    expectError([&] { q.ColumnText(3); }, "Invalid field index requested");
    expectError([&] { q.ColumnType(-1); }, "Invalid field index requested");
    EXPECT_EQ(0, q.ColumnIndex("strMD5"));
}

TEST_F(WrapperTest, ScalarQueries) {
    db.Execute("create table empty_t (a int);");
    EXPECT_EQ(0, db.QueryScalar("select count(*) from empty_t"));
    EXPECT_EQ(2, db.QueryScalar("select count(*) from t"));
    EXPECT_EQ(0, db.QueryScalar("select NULL;"));
    EXPECT_EQ(0, db.QueryScalar("select 'abc';"));
    try {
        db.QueryScalar("select a from empty_t;");
        FAIL() << "scalar query without a row";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ("CPPSQLITE_ERROR[1000]: Invalid scalar query", Message(e));
    }
}

TEST_F(WrapperTest, SyntaxErrorsInQueryAndExecute) {
    try {
        db.Query("selec * from t;");
        FAIL() << "query with a syntax error";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(1, e.ErrorCode());
        EXPECT_EQ("SQLITE_ERROR[1]: ", Message(e));
    }
    try {
        db.Execute("selec * from t;");
        FAIL() << "execute with a syntax error";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(1, e.ErrorCode());
        EXPECT_EQ("SQLITE_ERROR[1]: near \"selec\": syntax error", Message(e));
    }
}

TEST_F(WrapperTest, FailedStepFinalizesTheStatement) {
    // The second row makes the expression fail while stepping.
    db.Execute("create table big (v int);");
    db.Execute("insert into big values (1), (9223372036854775807);");
    try {
        CppSQLite3Query q = db.Query("select abs(-v - 1) from big where v > 1;");
        FAIL() << "the first row already fails";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_NE(0, e.ErrorCode());
    }
    CppSQLite3Query q = db.Query("select abs(-v - 1) from big;");
    ASSERT_FALSE(q.IsEnd());
    EXPECT_STREQ("2", q.ColumnText(0));
    try {
        q.Next();
        FAIL() << "stepping onto an overflowing row";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(SQLITE_ERROR, e.ErrorCode());
        EXPECT_EQ("SQLITE_ERROR[1]: integer overflow", Message(e));
    }
    EXPECT_THROW(q.IsEnd(), CppSQLite3Exception);
    q.Finalize();  // nothing left to finalize
}

TEST_F(WrapperTest, QueriesMove) {
    CppSQLite3Query a = db.Query("select strMD5 from t order by iOther;");
    CppSQLite3Query b(std::move(a));
    EXPECT_THROW(a.IsEnd(), CppSQLite3Exception);
    ASSERT_FALSE(b.IsEnd());
    EXPECT_STREQ("abc", b.ColumnText(0));
    CppSQLite3Query c = db.Query("select 1;");
    c = std::move(b);
    EXPECT_STREQ("abc", c.ColumnText(0));
}

TEST_F(WrapperTest, TextIsStoredAsUtf8) {
    db.Execute("insert into t values ('照片', 1, 1);");
    CppSQLite3Query q = db.Query("select strMD5 from t where iOther = 1;");
    ASSERT_FALSE(q.IsEnd());
    EXPECT_EQ(L"照片", Utf8ToWide(q.ColumnText(0)));
    EXPECT_EQ("\xE7\x85\xA7\xE7\x89\x87", std::string(q.ColumnText(0)));
}

}  // namespace
