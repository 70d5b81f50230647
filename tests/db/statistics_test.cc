// The statistics and lookups of the database layer object on a real index filled
// through the save queue: the exact statements, the answers, and the failure rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <stdexcept>

#include "common/photo_index.h"
#include "db/record_sql.h"
#include "db/stored_time.h"
#include "db_test_util.h"

namespace {

using dbtest::Strings;

// The items' texts, sorted, separated by blanks.
template <typename Range, typename F>
std::string Join(const Range& range, const F& text) {
    std::set<std::string> sorted;
    for (const auto& item : range)
        sorted.insert(text(item));
    std::string out;
    for (const std::string& s : sorted)
        out += (out.empty() ? "" : " ") + s;
    return out;
}

std::string Text(const std::set<CString>& paths) {
    return Join(paths, WideToUtf8);
}
std::string Text(const std::list<_tagPathInfo>& folders) {
    return Join(folders, [](const _tagPathInfo& p) { return WideToUtf8(p.strFullPath); });
}
std::string Text(const std::list<_tagTimePath>& months) {  // "folder|month|count|size"
    return Join(months, [](const _tagTimePath& m) {
        return WideToUtf8(m.strFullPath) + "|" + TimeText(m.tPathPicTime).substr(0, 7) + "|" +
               std::to_string(m.iPicCountT) + "|" + std::to_string(m.iPicSizeT);
    });
}
std::string Text(const std::map<int, int>& totals) {  // "key:count"
    return Join(totals,
                [](auto& t) { return std::to_string(t.first) + ":" + std::to_string(t.second); });
}
std::string Text(const std::map<CString, std::set<CString>>& groups) {  // "digest=path,path"
    return Join(groups, [](auto& g) {
        std::string paths = Text(g.second);
        std::replace(paths.begin(), paths.end(), ' ', ',');
        return WideToUtf8(g.first) + "=" + paths;
    });
}

class StatisticsTest : public ::testing::Test {
protected:
    // "RESULT:ITEMS" of a call that filled `out`, which is emptied for the next call.
    template <typename T>
    std::string Got(int result, T& out) {
        std::string text = std::to_string(result) + ":" + Text(out);
        out = T();
        return text;
    }

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

// Each lookup runs its exact statements (where given) and answers from the sample tree:
// folders get their backslash, subtrees end at the folder's own name (C:\Photos2\ is
// not below C:\Photos\), months are the month rows, time ranges include both ends.
TEST_F(StatisticsTest, LookupsRunTheirStatementsAndAnswerFromTheIndex) {
    const std::string sums =
        "select SUM(iPicCountT) as iPicCountTR, SUM(iPicSizeT) as iPicSizeTR "
        "from tb_time_path_info where datetime(tPathPicTime, 'start of ";
    const std::string p = "C:\\Photos\\", p20 = p + "2020\\", n = p20 + "IMG_000";
    struct Case {
        std::function<std::string()> call;
        std::string answer;
        Strings statements = {};  // empty: not checked
    } cases[] = {
        {[&] { return std::to_string(db.GetFolderPicCount(L"C:\\Photos\\O'Brien")); },
         "1",
         {"select iPicCount, iPicSize from tb_path_info where strFullPath = "
          "'C:\\Photos\\O''Brien\\';"}},
        {[&] { return std::to_string(db.GetTreePicCount(L"C:\\Photos")); },
         "6",
         {"select SUM(iPicCount) as iPicCountR, SUM(iPicSize) as iPicSizeR from tb_path_info "
          "where  strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]' ; "}},
        {[&] { return std::to_string(db.GetTreePicCount(L"c:\\photos\\")); }, "6"},
        {[&] { return std::to_string(db.GetYearPicCount(2020)); },
         "5",
         {sums + "year') = '2020-01-01 00:00:00';"}},
        {[&] { return std::to_string(db.GetMonthPicCount(2020, 2)); },
         "3",
         {sums + "month') = '2020-02-01 00:00:00';"}},
        {[&] { return Got(db.GetYearTotals(totals), totals); },
         "1:2018:1 2019:1 2020:5",
         {"select datetime(tPathPicTime, 'start of year') as tPathPicTimeY, SUM(iPicCountT) as "
          "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 "
          "group by tPathPicTimeY; "}},
        {[&] { return Got(db.GetMonthTotalsOfYear(2020, totals), totals); },
         "1:1:1 2:3 3:1",
         {"select datetime(tPathPicTime, 'start of month') as tPathPicTimeYM, SUM(iPicCountT) as "
          "iPicCountTR, SUM(iPicSizeT) as iPicSizeTR from  tb_time_path_info where iPicCountT > 0 "
          "AND datetime(tPathPicTime, 'start of year') = '2020-01-01 00:00:00' group by "
          "tPathPicTimeYM;"}},
        {[&] { return Got(db.GetMonthFolders(feb1, feb29, months), months); },
         "1:C:\\Photos2\\|2020-02|1|7000 " + p20 + "|2020-02|2|7000",
         {kMonths + " where iPicCountT > 0 AND tPathPicTime >= '2020-02-01 00:00:00'AND "
                    "tPathPicTime <= '2020-02-29 23:59:59';"}},
        {[&] { return Got(db.GetAllMonthFolders(months), months); },
         "1:C:\\Photos2\\|2020-02|1|7000 " + p20 + "|2020-02|2|7000 " + p20 + "|2020-03|1|5000 " +
             p + "O'Brien\\|2018-12|1|6000 " + p + "|2019-07|1|1000 " + p + "|2020-01|1|2000",
         {kMonths + "where iPicCountT > 0 ;"}},
        {[&] { return Got(db.GetMonthFoldersOfFolder(L"C:\\Photos\\O'Brien\\", months), months); },
         "1:" + p + "O'Brien\\|2018-12|1|6000",
         {kMonths + " where iPicCountT > 0 AND tb_path_info.strFullPath = "
                    "'C:\\Photos\\O''Brien\\';"}},
        {[&] { return Got(db.GetMonthFoldersOfFolder(L"C:\\Photos", months), months); }, "1:"},
        // The recursive folder list is a LIKE on the text as written.
        {[&] { return Got(db.GetFolders(L"C:\\Photos", 1, folders), folders); },
         "1:C:\\Photos2\\ " + p + " " + p20 + " " + p + "O'Brien\\",
         {"select * from tb_path_info  where  strFullPath LIKE 'C:\\Photos%'"}},
        {[&] {
             db.GetPathDao().ClearCache();
             return Got(db.GetFolders(L"C:\\Photos", 0, folders), folders);
         },
         "1:" + p20 + " " + p + "O'Brien\\",
         {"Select * from tb_path_info where strFullPath = 'C:\\Photos\\' LIMIT 1;",
          "select * from tb_path_info  where  iParentID = " +
              std::to_string(db.GetPathDao().GetPathID(L"C:\\Photos\\", false))}},
        {[&] { return Got(db.GetFolders(L"", 0, folders), folders); },
         "1:C:\\",
         {"select * from tb_path_info  where  iParentID = 0"}},
        {[&] { return Got(db.GetFolders(L"", 1, folders), folders); },
         "1:C:\\ C:\\New\\ C:\\Other\\ C:\\Photos2\\ " + p + " " + p20 + " " + p + "O'Brien\\",
         {"select * from tb_path_info "}},
        {[&] { return Got(db.GetFilesBySnapTime(L"C:\\Photos", 1, feb1, feb29, files), files); },
         "1:" + n + "1.JPG " + n + "2.JPG",
         {kFiles + kFeb + " AND strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]';"}},
        {[&] { return Got(db.GetFilesBySnapTime(L"", 1, feb1, feb29, files), files); },
         "1:C:\\Photos2\\c.jpg " + n + "1.JPG " + n + "2.JPG",
         {kFiles + kFeb + ";"}},
        {[&] { return Got(db.GetFilesBySnapTime(L"", 0, feb1, feb29, files), files); },
         "1:",
         {kFiles + kFeb + " AND strFullPath = '';"}},
        {[&] {
             CTime first(2020, 2, 14, 12, 0, 0), last(2020, 2, 20, 12, 0, 0);
             return Got(db.GetFilesBySnapTime(L"C:\\Photos\\2020", 0, first, last, files), files);
         },
         "1:" + n + "1.JPG " + n + "2.JPG"},
        {[&] { return Got(db.GetFolderFiles(L"C:\\Photos\\O'Brien", 1, files), files); },
         "1:" + p + "O'Brien\\pic'1.jpg",
         {kFiles + " strFullPath >= 'C:\\Photos\\O''Brien\\' AND strFullPath < "
                   "'C:\\Photos\\O''Brien]';"}},
        {[&] { return Got(db.GetFolderFiles(L"C:\\Photos", 0, files), files); },
         "1:" + p + "a.jpg " + p + "b.jpg",
         {kFiles + " strFullPath = 'C:\\Photos\\';"}},
        {[&] { return Got(db.GetFilesByMD5(L"d1d1d1d1d1d1d1d1d1d1d1d1d1d1d1d1", files), files); },
         "1:C:\\Photos2\\c.jpg " + p + "a.jpg"},
        // Digests held once are left out; the files never analysed share the empty digest.
        {[&] { return Got(db.GetDuplicateFiles(groups), groups); },
         "1:=C:\\New\\n1.jpg,C:\\New\\n2.jpg " + kDup + "=C:\\Photos2\\c.jpg," + p + "a.jpg",
         {"select strMD5 from tb_file_info group by strMD5 having count(iFileID) > 1;",
          kFiles + "strMD5 = '';", kFiles + "strMD5 = '" + kDup + "';"}},
        {[&] { return std::to_string(db.CountQuickSearch(testutil::QuickRequest(L"IMG", 1))); },
         "2",
         {"select count(*) from tb_file_info left join tb_path_info on tb_path_info.iPathID = "
          "tb_file_info.iPathID  where  0 = 1  OR strFullPath like '%IMG%' OR strFileName "
          "like  '%IMG%'"}},
    };
    for (const Case& c : cases) {
        std::string answer;
        Strings seen = dbtest::StatementsOf(db.GetDbMng(), [&] { answer = c.call(); });
        if (c.statements.empty()) seen.clear();
        EXPECT_EQ(std::pair(c.answer, c.statements), std::pair(answer, seen));
    }
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
