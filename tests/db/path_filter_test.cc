// The folder filters: the folder-name tree, and the filter set kept in step with
// tb_path_filter, with the fixed folders that are never stored.
#include <gtest/gtest.h>

#include "db/path_filter.h"
#include "db_test_util.h"

namespace {

using dbtest::Column;
using dbtest::CountRows;

int TypeOf(const CPathNode& root, const wchar_t* path) {
    int type = 0;
    root.Lookup(path, type);
    return type;
}

TEST(PathNodeTest, DeeperValuesOverrideShallowerOnesWithoutRegardToCase) {
    CPathNode root;
    root.Insert(L"C:\\", 1);
    root.Insert(L"C:\\Photos\\", -1);
    EXPECT_EQ(1, TypeOf(root, L"C:\\Windows\\"));
    EXPECT_EQ(-1, TypeOf(root, L"C:\\Photos\\2010\\"));
    EXPECT_EQ(0, TypeOf(root, L"D:\\"));
    EXPECT_EQ(-1, TypeOf(root, L"c:\\photos"));
    EXPECT_EQ(-1, TypeOf(root, L"C:/PHOTOS/"));
    EXPECT_EQ(-1, TypeOf(root, L"C:\\\\Photos\\"));  // doubled separators count once

    int type = 0;
    EXPECT_FALSE(root.Lookup(L"C:\\Windows\\", type));  // no node for Windows
    EXPECT_TRUE(root.Lookup(L"C:\\PHOTOS\\", type));
    EXPECT_TRUE(root.HasValueBelow(L"C:\\", -1));
    EXPECT_TRUE(root.HasValueBelow(L"c:\\photos\\", -1));
    EXPECT_FALSE(root.HasValueBelow(L"C:\\Photos\\", 1));
    EXPECT_FALSE(root.HasValueBelow(L"D:\\", -1));
    EXPECT_TRUE(root.HasValueBelow(nullptr, 1));

    // An empty path is the root itself.
    root.Insert(L"", 7);
    EXPECT_EQ(7, TypeOf(root, L"E:\\x\\"));
}

TEST(PathNodeTest, RemovingFallsBackToTheValueAbove) {
    CPathNode root;
    root.Insert(L"C:\\", 1);
    root.Insert(L"C:\\Photos\\", -1);
    root.Insert(L"C:\\Photos\\2010\\Raw\\", 1);
    EXPECT_TRUE(root.Remove(L"c:\\PHOTOS\\"));
    EXPECT_EQ(1, TypeOf(root, L"C:\\Photos\\"));
    EXPECT_EQ(1, TypeOf(root, L"C:\\Photos\\2010\\"));
    EXPECT_FALSE(root.HasValueBelow(L"C:\\", -1));
    EXPECT_FALSE(root.Remove(L"C:\\Nowhere\\"));

    // Removing the deepest filter deletes the nodes left empty; the rest stays.
    EXPECT_TRUE(root.Remove(L"C:\\Photos\\2010\\Raw\\"));
    EXPECT_TRUE(root.m_children.at(L"C:")->m_children.empty());
    EXPECT_EQ(1, TypeOf(root, L"C:\\Photos\\2010\\Raw\\"));
}

TEST(PathNodeTest, NamesOrderWithoutRegardToCaseAndEndAtSeparators) {
    CPathNode::NameLess less;
    EXPECT_FALSE(less(L"photos", L"PHOTOS"));
    EXPECT_FALSE(less(L"PHOTOS", L"photos"));
    EXPECT_TRUE(less(L"A", L"b"));
    EXPECT_FALSE(less(L"ab\\c", L"AB"));
    EXPECT_TRUE(less(L"AB", L"ABC"));
    EXPECT_EQ((std::vector<CString>{L"C:", L"PHOTOS", L"ÄB"}),
              CPathNode::SplitPath(L"c:\\Photos/\\Äb"));
}

class PathFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbtest::OpenWithSchema(db, file.Path());
        filter.SetDbMng(&db);
    }
    std::vector<std::string> StoredFilters() {
        return Column(db,
                      "select strFullPath || '=' || iFilterType from tb_path_filter order "
                      "by strFullPath");
    }

    dbtest::ScopedMachine machine;  // fixed drive C: only
    dbtest::TempDb file;
    CDBMng db;
    CPathFilter filter;
};

TEST_F(PathFilterTest, AddAndRemoveKeepTableTreeAndSetsInStep) {
    ASSERT_TRUE(filter.LoadFilters());
    dbtest::StatementLog log(db);
    EXPECT_TRUE(filter.AddExcludedFilter(L"D:\\Temp\\"));
    EXPECT_TRUE(filter.AddExcludedFilter(L"D:\\Temp\\"));  // already excluded: no statement
    EXPECT_EQ(std::vector<std::string>{"replace into tb_path_filter(strFullPath, iFilterType) "
                                       "values ('D:\\Temp\\',1);"},
              log.Seen());
    EXPECT_TRUE(filter.AddIncludedFilter(L"D:\\Temp\\Keep\\"));
    EXPECT_EQ(1, filter.GetFilterType(L"d:\\temp\\x\\"));
    EXPECT_EQ(-1, filter.GetFilterType(L"D:\\Temp\\Keep\\y\\"));
    EXPECT_TRUE(filter.HasIncludedBelow(L"D:\\"));
    EXPECT_EQ((std::vector<std::string>{"D:\\Temp\\=1", "D:\\Temp\\Keep\\=-1"}), StoredFilters());

    std::set<CString> folders = {L"D:\\Temp\\a\\", L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"};
    filter.RemoveExcluded(folders);
    EXPECT_EQ((std::set<CString>{L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"}), folders);

    EXPECT_FALSE(filter.RemoveIncludedFilter(L"D:\\Nope\\"));
    EXPECT_TRUE(filter.RemoveIncludedFilter(L"D:\\Temp\\Keep\\"));
    EXPECT_EQ(1, filter.GetFilterType(L"D:\\Temp\\Keep\\y\\"));
    EXPECT_FALSE(filter.HasIncludedBelow(L"D:\\"));
    EXPECT_EQ(std::vector<std::string>{"D:\\Temp\\=1"}, StoredFilters());

    // An included folder that becomes excluded: the table and the tree take the new type,
    // the included set keeps its entry.
    filter.AddIncludedFilter(L"D:\\Both\\");
    filter.AddExcludedFilter(L"D:\\Both\\");
    EXPECT_EQ(1, filter.GetFilterType(L"D:\\Both\\"));
    EXPECT_EQ(1, CountRows(db, "tb_path_filter", "strFullPath = 'D:\\Both\\' and iFilterType = 1"));
    std::set<CString> included;
    filter.GetIncludedFilters(included);
    EXPECT_EQ(1u, included.count(L"D:\\Both\\"));
}

TEST_F(PathFilterTest, FixedFoldersAreExcludedButNeverStoredOrRemoved) {
    ASSERT_TRUE(filter.LoadFilters());
    std::set<CString> excluded;
    filter.GetExcludedFilters(excluded);
    EXPECT_EQ(std::set<CString>{L"C:\\System Volume Information\\"}, excluded);
    EXPECT_EQ(1, filter.GetFilterType(L"C:\\System Volume Information\\x\\"));
    EXPECT_EQ(0, CountRows(db, "tb_path_filter"));

    EXPECT_FALSE(filter.RemoveExcludedFilter(L"C:\\System Volume Information\\"));
    EXPECT_TRUE(filter.SetExcludedFilters({L"D:\\A\\"}));
    excluded.clear();
    filter.GetExcludedFilters(excluded);
    EXPECT_EQ((std::set<CString>{L"C:\\System Volume Information\\", L"D:\\A\\"}), excluded);
    EXPECT_EQ(std::vector<std::string>{"D:\\A\\=1"}, StoredFilters());
}

TEST_F(PathFilterTest, SetFiltersAddsAndRemovesInOneTransaction) {
    filter.LoadFilters();
    filter.AddIncludedFilter(L"D:\\A\\");
    filter.AddIncludedFilter(L"D:\\B\\");
    dbtest::StatementLog log(db);
    EXPECT_TRUE(filter.SetIncludedFilters({L"D:\\B\\", L"D:\\C\\"}));
    ASSERT_EQ(4u, log.Seen().size());
    EXPECT_EQ("begin  transaction;", log.Seen().front());
    EXPECT_EQ("commit transaction;", log.Seen().back());
    EXPECT_EQ((std::vector<std::string>{"D:\\B\\=-1", "D:\\C\\=-1"}), StoredFilters());

    EXPECT_TRUE(filter.SetIncludedFilters({}));
    std::set<CString> included;
    filter.GetIncludedFilters(included);
    EXPECT_TRUE(included.empty());
    EXPECT_EQ(0, CountRows(db, "tb_path_filter"));
    EXPECT_EQ(0, filter.GetFilterType(L"D:\\C\\"));
}

TEST_F(PathFilterTest, LoadingReadsTheStoredRows) {
    db.Execute(
        "insert into tb_path_filter(strFullPath, iFilterType) values ('E:\\X\\', 1), "
        "('E:\\X\\In\\', -1), ('E:\\Zero\\', 0), ('E:\\Null\\', NULL), ('E:\\Odd\\', 5);");
    ASSERT_TRUE(filter.LoadFilters());
    EXPECT_EQ(-1, filter.GetFilterType(L"e:\\x\\in\\deep\\"));
    EXPECT_EQ(1, filter.GetFilterType(L"E:\\X\\"));
    EXPECT_EQ(0, filter.GetFilterType(L"E:\\Zero\\"));
    EXPECT_EQ(0, filter.GetFilterType(L"E:\\Null\\"));
    EXPECT_EQ(5, filter.GetFilterType(L"E:\\Odd\\"));
    std::set<CString> excluded, included;
    filter.GetExcludedFilters(excluded);
    filter.GetIncludedFilters(included);
    EXPECT_EQ((std::set<CString>{L"C:\\System Volume Information\\", L"E:\\X\\"}), excluded);
    EXPECT_EQ(std::set<CString>{L"E:\\X\\In\\"}, included);

    CPathFilter closed;
    EXPECT_FALSE(closed.LoadFilters());
    EXPECT_FALSE(closed.AddExcludedFilter(L"D:\\"));
}

}  // namespace
