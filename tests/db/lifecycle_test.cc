// Opening a database file and bringing it to the current schema version: a new file,
// a second start, an old version, a broken version text, a failing version-3 index,
// and the default folder filters of the version-2 step.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "db/schema.h"
#include "db/text_codec.h"
#include "db_test_util.h"

namespace {

using dbtest::Column;
using dbtest::CountRows;
using dbtest::Scalar;

int CountObjects(CDBMng& db, const std::string& type, const std::string& prefix) {
    return CountRows(db, "sqlite_master", "type = '" + type + "' and name like '" + prefix + "%'");
}

std::string Version(CDBMng& db) {
    return Scalar(db, "select strCfgValue from tb_config_info where strCfgKey = 'DbVersion'");
}

std::set<std::string> Utf8Set(const std::set<CString>& in) {
    std::set<std::string> out;
    for (const CString& s : in)
        out.insert(WideToUtf8(s));
    return out;
}

class LifecycleTest : public ::testing::Test {
protected:
    CString Path() const { return Utf8ToWide(file.Path()); }

    dbtest::ScopedMachine machine;
    dbtest::TempDb file;
};

TEST_F(LifecycleTest, NewFileGetsTheWholeSchemaAndVersion3) {
    CDbFacade db;
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    const std::vector<std::string> seen = log.Seen();
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(11, CountRows(m, "sqlite_master", "type = 'table' and name like 'tb%'"));
    EXPECT_EQ(22, CountObjects(m, "index", "idx_"));
    EXPECT_EQ(19, CountObjects(m, "index", "ind_"));
    EXPECT_EQ(1, CountObjects(m, "index", "idx_config_key"));
    EXPECT_EQ("3", Version(m));

    // The creation list ran in order, then the version steps.
    ASSERT_GE(seen.size(), 2 + 1 + 33);
    for (size_t i = 0; i < 33; ++i)
        EXPECT_EQ(schema::kCreateAll[i], seen[3 + i]) << i;
    EXPECT_EQ("Replace into tb_config_info(strCfgKey, strCfgValue) values('DbVersion','3');",
              seen.back());
    EXPECT_FALSE(m.IsInTransaction());
}

TEST_F(LifecycleTest, SecondStartOnlyReadsTheVersionFiltersAndHistory) {
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
    }
    CDbFacade db;
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
    CDbFacade db;
    EXPECT_FALSE(db.Initialize(L""));
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_FALSE(db.Initialize(Path()));
    db.Close();
    EXPECT_FALSE(db.IsOpen());
    EXPECT_TRUE(db.Initialize(Path()));
}

TEST_F(LifecycleTest, FailedOpenThrowsAndLeavesTheLayerClosed) {
    CDbFacade db;
    EXPECT_THROW(db.Initialize(Utf8ToWide(file.Dir() / "missing/x.db")), CppSQLite3Exception);
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(LifecycleTest, Version2GetsExactlyTheNineteenIndexes) {
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
        CDBMng& m = first.GetDbMng();
        for (const std::string& name : Column(m,
                                              "select name from sqlite_master where name "
                                              "like 'ind_%'"))
            m.Execute(("drop index " + name + ";").c_str());
        first.SetConfig(L"DbVersion", L"2");
    }
    CDbFacade db;
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    const auto& seen = log.Seen();
    ASSERT_EQ(5u + 19u + 1u, seen.size());
    for (size_t i = 0; i < 19; ++i)
        EXPECT_EQ(schema::kVersion3Indexes[i], seen[5 + i]) << i;
    EXPECT_EQ(19, CountObjects(db.GetDbMng(), "index", "ind_"));
    EXPECT_EQ("3", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, VersionTextThatIsNoNumberRunsEveryStepAgain) {
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
        first.SetConfig(L"DbVersion", L"abc");
        first.RemoveIncludedFilter(L"C:\\docs\\");
    }
    CDbFacade db;
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    int creations = 0;
    for (const std::string& sql : log.Seen())
        creations += sql.rfind("CREATE TABLE", 0) == 0;
    EXPECT_EQ(12, creations);  // 11 tables, tb_config_info twice
    EXPECT_EQ("3", Version(db.GetDbMng()));
    std::set<CString> included;
    db.GetIncludedFilters(included);
    EXPECT_EQ(1u, included.count(L"C:\\docs\\"));
}

TEST_F(LifecycleTest, HigherVersionIsKeptWithoutUpgrades) {
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
        first.SetConfig(L"DbVersion", L"7");
    }
    CDbFacade db;
    dbtest::StatementLog log(db.GetDbMng());
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(5u, log.Seen().size());
    EXPECT_EQ("7", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, FailingVersion3IndexKeepsTheVersionForTheNextStart) {
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
        CDBMng& m = first.GetDbMng();
        m.Execute("drop index ind_path_info_id;");
        // A table of the same name makes that index's statement fail.
        m.Execute("create table ind_path_info_id (x);");
        first.SetConfig(L"DbVersion", L"2");
    }
    {
        CDbFacade db;
        ASSERT_TRUE(db.Initialize(Path()));
        EXPECT_EQ(18, CountObjects(db.GetDbMng(), "index", "ind_"));
        EXPECT_EQ("2", Version(db.GetDbMng()));
        db.GetDbMng().Execute("drop table ind_path_info_id;");
    }
    CDbFacade db;
    ASSERT_TRUE(db.Initialize(Path()));
    EXPECT_EQ(19, CountObjects(db.GetDbMng(), "index", "ind_"));
    EXPECT_EQ("3", Version(db.GetDbMng()));
}

TEST_F(LifecycleTest, Version2StepInstallsTheDefaultFolders) {
    std::set<CString> black, white, fixed;
    CCommonFunc::GetDefaultBlackList(black);
    CCommonFunc::GetDefaultWhiteList(white);
    CCommonFunc::GetFixedBlackList(fixed);
    ASSERT_EQ(1u, black.count(L"C:\\RECYCLER\\"));
    ASSERT_EQ(1u, black.count(L"C:\\tmp\\"));
    ASSERT_EQ(1u, white.count(L"C:\\docs\\"));
    ASSERT_EQ(1u, fixed.count(L"C:\\System Volume Information\\"));

    // A version-1 file with a picture indexed inside a default excluded folder.
    {
        CDbFacade first;
        ASSERT_TRUE(first.Initialize(Path()));
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
    }
    CDbFacade db;
    ASSERT_TRUE(db.Initialize(Path()));
    CDBMng& m = db.GetDbMng();
    EXPECT_EQ(Utf8Set(black), std::set<std::string>([&] {
                  auto v = Column(m,
                                  "select strFullPath from tb_path_filter where "
                                  "iFilterType = 1");
                  return std::set<std::string>(v.begin(), v.end());
              }()));
    auto inc = Column(m, "select strFullPath from tb_path_filter where iFilterType = -1");
    EXPECT_EQ(Utf8Set(white), std::set<std::string>(inc.begin(), inc.end()));
    EXPECT_EQ(0, CountRows(m, "tb_path_filter", "strFullPath like '%System Volume%'"));
    EXPECT_EQ(0, CountRows(m, "tb_path_info", "strFullPath like 'C:\\tmp\\%'"));
    EXPECT_EQ(1, CountRows(m, "tb_file_info"));
    EXPECT_EQ(1, CountRows(m, "tb_path_info", "strFullPath = 'C:\\keep\\'"));

    std::set<CString> excluded;
    db.GetExcludedFilters(excluded);
    for (const CString& f : fixed)
        EXPECT_EQ(1u, excluded.count(f));
    EXPECT_EQ(1, db.GetFilterType(L"C:\\tmp\\sub\\"));
    EXPECT_EQ(1, db.GetFilterType(L"c:\\system volume information\\x\\"));
    EXPECT_EQ(-1, db.GetFilterType(L"C:\\docs\\"));
}

}  // namespace
