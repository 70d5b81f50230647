// Literals and record statements; the data-access objects on real files: round trips,
// id forms, null values, unique keys, folder ids (also from threads), months, caches.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>

#include "db/file_dao.h"
#include "db/path_dao.h"
#include "db/record_sql.h"
#include "db/sql_literal.h"
#include "db/time_path_dao.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;
using dbtest::Rows;
using dbtest::StatementsOf;

class DaoTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbtest::OpenWithSchema(db, file.Path());
        auto attach = [&](auto&... daos) { (daos.SetDbMng(&db), ...); };
        attach(files, paths, months, exif, iptc, gps);
    }
    // Writes a record, reads it back by id and compares every field (through the
    // statement that would write it, which holds them all).
    template <typename T>
    void RoundTrip(obj_dao<T>& dao, T rec) {
        ASSERT_TRUE(dao.Insert(rec));
        T back;
        ASSERT_TRUE(dao.Select(RecordTable<T>::Id(rec), back));
        EXPECT_EQ(BuildInsert(rec), BuildInsert(back));
    }

    dbtest::TempDb file;
    CDBMng db;
    CFileDao files;
    CPathDao paths;
    CTimePathDao months;
    obj_dao<_tagExifInfo> exif;
    obj_dao<_tagIptcInfo> iptc;
    obj_dao<_tagGpsInfo> gps;
};

_tagFileInfo SampleFile(int pathID, const CString& name) {
    _tagFileInfo f;
    f.iPathID = pathID;
    f.strFileName = name;
    f.strExt = L"jpg";
    f.iHeight = 480;
    f.iWidth = 640;
    f.iBPP = 24;
    f.iPageCount = 2;
    f.iIptcID = 3;
    f.iExifID = 0;
    f.iFileSize = 5000000123LL;
    f.tSnapTime = CTime(2008, 3, 30, 3, 30, 0);
    f.tFileCreate = CTime(2007, 12, 31, 23, 59, 59);
    f.tFileModify = CTime(2010, 6, 15, 12, 0, 1);
    f.tFileSearch = CTime(2024, 1, 2, 3, 4, 5);
    f.strMD5 = L"0123456789ABCDEF0123456789ABCDEF";
    return f;
}

// Every field a different value, so that two swapped columns show; texts with quotes and
// beyond ASCII; times stored as the wall-clock time of the zone in force.
TEST_F(DaoTest, RecordsRoundTrip) {
    dbtest::ScopedTimeZone tz("America/Los_Angeles");
    _tagFileInfo in = SampleFile(7, L"照片 'O''Brien'.JPG");
    RoundTrip(files, in);
    EXPECT_EQ("2007-12-31 23:59:59", Rows(db, "select tFileCreate from tb_file_info"));
    _tagExifInfo e;
    int* numbers[] = {&e.iExposureTimeL, &e.iExposureTimeR, &e.iApertureL, &e.iApertureR,
                      &e.iISO,           &e.iFocalLenL,     &e.iFocalLenR, &e.iExposureCompL,
                      &e.iExposureCompR, &e.iWTL,           &e.iWTR};
    for (int i = 0; i < 11; ++i)
        *numbers[i] = i - 3;
    e.tDititalTime = CTime(2011, 11, 11, 11, 11, 11);
    e.strManufacturer = L"Maker's";
    e.strModel = L"Modèl 照";
    RoundTrip(exif, e);
    _tagIptcInfo i;
    CString* texts[] = {&i.strMemoInfo, &i.strKeyWord, &i.strTitle,     &i.strClass, &i.strLocation,
                        &i.strCity,     &i.strCountry, &i.strCopyRight, &i.strWriter};
    for (int k = 0; k < 9; ++k)
        *texts[k] = L"t'" + std::to_wstring(k);
    RoundTrip(iptc, i);
    EXPECT_EQ("t'5", Rows(db, "select strCity from tb_iptc_info"));
    RoundTrip(gps, {.iLatitude = -33,
                    .iLongitute = 151,
                    .iAltitute = 12,
                    .iGpsSpeed = 4,
                    .tGpsTime = CTime(2015, 1, 1, 0, 0, 0)});
    _tagTimePath m;
    m.iPathID = 7;
    m.tPathPicTime = CTime(2010, 1, 1, 0, 0, 0);
    m.iPicCountT = 3;
    m.iPicSizeT = 5000000000LL;
    RoundTrip(months, m);
}

// A new file row replaces the one with the same folder and name without regard to case;
// without REPLACE the unique index refuses it.
TEST_F(DaoTest, NewFileRowReplacesTheRowWithTheSameFolderAndName) {
    _tagFileInfo a = SampleFile(4, L"IMG_1.JPG"), b = SampleFile(4, L"img_1.jpg"), old;
    ASSERT_TRUE(files.Insert(a) && files.Insert(b));
    EXPECT_NE(a.iFileID, b.iFileID);
    EXPECT_EQ(std::pair(false, 1),
              (std::pair{files.Select(a.iFileID, old), CountRows(db, "tb_file_info")}));
    EXPECT_THROW(
        db.Execute("insert into tb_file_info(iPathID, strFileName) values (4, 'IMG_1.jpg');"),
        CppSQLite3Exception);
}

// NULL reads as the record's defaults (ids -1, page count 1, times 0). A row whose id
// reads 0 is refused, as are a folder row without a name and a month row without a
// folder; without a manager, or with a closed one, nothing is done.
TEST_F(DaoTest, RowReadersUseTheNullValuesAndRefuseRowsWithoutIds) {
    db.Execute(
        "insert into tb_file_info(iFileID, iPathID, strFileName, iPageCount) values (21, 2, "
        "'bare.jpg', NULL), (0, 3, 'z', 1); insert into tb_path_info(iPathID, strFullPath) "
        "values (5, 'Q:\\'); insert into tb_time_path_info(iTimePathID, iPathID, tPathPicTime) "
        "values (6, 0, '2008-01-01 00:00:00');");
    _tagFileInfo f = SampleFile(99, L"x"), expected;
    ASSERT_TRUE(files.Select(21, f));
    expected.iFileID = 21;
    expected.iPathID = 2;
    expected.strFileName = L"bare.jpg";
    EXPECT_EQ(BuildInsert(expected), BuildInsert(f));
    _tagPathInfo p;
    _tagTimePath m;
    EXPECT_EQ(std::tuple(false, false, false),
              (std::tuple{files.Select(0, f), paths.Select(5, p), months.Select(6, m)}));

    EXPECT_FALSE(CFileDao().Insert(f) || CPathDao().GetPathID(L"C:\\A\\", true));
    ASSERT_GT(paths.GetPathID(L"C:\\A\\", true), 0);
    db.Close();  // a cached folder id is not handed out once the connection is gone
    EXPECT_EQ(0, paths.GetPathID(L"C:\\A\\", false));
}

// Each missing level gets one row pointing to its parent's (a root: 0); the table ignores
// case; "_" in a name matches any character; eight threads asking for one missing folder
// create it once.
TEST_F(DaoTest, FolderIdsAreCreatedOncePerLevel) {
    EXPECT_EQ(std::pair(0, 0),
              (std::pair{paths.GetPathID(L"", true), paths.GetPathID(L"D:\\Photos", false)}));
    EXPECT_EQ(0, CountRows(db, "tb_path_info"));
    int photos = paths.GetPathID(L"D:\\Photos", true);
    _tagPathInfo root, sub;
    ASSERT_TRUE(paths.GetByFullPath(L"D:\\", root) && paths.GetByFullPath(L"D:\\Photos\\", sub));
    EXPECT_EQ(std::tuple(0, root.iPathID, CString(L"Photos"), photos),
              std::tuple(root.iParentID, sub.iParentID, sub.strPathName, sub.iPathID));
    int deep = paths.GetPathID(L"D:\\Photos\\2008\\May\\照片\\", true);
    EXPECT_EQ(deep, paths.GetPathID(L"D:\\Photos\\2008\\May\\照片", true));
    paths.ClearCache();
    EXPECT_EQ(photos, paths.GetPathID(L"d:\\photos\\", false));
    EXPECT_EQ(5, CountRows(db, "tb_path_info"));
    EXPECT_EQ(std::tuple(true, false, true, false),
              std::tuple(paths.HasSubFolder(L"D:\\Photos"),
                         paths.HasSubFolder(L"D:\\Photos\\2008\\May\\照片\\"),
                         paths.HasSubFolder(L"D:\\Ph_tos\\"), paths.HasSubFolder(L"E:\\")));

    std::vector<int> ids(8, -1);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int& id : ids) {
        threads.emplace_back([&] {
            for (ready.fetch_add(1); ready.load() < 8;)
                std::this_thread::yield();
            id = paths.GetPathID(L"E:\\a\\b\\c\\d\\e\\f\\", true);
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_GT(ids[0], 0);
    EXPECT_EQ(std::vector<int>(8, ids[0]), ids);
    EXPECT_EQ(5 + 7, CountRows(db, "tb_path_info"));
}

// The cache holds the hundred paths written last; reading does not protect a path.
TEST_F(DaoTest, PathCacheHoldsTheHundredPathsWrittenLast) {
    auto root = [](int i) { return L"R" + std::to_wstring(i) + L":\\"; };  // one write each
    CScopedTransaction txn(&db);
    for (int i = 0; i < 100; ++i)
        ASSERT_GT(paths.GetPathID(root(i), true), 0);
    // Statements run by a lookup of root(i).
    auto lookups = [&](int i) {
        return StatementsOf(db, [&] { paths.GetPathID(root(i), false); }).size();
    };
    EXPECT_EQ(0u, lookups(0));
    paths.GetPathID(root(100), true);  // the 101st write evicts the first
    EXPECT_EQ(std::pair(size_t(100), size_t(0)), std::pair(paths.CacheSize(), lookups(1)));
    EXPECT_EQ(1u, lookups(0));  // read from the table again
}

// Months are counted from their first local second (clocks went forward on 30 March
// 2008); undated pictures and folder 0 are not counted. A DAO without the cache finds the
// row in the table and updates it.
TEST_F(DaoTest, MonthsAreCountedFromTheirFirstLocalSecond) {
    dbtest::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_FALSE(months.AddPicture(3, 1, 100, CTime(1970, 1, 15, 0, 0, 0)) ||
                 months.AddPicture(0, 1, 100, CTime(2008, 1, 15, 0, 0, 0)));
    EXPECT_EQ(0, CountRows(db, "tb_time_path_info"));
    const std::tuple<int, int, CTime> adds[] = {{1, 100, CTime(2008, 3, 31, 12, 0, 0)},
                                                {2, 50, CTime(2008, 3, 2, 8, 0, 0)},
                                                {-1, -20, CTime(2008, 3, 9, 8, 0, 0)},
                                                {1, 7, CTime(2008, 4, 1, 0, 0, 0)}};
    for (auto [count, size, snap] : adds)
        EXPECT_TRUE(months.AddPicture(3, count, size, snap));
    const std::string rows =
        "select tPathPicTime, iPicCountT, iPicSizeT from tb_time_path_info order by 1";
    EXPECT_EQ("2008-03-01 00:00:00|2|130 2008-04-01 00:00:00|1|7", Rows(db, rows));
    CTimePathDao other;
    other.SetDbMng(&db);
    EXPECT_FALSE(other.Exists(3, CTime(2008, 5, 1, 0, 0, 0)));
    auto add = [&] { EXPECT_TRUE(other.AddPicture(3, 1, 1, CTime(2008, 3, 15, 0, 0, 0))); };
    EXPECT_EQ(
        "Select iTimePathID from tb_time_path_info where iPathID = 3 AND tPathPicTime = "
        "'2008-03-01 00:00:00' LIMIT 1; ",
        StatementsOf(db, add).at(0));
    EXPECT_EQ("2008-03-01 00:00:00|3|131 2008-04-01 00:00:00|1|7", Rows(db, rows));
}

// Times in local time (a time without a calendar form as the zeros and -1s), texts as
// UTF-8 with only the quote doubled, and the values in column order (the file record's
// columns are checked by its round trip, its REPLACE by the unique name index).
TEST(SqlLiteralTest, LiteralsAndRecordStatements) {
    dbtest::ScopedTimeZone tz("Asia/Shanghai");
    EXPECT_EQ(std::tuple("'1970-01-01 08:00:00'", "'2008-02-29 23:59:59'", "'0-00-00 -1:-1:-1'"),
              std::tuple(SqlTime(CTime(0)), SqlTime(CTime(2008, 2, 29, 23, 59, 59)),
                         SqlTime(CTime(LLONG_MAX))));
    EXPECT_EQ(
        std::tuple("'O''Brien.jpg'", "''''''", "'\xE7\x85\xA7\xE7\x89\x87'", "'%50%_x''%'",
                   "C:\\a''b\\", "-7", "5000000000"),
        std::tuple(SqlText(L"O'Brien.jpg"), SqlText(L"''"), SqlText(L"照片"), SqlLike(L"50%_x'"),
                   SqlEscape(L"C:\\a'b\\"), SqlInt(-7), SqlInt64(5000000000LL)));
    EXPECT_EQ(
        "Insert into tb_gps_info(iLatitude, iLongitute, iAltitute, iGpsSpeed, "
        "tGpsTime)values(31,121,5,0,'1970-01-01 08:00:00');",
        BuildInsert(
            _tagGpsInfo{.iLatitude = 31, .iLongitute = 121, .iAltitute = 5, .tGpsTime = CTime(0)}));
}

}  // namespace
