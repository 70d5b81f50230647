// The folder filters: the folder-name tree, and the filter sets kept in step with
// tb_path_filter.
#include <gtest/gtest.h>

#include "db/path_filter.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;

// The deepest value on the path wins, names compare without regard to case and "\" and
// "/" both separate (a doubled separator is an empty name: no node); removing a value
// falls back to the one above.
TEST(PathNodeTest, DeepestValueWinsAndRemovingFallsBack) {
    CPathNode root;
    root.Insert(L"C:\\", 1);
    root.Insert(L"C:\\Photos\\", -1);
    root.Insert(L"C:\\Photos\\2010\\Raw\\", 1);
    auto type = [&](const wchar_t* path) {
        int t = 0;
        root.Lookup(path, t);
        return t;
    };
    EXPECT_EQ(std::tuple(1, -1, 0, -1, -1, 1, 1),
              std::tuple(type(L"C:\\Windows\\"), type(L"C:\\Photos\\2010\\"), type(L"D:\\"),
                         type(L"c:\\photos"), type(L"C:/PHOTOS/"), type(L"C:\\\\Photos\\"),
                         type(L"C:\\photos\\2010\\raw\\x\\")));
    int t = 0;
    EXPECT_EQ(std::pair(false, true),
              (std::pair{root.Lookup(L"C:\\Windows\\", t), root.Lookup(L"C:\\PHOTOS\\", t)}));
    EXPECT_EQ(std::tuple(true, true, false, false, true),
              std::tuple(root.HasValueBelow(L"c:\\", -1), root.HasValueBelow(L"C:\\Photos\\", -1),
                         root.HasValueBelow(L"C:\\Photos\\2010\\", -1),
                         root.HasValueBelow(L"D:\\", -1), root.HasValueBelow(nullptr, 1)));
    EXPECT_EQ(std::pair(true, false),
              std::pair(root.Remove(L"c:\\PHOTOS\\"), root.Remove(L"C:\\Nowhere\\")));
    EXPECT_EQ(std::tuple(1, 1, false),
              std::tuple(type(L"C:\\Photos\\"), type(L"C:\\Photos\\2010\\"),
                         root.HasValueBelow(L"C:\\", -1)));
    root.Insert(L"", 7);  // an empty path is the root itself
    EXPECT_EQ(7, type(L"E:\\x\\"));
}

class PathFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbtest::OpenWithSchema(db, file.Path());
        filter.SetDbMng(&db);
        ASSERT_TRUE(filter.LoadFilters());
    }
    std::string Stored() {
        return dbtest::Rows(db, "select strFullPath, iFilterType from tb_path_filter order by 1");
    }
    std::pair<std::set<CString>, std::set<CString>> Sets() {
        std::pair<std::set<CString>, std::set<CString>> out;
        filter.GetExcludedFilters(out.first);
        filter.GetIncludedFilters(out.second);
        return out;
    }

    dbtest::ScopedMachine machine;  // fixed drive C: only
    dbtest::TempDb file;
    CDBMng db;
    CPathFilter filter;
};

const CString kSvi = L"C:\\System Volume Information\\";

// Adding an excluded folder twice runs one statement; the table, the tree and the sets
// move together; a folder that was included and becomes excluded takes the new type in
// the table and the tree, while the included set keeps its entry.
TEST_F(PathFilterTest, AddAndRemoveKeepTableTreeAndSetsInStep) {
    auto addTwice = [&] {
        EXPECT_TRUE(filter.AddExcludedFilter(L"D:\\Temp\\") &&
                    filter.AddExcludedFilter(L"D:\\Temp\\"));
    };
    EXPECT_EQ(dbtest::Strings{"replace into tb_path_filter(strFullPath, iFilterType) "
                              "values ('D:\\Temp\\',1);"},
              dbtest::StatementsOf(db, addTwice));
    EXPECT_TRUE(filter.AddIncludedFilter(L"D:\\Temp\\Keep\\"));
    EXPECT_EQ(std::tuple(1, -1, true), std::tuple(filter.GetFilterType(L"d:\\temp\\x\\"),
                                                  filter.GetFilterType(L"D:\\Temp\\Keep\\y\\"),
                                                  filter.HasIncludedBelow(L"D:\\")));
    EXPECT_EQ("D:\\Temp\\|1 D:\\Temp\\Keep\\|-1", Stored());
    std::set<CString> folders = {L"D:\\Temp\\a\\", L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"};
    filter.RemoveExcluded(folders);
    EXPECT_EQ((std::set<CString>{L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"}), folders);
    auto removeUnknown = [&] { EXPECT_FALSE(filter.RemoveIncludedFilter(L"D:\\Nope\\")); };
    EXPECT_TRUE(dbtest::StatementsOf(db, removeUnknown).empty());
    EXPECT_TRUE(filter.RemoveIncludedFilter(L"D:\\Temp\\Keep\\"));
    EXPECT_EQ(std::tuple(1, false, "D:\\Temp\\|1"),
              std::tuple(filter.GetFilterType(L"D:\\Temp\\Keep\\y\\"),
                         filter.HasIncludedBelow(L"D:\\"), Stored()));
    filter.AddIncludedFilter(L"D:\\Both\\");
    filter.AddExcludedFilter(L"D:\\Both\\");
    EXPECT_EQ(std::tuple(1, 1, size_t(1)),
              std::tuple(
                  filter.GetFilterType(L"D:\\Both\\"),
                  CountRows(db, "tb_path_filter", "strFullPath = 'D:\\Both\\' and iFilterType = 1"),
                  Sets().second.count(L"D:\\Both\\")));
}

// Setting a set adds and removes in one transaction; another letter case of a folder is
// one row of the table, whose old text goes before the new one is added, so the folder
// stays included. An empty set removes every included folder.
TEST_F(PathFilterTest, SetFiltersWalksBothSetsInOneTransaction) {
    filter.AddIncludedFilter(L"D:\\A\\");
    filter.AddIncludedFilter(L"D:\\B\\");
    const dbtest::Strings seen = dbtest::StatementsOf(db, [&] {
        EXPECT_TRUE(filter.SetIncludedFilters({L"D:\\B\\", L"D:\\C\\"}));
    });
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ(std::tuple("begin  transaction;", "commit transaction;", "D:\\B\\|-1 D:\\C\\|-1"),
              std::tuple(seen.front(), seen.back(), Stored()));
    EXPECT_TRUE(filter.SetIncludedFilters({L"D:\\B\\", L"d:\\c\\"}));
    EXPECT_EQ(std::pair(std::string("D:\\B\\|-1 d:\\c\\|-1"), -1),
              std::pair(Stored(), filter.GetFilterType(L"D:\\C\\x\\")));
    EXPECT_TRUE(filter.SetIncludedFilters({}));
    EXPECT_EQ(std::tuple(true, 0, 0),
              std::tuple(Sets().second.empty(), CountRows(db, "tb_path_filter"),
                         filter.GetFilterType(L"D:\\B\\")));
}

// Loading replaces the tree and the sets with the stored rows: type 0 and NULL rows are
// left out, another type enters the tree only.
TEST_F(PathFilterTest, LoadingReplacesTreeAndSetsWithTheStoredRows) {
    filter.AddExcludedFilter(L"E:\\Gone\\");
    db.Execute(
        "delete from tb_path_filter; insert into tb_path_filter(strFullPath, iFilterType) values "
        "('E:\\X\\', 1), ('E:\\X\\In\\', -1), ('E:\\Zero\\', 0), ('E:\\Null\\', NULL), "
        "('E:\\Odd\\', 5);");
    ASSERT_TRUE(filter.LoadFilters());
    EXPECT_EQ(
        std::tuple(0, -1, 1, 0, 0, 5),
        std::tuple(filter.GetFilterType(L"E:\\Gone\\"), filter.GetFilterType(L"e:\\x\\in\\deep\\"),
                   filter.GetFilterType(L"E:\\X\\"), filter.GetFilterType(L"E:\\Zero\\"),
                   filter.GetFilterType(L"E:\\Null\\"), filter.GetFilterType(L"E:\\Odd\\")));
    EXPECT_EQ(std::pair(std::set<CString>{kSvi, L"E:\\X\\"}, std::set<CString>{L"E:\\X\\In\\"}),
              Sets());
}

}  // namespace
