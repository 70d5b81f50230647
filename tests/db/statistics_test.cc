// The statistics and lookups of the database layer object on a real index filled
// through the save queue: the exact statements, the answers, and the failure rules.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <stdexcept>

#include "common/photo_index.h"
#include "db/record_sql.h"
#include "db/stored_time.h"

namespace {

using Strings = std::vector<std::string>;

class StatisticsTest : public ::testing::Test {
protected:
    // The statements one call runs, in order.
    Strings StatementsOf(const std::function<void()>& call) {
        Strings seen;
        db.GetDbMng().SetStatementObserver([&](const char* sql) { seen.push_back(sql); });
        call();
        db.GetDbMng().SetStatementObserver(nullptr);
        return seen;
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
const std::string kDup = "D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1";

TEST_F(StatisticsTest, EveryStatementIsExact) {
    const std::string sums =
        "select SUM(iPicCountT) as iPicCountTR, SUM(iPicSizeT) as iPicSizeTR "
        "from tb_time_path_info where datetime(tPathPicTime, 'start of ";
    struct Case {
        std::function<void()> call;
        Strings expected;
    } cases[] = {
        {[&] { db.GetFolderPicCount(L"C:\\Photos\\O'Brien"); },
         {"select iPicCount, iPicSize from tb_path_info where strFullPath = "
          "'C:\\Photos\\O''Brien\\';"}},
        {[&] { db.GetTreePicCount(L"C:\\Photos"); },
         {"select SUM(iPicCount) as iPicCountR, SUM(iPicSize) as iPicSizeR from tb_path_info "
          "where  strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]' ; "}},
        {[&] { db.GetYearPicCount(2020); }, {sums + "year') = '2020-01-01 00:00:00';"}},
        {[&] { db.GetMonthPicCount(2010, 2); }, {sums + "month') = '2010-02-01 00:00:00';"}},
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
         {kMonths + " where iPicCountT > 0 AND tb_path_info.strFullPath = "
                    "'C:\\Photos\\O''Brien\\';"}},
        {[&] { db.GetFolders(L"C:\\Photos\\O'Brien", 1, folders); },
         {"select * from tb_path_info  where  strFullPath LIKE 'C:\\Photos\\O''Brien%'"}},
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
         {kFiles + "tSnapTime >= '2020-02-01 00:00:00' AND tSnapTime <= '2020-02-29 23:59:59' "
                   "AND strFullPath >= 'C:\\Photos\\' AND strFullPath < 'C:\\Photos]';"}},
        {[&] { db.GetFilesBySnapTime(L"", 1, feb1, feb29, files); },
         {kFiles + "tSnapTime >= '2020-02-01 00:00:00' AND tSnapTime <= '2020-02-29 23:59:59';"}},
        {[&] { db.GetFilesBySnapTime(L"", 0, feb1, feb29, files); },
         {kFiles + "tSnapTime >= '2020-02-01 00:00:00' AND tSnapTime <= '2020-02-29 23:59:59' "
                   "AND strFullPath = '';"}},
        {[&] { db.GetFolderFiles(L"C:\\Photos\\O'Brien", 1, files); },
         {kFiles + " strFullPath >= 'C:\\Photos\\O''Brien\\' AND strFullPath < "
                   "'C:\\Photos\\O''Brien]';"}},
        {[&] { db.GetFolderFiles(L"C:\\Photos", 0, files); },
         {kFiles + " strFullPath = 'C:\\Photos\\';"}},
        {[&] { db.GetDuplicateFiles(groups); },
         {"select strMD5 from tb_file_info group by strMD5 having count(iFileID) > 1;",
          kFiles + "strMD5 = '';", kFiles + "strMD5 = '" + kDup + "';"}},
        {[&] { db.CountQuickSearch(testutil::QuickRequest(L"IMG*01", 1)); },
         {"select count(*) from tb_file_info left join tb_path_info on tb_path_info.iPathID = "
          "tb_file_info.iPathID  where  0 = 1  OR strFullPath like '%IMG*01%' OR strFileName "
          "like  '%IMG*01%'"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, StatementsOf(c.call));
}

TEST_F(StatisticsTest, CountsFollowTheTreeAndTheCalendar) {
    struct Case {
        int value, expected;
    } cases[] = {
        {db.GetFolderPicCount(L"C:\\Photos"), 2},
        {db.GetFolderPicCount(L"C:\\Photos\\O'Brien\\"), 1},
        {db.GetFolderPicCount(L"C:\\Nowhere"), 0},
        {db.GetTreePicCount(L"C:\\Photos"), 6},  // not C:\Photos2\ .
        {db.GetTreePicCount(L"c:\\photos\\"), 6},
        {db.GetTreePicCount(L"C:\\Photos2"), 1},
        {db.GetTreePicCount(L"C:\\"), 10},
        {db.GetTreePicCount(L"C:\\Nowhere"), 0},
        {db.GetYearPicCount(2020), 5},
        {db.GetYearPicCount(1900), 0},
        {db.GetMonthPicCount(2020, 2), 3},
        {db.GetMonthPicCount(2018, 12), 1},
        {db.GetMonthPicCount(2020, 4), 0},
        {db.CountQuickSearch(testutil::QuickRequest(L"IMG", 1)), 2},
        {db.CountQuickSearch(testutil::QuickRequest(L"France", 2)), 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].expected, cases[i].value) << "case " << i;

    EXPECT_EQ(1, db.GetYearTotals(totals));
    EXPECT_EQ((std::map<int, int>{{2018, 1}, {2019, 1}, {2020, 5}}), totals);
    totals.clear();
    EXPECT_EQ(1, db.GetMonthTotalsOfYear(2020, totals));
    EXPECT_EQ((std::map<int, int>{{1, 1}, {2, 3}, {3, 1}}), totals);
}

TEST_F(StatisticsTest, MonthRowsCarryTheirFolders) {
    db.GetMonthFolders(feb1, feb29, months);
    std::map<CString, std::pair<int, LONGLONG>> byFolder;
    for (const _tagTimePath& m : months) {
        EXPECT_EQ(feb1, m.tPathPicTime);
        byFolder[m.strFullPath] = {m.iPicCountT, m.iPicSizeT};
    }
    EXPECT_EQ((std::map<CString, std::pair<int, LONGLONG>>{{L"C:\\Photos\\2020\\", {2, 7000}},
                                                           {L"C:\\Photos2\\", {1, 7000}}}),
              byFolder);
    months.clear();
    db.GetAllMonthFolders(months);
    EXPECT_EQ(6u, months.size());
    months.clear();
    db.GetMonthFoldersOfFolder(L"C:\\Photos", months);  // no backslash is added
    EXPECT_TRUE(months.empty());
    db.GetMonthFoldersOfFolder(L"C:\\Photos\\", months);
    EXPECT_EQ(2u, months.size());
}

TEST_F(StatisticsTest, FolderAndFileListings) {
    auto names = [](const std::list<_tagPathInfo>& list) {
        std::set<CString> out;
        for (const _tagPathInfo& p : list)
            out.insert(p.strFullPath);
        return out;
    };
    // The recursive folder list is a LIKE on the text as written: C:\Photos2\ matches too.
    db.GetFolders(L"C:\\Photos", 1, folders);
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\", L"C:\\Photos\\2020\\", L"C:\\Photos\\O'Brien\\",
                                 L"C:\\Photos2\\"}),
              names(folders));
    folders.clear();
    db.GetFolders(L"C:\\Photos\\", 0, folders);
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\2020\\", L"C:\\Photos\\O'Brien\\"}), names(folders));
    folders.clear();
    db.GetFolders(L"", 0, folders);
    EXPECT_EQ((std::set<CString>{L"C:\\"}), names(folders));
    folders.clear();
    EXPECT_EQ(0, db.GetFolders(L"C:\\Nowhere", 0, folders));
    EXPECT_TRUE(folders.empty());

    const CTime y2020(2020, 1, 1, 0, 0, 0), end2020(2020, 12, 31, 23, 59, 59);
    const CString p = L"C:\\Photos\\", p20 = L"C:\\Photos\\2020\\";
    struct Case {
        std::function<int(std::set<CString>&)> call;
        std::set<CString> expected;
    } cases[] = {
        {[&](auto& out) { return db.GetFilesBySnapTime(L"C:\\Photos", 1, y2020, end2020, out); },
         {p + L"b.jpg", p20 + L"IMG_0001.JPG", p20 + L"IMG_0002.JPG", p20 + L"x_y.jpg"}},
        {[&](auto& out) { return db.GetFilesBySnapTime(L"C:\\Photos\\2020", 0, feb1, feb29, out); },
         {p20 + L"IMG_0001.JPG", p20 + L"IMG_0002.JPG"}},
        {[&](auto& out) { return db.GetFilesBySnapTime(L"", 1, feb1, feb29, out); },
         {p20 + L"IMG_0001.JPG", p20 + L"IMG_0002.JPG", L"C:\\Photos2\\c.jpg"}},
        {[&](auto& out) { return db.GetFilesBySnapTime(L"", 0, y2020, end2020, out); }, {}},
        {[&](auto& out) {
             CTime t(2020, 2, 14, 12, 0, 0);  // both ends included
             return db.GetFilesBySnapTime(L"", 1, t, t, out);
         },
         {p20 + L"IMG_0001.JPG"}},
        {[&](auto& out) { return db.GetFolderFiles(L"C:\\Photos", 0, out); },
         {p + L"a.jpg", p + L"b.jpg"}},
        {[&](auto& out) { return db.GetFolderFiles(L"C:\\Photos\\O'Brien\\", 1, out); },
         {L"C:\\Photos\\O'Brien\\pic'1.jpg"}},
        {[&](auto& out) { return db.GetFilesByMD5(L"d1d1d1d1d1d1d1d1d1d1d1d1d1d1d1d1", out); },
         {p + L"a.jpg", L"C:\\Photos2\\c.jpg"}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::set<CString> out;
        EXPECT_EQ(1, cases[i].call(out));
        EXPECT_EQ(cases[i].expected, out) << "case " << i;
    }
    files.clear();
    db.GetFolderFiles(L"C:\\Photos", 1, files);
    EXPECT_EQ(6u, files.size());

    // Digests held once are left out; the files never analysed share the empty digest.
    EXPECT_EQ(1, db.GetDuplicateFiles(groups));
    EXPECT_EQ((std::map<CString, std::set<CString>>{
                  {L"", {L"C:\\New\\n1.jpg", L"C:\\New\\n2.jpg"}},
                  {Utf8ToWide(kDup), {p + L"a.jpg", L"C:\\Photos2\\c.jpg"}}}),
              groups);
}

TEST_F(StatisticsTest, FailuresReachTheCaller) {
    // Calendar values out of range are refused before any statement runs.
    std::function<void()> refused[] = {
        [&] { db.GetYearPicCount(1899); },
        [&] { db.GetMonthPicCount(2020, 0); },
        [&] { db.GetMonthPicCount(2020, 13); },
        [&] { db.GetMonthTotalsOfYear(1899, totals); },
    };
    for (auto& call : refused)
        EXPECT_TRUE(StatementsOf([&] { EXPECT_THROW(call(), std::invalid_argument); }).empty());
    EXPECT_THROW(CDbFacade::MonthLastSecond(2020, 13), std::invalid_argument);
    EXPECT_THROW(CDbFacade::MonthLastSecond(INT_MAX, 12), std::invalid_argument);
    EXPECT_EQ(CTime(2021, 1, 1, 0, 0, 0) - 1, CDbFacade::MonthLastSecond(2020, 12));

    // A closed database throws from every operation, even where nothing would be found.
    db.Close();
    std::function<void()> closed[] = {
        [&] { db.GetFolderPicCount(L"C:\\"); },
        [&] { db.GetTreePicCount(L"C:\\"); },
        [&] { db.GetYearPicCount(2020); },
        [&] { db.GetMonthPicCount(2020, 1); },
        [&] { db.GetYearTotals(totals); },
        [&] { db.GetMonthTotalsOfYear(2020, totals); },
        [&] { db.GetMonthFolders(feb1, feb29, months); },
        [&] { db.GetAllMonthFolders(months); },
        [&] { db.GetMonthFoldersOfFolder(L"C:\\", months); },
        [&] { db.GetFolders(L"C:\\Nowhere", 0, folders); },
        [&] { db.GetFilesBySnapTime(L"", 1, feb1, feb29, files); },
        [&] { db.GetFolderFiles(L"C:\\", 1, files); },
        [&] { db.GetFilesByMD5(L"", files); },
        [&] { db.GetDuplicateFiles(groups); },
        [&] { db.CountQuickSearch(testutil::QuickRequest(L"a", 1)); },
    };
    for (auto& call : closed) {
        try {
            call();
            ADD_FAILURE() << "no exception";
        } catch (const CppSQLite3Exception& e) {
            EXPECT_STREQ("CPPSQLITE_ERROR[1000]: Database not open", e.ErrorMessage());
        }
    }
}

TEST(StatisticsEmpty, AnEmptyIndexAnswersNothing) {
    testutil::TempDir dir;
    testutil::ScopedDriveTable drives("C=" + dir.path());
    CDbFacade db;
    ASSERT_TRUE(db.Initialize(Utf8ToWide(dir / "empty.db")));
    std::map<int, int> totals;
    EXPECT_EQ(1, db.GetYearTotals(totals));
    EXPECT_TRUE(totals.empty());
    EXPECT_EQ(0, db.GetTreePicCount(L"C:\\"));
    EXPECT_EQ(0, db.GetYearPicCount(2020));
    EXPECT_EQ(0, db.CountQuickSearch(testutil::QuickRequest(L"a", 15)));
}

// Stored times are read without the date parser where that gives the same second: in
// zones with daylight saving (New York, Berlin), half-hour changes (Lord Howe) and a
// fixed odd offset (Kolkata), across the changes, every reading must agree with it.
TEST(StoredTime, ReadsAsTheDateParserDoes) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    for (const char* zone :
         {"UTC", "America/New_York", "Europe/Berlin", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        setenv("TZ", zone, 1);
        tzset();
        int fast = 0, total = 0;
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
        for (const std::string& text : texts) {
            CTime from(-1), to, quick(-1);
            const bool parsed = CCommonFunc::CanBeTime(text.c_str(), from, to) != 0;
            const bool read = ParseStoredTime(text.c_str(), quick);
            fast += read;
            ++total;
            if (read) {
                EXPECT_EQ(from, quick) << zone << " " << text;
            }
            EXPECT_EQ(parsed ? from : CTime(), ParseTimeText(text.c_str())) << zone << " " << text;
        }
        EXPECT_GT(fast, total * 99 / 100) << zone;
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

}  // namespace
