// The SQLite wrapper on real database files: error codes and messages, query stepping,
// column access by name, scalar queries, and the exception's own memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "db/cppsqlite3.h"
#include "db/text_codec.h"
#include "db_test_util.h"
#include "platform/codepage.h"

namespace {

std::string Message(const CppSQLite3Exception& e) {
    return e.ErrorMessage() ? e.ErrorMessage() : "<null>";
}

// Runs `fn` and checks that it throws with that code and message.
void ExpectError(const std::function<void()>& fn, int code, const std::string& message) {
    try {
        fn();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(code, e.ErrorCode());
        EXPECT_EQ(message, Message(e));
    }
}

class WrapperTest : public ::testing::Test {
protected:
    void SetUp() override {
        db.Open(file.Path().c_str());
        db.Execute(
            "create table t (strMD5 text, iNum int, iOther int);"
            "insert into t values ('abc', NULL, 7), (NULL, '12', 8);");
    }
    dbtest::TempDb file;
    CppSQLite3DB db;
};

TEST(CppSQLite3ExceptionTest, CodeNamesMessagesAndCopies) {
    const std::pair<int, const char*> names[] = {
        {0, "SQLITE_OK"},      {5, "SQLITE_BUSY"},    {25, "SQLITE_RANGE"},
        {100, "SQLITE_ROW"},   {101, "SQLITE_DONE"},  {1000, "CPPSQLITE_ERROR"},
        {26, "UNKNOWN_ERROR"}, {-1, "UNKNOWN_ERROR"}, {99, "UNKNOWN_ERROR"}};
    for (const auto& [code, name] : names)
        EXPECT_STREQ(name, CppSQLite3Exception::CodeName(code));

    CppSQLite3Exception a(5, "database is locked");
    EXPECT_EQ("SQLITE_BUSY[5]: database is locked", Message(a));
    CppSQLite3Exception b(1000, nullptr);
    EXPECT_EQ("CPPSQLITE_ERROR[1000]: ", Message(b));
    // Copies own separate buffers, each freed once (checked by the sanitizer build).
    CppSQLite3Exception copy(a);
    EXPECT_NE(a.ErrorMessage(), copy.ErrorMessage());
    EXPECT_EQ(Message(a), Message(copy));
    copy = b;
    CppSQLite3Exception& self = copy;
    copy = self;
    EXPECT_EQ(1000, copy.ErrorCode());
    EXPECT_EQ("CPPSQLITE_ERROR[1000]: ", Message(copy));
    try {
        throw a;
    } catch (const CppSQLite3Exception& e) {
        EXPECT_NE(a.ErrorMessage(), e.ErrorMessage());
        EXPECT_EQ(Message(a), Message(e));
    }
}

TEST(CppSQLite3DBTest, OpeningAndClosedConnections) {
    CppSQLite3DB db;
    db.Open(nullptr);  // a null path does nothing
    EXPECT_FALSE(db.IsOpen());

    dbtest::TempDb file;
    EXPECT_THROW(db.Open((file.Dir() / "no/such/folder/x.db").c_str()), CppSQLite3Exception);
    EXPECT_FALSE(db.IsOpen());

    // The path is in the ANSI code page and opened as UTF-8.
    testutil::ScopedEnv acp("PICDEX_ACP", "CP936");
    plat::ResetAnsiCodePage();
    db.Open(WideToAnsi(Utf8ToWide(file.Dir() / "照片.db")).c_str());
    plat::ResetAnsiCodePage();
    db.Execute("create table t (a);");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(file.Dir() / "照片.db")));
}

TEST_F(WrapperTest, StepsThroughRowsAndReadsByName) {
    EXPECT_EQ(2, db.Execute("update t set iOther = iOther + 1;"));
    EXPECT_EQ(0, db.Execute("update t set iOther = 0 where iOther > 100;"));

    CppSQLite3Query none = db.Query("select strMD5, iNum from t where iOther > 100;");
    EXPECT_TRUE(none.IsEnd());
    EXPECT_EQ(2, none.ColumnCount());

    CppSQLite3Query q = db.Query("select * from t order by iOther;");
    ASSERT_FALSE(q.IsEnd());
    EXPECT_STREQ("abc", q.GetText("strMD5", "dflt"));
    EXPECT_EQ(-1, q.GetInt("iNum", -1));
    EXPECT_EQ(SQLITE_NULL, q.ColumnType(1));
    EXPECT_EQ(nullptr, q.ColumnText(1));
    q.Next();
    EXPECT_STREQ("dflt", q.GetText("strMD5", "dflt"));
    EXPECT_EQ(12, q.GetInt("iNum", -1));  // stored as the text '12'
    q.Next();
    EXPECT_TRUE(q.IsEnd());
    q.Finalize();
    q.Finalize();  // nothing left to finalize
    ExpectError([&] { q.IsEnd(); }, 1000, "CPPSQLITE_ERROR[1000]: Null Virtual Machine pointer");
}

TEST_F(WrapperTest, ErrorsCarryTheirCodeAndMessage) {
    db.Execute(
        "create table empty_t (a int); create table u (k int unique); insert into u values (1);"
        "create table big (v int); insert into big values (1), (9223372036854775807);");
    CppSQLite3DB closed;
    CppSQLite3Query q = db.Query("select * from t;");
    const std::string notOpen = "CPPSQLITE_ERROR[1000]: Database not open",
                      badName = "CPPSQLITE_ERROR[1000]: Invalid field name requested",
                      badIndex = "CPPSQLITE_ERROR[1000]: Invalid field index requested";
    const std::tuple<std::function<void()>, int, std::string> cases[] = {
        {[&] { closed.Execute("select 1;"); }, 1000, notOpen},
        {[&] { closed.Query("select 1;"); }, 1000, notOpen},
        {[&] { closed.QueryScalar("select 1;"); }, 1000, notOpen},
        {[&] { q.GetText("missing", ""); }, 1000, badName},
        {[&] { q.GetText("strmd5", ""); }, 1000, badName},  // names are case-sensitive
        {[&] { q.ColumnIndex(nullptr); }, 1000, badName},
        {[&] { q.ColumnText(3); }, 1000, badIndex},
        {[&] { q.ColumnType(-1); }, 1000, badIndex},
        {[&] { db.QueryScalar("select a from empty_t;"); }, 1000,
         "CPPSQLITE_ERROR[1000]: Invalid scalar query"},
        {[&] { db.Query("selec * from t;"); }, 1, "SQLITE_ERROR[1]: "},
        {[&] { db.Execute("selec * from t;"); }, 1,
         "SQLITE_ERROR[1]: near \"selec\": syntax error"},
        // abs() of the smallest integer fails while stepping; the code and text are those
        // the finalize reports. A constraint failure found by the step keeps its own code.
        {[&] { db.Query("select abs(-v - 1) from big where v > 1;"); }, 1,
         "SQLITE_ERROR[1]: integer overflow"},
        {[&] { db.Query("insert into u values (1);"); }, SQLITE_CONSTRAINT,
         "SQLITE_CONSTRAINT[19]: UNIQUE constraint failed: u.k"},
    };
    for (const auto& [fn, code, message] : cases)
        ExpectError(fn, code, message);
    EXPECT_EQ(0, db.QueryScalar("select count(*) from empty_t"));
    EXPECT_EQ(2, db.QueryScalar("select count(*) from t"));

    // A step that fails leaves no statement behind.
    CppSQLite3Query big = db.Query("select abs(-v - 1) from big;");
    EXPECT_STREQ("2", big.ColumnText(0));
    ExpectError([&] { big.Next(); }, 1, "SQLITE_ERROR[1]: integer overflow");
    EXPECT_THROW(big.IsEnd(), CppSQLite3Exception);
}

}  // namespace
