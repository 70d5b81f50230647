// The records and their data-access objects on real database files: round trips of
// every record, the null values of the row readers, replacement by the unique keys,
// folder ids created along a path (also from several threads), and the caches.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "db/file_dao.h"
#include "db/path_dao.h"
#include "db/time_path_dao.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;
using dbtest::Scalar;

class DaoTest : public ::testing::Test {
protected:
    void SetUp() override {
        dbtest::OpenWithSchema(db, file.Path());
        files.SetDbMng(&db);
        paths.SetDbMng(&db);
        months.SetDbMng(&db);
        exif.SetDbMng(&db);
        iptc.SetDbMng(&db);
        gps.SetDbMng(&db);
    }

    // Statements run from now on.
    std::vector<std::string>& Record() {
        db.SetStatementObserver([this](const char* sql) { seen.push_back(sql); });
        seen.clear();
        return seen;
    }

    dbtest::TempDb file;
    CDBMng db;
    CFileDao files;
    CPathDao paths;
    CTimePathDao months;
    obj_dao<_tagExifInfo> exif;
    obj_dao<_tagIptcInfo> iptc;
    obj_dao<_tagGpsInfo> gps;
    std::vector<std::string> seen;
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
    f.iGpsID = -1;
    f.iFileSize = 5000000123LL;
    f.tSnapTime = CTime(2008, 3, 30, 2, 30, 0);
    f.tFileCreate = CTime(2007, 12, 31, 23, 59, 59);
    f.tFileModify = CTime(2010, 6, 15, 12, 0, 1);
    f.tFileSearch = CTime(2024, 1, 2, 3, 4, 5);
    f.strMD5 = L"0123456789ABCDEF0123456789ABCDEF";
    return f;
}

void ExpectSameFile(const _tagFileInfo& a, const _tagFileInfo& b) {
    EXPECT_EQ(a.iFileID, b.iFileID);
    EXPECT_EQ(a.iPathID, b.iPathID);
    EXPECT_EQ(a.iHeight, b.iHeight);
    EXPECT_EQ(a.iWidth, b.iWidth);
    EXPECT_EQ(a.iBPP, b.iBPP);
    EXPECT_EQ(a.iPageCount, b.iPageCount);
    EXPECT_EQ(a.iIptcID, b.iIptcID);
    EXPECT_EQ(a.iExifID, b.iExifID);
    EXPECT_EQ(a.iGpsID, b.iGpsID);
    EXPECT_EQ(a.iFileSize, b.iFileSize);
    EXPECT_EQ(a.tSnapTime, b.tSnapTime);
    EXPECT_EQ(a.tFileCreate, b.tFileCreate);
    EXPECT_EQ(a.tFileModify, b.tFileModify);
    EXPECT_EQ(a.tFileSearch, b.tFileSearch);
    EXPECT_EQ(a.strFileName, b.strFileName);
    EXPECT_EQ(a.strExt, b.strExt);
    EXPECT_EQ(a.strMD5, b.strMD5);
}

TEST_F(DaoTest, FileRoundTripsWithQuotesNonAsciiAndForeignTimeZones) {
    for (const char* zone : {"Asia/Shanghai", "America/Los_Angeles", "Europe/Berlin"}) {
        dbtest::ScopedTimeZone tz(zone);
        for (const CString& name : {CString(L"O'Brien.jpg"), CString(L"照片 ''2008''.JPG")}) {
            SCOPED_TRACE(std::string(zone));
            _tagFileInfo in = SampleFile(7, name + CString(zone, zone + 3));
            ASSERT_TRUE(files.Insert(in));
            ASSERT_GT(in.iFileID, 0);

            _tagFileInfo byId;
            ASSERT_TRUE(files.Select(in.iFileID, byId));
            ExpectSameFile(in, byId);

            _tagFileInfo byName;
            byName.iPathID = 7;
            byName.strFileName = in.strFileName;
            ASSERT_TRUE(files.GetByName(byName));
            ExpectSameFile(in, byName);
        }
        // The stored text is the wall-clock time of the zone in force.
        EXPECT_EQ("2007-12-31 23:59:59",
                  Scalar(db, "select tFileCreate from tb_file_info order by iFileID desc"));
    }
}

TEST_F(DaoTest, MetadataRecordsRoundTrip) {
    dbtest::ScopedTimeZone tz("Asia/Tokyo");
    _tagExifInfo e;
    e.iExposureTimeL = 1;
    e.iExposureTimeR = 250;
    e.iApertureL = 28;
    e.iApertureR = 10;
    e.iISO = 400;
    e.iFocalLenL = 50;
    e.iExposureCompL = -1;
    e.iExposureCompR = 3;
    e.iWTL = 5;
    e.iWTR = 7;
    e.tDititalTime = CTime(2011, 11, 11, 11, 11, 11);
    e.strManufacturer = L"Maker's";
    e.strModel = L"Modèl 照";
    ASSERT_TRUE(exif.Insert(e));
    _tagExifInfo e2;
    ASSERT_TRUE(exif.Select(e.iExifID, e2));
    EXPECT_EQ(e.iExposureTimeR, e2.iExposureTimeR);
    EXPECT_EQ(e.iApertureL, e2.iApertureL);
    EXPECT_EQ(e.iISO, e2.iISO);
    EXPECT_EQ(e.iExposureCompL, e2.iExposureCompL);
    EXPECT_EQ(e.iWTR, e2.iWTR);
    EXPECT_EQ(e.tDititalTime, e2.tDititalTime);
    EXPECT_EQ(e.strManufacturer, e2.strManufacturer);
    EXPECT_EQ(e.strModel, e2.strModel);

    _tagIptcInfo i;
    i.strMemoInfo = L"memo";
    i.strKeyWord = L"k1;k2";
    i.strTitle = L"T";
    i.strClass = L"C";
    i.strLocation = L"Location";
    i.strCity = L"City";
    i.strCountry = L"Country";
    i.strCopyRight = L"(c)";
    i.strWriter = L"W'r";
    ASSERT_TRUE(iptc.Insert(i));
    _tagIptcInfo i2;
    ASSERT_TRUE(iptc.Select(i.iIptcID, i2));
    EXPECT_EQ(L"City", i2.strCity);
    EXPECT_EQ(L"Location", i2.strLocation);
    EXPECT_EQ(L"W'r", i2.strWriter);
    EXPECT_EQ(L"k1;k2", i2.strKeyWord);
    EXPECT_EQ("City", Scalar(db, "select strCity from tb_iptc_info"));

    _tagGpsInfo g;
    g.iLatitude = -33;
    g.iLongitute = 151;
    g.iAltitute = 12;
    g.iGpsSpeed = 3;
    g.tGpsTime = CTime(2015, 1, 1, 0, 0, 0);
    ASSERT_TRUE(gps.Insert(g));
    _tagGpsInfo g2;
    ASSERT_TRUE(gps.Select(g.iGpsID, g2));
    EXPECT_EQ(-33, g2.iLatitude);
    EXPECT_EQ(151, g2.iLongitute);
    EXPECT_EQ(g.tGpsTime, g2.tGpsTime);

    // A set id overwrites the row in place.
    g.iLatitude = 10;
    ASSERT_TRUE(gps.Insert(g));
    ASSERT_TRUE(gps.Select(g.iGpsID, g2));
    EXPECT_EQ(10, g2.iLatitude);
    EXPECT_EQ(1, CountRows(db, "tb_gps_info"));

    EXPECT_TRUE(gps.Delete(g.iGpsID));
    EXPECT_FALSE(gps.Select(g.iGpsID, g2));
}

TEST_F(DaoTest, DeleteAndSelectStatementTexts) {
    auto& log = Record();
    exif.Delete(12);
    _tagFileInfo f;
    files.Select(5, f);
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ("Delete from tb_exif_info where iExifID = 12 ;", log[0]);
    EXPECT_EQ("Select * from  tb_file_info where iFileID = 5 LIMIT 1;", log[1]);
}

TEST_F(DaoTest, TimePathInsertForms) {
    _tagTimePath m;
    m.iPathID = 7;
    m.tPathPicTime = CTime(2010, 1, 1, 0, 0, 0);
    auto& log = Record();
    ASSERT_TRUE(months.Insert(m));
    EXPECT_GT(m.iTimePathID, 0);
    EXPECT_EQ(0u, log.at(0).find("Insert into tb_time_path_info(iPathID, "));
    m.iTimePathID = 9;
    m.tPathPicTime = CTime(2010, 2, 1, 0, 0, 0);
    ASSERT_TRUE(months.Insert(m));
    EXPECT_EQ(9, m.iTimePathID);
    EXPECT_EQ(0u, log.at(1).find("Replace into tb_time_path_info(iTimePathID, iPathID, "));
    EXPECT_NE(std::string::npos, log.at(1).find(")values(9,7,"));
    _tagTimePath back;
    ASSERT_TRUE(months.Select(9, back));
    EXPECT_EQ(7, back.iPathID);
    EXPECT_EQ(CTime(2010, 2, 1, 0, 0, 0), back.tPathPicTime);
}

TEST_F(DaoTest, NewFileRowReplacesTheRowWithTheSameFolderAndName) {
    _tagFileInfo a = SampleFile(4, L"IMG_1.JPG");
    ASSERT_TRUE(files.Insert(a));
    _tagFileInfo b = SampleFile(4, L"img_1.jpg");  // the same name without regard to case
    b.iFileSize = 1;
    ASSERT_TRUE(files.Insert(b));
    EXPECT_NE(a.iFileID, b.iFileID);
    _tagFileInfo old;
    EXPECT_FALSE(files.Select(a.iFileID, old));
    EXPECT_EQ(1, CountRows(db, "tb_file_info"));
    _tagFileInfo byName;
    byName.iPathID = 4;
    byName.strFileName = L"Img_1.Jpg";
    ASSERT_TRUE(files.GetByName(byName));
    EXPECT_EQ(b.iFileID, byName.iFileID);
    EXPECT_EQ(1, byName.iFileSize);

    // Without REPLACE the unique index refuses the second row.
    EXPECT_THROW(db.Execute("insert into tb_file_info(iPathID, strFileName) values (4, "
                            "'IMG_1.jpg');"),
                 CppSQLite3Exception);
}

TEST_F(DaoTest, RowReadersUseTheNullValues) {
    db.Execute(
        "insert into tb_file_info(iFileID, iPathID, strFileName, iPageCount) "
        "values (21, 2, 'bare.jpg', NULL);");
    _tagFileInfo f = SampleFile(99, L"x");
    ASSERT_TRUE(files.Select(21, f));
    EXPECT_EQ(-1, f.iExifID);
    EXPECT_EQ(-1, f.iIptcID);
    EXPECT_EQ(-1, f.iGpsID);
    EXPECT_EQ(1, f.iPageCount);
    EXPECT_EQ(0, f.iHeight);  // the column default
    EXPECT_EQ(0, f.iFileSize);
    EXPECT_EQ(CTime(), f.tSnapTime);
    EXPECT_EQ(CTime(), f.tFileModify);
    EXPECT_EQ(L"", f.strMD5);
    EXPECT_EQ(L"", f.strExt);

    // A row whose id reads 0 is refused, as is a folder row without a name and a
    // month row without a folder.
    db.Execute("insert into tb_file_info(iFileID, iPathID, strFileName) values (0, 3, 'z');");
    EXPECT_FALSE(files.Select(0, f));
    db.Execute("insert into tb_path_info(iPathID, strFullPath) values (5, 'Q:\\');");
    _tagPathInfo p;
    EXPECT_FALSE(paths.Select(5, p));
    EXPECT_EQ(L"Q:\\", p.strFullPath);  // partly filled
    db.Execute(
        "insert into tb_time_path_info(iTimePathID, iPathID, tPathPicTime) values (6, 0, "
        "'2008-01-01 00:00:00');");
    _tagTimePath m;
    EXPECT_FALSE(months.Select(6, m));
    EXPECT_FALSE(months.Select(12345, m));
}

TEST_F(DaoTest, NoManagerOrClosedManagerDoesNothing) {
    CFileDao orphan;
    _tagFileInfo f = SampleFile(1, L"a.jpg");
    EXPECT_FALSE(orphan.Insert(f));
    EXPECT_FALSE(orphan.GetByName(f));
    EXPECT_FALSE(orphan.Delete(1));
    CPathDao orphanPaths;
    EXPECT_EQ(0, orphanPaths.GetPathID(L"C:\\A\\", true));

    CDBMng closed;
    CTimePathDao closedMonths;
    closedMonths.SetDbMng(&closed);
    EXPECT_FALSE(closedMonths.AddPicture(1, 1, 1, CTime(2008, 1, 1, 0, 0, 0)));
    EXPECT_FALSE(closedMonths.Exists(1, CTime(2008, 1, 1, 0, 0, 0)));
}

TEST_F(DaoTest, GetPathIdCreatesEachMissingLevelOnce) {
    EXPECT_EQ(0, paths.GetPathID(L"", true));
    EXPECT_EQ(0, paths.GetPathID(L"D:\\Photos", false));
    EXPECT_EQ(0, CountRows(db, "tb_path_info"));

    int photos = paths.GetPathID(L"D:\\Photos", true);
    ASSERT_GT(photos, 0);
    _tagPathInfo root, sub;
    ASSERT_TRUE(paths.GetByFullPath(L"D:\\", root));
    ASSERT_TRUE(paths.GetByFullPath(L"D:\\Photos\\", sub));
    EXPECT_EQ(0, root.iParentID);
    EXPECT_EQ(L"D:", root.strPathName);
    EXPECT_EQ(root.iPathID, sub.iParentID);
    EXPECT_EQ(L"Photos", sub.strPathName);
    EXPECT_EQ(photos, sub.iPathID);

    int deep = paths.GetPathID(L"D:\\Photos\\2008\\May\\照片\\", true);
    ASSERT_GT(deep, 0);
    EXPECT_EQ(5, CountRows(db, "tb_path_info"));
    // Each row points to its parent's row.
    std::vector<std::string> broken = dbtest::Column(
        db,
        "select c.strFullPath from tb_path_info c left join tb_path_info p on p.iPathID = "
        "c.iParentID where c.iParentID <> 0 and (p.iPathID is null or c.strFullPath not like "
        "p.strFullPath || '_%')");
    EXPECT_TRUE(broken.empty());

    // Asking again finds the rows; the table compares paths without regard to case.
    EXPECT_EQ(deep, paths.GetPathID(L"D:\\Photos\\2008\\May\\照片", true));
    paths.ClearCache();
    EXPECT_EQ(photos, paths.GetPathID(L"d:\\photos\\", false));
    EXPECT_EQ(5, CountRows(db, "tb_path_info"));
}

TEST_F(DaoTest, ThreadsAskingForTheSameMissingFolderCreateItOnce) {
    const CString deep = L"E:\\a\\b\\c\\d\\e\\f\\";
    constexpr int kThreads = 8;
    std::vector<int> ids(kThreads, -1);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            ids[size_t(i)] = paths.GetPathID(deep, true);
        });
    }
    for (auto& t : threads)
        t.join();
    for (int id : ids)
        EXPECT_EQ(ids[0], id);
    EXPECT_GT(ids[0], 0);
    EXPECT_EQ(7, CountRows(db, "tb_path_info"));
    EXPECT_EQ(
        std::to_string(ids[0]),
        Scalar(db,
               "select iPathID from tb_path_info where strFullPath = 'E:\\a\\b\\c\\d\\e\\f\\'"));
}

TEST_F(DaoTest, HasSubFolderTreatsUnderscoreAsAWildcard) {
    paths.GetPathID(L"C:\\AB\\X\\", true);
    EXPECT_TRUE(paths.HasSubFolder(L"C:\\AB"));
    EXPECT_TRUE(paths.HasSubFolder(L"C:\\"));
    EXPECT_FALSE(paths.HasSubFolder(L"C:\\AB\\X\\"));
    EXPECT_TRUE(paths.HasSubFolder(L"C:\\A_\\"));  // "_" matches the B
    EXPECT_FALSE(paths.HasSubFolder(L"D:\\"));
}

TEST_F(DaoTest, AddPicturesAddsAndSubtracts) {
    int id = paths.GetPathID(L"C:\\P\\", true);
    db.Execute("update tb_path_info set iPicCount = 0, iPicSize = 0;");
    auto& log = Record();
    EXPECT_TRUE(paths.AddPictures(id, 3, 3000));
    EXPECT_TRUE(paths.AddPictures(id, -1, -1000));
    EXPECT_FALSE(paths.AddPictures(0, 1, 1));
    EXPECT_FALSE(paths.AddPictures(-4, 1, 1));
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(
        "update tb_path_info set iPicCount = iPicCount + -1 , iPicSize = iPicSize + -1000 "
        "where iPathID = " +
            std::to_string(id) + ";",
        log[1]);
    _tagPathInfo p;
    ASSERT_TRUE(paths.GetByFullPath(L"C:\\P\\", p));
    EXPECT_EQ(2, p.iPicCount);
    EXPECT_EQ(2000, p.iPicSize);
}

TEST_F(DaoTest, PathCacheHoldsTheHundredPathsWrittenLast) {
    // Roots have no parent, so each creation writes exactly one path into the cache.
    auto root = [](int i) { return L"R" + std::to_wstring(i) + L":\\"; };
    {
        CScopedTransaction txn(&db);
        for (int i = 0; i <= 100; ++i)
            ASSERT_GT(paths.GetPathID(root(i), true), 0);
    }
    EXPECT_EQ(CPathDao::kCacheCapacity, paths.CacheSize());
    auto& log = Record();
    paths.GetPathID(root(100), false);  // cached: no statement
    paths.GetPathID(root(1), false);    // cached, and now the oldest write
    EXPECT_TRUE(log.empty());
    paths.GetPathID(root(0), false);  // written first: evicted, read from the table
    EXPECT_EQ(1u, log.size());
    // Reading root 1 did not protect it: caching root 0 again evicted it.
    paths.GetPathID(root(1), false);
    EXPECT_EQ(2u, log.size());
    paths.GetPathID(root(100), false);
    EXPECT_EQ(2u, log.size());
}

TEST_F(DaoTest, MonthStartIsTheFirstLocalSecondEvenAcrossDaylightSaving) {
    dbtest::ScopedTimeZone tz("Europe/Berlin");
    // Clocks went forward on 30 March 2008.
    EXPECT_EQ(CTime(2008, 3, 1, 0, 0, 0), CTimePathDao::MonthStart(CTime(2008, 3, 31, 12, 0, 0)));
    EXPECT_EQ(CTime(2008, 10, 1, 0, 0, 0),
              CTimePathDao::MonthStart(CTime(2008, 10, 31, 23, 59, 59)));
    EXPECT_EQ(CTime(2008, 12, 1, 0, 0, 0), CTimePathDao::MonthStart(CTime(2008, 12, 1, 0, 0, 0)));
}

TEST_F(DaoTest, AddPictureCountsPerFolderAndMonth) {
    dbtest::ScopedTimeZone tz("Europe/Berlin");
    EXPECT_FALSE(months.AddPicture(3, 1, 100, CTime(1970, 1, 15, 0, 0, 0)));
    EXPECT_FALSE(months.AddPicture(0, 1, 100, CTime(2008, 1, 15, 0, 0, 0)));
    EXPECT_EQ(0, CountRows(db, "tb_time_path_info"));

    EXPECT_TRUE(months.AddPicture(3, 1, 100, CTime(2008, 3, 31, 12, 0, 0)));
    EXPECT_TRUE(months.AddPicture(3, 2, 50, CTime(2008, 3, 2, 8, 0, 0)));
    EXPECT_TRUE(months.AddPicture(3, -1, -20, CTime(2008, 3, 9, 8, 0, 0)));
    EXPECT_TRUE(months.AddPicture(3, 1, 7, CTime(2008, 4, 1, 0, 0, 0)));
    EXPECT_EQ(2, CountRows(db, "tb_time_path_info"));
    EXPECT_EQ("2|130", Scalar(db,
                              "select iPicCountT || '|' || iPicSizeT from tb_time_path_info where "
                              "tPathPicTime = '2008-03-01 00:00:00' and iPathID = 3"));
    EXPECT_TRUE(months.Exists(3, CTime(2008, 4, 1, 0, 0, 0)));

    // A DAO without the cache finds the row in the table and updates it.
    CTimePathDao other;
    other.SetDbMng(&db);
    EXPECT_TRUE(other.Exists(3, CTime(2008, 3, 1, 0, 0, 0)));
    EXPECT_FALSE(other.Exists(3, CTime(2008, 5, 1, 0, 0, 0)));
    auto& log = Record();
    EXPECT_TRUE(other.AddPicture(3, 1, 1, CTime(2008, 3, 15, 0, 0, 0)));
    ASSERT_EQ(2u, log.size());
    EXPECT_EQ(
        "Select iTimePathID from tb_time_path_info where iPathID = 3 AND tPathPicTime = "
        "'2008-03-01 00:00:00' LIMIT 1; ",
        log[0]);
    EXPECT_EQ(
        "update tb_time_path_info set iPicCountT = iPicCountT + 1 , iPicSizeT = iPicSizeT + "
        "1 where iPathID = 3 AND tPathPicTime = '2008-03-01 00:00:00';",
        log[1]);
    EXPECT_EQ(2, CountRows(db, "tb_time_path_info"));
}

}  // namespace
