// The maintenance and aggregation operations of the database layer object, grouped by
// operation, on real files.
#include <gtest/gtest.h>

#include "db_test_util.h"

namespace {

using dbtest::Column;
using dbtest::CountRows;
using dbtest::Scalar;

const CTime kBefore(2020, 5, 1, 0, 0, 0);  // seen only by a run before kRunStart
const CTime kSnap(2019, 7, 14, 10, 0, 0);

class MaintenanceTest : public dbtest::FacadeTest {
protected:
    void StartRun() { db.SetConfig(L"BackSearchStartTime", L"2020-06-01 12:00:00"); }
    std::string Folders() {
        std::string out;
        for (auto& s : Column(Mng(), "select strFullPath from tb_path_info order by strFullPath"))
            out += s + " ";
        return out;
    }
    // "count|size" of a folder row.
    std::string Counts(const std::string& folder) {
        return Scalar(Mng(),
                      "select ifnull(iPicCount, 'NULL') || '|' || ifnull(iPicSize, 'NULL') from "
                      "tb_path_info where strFullPath = '" +
                          folder + "'");
    }
    void Link(const char* column, int id, int fileID) {
        Mng().Execute(("update tb_file_info set " + std::string(column) + " = " +
                       std::to_string(id) + " where iFileID = " + std::to_string(fileID) + ";")
                          .c_str());
    }
};

TEST_F(MaintenanceTest, ConfigurationValuesUseTheCache) {
    CString value = L"preset";
    EXPECT_FALSE(db.GetConfig(L"Missing", value));
    EXPECT_EQ(L"preset", value);

    dbtest::StatementLog log(Mng());
    EXPECT_TRUE(db.SetConfig(L"Key'1", L"照片"));
    EXPECT_TRUE(db.GetConfig(L"Key'1", value));
    EXPECT_EQ(L"照片", value);
    EXPECT_EQ(std::vector<std::string>{"Replace into tb_config_info(strCfgKey, strCfgValue) "
                                       "values('Key''1','\xE7\x85\xA7\xE7\x89\x87');"},
              log.Seen());  // the read came from the cache

    for (int i = 0; i < 100; ++i)
        db.SetConfig(L"k" + std::to_wstring(i), L"v");
    log.Clear();
    value.clear();
    EXPECT_TRUE(db.GetConfig(L"Key'1", value));
    EXPECT_EQ(L"照片", value);
    EXPECT_EQ(std::vector<std::string>{"select strCfgValue from tb_config_info where strCfgKey = "
                                       "'Key''1'LIMIT 1;"},
              log.Seen());
    EXPECT_TRUE(db.GetConfig(L"KEY'1", value));  // the table ignores the key's case

    db.Close();  // a closed layer answers nothing, not even from the cache
    EXPECT_FALSE(db.GetConfig(L"Key'1", value));
}

TEST_F(MaintenanceTest, TaskListsComeBackInOrder) {
    Mng().Execute("Replace into tb_path_task(strPathToSearch) values('D:\\b\\'), ('D:\\a\\');");
    Mng().Execute("Replace into tb_ntfs_path_task(strPathToSearch) values('e:\\'), ('c:\\');");
    std::set<CString> paths, drives;
    EXPECT_TRUE(db.GetPathTasks(paths));
    EXPECT_TRUE(db.GetNtfsPathTasks(drives));
    EXPECT_EQ((std::set<CString>{L"D:\\a\\", L"D:\\b\\"}), paths);
    EXPECT_EQ((std::set<CString>{L"c:\\", L"e:\\"}), drives);
}

TEST_F(MaintenanceTest, FolderToAnalyseHasUnreadOrUnseenFiles) {
    StartRun();
    CString folder;
    std::set<CString> names;
    AddFile(L"D:\\done\\", L"a.jpg", 1, kSnap);
    EXPECT_FALSE(db.GetFolderToAnalyse(folder, names));

    AddFile(L"D:\\todo\\", L"new.jpg", 1, kSnap, L"");
    AddFile(L"D:\\todo\\", L"old.jpg", 1, kSnap, L"0", kBefore);
    AddFile(L"D:\\todo\\", L"fine.jpg", 1, kSnap, L"0");
    ASSERT_TRUE(db.GetFolderToAnalyse(folder, names));
    EXPECT_EQ(L"D:\\todo\\", folder);
    EXPECT_EQ((std::set<CString>{L"new.jpg", L"old.jpg"}), names);

    // A file row without its folder row is not chosen.
    Mng().Execute(
        "update tb_file_info set iPathID = 999 where strMD5 = '' or tFileSearch < '2020-06';");
    EXPECT_FALSE(db.GetFolderToAnalyse(folder, names));
}

TEST_F(MaintenanceTest, RefreshDropsUnseenFilesAndRecounts) {
    AddFile(L"D:\\f\\", L"seen.jpg", 100, kSnap);
    AddFile(L"D:\\f\\", L"gone.jpg", 50, kSnap, L"0", kBefore);
    int id = PathID(L"D:\\f\\");
    int removed = -1;
    // Without a run start nothing is deleted; everything counts.
    EXPECT_TRUE(db.RefreshFolder(id, removed));
    EXPECT_EQ(-1, removed);
    EXPECT_EQ("2|150", Counts("D:\\f\\"));
    StartRun();
    EXPECT_TRUE(db.RefreshFolder(id, removed));
    EXPECT_EQ(1, removed);
    EXPECT_EQ("1|100", Counts("D:\\f\\"));
    AddFile(L"D:\\g\\", L"gone.jpg", 50, kSnap, L"0", kBefore);
    EXPECT_TRUE(db.RefreshAll());
    EXPECT_EQ(1, CountRows(Mng(), "tb_file_info"));
    EXPECT_EQ("0|NULL", Counts("D:\\g\\"));
    EXPECT_EQ("1|100", Counts("D:\\f\\"));
}

TEST_F(MaintenanceTest, RebuildMonthsFromTheFilesOfTheRun) {
    StartRun();
    AddFile(L"D:\\m\\", L"a.jpg", 10, CTime(2019, 7, 1, 0, 0, 0));
    AddFile(L"D:\\m\\", L"b.jpg", 20, CTime(2019, 7, 31, 23, 59, 59));
    AddFile(L"D:\\m\\", L"c.jpg", 40, CTime(2019, 8, 2, 0, 0, 0));
    AddFile(L"D:\\m\\", L"unread.jpg", 80, CTime(2019, 8, 2, 0, 0, 0), L"");
    AddFile(L"D:\\m\\", L"undated.jpg", 160, CTime());
    AddFile(L"D:\\m\\", L"unseen.jpg", 320, CTime(2019, 8, 2, 0, 0, 0), L"0", kBefore);
    int id = PathID(L"D:\\m\\");
    // A month row no file supports any more.
    Mng().Execute(("insert into tb_time_path_info(iPathID, tPathPicTime, iPicCountT, iPicSizeT, "
                   "tPathTSearch) values (" +
                   std::to_string(id) + ", '2018-01-01 00:00:00', 3, 3, '2020-01-01 00:00:00');")
                      .c_str());
    ASSERT_TRUE(db.RebuildFolderMonths(id));
    const std::string months =
        "select tPathPicTime || '|' || iPicCountT || '|' || iPicSizeT from tb_time_path_info "
        "order by iPathID, tPathPicTime";
    EXPECT_EQ((std::vector<std::string>{"2019-07-01 00:00:00|2|30", "2019-08-01 00:00:00|1|40"}),
              Column(Mng(), months));
    AddFile(L"D:\\n\\", L"a.jpg", 5, CTime(2019, 7, 3, 0, 0, 0));
    ASSERT_TRUE(db.RebuildAllMonths());
    EXPECT_EQ((std::vector<std::string>{"2019-07-01 00:00:00|2|30", "2019-08-01 00:00:00|1|40",
                                        "2019-07-01 00:00:00|1|5"}),
              Column(Mng(), months));
}

TEST_F(MaintenanceTest, CleanupStaleRemovesWhatTheRunDidNotSee) {
    AddFile(L"D:\\s\\", L"seen.jpg", 1, kSnap);
    int gone = AddFile(L"D:\\s\\", L"gone.jpg", 1, kSnap, L"0", kBefore);
    _tagExifInfo exif;
    ASSERT_TRUE(db.GetExifDao().Insert(exif));
    Link("iExifID", exif.iExifID, gone);
    // The month row as an earlier run's rebuild left it.
    Mng().Execute(("insert into tb_time_path_info(iPathID, tPathPicTime, iPicCountT, iPicSizeT, "
                   "tPathTSearch) values (" +
                   std::to_string(PathID(L"D:\\s\\")) +
                   ", '2019-07-01 00:00:00', 2, 2, '2020-05-01 00:00:00');")
                      .c_str());
    Mng().Execute("update tb_path_info set iPicCount = 2, tPathSearch = '2020-05-01 00:00:00';");

    EXPECT_FALSE(db.CleanupStale());  // no run start: nothing changes
    EXPECT_EQ(2, CountRows(Mng(), "tb_file_info"));
    EXPECT_EQ(1, CountRows(Mng(), "tb_exif_info"));

    StartRun();
    EXPECT_TRUE(db.CleanupStale());
    EXPECT_EQ(std::vector<std::string>{"seen.jpg"},
              Column(Mng(), "select strFileName from tb_file_info"));
    EXPECT_EQ(0, CountRows(Mng(), "tb_exif_info"));
    EXPECT_EQ(0, CountRows(Mng(), "tb_time_path_info"));  // no rebuild refreshed it
    EXPECT_EQ("0|0", Counts("D:\\s\\"));
}

TEST_F(MaintenanceTest, PruneKeepsAncestorsOfFoldersWithPictures) {
    for (const wchar_t* f : {L"C:\\A\\B\\", L"C:\\X\\Y\\", L"C:\\A\\Empty\\"})
        PathID(f);
    Mng().Execute("update tb_path_info set iPicCount = 0;");
    Mng().Execute("update tb_path_info set iPicCount = 3 where strFullPath = 'C:\\A\\B\\';");
    Mng().Execute("update tb_path_info set iPicCount = NULL where strFullPath = 'C:\\X\\';");
    EXPECT_TRUE(db.PruneEmptyFolders());
    EXPECT_EQ("C:\\ C:\\A\\ C:\\A\\B\\ ", Folders());
    // Deleted folders are not served from the path cache any more.
    EXPECT_EQ(0, db.GetPathDao().GetPathID(L"C:\\X\\Y\\", false));
}

TEST_F(MaintenanceTest, DeleteFolderTreeSparesSiblingsWithTheSamePrefix) {
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
    EXPECT_EQ("D:\\ D:\\AB\\ ", Folders());
    EXPECT_EQ(std::vector<std::string>{"3.jpg"},
              Column(Mng(), "select strFileName from tb_file_info"));
    EXPECT_EQ(0, CountRows(Mng(), "tb_gps_info"));
    EXPECT_EQ(1, CountRows(Mng(), "tb_time_path_info"));
    EXPECT_EQ(0, db.GetPathDao().GetPathID(L"D:\\A\\B\\", false));
}

// Marking, moving, renaming and deleting single files keep the folder and month counts.
TEST_F(MaintenanceTest, FileOperationsKeepTheCounts) {
    StartRun();
    int obrien = AddFile(L"D:\\from\\", L"O'Brien.jpg", 300, kSnap);
    AddFile(L"D:\\from\\", L"a.jpg", 10, kSnap);
    PathID(L"D:\\to\\");
    int from = PathID(L"D:\\from\\");
    int removed = 0;
    db.RefreshFolder(from, removed);
    db.RebuildFolderMonths(from);
    _tagIptcInfo iptc;
    db.GetIptcDao().Insert(iptc);
    Link("iIptcID", iptc.iIptcID, obrien);

    EXPECT_FALSE(db.DeleteFile(L"D:\\from\\missing.jpg", true));
    EXPECT_TRUE(db.DeleteFile(L"D:\\from\\O'Brien.jpg", true));
    EXPECT_EQ(0, CountRows(Mng(), "tb_iptc_info"));
    EXPECT_EQ("1|10", Counts("D:\\from\\"));
    EXPECT_EQ("1|10",
              Scalar(Mng(), "select iPicCountT || '|' || iPicSizeT from tb_time_path_info"));

    EXPECT_TRUE(db.MarkFileChanged(L"D:\\from\\a.jpg"));
    EXPECT_EQ("", Scalar(Mng(), "select strMD5 from tb_file_info"));
    EXPECT_FALSE(db.MoveFile(L"D:\\from\\none.jpg", L"D:\\to\\none.jpg"));
    EXPECT_TRUE(db.MoveFile(L"D:\\from\\a.jpg", L"D:\\from\\b'.jpg"));
    EXPECT_TRUE(db.MoveFile(L"D:\\from\\b'.jpg", L"D:\\to\\c.jpg"));
    EXPECT_EQ("D:\\to\\|c.jpg", Scalar(Mng(),
                                       "select strFullPath || '|' || strFileName from "
                                       "tb_file_info join tb_path_info using (iPathID)"));
    EXPECT_EQ("0|0", Counts("D:\\from\\"));
    EXPECT_EQ("1|10", Counts("D:\\to\\"));
    EXPECT_EQ((std::vector<std::string>{"D:\\from\\|0", "D:\\to\\|1"}),
              Column(Mng(),
                     "select strFullPath || '|' || iPicCountT from tb_time_path_info "
                     "join tb_path_info using (iPathID) order by strFullPath"));
}

TEST_F(MaintenanceTest, MoveFolderRenamesReparentsAndRewritesPaths) {
    PathID(L"D:\\old\\sub\\");
    PathID(L"E:\\");
    EXPECT_TRUE(db.MoveFolder(L"D:\\old\\", L"E:\\new\\"));
    EXPECT_EQ("D:\\ E:\\ E:\\new\\ E:\\new\\sub\\ ", Folders());
    EXPECT_EQ(std::to_string(PathID(L"E:\\")),
              Scalar(Mng(), "select iParentID from tb_path_info where strPathName = 'new'"));
    EXPECT_EQ(0, db.GetPathDao().GetPathID(L"D:\\old\\sub\\", false));

    // The prefix is cut in characters, not in UTF-8 bytes.
    PathID(L"C:\\照片\\2008\\");
    EXPECT_FALSE(db.ReplacePathPrefix(L"", L"X:\\"));  // would match every folder
    dbtest::StatementLog log(Mng());
    EXPECT_TRUE(db.ReplacePathPrefix(L"C:\\照片\\", L"D:\\照片\\"));
    EXPECT_EQ(
        "update tb_path_info set strFullPath = 'D:\\\xE7\x85\xA7\xE7\x89\x87\\' || "
        "substr(strFullPath, 7) where strFullPath like 'C:\\\xE7\x85\xA7\xE7\x89\x87\\%';",
        log.Seen().at(0));
    EXPECT_EQ(1, CountRows(Mng(), "tb_path_info", "strFullPath = 'D:\\照片\\2008\\'"));
}

TEST_F(MaintenanceTest, SearchHistory) {
    for (const wchar_t* key : {L"Sun", L"su", L"summer", L"SUNSET", L"sun's", L"tree"})
        EXPECT_TRUE(db.AddSearch(key));
    db.AddSearch(L"summer");
    EXPECT_EQ("2",
              Scalar(Mng(), "select iSearchTimes from tb_search_history where strKey = 'summer'"));
    std::map<CString, int> out;
    EXPECT_FALSE(db.GetSearchHistory(L"su", out, 0));
    EXPECT_TRUE(db.GetSearchHistory(L"su", out, 2));
    // From the first key not ordered before "su": su, summer (Sun and SUNSET sort before).
    EXPECT_EQ((std::map<CString, int>{{L"su", 1}, {L"summer", 2}}), out);
    out.clear();
    db.GetSearchHistory(L"SU", out, 10);
    EXPECT_EQ((std::map<CString, int>{
                  {L"SUNSET", 1}, {L"Sun", 1}, {L"su", 1}, {L"summer", 2}, {L"sun's", 1}}),
              out);

    // The table is read back on load, and cleared with the map.
    Mng().Execute("delete from tb_search_history where strKey = 'tree';");
    db.LoadSearchHistory();
    out.clear();
    db.GetSearchHistory(L"", out, 100);
    EXPECT_EQ(5u, out.size());
    EXPECT_TRUE(db.ClearSearchHistory());
    EXPECT_EQ(0, CountRows(Mng(), "tb_search_history"));
    out.clear();
    db.GetSearchHistory(L"", out, 100);
    EXPECT_TRUE(out.empty());
}

TEST_F(MaintenanceTest, NothingWithoutAConnection) {
    CDbFacade closed;
    CString s;
    std::set<CString> set;
    int n = 0;
    EXPECT_FALSE(closed.SetConfig(L"a", L"b") || closed.GetFolderToAnalyse(s, set) ||
                 closed.RefreshFolder(1, n) || closed.CleanupStale() ||
                 closed.PruneEmptyFolders() || closed.DeleteFolderTree(L"D:\\") ||
                 closed.DeleteFile(L"D:\\a", true) || closed.MoveFolder(L"D:\\a\\", L"D:\\b\\") ||
                 closed.AddSearch(L"x"));
    EXPECT_EQ(0, closed.FolderFinished(L"D:\\"));
}

}  // namespace
