// The statistics and lookups of the database layer object on a real index filled
// through the save queue: the exact statements and the failure rules. What the lookups
// find is checked end to end by the host program's stats and dupes commands.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <stdexcept>

#include "common/photo_index.h"
#include "db/stored_time.h"
#include "db_test_util.h"

namespace {

using dbtest::Strings;

class StatisticsTest : public ::testing::Test {
protected:
    testutil::PhotoIndex index;
    CDbFacade& db = index.db;
    std::list<_tagTimePath> months;
    std::list<_tagPathInfo> folders;
    std::set<CString> files;
    std::map<int, int> totals;
    std::map<CString, std::set<CString>> groups;
    const CTime feb1{2020, 2, 1, 0, 0, 0}, feb29{2020, 2, 29, 23, 59, 59};
};

const std::string kFiles =
    "select strFullPath || strFileName as strFullPathName from  tb_file_info left join "
    "tb_path_info on tb_path_info.iPathID = tb_file_info.iPathID  where ";
const std::string kMonths =
    "select * from  tb_time_path_info left join tb_path_info on tb_path_info.iPathID = "
    "tb_time_path_info.iPathID ";
const std::string kFeb =
    "tSnapTime >= '2020-02-01 00:00:00' AND tSnapTime <= '2020-02-29 23:59:59'";
const std::string kDup = "D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1";

// Each lookup runs its exact statements: folders get their backslash, subtrees end at
// the folder's own name (C:\Photos2\ is not below C:\Photos\), months are the month
// rows, time ranges include both ends, digests held once are left out.
TEST_F(StatisticsTest, LookupsRunTheirExactStatements) {
    const std::string sums =
        "select SUM(iPicCountT) as iPicCountTR, SUM(iPicSizeT) as iPicSizeTR "
        "from tb_time_path_info where datetime(tPathPicTime, 'start of ";
    const std::string obrien = "'C:\\Photos\\O''Brien\\'";
    const std::pair<std::function<void()>, Strings> cases[] = {
        {[&] { db.GetFolderPicCount(L"C:\\Photos\\O'Brien"); },
         {"select iPicCount, iPicSize from tb_path_info where strFullPath = " + obrien + ";"}},
        {[&] { db.GetTreePicCount(L"C:\\Photos"); },
         {"select SUM(iPicCount) as iPicCountR, SUM(iPicSize) as iPicSizeR from tb_path_info "
          "where  strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]' ; "}},
        {[&] { db.GetYearPicCount(2020); }, {sums + "year') = '2020-01-01 00:00:00';"}},
        {[&] { db.GetMonthPicCount(2020, 2); }, {sums + "month') = '2020-02-01 00:00:00';"}},
        {[&] { db.GetYearTotals(totals); },
         {"select datetime(tPathPicTime, 'start of year') as tPathPicTimeY, SUM(iPicCountT) as "
          "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 "
          "group by tPathPicTimeY; "}},
        {[&] { db.GetMonthTotalsOfYear(2020, totals); },
         {"select datetime(tPathPicTime, 'start of month') as tPathPicTimeYM, SUM(iPicCountT) as "
          "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 "
          "AND datetime(tPathPicTime, 'start of year') = '2020-01-01 00:00:00' group by "
          "tPathPicTimeYM;"}},
        {[&] { db.GetMonthFolders(feb1, feb29, months); },
         {kMonths + " where iPicCountT > 0 AND tPathPicTime >= '2020-02-01 00:00:00'AND "
                    "tPathPicTime <= '2020-02-29 23:59:59';"}},
        {[&] { db.GetAllMonthFolders(months); }, {kMonths + "where iPicCountT > 0 ;"}},
        {[&] { db.GetMonthFoldersOfFolder(L"C:\\Photos\\O'Brien\\", months); },
         {kMonths + " where iPicCountT > 0 AND tb_path_info.strFullPath = " + obrien + ";"}},
        // The folder of a month row is taken as written.
        {[&] { db.GetMonthFoldersOfFolder(L"C:\\Photos", months); },
         {kMonths + " where iPicCountT > 0 AND tb_path_info.strFullPath = 'C:\\Photos';"}},
        // The recursive folder list is a LIKE on the text as written.
        {[&] { db.GetFolders(L"C:\\Photos", 1, folders); },
         {"select * from tb_path_info  where  strFullPath LIKE 'C:\\Photos%'"}},
        {[&] {
             db.GetPathDao().ClearCache();
             db.GetFolders(L"C:\\Photos", 0, folders);
         },
         {"Select * from tb_path_info where strFullPath = 'C:\\Photos\\' LIMIT 1;",
          "select * from tb_path_info  where  iParentID = " +
              std::to_string(db.GetPathDao().GetPathID(L"C:\\Photos\\", false))}},
        {[&] { db.GetFolders(L"", 0, folders); },
         {"select * from tb_path_info  where  iParentID = 0"}},
        {[&] { db.GetFolders(L"", 1, folders); }, {"select * from tb_path_info "}},
        {[&] { db.GetFilesBySnapTime(L"C:\\Photos", 1, feb1, feb29, files); },
         {kFiles + kFeb + " AND strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]';"}},
        {[&] { db.GetFilesBySnapTime(L"", 1, feb1, feb29, files); }, {kFiles + kFeb + ";"}},
        {[&] { db.GetFilesBySnapTime(L"", 0, feb1, feb29, files); },
         {kFiles + kFeb + " AND strFullPath = '';"}},
        {[&] { db.GetFolderFiles(L"C:\\Photos\\O'Brien", 1, files); },
         {kFiles + " strFullPath >= 'C:\\Photos\\O''Brien\\' AND strFullPath < "
                   "'C:\\Photos\\O''Brien]';"}},
        {[&] { db.GetFolderFiles(L"C:\\Photos", 0, files); },
         {kFiles + " strFullPath = 'C:\\Photos\\';"}},
        {[&] { db.GetFilesByMD5(L"d1d1", files); }, {kFiles + "strMD5 = 'd1d1';"}},
        // The files never analysed share the empty digest.
        {[&] { db.GetDuplicateFiles(groups); },
         {"select strMD5 from tb_file_info group by strMD5 having count(iFileID) > 1;",
          kFiles + "strMD5 = '';", kFiles + "strMD5 = '" + kDup + "';"}},
        {[&] { db.CountQuickSearch(testutil::QuickRequest(L"IMG", 1)); },
         {"select count(*) from tb_file_info left join tb_path_info on tb_path_info.iPathID = "
          "tb_file_info.iPathID  where  0 = 1  OR strFullPath like '%IMG%' OR strFileName "
          "like  '%IMG%'"}},
    };
    for (const auto& [call, statements] : cases)
        EXPECT_EQ(statements, dbtest::StatementsOf(db.GetDbMng(), call));
}

// Calendar values out of range are refused before any statement runs; a closed database
// throws even where the folder lookup would answer "not found".
TEST_F(StatisticsTest, FailuresReachTheCaller) {
    std::function<void()> refused[] = {
        [&] { db.GetYearPicCount(1899); },
        [&] { db.GetMonthPicCount(2020, 0); },
        [&] { db.GetMonthPicCount(2020, 13); },
        [&] { db.GetMonthTotalsOfYear(1899, totals); },
        [&] { CDbFacade::MonthLastSecond(INT_MAX, 12); },
    };
    for (auto& call : refused) {
        auto refuse = [&] { EXPECT_THROW(call(), std::invalid_argument); };
        EXPECT_TRUE(dbtest::StatementsOf(db.GetDbMng(), refuse).empty());
    }
    EXPECT_EQ(CTime(2021, 1, 1, 0, 0, 0) - 1, CDbFacade::MonthLastSecond(2020, 12));
    db.Close();
    EXPECT_THROW(db.GetFolders(L"C:\\Nowhere", 0, folders), CppSQLite3Exception);
}

// Stored times are read without the date parser where that gives the same second: in
// zones with daylight saving (New York, Berlin), half-hour changes (Lord Howe) and a
// fixed odd offset (Kolkata), across the changes, every reading must agree with it.
TEST(StoredTime, ReadsAsTheDateParserDoes) {
    for (const char* zone :
         {"UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        dbtest::ScopedTimeZone tz(zone);
        // Every 20 minutes and 1 second through 2021 and 2022, then fixed texts.
        std::vector<std::string> texts;
        for (long long t = 1609459200; t < 1672531200; t += 1201)
            texts.push_back(TimeText(CTime(t)));
        for (const char* text :
             {"2021-03-28 02:30:00", "2021-10-31 02:30:00", "2021-11-07 01:30:00",
              "2021-04-04 01:45:00", "2021-02-30 10:00:00", "2021-04-31 00:00:00",
              "1970-06-01 00:00:00", "2036-01-01 00:00:00", "2021-1-01 00:00:00",
              "2021-01-01 00:00:00x", "2000-00-00 01:01:01", "2021-01-01"})
            texts.push_back(text);
        size_t fast = 0;
        for (const std::string& text : texts) {
            CTime from(-1), to, quick(-1);
            const bool parsed = CCommonFunc::CanBeTime(text.c_str(), from, to) != 0;
            if (ParseStoredTime(text.c_str(), quick)) {
                ++fast;
                EXPECT_EQ(from, quick) << zone << " " << text;
            }
            EXPECT_EQ(parsed ? from : CTime(), ParseTimeText(text.c_str())) << zone << " " << text;
        }
        EXPECT_GT(fast, texts.size() * 99 / 100) << zone;
    }
}

}  // namespace
