// Opening a database file and bringing it to the current schema version: a new file, a
// second start, older, newer and broken versions, the version-2 step's default filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

#include "db/schema.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;

int CountIndexes(CDBMng& db, const std::string& prefix) {
    return CountRows(db, "sqlite_master", "type = 'index' and name like '" + prefix + "%'");
}

// "version|ind_ indexes" of the database.
std::string Version(CDBMng& db) {
    return dbtest::Rows(db,
                        "select strCfgValue from tb_config_info where strCfgKey = 'DbVersion'") +
           "|" + std::to_string(CountIndexes(db, "ind_"));
}

// The position of the first statement that contains `part` (the count when none does).
size_t Position(const std::vector<std::string>& seen, const std::string& part) {
    auto has = [&](const std::string& sql) { return sql.find(part) != std::string::npos; };
    return size_t(std::find_if(seen.begin(), seen.end(), has) - seen.begin());
}

class LifecycleTest : public ::testing::Test {
protected:
    CString Path() const { return Utf8ToWide(file.Path()); }
    // A first start on the file and `change` on the open layer; then the statements of a
    // second start (of `db`, closed first).
    std::vector<std::string> SecondStart(const std::function<void(CDbFacade&)>& change) {
        db.Close();
        {
            CDbFacade first;
            EXPECT_TRUE(first.Initialize(Path()));
            change(first);
        }
        return dbtest::StatementsOf(db.GetDbMng(), [&] { EXPECT_TRUE(db.Initialize(Path())); });
    }

    dbtest::ScopedMachine machine;
    dbtest::TempDb file;
    CDbFacade db;
};

// The steps in order, each version stored after its step: the creation list, "1", the
// filters and history loaded, the default filters in a transaction, "2", the indexes, "3".
TEST_F(LifecycleTest, NewFileGetsTheWholeSchemaAndVersion3) {
    const dbtest::Strings seen =
        dbtest::StatementsOf(db.GetDbMng(), [&] { ASSERT_TRUE(db.Initialize(Path())); });
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(std::tuple(11, 22, 1, std::string("3|19"), false),
              std::tuple(CountRows(m, "sqlite_master", "type = 'table' and name like 'tb%'"),
                         CountIndexes(m, "idx_"), CountIndexes(m, "idx_config_key"), Version(m),
                         m.IsInTransaction()));
    EXPECT_EQ(3u + 33u, Position(seen, "'DbVersion','1'"));
    EXPECT_LT(Position(seen, "SELECT * from tb_search_history;"),
              Position(seen, "begin  transaction;"));
    EXPECT_LT(Position(seen, "commit transaction;"), Position(seen, "'DbVersion','2'"));
    EXPECT_EQ(Position(seen, "'DbVersion','2'") + 1, Position(seen, "[ind_exif_info_id]"));
    EXPECT_EQ(seen.size() - 1, Position(seen, "'DbVersion','3'"));
}

// A second start runs the two configuration statements, reads the version and loads the
// filters and history; version 2 gets exactly the nineteen indexes; a higher version is
// kept without upgrades; a version text that is no number runs every step again.
TEST_F(LifecycleTest, LaterStartsUpgradeByTheStoredVersion) {
    EXPECT_EQ((std::vector<std::string>{
                  schema::kCreateAll[0], schema::kCreateAll[1],
                  "select strCfgValue from tb_config_info where strCfgKey = 'DbVersion'LIMIT 1;",
                  "Select * from tb_path_filter;", "SELECT * from tb_search_history;"}),
              SecondStart([](CDbFacade&) {}));
    auto setVersion = [](const wchar_t* version) {
        return [=](CDbFacade& first) {
            first.GetDbMng().Execute(
                dbtest::Rows(first.GetDbMng(),
                             "select 'drop index ' || name || ';' from sqlite_master where name "
                             "like 'ind_%'")
                    .c_str());
            first.SetIncludedFilters({});
            first.SetConfig(L"DbVersion", version);
        };
    };
    // Statements of the second start, and the version and index count after it.
    auto startAt = [&](const wchar_t* version) {
        size_t statements = SecondStart(setVersion(version)).size();
        return std::to_string(statements) + " " + Version(db.GetDbMng());
    };
    EXPECT_EQ("25 3|19", startAt(L"2"));  // five, the nineteen indexes and the version
    EXPECT_EQ("5 7|0", startAt(L"7"));
    // Every step again, as on a new file, the default folders included.
    EXPECT_EQ("81 3|19", startAt(L"abc"));
    // A version-3 step that fails (a table named like one of its indexes) keeps "2", so
    // the next start tries again.
    SecondStart([](CDbFacade& first) {
        first.GetDbMng().Execute("drop index ind_path_info_id;");
        first.GetDbMng().Execute("create table ind_path_info_id (x);");
        first.SetConfig(L"DbVersion", L"2");
    });
    EXPECT_EQ("2|18", Version(db.GetDbMng()));
    SecondStart([](CDbFacade& first) { first.GetDbMng().Execute("drop table ind_path_info_id;"); });
    EXPECT_EQ("3|19", Version(db.GetDbMng()));
}

// An empty path and a second start are refused; a file that cannot be made throws and
// leaves the layer closed.
TEST_F(LifecycleTest, InitializeRefusesAnOpenConnectionAndAnEmptyPath) {
    EXPECT_FALSE(db.Initialize(L""));
    EXPECT_THROW(db.Initialize(Utf8ToWide(file.Dir() / "missing/x.db")), CppSQLite3Exception);
    EXPECT_FALSE(db.IsOpen());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_FALSE(db.Initialize(Path()));
}

// The version-2 step deletes what is indexed in each default excluded folder and stores
// the default folders; the fixed folders are excluded but not stored.
TEST_F(LifecycleTest, Version2StepInstallsTheDefaultFolders) {
    std::set<CString> black, white, fixed, excluded;
    CCommonFunc::GetDefaultBlackList(black);
    CCommonFunc::GetDefaultWhiteList(white);
    CCommonFunc::GetFixedBlackList(fixed);
    ASSERT_TRUE(black.count(L"C:\\tmp\\") && !white.empty() && !fixed.empty());
    SecondStart([](CDbFacade& first) {
        first.SetExcludedFilters({});
        first.SetIncludedFilters({});
        first.SetConfig(L"DbVersion", L"1");
        for (const wchar_t* folder : {L"C:\\tmp\\x\\", L"C:\\keep\\"}) {
            _tagFileInfo f;
            f.iPathID = first.GetPathDao().GetPathID(folder, true);
            f.strFileName = L"a.jpg";
            ASSERT_TRUE(first.GetFileDao().Insert(f));
        }
    });
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(std::tuple(int(black.size()), int(white.size()), 0, 0, 1),
              std::tuple(CountRows(m, "tb_path_filter", "iFilterType = 1"),
                         CountRows(m, "tb_path_filter", "iFilterType = -1"),
                         CountRows(m, "tb_path_filter", "strFullPath like '%System Volume%'"),
                         CountRows(m, "tb_path_info", "strFullPath like 'C:\\tmp\\%'"),
                         CountRows(m, "tb_file_info")));
    db.GetExcludedFilters(excluded);
    EXPECT_EQ(std::tuple(black.size() + fixed.size(), 1, 1, -1),
              std::tuple(excluded.size(), db.GetFilterType(L"C:\\tmp\\sub\\"),
                         db.GetFilterType(*fixed.begin()), db.GetFilterType(*white.begin())));
}

}  // namespace
