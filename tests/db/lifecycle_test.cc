// Opening a database file and bringing it to the current schema version: a new file,
// a second start, an old version, a broken version text, a failing version-3 index,
// and the default folder filters of the version-2 step.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "db/schema.h"
#include "db/text_codec.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;
using dbtest::Scalar;

int CountIndexes(CDBMng& db, const std::string& prefix) {
    return CountRows(db, "sqlite_master", "type = 'index' and name like '" + prefix + "%'");
}

std::string Version(CDBMng& db) {
    return Scalar(db, "select strCfgValue from tb_config_info where strCfgKey = 'DbVersion'");
}

// The position of the first statement that contains `part` (the count when none does).
size_t Position(const std::vector<std::string>& seen, const std::string& part) {
    size_t i = 0;
    while (i < seen.size() && seen[i].find(part) == std::string::npos)
        ++i;
    return i;
}

class LifecycleTest : public ::testing::Test {
protected:
    CString Path() const { return Utf8ToWide(file.Path()); }
    // A first start on the file, then `change` on the open layer, then closed.
    void FirstStart(const std::function<void(CDbFacade&)>& change) {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
        change(first);
    }

    dbtest::ScopedMachine machine;
    dbtest::TempDb file;
    CDbFacade db;
};

TEST_F(LifecycleTest, NewFileGetsTheWholeSchemaAndVersion3) {
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    const std::vector<std::string> seen = log.Seen();
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(11, CountRows(m, "sqlite_master", "type = 'table' and name like 'tb%'"));
    EXPECT_EQ(22, CountIndexes(m, "idx_"));
    EXPECT_EQ(19, CountIndexes(m, "ind_"));
    EXPECT_EQ(1, CountIndexes(m, "idx_config_key"));
    EXPECT_EQ("3", Version(m));
    EXPECT_FALSE(m.IsInTransaction());

    // The steps in order, each version stored after its step: the creation list, "1",
    // the filters and history loaded, the default filters, "2", the indexes, "3".
    EXPECT_EQ(3u + 33u, Position(seen, "'DbVersion','1'"));
    EXPECT_LT(Position(seen, "'DbVersion','1'"), Position(seen, "from tb_path_filter;"));
    EXPECT_LT(Position(seen, "SELECT * from tb_search_history;"),
              Position(seen, "begin  transaction;"));
    EXPECT_LT(Position(seen, "commit transaction;"), Position(seen, "'DbVersion','2'"));
    EXPECT_EQ(Position(seen, "'DbVersion','2'") + 1, Position(seen, "[ind_exif_info_id]"));
    EXPECT_EQ(seen.size() - 1, Position(seen, "'DbVersion','3'"));
}

TEST_F(LifecycleTest, SecondStartOnlyReadsTheVersionFiltersAndHistory) {
    FirstStart([](CDbFacade&) {});
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    const std::vector<std::string> expected = {
        schema::kCreateAll[0],
        schema::kCreateAll[1],
        "select strCfgValue from tb_config_info where strCfgKey = 'DbVersion'LIMIT 1;",
        "Select * from tb_path_filter;",
        "SELECT * from tb_search_history;",
    };
    EXPECT_EQ(expected, log.Seen());
}

TEST_F(LifecycleTest, InitializeRefusesAnOpenConnectionAndAnEmptyPath) {
    EXPECT_FALSE(db.Initialize(L""));
    EXPECT_THROW(db.Initialize(Utf8ToWide(file.Dir() / "missing/x.db")), CppSQLite3Exception);
    EXPECT_FALSE(db.IsOpen());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_FALSE(db.Initialize(Path()));
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.Initialize(Path()));
}

TEST_F(LifecycleTest, Version2GetsExactlyTheNineteenIndexes) {
    FirstStart([](CDbFacade& first) {
        CDBMng& m = first.GetDbMng();
        for (const std::string& name :
             dbtest::Column(m, "select name from sqlite_master where name like 'ind_%'"))
            m.Execute(("drop index " + name + ";").c_str());
        first.SetConfig(L"DbVersion", L"2");
    });
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(5u + 19u + 1u, log.Seen().size());
    EXPECT_EQ(19, CountIndexes(db.GetDbMng(), "ind_"));
    EXPECT_EQ("3", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, VersionTextThatIsNoNumberRunsEveryStepAgain) {
    FirstStart([](CDbFacade& first) {
        first.SetConfig(L"DbVersion", L"abc");
        first.SetIncludedFilters({});
    });
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(3u + 33u, Position(log.Seen(), "'DbVersion','1'"));
    EXPECT_EQ("3", Version(db.GetDbMng()));
    std::set<CString> included;
    db.GetIncludedFilters(included);
    EXPECT_FALSE(included.empty());  // the defaults installed again
}

TEST_F(LifecycleTest, HigherVersionIsKeptWithoutUpgrades) {
    FirstStart([](CDbFacade& first) { first.SetConfig(L"DbVersion", L"7"); });
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(5u, log.Seen().size());
    EXPECT_EQ("7", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, FailingVersion3IndexKeepsTheVersionForTheNextStart) {
    FirstStart([](CDbFacade& first) {
        CDBMng& m = first.GetDbMng();
        m.Execute("drop index ind_path_info_id;");
        // A table of the same name makes that index's statement fail.
        m.Execute("create table ind_path_info_id (x);");
        first.SetConfig(L"DbVersion", L"2");
    });
    {
        CDbFacade second;
        ASSERT_TRUE(second.Initialize(Path()));
        EXPECT_EQ(18, CountIndexes(second.GetDbMng(), "ind_"));
        EXPECT_EQ("2", Version(second.GetDbMng()));
        second.GetDbMng().Execute("drop table ind_path_info_id;");
    }
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(19, CountIndexes(db.GetDbMng(), "ind_"));
    EXPECT_EQ("3", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, Version2StepInstallsTheDefaultFolders) {
    std::set<CString> black, white, fixed;
    CCommonFunc::GetDefaultBlackList(black);
    CCommonFunc::GetDefaultWhiteList(white);
    CCommonFunc::GetFixedBlackList(fixed);
    ASSERT_EQ(1u, black.count(L"C:\\tmp\\"));
    ASSERT_FALSE(white.empty() || fixed.empty());

    // A version-1 file with a picture indexed inside a default excluded folder.
    FirstStart([](CDbFacade& first) {
        first.SetExcludedFilters({});
        first.SetIncludedFilters({});
        first.SetConfig(L"DbVersion", L"1");
        _tagFileInfo f;
        f.iPathID = first.GetPathDao().GetPathID(L"C:\\tmp\\x\\", true);
        f.strFileName = L"a.jpg";
        ASSERT_TRUE(first.GetFileDao().Insert(f));
        f.iFileID = 0;
        f.iPathID = first.GetPathDao().GetPathID(L"C:\\keep\\", true);
        ASSERT_TRUE(first.GetFileDao().Insert(f));
    });
    ASSERT_TRUE(db.Initialize(Path()));
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(int(black.size()), CountRows(m, "tb_path_filter", "iFilterType = 1"));
    EXPECT_EQ(int(white.size()), CountRows(m, "tb_path_filter", "iFilterType = -1"));
    EXPECT_EQ(0, CountRows(m, "tb_path_filter", "strFullPath like '%System Volume%'"));
    EXPECT_EQ(0, CountRows(m, "tb_path_info", "strFullPath like 'C:\\tmp\\%'"));
    EXPECT_EQ(1, CountRows(m, "tb_file_info"));

    std::set<CString> excluded;
    db.GetExcludedFilters(excluded);
    EXPECT_EQ(black.size() + fixed.size(), excluded.size());
    EXPECT_EQ(1, db.GetFilterType(L"C:\\tmp\\sub\\"));
    EXPECT_EQ(1, db.GetFilterType(*fixed.begin()));
    EXPECT_EQ(-1, db.GetFilterType(*white.begin()));
}

}  // namespace
