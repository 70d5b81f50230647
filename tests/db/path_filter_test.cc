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

TEST(PathNodeTest, DeepestValueWinsWithoutRegardToCase) {
    CPathNode root;
    root.Insert(L"C:\\", 1);
    root.Insert(L"C:\\Photos\\", -1);
    EXPECT_EQ(1, TypeOf(root, L"C:\\Windows\\"));
    EXPECT_EQ(-1, TypeOf(root, L"C:\\Photos\\2010\\"));
    EXPECT_EQ(0, TypeOf(root, L"D:\\"));
    EXPECT_EQ(-1, TypeOf(root, L"c:\\photos"));
    EXPECT_EQ(-1, TypeOf(root, L"C:/PHOTOS/"));
    // A doubled separator is an empty component of its own: no node for it.
    EXPECT_EQ(1, TypeOf(root, L"C:\\\\Photos\\"));
    EXPECT_EQ((std::vector<CString>{L"", L"", L"SRV", L"C:", L"", L"ÄB"}),
              CPathNode::SplitPath(L"\\\\srv\\c:\\/Äb\\"));

    int type = 0;
    EXPECT_FALSE(root.Lookup(L"C:\\Windows\\", type));
    EXPECT_TRUE(root.Lookup(L"C:\\PHOTOS\\", type));
    EXPECT_TRUE(root.HasValueBelow(L"c:\\", -1));
    EXPECT_TRUE(root.HasValueBelow(L"C:\\Photos\\", -1));  // the node itself counts
    EXPECT_FALSE(root.HasValueBelow(L"C:\\Photos\\", 1));
    EXPECT_FALSE(root.HasValueBelow(L"D:\\", -1));
    EXPECT_TRUE(root.HasValueBelow(nullptr, 1));

    CPathNode::NameLess less;
    EXPECT_FALSE(less(L"photos", L"PHOTOS") || less(L"PHOTOS", L"photos"));
    EXPECT_TRUE(less(L"A", L"b"));
    EXPECT_FALSE(less(L"ab\\c", L"AB"));  // a separator ends the name

    root.Insert(L"", 7);  // an empty path is the root itself
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

class PathFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbtest::OpenWithSchema(db, file.Path());
        filter.SetDbMng(&db);
        ASSERT_TRUE(filter.LoadFilters());
    }
    std::vector<std::string> Stored() {
        return Column(db,
                      "select strFullPath || '=' || iFilterType from tb_path_filter order by 1");
    }
    std::set<CString> Excluded() {
        std::set<CString> out;
        filter.GetExcludedFilters(out);
        return out;
    }
    std::set<CString> Included() {
        std::set<CString> out;
        filter.GetIncludedFilters(out);
        return out;
    }

    dbtest::ScopedMachine machine;  // fixed drive C: only
    dbtest::TempDb file;
    CDBMng db;
    CPathFilter filter;
};

TEST_F(PathFilterTest, AddAndRemoveKeepTableTreeAndSetsInStep) {
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
    EXPECT_EQ((std::vector<std::string>{"D:\\Temp\\=1", "D:\\Temp\\Keep\\=-1"}), Stored());

    std::set<CString> folders = {L"D:\\Temp\\a\\", L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"};
    filter.RemoveExcluded(folders);
    EXPECT_EQ((std::set<CString>{L"D:\\Temp\\Keep\\b\\", L"D:\\Other\\"}), folders);

    log.Clear();
    EXPECT_FALSE(filter.RemoveIncludedFilter(L"D:\\Nope\\"));
    EXPECT_TRUE(log.Seen().empty());
    EXPECT_TRUE(filter.RemoveIncludedFilter(L"D:\\Temp\\Keep\\"));
    EXPECT_EQ(1, filter.GetFilterType(L"D:\\Temp\\Keep\\y\\"));
    EXPECT_FALSE(filter.HasIncludedBelow(L"D:\\"));
    EXPECT_EQ(std::vector<std::string>{"D:\\Temp\\=1"}, Stored());

    // An included folder that becomes excluded: the table and the tree take the new type,
    // the included set keeps its entry.
    filter.AddIncludedFilter(L"D:\\Both\\");
    filter.AddExcludedFilter(L"D:\\Both\\");
    EXPECT_EQ(1, filter.GetFilterType(L"D:\\Both\\"));
    EXPECT_EQ(1, CountRows(db, "tb_path_filter", "strFullPath = 'D:\\Both\\' and iFilterType = 1"));
    EXPECT_EQ(1u, Included().count(L"D:\\Both\\"));
}

TEST_F(PathFilterTest, FixedFoldersAreExcludedButNeverStored) {
    const CString svi = L"C:\\System Volume Information\\";
    EXPECT_EQ(std::set<CString>{svi}, Excluded());
    EXPECT_EQ(1, filter.GetFilterType(L"c:\\system volume information\\x\\"));
    EXPECT_EQ(0, CountRows(db, "tb_path_filter"));
    // Removed like any excluded folder until the next load brings it back.
    EXPECT_TRUE(filter.RemoveExcludedFilter(svi));
    EXPECT_EQ(0, filter.GetFilterType(svi));
    EXPECT_TRUE(Excluded().empty());
    ASSERT_TRUE(filter.LoadFilters());
    EXPECT_EQ(1, filter.GetFilterType(svi));
    EXPECT_EQ(0, CountRows(db, "tb_path_filter"));
}

TEST_F(PathFilterTest, SetFiltersWalksBothSetsInOneTransaction) {
    filter.AddIncludedFilter(L"D:\\A\\");
    filter.AddIncludedFilter(L"D:\\B\\");
    dbtest::StatementLog log(db);
    EXPECT_TRUE(filter.SetIncludedFilters({L"D:\\B\\", L"D:\\C\\"}));
    ASSERT_EQ(4u, log.Seen().size());
    EXPECT_EQ("begin  transaction;", log.Seen().front());
    EXPECT_EQ("commit transaction;", log.Seen().back());
    EXPECT_EQ((std::vector<std::string>{"D:\\B\\=-1", "D:\\C\\=-1"}), Stored());

    // The same folder in another letter case is one row of the table: the old text is
    // removed before the new one is added, so the folder stays included.
    EXPECT_TRUE(filter.SetIncludedFilters({L"D:\\B\\", L"d:\\c\\"}));
    EXPECT_EQ((std::vector<std::string>{"D:\\B\\=-1", "d:\\c\\=-1"}), Stored());
    EXPECT_EQ(-1, filter.GetFilterType(L"D:\\C\\x\\"));

    EXPECT_TRUE(filter.SetIncludedFilters({}));
    EXPECT_TRUE(Included().empty());
    EXPECT_EQ(0, CountRows(db, "tb_path_filter"));
    EXPECT_EQ(0, filter.GetFilterType(L"D:\\B\\"));
}

TEST_F(PathFilterTest, LoadingReplacesTreeAndSetsWithTheStoredRows) {
    filter.AddExcludedFilter(L"E:\\Gone\\");
    db.Execute("delete from tb_path_filter;");
    db.Execute(
        "insert into tb_path_filter(strFullPath, iFilterType) values ('E:\\X\\', 1), "
        "('E:\\X\\In\\', -1), ('E:\\Zero\\', 0), ('E:\\Null\\', NULL), ('E:\\Odd\\', 5);");
    ASSERT_TRUE(filter.LoadFilters());
    EXPECT_EQ(0, filter.GetFilterType(L"E:\\Gone\\"));
    EXPECT_EQ(-1, filter.GetFilterType(L"e:\\x\\in\\deep\\"));
    EXPECT_EQ(1, filter.GetFilterType(L"E:\\X\\"));
    EXPECT_EQ(0, filter.GetFilterType(L"E:\\Zero\\"));
    EXPECT_EQ(0, filter.GetFilterType(L"E:\\Null\\"));
    EXPECT_EQ(5, filter.GetFilterType(L"E:\\Odd\\"));
    EXPECT_EQ((std::set<CString>{L"C:\\System Volume Information\\", L"E:\\X\\"}), Excluded());
    EXPECT_EQ(std::set<CString>{L"E:\\X\\In\\"}, Included());

    CPathFilter closed;
    EXPECT_FALSE(closed.LoadFilters());
    EXPECT_FALSE(closed.AddExcludedFilter(L"D:\\"));
}

}  // namespace
