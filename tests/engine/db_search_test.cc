// The database search: the statement texts, searches on a real index
// filled through the save queue, and the worker's life (paused start, one delivery,
// verification one entry per step, cancel, rejected statements).
#include <gtest/gtest.h>

#include "common/photo_index.h"
#include "engine/db_search.h"

namespace {

using testutil::QuickRequest;
using testutil::WaitUntil;

const std::string kFrom =
    "tb_file_info left join tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID ";
const std::string kExif = " left join tb_exif_info on tb_exif_info.iExifID = tb_file_info.iExifID ";
const std::string kIptc = " left join tb_iptc_info on tb_iptc_info.iIptcID = tb_file_info.iIptcID ";
const std::string kGps = " left join tb_gps_info on tb_gps_info.iGpsID = tb_file_info.iGpsID ";

// A field search: {reserved, path texts, conditions}.
using Field = _tagFieldSearch;

// The text after "from" for each quick-search scope and for field conditions, exactly
// (double blanks included): wildcards converted, "_" escaped, quotes doubled in quick
// texts, text values quoted, unknown fields and operators dropped.
TEST(SearchStatements, TailsAreExact) {
    const std::string y = "'2008-01-01 00:00:00'", z = "'2008-12-31 23:59:59'";
    const std::pair<std::string, std::string> cases[] = {
        {CDbSearch::BuildQuickSql(QuickRequest(L"x", 0)), kFrom + " where  0 = 1 "},
        {CDbSearch::BuildQuickSql(QuickRequest(CDbSearch::ConvertWildcards(L" \ta_b*?"), 1)),
         kFrom + " where  0 = 1  OR strFullPath like '%a\\_b%_%' OR strFileName like  '%a\\_b%_%'"},
        {CDbSearch::BuildQuickSql(QuickRequest(L"O'B", 6)),
         kFrom + kIptc + kExif +
             " where  0 = 1  OR strTitle like  '%O''B%' OR strKeyWord like  '%O''B%' OR strCountry "
             "like  '%O''B%' OR strCity like  '%O''B%' OR strManufacturer like  '%O''B%' OR "
             "strModel like  '%O''B%'"},
        {CDbSearch::BuildQuickSql(QuickRequest(L"2008", 9)),
         kFrom + kGps +
             " where  0 = 1  OR strFullPath like '%2008%' OR strFileName like  '%2008%'" +
             " OR (tFileCreate >=  " + y + " AND tFileCreate <  " + z + ") OR (tSnapTime >=  " + y +
             " AND tSnapTime <  " + z +
             ") OR iLatitude =  2008 OR iLongitute =  2008 OR iAltitute =  2008"},
        {CDbSearch::BuildFieldSql(Field{0, {}, {{537, 4, L"beach"}}}),
         kFrom + kIptc + " where strKeyWord =  'beach' "},
        // An unknown id drops its condition; an unknown operator keeps only the join.
        {CDbSearch::BuildFieldSql(Field{0, {}, {{1, 4, L"x"}, {2, 9, L"1"}}}), kFrom + kGps},
        {CDbSearch::BuildFieldSql(
             Field{0, {L"b", L"a"}, {{-13, 6, L"2020"}, {37386, 2, L"50/1"}, {-12, 7, L"a'b"}}}),
         kFrom + kExif +
             " where ( strFullPath || strFileName like '%a%' OR  strFullPath || strFileName like "
             "'%b%') AND tSnapTime <  '2020'  AND iFocalLenL / iFocalLenR > 50/1 AND strFileName "
             "LIKE '%a'b%' "},
    };
    for (const auto& [built, expected] : cases)
        EXPECT_EQ(expected, built);
}

// Runs searches on the sample index and records what they hand over.
class DbSearchTest : public ::testing::Test, public ISearchResultSink {
protected:
    // Called on the search thread; read once the search has finished.
    void RecordResults(const CSearchResultMap& results) override {
        deliveries.push_back(results);
        for (const auto& entry : results)
            found.insert(entry.first);
    }
    // Starts a search (paused) and runs it to its end.
    template <typename Request>
    void Run(const Request& request) {
        deliveries.clear();
        found.clear();
        if constexpr (std::is_same_v<Request, _tagQuickSearch>)
            ASSERT_EQ(1, search.StartQuickSearch(request));
        else
            ASSERT_EQ(1, search.StartFieldSearch(request));
        search.Resume();
        ASSERT_TRUE(WaitUntil([&] { return search.IsFinish() != 0; }));
    }
    int HistoryCount(const CString& key) {
        std::map<CString, int> out;
        index.db.GetSearchHistory(key, out, 100);
        return out[key];
    }

    testutil::PhotoIndex index;
    CDbSearch search{&index.db, this};
    std::vector<CSearchResultMap> deliveries;
    std::set<CString> found;
};

// A value holding a quote, and anything but one read-only statement, is refused: the
// search finds nothing and the index stays as it was. (What the statements find is
// checked end to end by the host program's tests.)
TEST_F(DbSearchTest, OnlyOneReadOnlyStatementRuns) {
    const _tagSearchCondition refused[] = {{-1, 1, L"O'Brien"},
                                           {34855, 3, L"0; delete from tb_file_info"},
                                           {34855, 3, L"0; select 1"}};
    for (const _tagSearchCondition& condition : refused) {
        Run(Field{0, {}, {condition}});
        EXPECT_EQ(std::set<CString>{}, found) << search.GetSqlTail();
    }
    EXPECT_EQ(10, index.db.GetDbMng().QueryScalar("select count(*) from tb_file_info"));
}

// A cancel while the query runs delivers nothing. A search starts paused, queries once it
// runs, delivers its rows in one call and counts its text in the history at each step;
// no rows: one step and no delivery.
TEST_F(DbSearchTest, StartsPausedAndDeliversOnceAfterTheQueryOrNothingWhenCancelled) {
    // The query's statement is run on the search thread, which cancels its own search.
    index.db.GetDbMng().SetStatementObserver([&](const char* sql) {
        if (std::string(sql).rfind("select", 0) == 0) search.Cancel(FALSE);
    });
    Run(QuickRequest(L"jpg", 1));
    EXPECT_TRUE(deliveries.empty());
    std::vector<std::string> seen;
    index.db.GetDbMng().SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
    ASSERT_EQ(1, search.StartQuickSearch(QuickRequest(L"IMG", 1)));
    EXPECT_EQ(std::pair(1, 0),
              std::pair(search.IsPause(), search.StartQuickSearch(QuickRequest(L"IMG", 1))));
    EXPECT_TRUE(seen.empty());
    search.Resume();
    ASSERT_TRUE(WaitUntil([&] { return search.IsFinish() != 0; }));
    index.db.GetDbMng().SetStatementObserver(nullptr);
    // Query, delivery, the empty step: three history writes around the one query.
    const std::set<CString> imgs{L"C:\\Photos\\2020\\IMG_0001.JPG",
                                 L"C:\\Photos\\2020\\IMG_0002.JPG"};
    const std::string query =
        "select strFullPath || strFileName as strFullPathName, iFileSize, tFileModify from " +
        CDbSearch::BuildQuickSql(QuickRequest(L"IMG", 1));
    EXPECT_EQ(std::tuple(size_t(1), imgs, 3, size_t(4), query),
              std::tuple(deliveries.size(), found, HistoryCount(L"IMG"), seen.size(), seen.at(1)));
    Run(QuickRequest(L"nothing-like-this", 1));
    EXPECT_EQ(std::pair(1, true),
              std::pair(HistoryCount(L"nothing-like-this"), deliveries.empty()));
}

// Verification drops stale entries at the head of the results, one per step (a file
// gone, a file whose time changed); a stale entry further on is delivered all the same,
// each path with its stored size and modification time.
TEST_F(DbSearchTest, VerifyDropsLeadingStaleEntriesOnePerStep) {
    // In path order the results run c.jpg (Photos2 sorts first), IMG_0001, IMG_0002, ...
    std::remove(index.HostPath(L"C:\\Photos2\\c.jpg").c_str());
    index.SetModifyTime(L"C:\\Photos\\2020\\IMG_0001.JPG", CTime(2022, 1, 1, 0, 0, 0));
    index.WriteFile(L"C:\\Photos\\b.jpg", 1);
    Run(QuickRequest(L"Photos", 1, 1));
    ASSERT_EQ(1u, deliveries.size());
    const std::pair<LONGLONG, CTime> stored(6000, testutil::SampleModifyTime());
    // Query, two drops, delivery, empty step: five history writes.
    EXPECT_EQ(std::tuple(
                  std::set<CString>{L"C:\\Photos\\2020\\IMG_0002.JPG", L"C:\\Photos\\2020\\x_y.jpg",
                                    L"C:\\Photos\\O'Brien\\pic'1.jpg", L"C:\\Photos\\a.jpg",
                                    L"C:\\Photos\\b.jpg"},
                  5, stored),
              std::tuple(found, HistoryCount(L"Photos"),
                         deliveries[0].at(L"C:\\Photos\\O'Brien\\pic'1.jpg")));
}

// Found paths read as the general UTF-8 conversion reads them, whatever the bytes.
TEST_F(DbSearchTest, FoundPathsDecodeAsTheTextConversionDoes) {
    for (std::string name : {"\xC3\xA9t\xC3\xA9", "\xF0\x9F\x93\xB7", "bad\xC3(", "\xFF"}) {
        index.db.GetDbMng().Execute(
            ("update tb_file_info set strFileName = '" + name + "' where iFileSize = 2000;")
                .c_str());
        Run(Field{0, {}, {{-2, 4, L"2000"}}});
        EXPECT_EQ(std::set<CString>{Utf8ToWide("C:\\Photos\\" + name)}, found) << name;
    }
}

}  // namespace
