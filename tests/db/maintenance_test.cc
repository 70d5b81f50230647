// The maintenance and aggregation operations of the database layer object, grouped by
// operation, on real files.
#include <gtest/gtest.h>

#include "db_test_util.h"

namespace {

using dbtest::CountRows;
using dbtest::Rows;

const CTime kBefore(2020, 5, 1, 0, 0, 0);  // seen only by a run before the one StartRun begins
const CTime kSnap(2019, 7, 14, 10, 0, 0);

class MaintenanceTest : public dbtest::FacadeTest {
protected:
    std::string Folders() { return Rows(Mng(), "select strFullPath from tb_path_info order by 1"); }
    std::string FileNames() {
        return Rows(Mng(), "select strFileName from tb_file_info order by 1");
    }
    // "folder|count|size" of every folder row, "folder|month|count|size" of every month.
    std::string Counts() {
        return Rows(Mng(), "select strFullPath, iPicCount, iPicSize from tb_path_info order by 1");
    }
    std::string Months() {
        return Rows(Mng(),
                    "select strFullPath, tPathPicTime, iPicCountT, iPicSizeT from "
                    "tb_time_path_info join tb_path_info using (iPathID) order by 1, 2");
    }
    void Execute(const std::string& sql) { Mng().Execute(sql.c_str()); }
    void Link(const std::string& column, int id, int fileID) {
        Execute("update tb_file_info set " + column + " = " + std::to_string(id) +
                " where iFileID = " + std::to_string(fileID) + ";");
    }
    // A month row of `folder` with the given count, stamped as seen before the run.
    void AddMonth(const CString& folder, const std::string& month, int count) {
        Execute(
            "insert into tb_time_path_info(iPathID, tPathPicTime, iPicCountT, iPicSizeT, "
            "tPathTSearch) values (" +
            std::to_string(PathID(folder)) + ", '" + month + "', " + std::to_string(count) + ", " +
            std::to_string(count) + ", '2020-05-01 00:00:00');");
    }
};

// A value written is read from the cache; after 100 other keys from the table, which
// ignores the key's case. A closed layer answers nothing, not even from the cache.
TEST_F(MaintenanceTest, ConfigurationValuesUseTheCache) {
    CString value = L"preset";
    EXPECT_FALSE(db.GetConfig(L"Missing", value));
    EXPECT_EQ(L"preset", value);
    auto setAndGet = [&] {
        EXPECT_TRUE(db.SetConfig(L"Key'1", L"照片") && db.GetConfig(L"Key'1", value));
    };
    EXPECT_EQ(dbtest::Strings{"Replace into tb_config_info(strCfgKey, strCfgValue) "
                              "values('Key''1','\xE7\x85\xA7\xE7\x89\x87');"},
              dbtest::StatementsOf(Mng(), setAndGet));
    EXPECT_EQ(L"照片", value);
    for (int i = 0; i < 100; ++i)
        db.SetConfig(L"k" + std::to_wstring(i), L"v");
    value.clear();
    auto getTwice = [&] {
        EXPECT_TRUE(db.GetConfig(L"Key'1", value) && db.GetConfig(L"KEY'1", value));
    };
    EXPECT_EQ("select strCfgValue from tb_config_info where strCfgKey = 'Key''1'LIMIT 1;",
              dbtest::StatementsOf(Mng(), getTwice).at(0));
    EXPECT_EQ(L"照片", value);
    db.Close();
    EXPECT_FALSE(db.GetConfig(L"Key'1", value));
}

// The folder to analyse has files unread or not seen in this run; not one whose file
// rows lost their folder row.
TEST_F(MaintenanceTest, TheFolderToAnalyse) {
    std::set<CString> names;
    StartRun();
    CString folder;
    AddFile(L"D:\\done\\", L"a.jpg", 1, kSnap);
    EXPECT_FALSE(db.GetFolderToAnalyse(folder, names));
    AddFile(L"D:\\todo\\", L"new.jpg", 1, kSnap, L"");
    AddFile(L"D:\\todo\\", L"old.jpg", 1, kSnap, L"0", kBefore);
    AddFile(L"D:\\todo\\", L"fine.jpg", 1, kSnap, L"0");
    ASSERT_TRUE(db.GetFolderToAnalyse(folder, names));
    EXPECT_EQ(std::pair(CString(L"D:\\todo\\"), std::set<CString>{L"new.jpg", L"old.jpg"}),
              std::pair(folder, names));
    Execute("update tb_file_info set iPathID = 999 where strMD5 = '' or tFileSearch < '2020-06';");
    EXPECT_FALSE(db.GetFolderToAnalyse(folder, names));
}

// Without a run start nothing is deleted and everything counts; with one, files the run
// did not see go, from one folder or from all.
TEST_F(MaintenanceTest, RefreshDropsUnseenFilesAndRecounts) {
    AddFile(L"D:\\f\\", L"seen.jpg", 100, kSnap);
    AddFile(L"D:\\f\\", L"gone.jpg", 50, kSnap, L"0", kBefore);
    int removed = -1;
    EXPECT_TRUE(db.RefreshFolder(PathID(L"D:\\f\\"), removed));
    EXPECT_EQ(std::pair(-1, std::string("D:\\|0|0 D:\\f\\|2|150")), std::pair(removed, Counts()));
    StartRun();
    EXPECT_TRUE(db.RefreshFolder(PathID(L"D:\\f\\"), removed));
    EXPECT_EQ(std::pair(1, std::string("D:\\|0|0 D:\\f\\|1|100")), std::pair(removed, Counts()));
    AddFile(L"D:\\g\\", L"gone.jpg", 50, kSnap, L"0", kBefore);
    EXPECT_TRUE(db.RefreshAll());
    EXPECT_EQ("D:\\|0|NULL D:\\f\\|1|100 D:\\g\\|0|NULL", Counts());
}

// Months count the analysed, dated files the run saw; a month row no file supports any
// more goes.
TEST_F(MaintenanceTest, RebuildMonthsFromTheFilesOfTheRun) {
    StartRun();
    const CTime now = CTime::GetCurrentTime(), aug(2019, 8, 2, 0, 0, 0);
    const std::tuple<const wchar_t*, LONGLONG, CTime, const wchar_t*, CTime> files[] = {
        {L"a.jpg", 10, CTime(2019, 7, 1, 0, 0, 0), L"0", now},
        {L"b.jpg", 20, CTime(2019, 7, 31, 23, 59, 59), L"0", now},
        {L"c.jpg", 40, aug, L"0", now},
        {L"unread.jpg", 80, aug, L"", now},
        {L"undated.jpg", 160, CTime(), L"0", now},
        {L"unseen.jpg", 320, aug, L"0", kBefore}};
    for (auto [name, size, snap, md5, search] : files)
        AddFile(L"D:\\m\\", name, size, snap, md5, search);
    AddMonth(L"D:\\m\\", "2018-01-01 00:00:00", 3);
    ASSERT_TRUE(db.RebuildFolderMonths(PathID(L"D:\\m\\")));
    const std::string m = "D:\\m\\|2019-07-01 00:00:00|2|30 D:\\m\\|2019-08-01 00:00:00|1|40";
    EXPECT_EQ(m, Months());
    AddFile(L"D:\\n\\", L"a.jpg", 5, CTime(2019, 7, 3, 0, 0, 0));
    ASSERT_TRUE(db.RebuildAllMonths());
    EXPECT_EQ(m + " D:\\n\\|2019-07-01 00:00:00|1|5", Months());
}

// Without a run start nothing changes; with one, a picture not seen loses its file row,
// its metadata rows and (no rebuild refreshed it) its month; its folder counts nothing.
TEST_F(MaintenanceTest, CleanupStaleRemovesWhatTheRunDidNotSee) {
    AddFile(L"D:\\s\\", L"seen.jpg", 1, kSnap);
    int gone = AddFile(L"D:\\s\\", L"gone.jpg", 1, kSnap, L"0", kBefore);
    _tagExifInfo exif;
    ASSERT_TRUE(db.GetExifDao().Insert(exif));
    Link("iExifID", exif.iExifID, gone);
    AddMonth(L"D:\\s\\", "2019-07-01 00:00:00", 2);
    Execute("update tb_path_info set iPicCount = 2, tPathSearch = '2020-05-01 00:00:00';");
    // "files | exif rows | month rows | folders"
    auto state = [&] {
        return FileNames() + " | " + std::to_string(CountRows(Mng(), "tb_exif_info")) + " | " +
               std::to_string(CountRows(Mng(), "tb_time_path_info")) + " | " + Counts();
    };
    EXPECT_FALSE(db.CleanupStale());
    EXPECT_EQ("gone.jpg seen.jpg | 1 | 1 | D:\\|2|0 D:\\s\\|2|0", state());
    StartRun();
    EXPECT_TRUE(db.CleanupStale());
    EXPECT_EQ("seen.jpg | 0 | 0 | D:\\|0|0 D:\\s\\|0|0", state());
}

// Pruning keeps the ancestors of folders with pictures; a folder tree is deleted with
// its files, metadata and months, sparing siblings with the same prefix. Deleted folders
// are not served from the path cache any more.
TEST_F(MaintenanceTest, PruneAndDeleteFolderTrees) {
    for (const wchar_t* f : {L"C:\\A\\B\\", L"C:\\X\\Y\\", L"C:\\A\\Empty\\"})
        PathID(f);
    Execute("update tb_path_info set iPicCount = 0;");
    Execute("update tb_path_info set iPicCount = 3 where strFullPath = 'C:\\A\\B\\';");
    Execute("update tb_path_info set iPicCount = NULL where strFullPath = 'C:\\X\\';");
    EXPECT_TRUE(db.PruneEmptyFolders());
    EXPECT_EQ("C:\\ C:\\A\\ C:\\A\\B\\", Folders());
    EXPECT_EQ(0, db.GetPathDao().GetPathID(L"C:\\X\\Y\\", false));

    AddFile(L"D:\\A\\", L"1.jpg", 1, kSnap);
    int inner = AddFile(L"D:\\A\\B\\", L"2.jpg", 1, kSnap);
    AddFile(L"D:\\AB\\", L"3.jpg", 1, kSnap);
    _tagGpsInfo gps;
    db.GetGpsDao().Insert(gps);
    Link("iGpsID", gps.iGpsID, inner);
    db.GetTimePathDao().AddPicture(PathID(L"D:\\A\\B\\"), 1, 1, kSnap);
    db.GetTimePathDao().AddPicture(PathID(L"D:\\AB\\"), 1, 1, kSnap);
    EXPECT_FALSE(db.DeleteFolderTree(L""));  // would match every row
    EXPECT_TRUE(db.DeleteFolderTree(L"d:\\a\\"));
    EXPECT_EQ(std::tuple("C:\\ C:\\A\\ C:\\A\\B\\ D:\\ D:\\AB\\", "3.jpg", 0, 1, 0),
              std::tuple(Folders(), FileNames(), CountRows(Mng(), "tb_gps_info"),
                         CountRows(Mng(), "tb_time_path_info"),
                         db.GetPathDao().GetPathID(L"D:\\A\\B\\", false)));
}

// Deleting, marking and moving single files keep the folder and month counts.
TEST_F(MaintenanceTest, FileOperationsKeepTheCounts) {
    StartRun();
    int obrien = AddFile(L"D:\\from\\", L"O'Brien.jpg", 300, kSnap);
    AddFile(L"D:\\from\\", L"a.jpg", 10, kSnap);
    PathID(L"D:\\to\\");
    int removed = 0;
    db.RefreshFolder(PathID(L"D:\\from\\"), removed);
    db.RebuildFolderMonths(PathID(L"D:\\from\\"));
    _tagIptcInfo iptc;
    db.GetIptcDao().Insert(iptc);
    Link("iIptcID", iptc.iIptcID, obrien);
    // "files with their folders and digests | iptc rows | folders | months"
    auto state = [&] {
        return Rows(Mng(),
                    "select strFullPath, strFileName, strMD5 from tb_file_info join "
                    "tb_path_info using (iPathID)") +
               " | " + std::to_string(CountRows(Mng(), "tb_iptc_info")) + " | " + Counts() + " | " +
               Months();
    };
    EXPECT_FALSE(db.DeleteFile(L"D:\\from\\missing.jpg", true));
    EXPECT_TRUE(db.DeleteFile(L"D:\\from\\O'Brien.jpg", true));
    EXPECT_TRUE(db.MarkFileChanged(L"D:\\from\\a.jpg"));
    EXPECT_EQ(
        "D:\\from\\|a.jpg| | 0 | D:\\|0|0 D:\\from\\|1|10 D:\\to\\|0|0 | "
        "D:\\from\\|2019-07-01 00:00:00|1|10",
        state());
    EXPECT_FALSE(db.MoveFile(L"D:\\from\\none.jpg", L"D:\\to\\none.jpg"));
    EXPECT_TRUE(db.MoveFile(L"D:\\from\\a.jpg", L"D:\\from\\b'.jpg") &&
                db.MoveFile(L"D:\\from\\b'.jpg", L"D:\\to\\c.jpg"));
    EXPECT_EQ(
        "D:\\to\\|c.jpg| | 0 | D:\\|0|0 D:\\from\\|0|0 D:\\to\\|1|10 | D:\\from\\|2019-07-01 "
        "00:00:00|0|0 D:\\to\\|2019-07-01 00:00:00|1|10",
        state());
}

// A folder is renamed and moved to its new parent with every path below it; the prefix
// is cut in characters, not in UTF-8 bytes; an empty prefix would match every folder.
TEST_F(MaintenanceTest, MoveFolderRenamesReparentsAndRewritesPaths) {
    PathID(L"D:\\old\\sub\\");
    PathID(L"E:\\");
    EXPECT_TRUE(db.MoveFolder(L"D:\\old\\", L"E:\\new\\"));
    EXPECT_EQ(
        std::tuple("D:\\ E:\\ E:\\new\\ E:\\new\\sub\\", std::to_string(PathID(L"E:\\")), 0),
        std::tuple(Folders(),
                   Rows(Mng(), "select iParentID from tb_path_info where strPathName = 'new'"),
                   db.GetPathDao().GetPathID(L"D:\\old\\sub\\", false)));
    PathID(L"C:\\照片\\2008\\");
    EXPECT_FALSE(db.ReplacePathPrefix(L"", L"X:\\"));
    EXPECT_TRUE(db.ReplacePathPrefix(L"C:\\照片\\", L"D:\\照片\\"));
    EXPECT_EQ(1, CountRows(Mng(), "tb_path_info", "strFullPath = 'D:\\照片\\2008\\'"));
}

// Keys from the first not ordered before the prefix, while they start with it in any
// letter case (Sun and SUNSET sort before "su"). The limit, the loading and the clearing
// are checked by the host program's tests.
TEST_F(MaintenanceTest, SearchHistoryMatchesThePrefixInAnyLetterCase) {
    for (const wchar_t* key : {L"Sun", L"su", L"summer", L"SUNSET", L"tree", L"summer"})
        EXPECT_TRUE(db.AddSearch(key));
    std::map<CString, int> found;
    EXPECT_TRUE(db.GetSearchHistory(L"SU", found, 10));
    EXPECT_EQ((std::map<CString, int>{{L"SUNSET", 1}, {L"Sun", 1}, {L"su", 1}, {L"summer", 2}}),
              found);
}

}  // namespace
