// The save queue and its tasks on real files: counters, drains and their transactions,
// what each task writes and reports, a drain that fails in the middle of a batch, the
// folder baselines, and one scan written end to end.
#include <gtest/gtest.h>

#include "db/save_queue.h"
#include "db_test_util.h"

namespace {

using dbtest::Column;
using dbtest::CountRows;
using dbtest::Scalar;

std::set<_tagSimpleFileInfo> Files(std::initializer_list<const wchar_t*> names,
                                   ULONGLONG size = 1000) {
    std::set<_tagSimpleFileInfo> out;
    for (const wchar_t* name : names) {
        _tagSimpleFileInfo f;
        f.strFileName = name;
        f.iFileSize = size;
        f.tFileModify = CTime(2015, 5, 5, 5, 5, 5);
        out.insert(f);
    }
    return out;
}

CSaveFileDetail* Detail(CDbFacade& db, const CString& folder, const CString& name, LONGLONG size,
                        CTime snap, bool exif) {
    auto* task = new CSaveFileDetail(&db);
    _tagFileDetail& d = task->m_detail;
    d.strFolder = folder;
    d.fileInfo.iPathID = db.GetPathDao().GetPathID(folder, true);
    d.fileInfo.strFileName = name;
    d.fileInfo.iFileSize = size;
    d.fileInfo.tSnapTime = snap;
    d.fileInfo.tFileModify = CTime(2015, 5, 5, 5, 5, 5);
    d.fileInfo.tFileSearch = CTime::GetCurrentTime();
    d.fileInfo.strMD5 = L"0";
    if (exif) {
        d.fileInfo.iExifID = 0;
        d.exifInfo.strModel = L"M";
    }
    return task;
}

class SaveQueueTest : public dbtest::FacadeTest {
protected:
    void StartRun(const wchar_t* when = L"2020-01-01 00:00:00") {
        db.SetConfig(L"BackSearchStartTime", when);
    }
    std::string FileRow(const std::string& name, const std::string& columns) {
        return Scalar(
            Mng(), "select " + columns + " from tb_file_info where strFileName = '" + name + "'");
    }
    CSaveQueue queue{&db};
};

TEST_F(SaveQueueTest, DrainsSettleTheCountersAndTheFirstTick) {
    queue.QueueFolderFiles(L"", Files({L"a.jpg"}), 0);  // no folder: the task fails
    EXPECT_EQ(2, queue.GetPending());
    EXPECT_NE(0u, queue.GetFirstTick());
    // A signalled stop event: nothing written, the task stays, the time rule restarts.
    CEvent stop(TRUE);
    EXPECT_EQ(0, queue.Drain(stop));
    EXPECT_EQ(1, queue.GetCount());
    EXPECT_EQ(0u, queue.GetFirstTick());
    EXPECT_EQ(1, queue.Drain(nullptr));
    EXPECT_EQ(0, queue.GetPending());  // a failed task is not counted, but settled
    EXPECT_EQ(0, queue.GetSaved(kSaveFolderLists));
    EXPECT_EQ(0u, queue.GetFirstTick());

    dbtest::StatementLog log(Mng());
    EXPECT_EQ(0, queue.Drain(nullptr));
    EXPECT_EQ((std::vector<std::string>{"begin  transaction;", "commit transaction;"}), log.Seen());
}

TEST_F(SaveQueueTest, TaskListConfigurationAndReportTasksCountAndWrite) {
    queue.QueueAddFatFolders({L"D:\\a\\", L"D:\\b\\", L"D:\\c\\"});
    for (int i : {kSaveAllItems, kSaveFolderAdds, kSaveWalkAdds})
        EXPECT_EQ(3, queue.GetQueued(i));
    queue.QueueDelFatFolder(L"D:\\b\\");
    queue.QueueAddNtfsDrive(L'D');
    queue.QueueAddNtfsDrive(L'e');
    queue.QueueDelNtfsDrive(L'E');
    queue.QueueSetConfig(L"BackSearchStartNtfs", L"1");
    queue.QueueFinishReport(2, L"C:\\");
    queue.QueueFinishReport(7, L"ignored");
    EXPECT_EQ(8, queue.Drain(nullptr));
    for (int i = 0; i < kSaveCounterCount; ++i)
        EXPECT_EQ(queue.GetQueued(i), queue.GetSaved(i)) << i;
    EXPECT_EQ(3 + 1 + 3 + 1 + 2, queue.GetSaved(kSaveAllItems));
    EXPECT_EQ(2, queue.GetSaved(kSaveNtfsAdds));
    EXPECT_EQ(1, queue.GetSaved(kSaveNtfsRemovals));
    EXPECT_EQ(1, queue.GetSaved(kSaveWalkRemovals));
    EXPECT_EQ(2, queue.GetSaved(kSaveFolderRemovals));
    EXPECT_EQ(5, queue.GetSaved(kSaveFolderAdds));
    EXPECT_EQ((std::vector<std::string>{"D:\\a\\", "D:\\c\\"}),
              Column(Mng(), "select strPathToSearch from tb_path_task order by 1"));
    EXPECT_EQ(std::vector<std::string>{"d:\\"},
              Column(Mng(), "select strPathToSearch from tb_ntfs_path_task"));
    CString value;
    EXPECT_TRUE(db.GetConfig(L"BackSearchStartNtfs", value));
    EXPECT_EQ(L"1", value);
    EXPECT_EQ(std::vector<std::string>{"drive C"}, sink.events);
}

TEST_F(SaveQueueTest, FolderFileListsMarkNewAndChangedFiles) {
    StartRun(L"2000-01-01 00:00:00");
    queue.QueueFolderFiles(L"D:\\f\\", Files({L"same.jpg", L"grown.jpg", L"gone.jpg"}), 1);
    queue.Drain(nullptr);
    EXPECT_EQ(3, queue.GetSaved(kSaveListedFiles));
    EXPECT_EQ("jpg|", FileRow("same.jpg", "strExt || '|' || strMD5"));
    // As after the analysis: digests, sizes and times stored.
    Mng().Execute(
        "update tb_file_info set strMD5 = 'ABC', iFileSize = 1000, tFileModify = "
        "'2015-05-05 05:05:05', tFileSearch = '2001-01-01 00:00:00';");

    StartRun(L"2010-01-01 00:00:00");
    auto files = Files({L"same.jpg", L"new.jpg"});
    _tagSimpleFileInfo grown = *Files({L"grown.jpg"}, 2000).begin();
    files.insert(grown);
    queue.QueueFolderFiles(L"D:\\f\\", files, 1);
    queue.Drain(nullptr);
    EXPECT_EQ("ABC", FileRow("same.jpg", "strMD5"));
    EXPECT_EQ("", FileRow("grown.jpg", "strMD5"));
    EXPECT_EQ("<none>", FileRow("gone.jpg", "strMD5"));  // not listed: removed by the refresh
    EXPECT_LT("2010", FileRow("grown.jpg", "tFileSearch"));
    // Reported: 3 new files, then 1 new file less the 1 removed.
    EXPECT_EQ((std::vector<std::pair<CString, int>>{{L"D:\\f\\", 3}, {L"D:\\f\\", 0}}), sink.saved);
    EXPECT_EQ("3", Scalar(Mng(),
                          "select iPicCount from tb_path_info where strFullPath = "
                          "'D:\\f\\'"));
}

TEST_F(SaveQueueTest, FileDetailsWriteMetadataAndCounts) {
    StartRun();
    const CTime snap(2019, 3, 10, 8, 0, 0);
    const std::string folderCounts =
        "select iPicCount || '|' || iPicSize from tb_path_info where strFullPath = 'D:\\p\\'";
    queue.Enqueue(Detail(db, L"D:\\p\\", L"a.jpg", 500, snap, true));
    queue.Drain(nullptr);
    const std::string exifId = Scalar(Mng(), "select iExifID from tb_exif_info");
    EXPECT_EQ(exifId + "|-1", FileRow("a.jpg", "iExifID || '|' || iGpsID"));
    // A first save adds the size, not the count; months wait for the rebuild.
    EXPECT_EQ("0|500", Scalar(Mng(), folderCounts));
    EXPECT_EQ(0, CountRows(Mng(), "tb_time_path_info"));

    // Saved again, grown, with an EXIF block: the old EXIF row is overwritten, and the
    // folder and the month take the size difference.
    CSaveFileDetail* again = Detail(db, L"D:\\p\\", L"a.jpg", 700, snap, true);
    CTime searched = again->m_detail.fileInfo.tFileSearch + 1;
    again->m_detail.fileInfo.tFileSearch = searched;
    queue.Enqueue(again);
    queue.Drain(nullptr);
    EXPECT_EQ(std::vector<std::string>{exifId}, Column(Mng(), "select iExifID from tb_exif_info"));
    EXPECT_EQ(exifId + "|700", FileRow("a.jpg", "iExifID || '|' || iFileSize"));
    EXPECT_EQ("0|700", Scalar(Mng(), folderCounts));
    EXPECT_EQ("0|200",
              Scalar(Mng(), "select iPicCountT || '|' || iPicSizeT from tb_time_path_info"));

    // Without the block now: its row is deleted.
    CSaveFileDetail* plain = Detail(db, L"D:\\p\\", L"a.jpg", 700, snap, false);
    searched = searched + 1;
    plain->m_detail.fileInfo.tFileSearch = searched;
    queue.Enqueue(plain);
    queue.Drain(nullptr);
    EXPECT_EQ(0, CountRows(Mng(), "tb_exif_info"));
    EXPECT_EQ("-1", FileRow("a.jpg", "iExifID"));

    // Unchanged: nothing is written, but the task still counts.
    CSaveFileDetail* same = Detail(db, L"D:\\p\\", L"a.jpg", 700, snap, false);
    same->m_detail.fileInfo.tFileSearch = searched;
    same->m_detail.fileInfo.iFileID = std::stoi(FileRow("a.jpg", "iFileID"));
    queue.Enqueue(same);
    dbtest::StatementLog log(Mng());
    queue.Drain(nullptr);
    EXPECT_EQ(3u, log.Seen().size());  // begin, the read by id, commit
    EXPECT_EQ(4, queue.GetSaved(kSaveFileDetails));
}

TEST_F(SaveQueueTest, FailingDrainKeepsTheRestQueuedAndLosesNothingWritten) {
    Mng().Execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON tb_file_info WHEN NEW.strFileName = "
        "'bad.jpg' BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    queue.QueueFolderFiles(L"D:\\one\\", Files({L"1.jpg"}), 0);
    queue.QueueFolderFiles(L"D:\\two\\", Files({L"a.jpg", L"bad.jpg"}), 0);
    queue.QueueFolderFiles(L"D:\\three\\", Files({L"3.jpg"}), 0);
    try {
        queue.Drain(nullptr);
        FAIL() << "the drain went through the refused row";
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(SQLITE_CONSTRAINT, e.ErrorCode());
    }
    EXPECT_EQ(1, queue.GetCount());
    EXPECT_TRUE(Mng().IsInTransaction());

    Mng().Execute("DROP TRIGGER refuse;");
    EXPECT_EQ(1, queue.Drain(nullptr));
    EXPECT_FALSE(Mng().IsInTransaction());  // committed by the next drain

    // Left open by a failed drain, Close commits it.
    Mng().Execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON tb_path_task BEGIN SELECT "
        "RAISE(ABORT, 'refused'); END;");
    queue.QueueSetConfig(L"k", L"v");
    queue.QueueAddFatFolders({L"D:\\x\\"});
    EXPECT_THROW(queue.Drain(nullptr), CppSQLite3Exception);
    EXPECT_TRUE(Mng().IsInTransaction());
    db.Close();
    CDBMng check;
    check.Open(file.Path().c_str());
    EXPECT_EQ((std::vector<std::string>{"1.jpg", "3.jpg", "a.jpg"}),
              Column(check, "select strFileName from tb_file_info order by 1"));
    EXPECT_EQ("v", Scalar(check, "select strCfgValue from tb_config_info where strCfgKey = 'k'"));
}

// A drain commits the transaction it began, or one whose commit failed in an earlier
// drain; a transaction someone else opened stays theirs.
TEST_F(SaveQueueTest, ADrainCommitsOnlyItsOwnTransaction) {
    Mng().BeginTransaction();
    queue.QueueSetConfig(L"mine", L"1");
    EXPECT_EQ(1, queue.Drain(nullptr));
    EXPECT_TRUE(Mng().IsInTransaction());
    Mng().CommitTransaction();

    dbtest::ShortBusyTimeout(Mng());
    queue.QueueSetConfig(L"k", L"v");
    {
        dbtest::BusyReader reader(file.Path());
        EXPECT_EQ(1, queue.Drain(nullptr));
        EXPECT_TRUE(Mng().IsInTransaction());
    }
    EXPECT_EQ(0, queue.Drain(nullptr));
    EXPECT_FALSE(Mng().IsInTransaction());
}

TEST_F(SaveQueueTest, ResetZeroesCountersAndBaselines) {
    queue.QueueAddFatFolders({L"D:\\a\\"});
    queue.Drain(nullptr);
    db.RegisterFolder(L"D:\\a\\");
    EXPECT_EQ(1u, db.BaselineCount());
    queue.QueueDelFatFolder(L"D:\\a\\");
    queue.Reset();
    EXPECT_EQ(0, queue.GetCount());
    for (int i = 0; i < kSaveCounterCount; ++i)
        EXPECT_EQ(0, queue.GetQueued(i) + queue.GetSaved(i));
    EXPECT_EQ(0u, queue.GetFirstTick());
    EXPECT_EQ(0u, db.BaselineCount());
}

// A small tree scanned, analysed and finished, as the scanner and the analyser queue it.
TEST_F(SaveQueueTest, EndToEndScanOfASmallTree) {
    const CTime may(2018, 5, 20, 10, 0, 0), june(2018, 6, 2, 10, 0, 0), july(2018, 7, 9, 0, 0, 0);
    // An earlier run left D:\tree\ with one picture of May 2018.
    StartRun(L"2001-01-01 00:00:00");
    queue.QueueFolderFiles(L"D:\\tree\\", Files({L"old.jpg"}), 1);
    CSaveFileDetail* old = Detail(db, L"D:\\tree\\", L"old.jpg", 100, may, false);
    old->m_detail.fileInfo.tFileSearch = CTime(2005, 1, 1, 0, 0, 0);
    queue.Enqueue(old);
    queue.QueueFinishReport(1, L"D:\\tree\\");
    queue.Drain(nullptr);
    // That run's month rows were written back then.
    Mng().Execute("update tb_time_path_info set tPathTSearch = '2005-01-01 00:00:00';");
    sink.stats.clear();
    sink.saved.clear();

    // This run: old.jpg is gone, three pictures are new.
    StartRun(L"2010-01-01 00:00:00");
    queue.QueueFolderFiles(L"D:\\tree\\", Files({L"a.jpg", L"b.jpg"}), 1);
    queue.QueueFolderFiles(L"D:\\tree\\sub\\", Files({L"c.jpg"}), 1);
    queue.Drain(nullptr);
    EXPECT_EQ((std::vector<std::pair<CString, int>>{{L"D:\\tree\\", 1}, {L"D:\\tree\\sub\\", 1}}),
              sink.saved);

    CString folder;
    std::set<CString> names;
    ASSERT_TRUE(db.GetFolderToAnalyse(folder, names));
    EXPECT_TRUE(folder == L"D:\\tree\\" || folder == L"D:\\tree\\sub\\");
    const std::pair<const wchar_t*, const wchar_t*> work[] = {
        {L"D:\\tree\\", L"a.jpg"}, {L"D:\\tree\\", L"b.jpg"}, {L"D:\\tree\\sub\\", L"c.jpg"}};
    const CTime snaps[] = {june, june, july};
    for (int i = 0; i < 3; ++i) {
        db.RegisterFolder(work[i].first);
        queue.Enqueue(Detail(db, work[i].first, work[i].second, 1000 * (i + 1), snaps[i], i == 0));
    }
    queue.QueueFinishReport(1, L"D:\\tree\\");
    queue.QueueFinishReport(1, L"D:\\tree\\sub\\");
    queue.QueueFinishReport(3, L"");
    queue.QueueFinishReport(4, L"");
    queue.QueueFinishReport(5, L"");
    queue.Drain(nullptr);

    EXPECT_FALSE(db.GetFolderToAnalyse(folder, names));
    EXPECT_EQ((std::vector<std::string>{"D:\\|0|0", "D:\\tree\\|2|3000", "D:\\tree\\sub\\|1|3000"}),
              Column(Mng(),
                     "select strFullPath || '|' || iPicCount || '|' || ifnull(iPicSize, 0) "
                     "from tb_path_info order by strFullPath"));
    EXPECT_EQ((std::vector<std::string>{"D:\\tree\\|2018-06-01 00:00:00|2|3000",
                                        "D:\\tree\\sub\\|2018-07-01 00:00:00|1|3000"}),
              Column(Mng(),
                     "select strFullPath || '|' || tPathPicTime || '|' || iPicCountT || "
                     "'|' || iPicSizeT from tb_time_path_info join tb_path_info using "
                     "(iPathID) order by strFullPath"));
    EXPECT_EQ(1, CountRows(Mng(), "tb_exif_info"));
    // New minus old figures per month.
    CMonthChangeMap tree = {{CTime(2018, 5, 1, 0, 0, 0), {-1, -100}},
                            {CTime(2018, 6, 1, 0, 0, 0), {2, 3000}}};
    CMonthChangeMap sub = {{CTime(2018, 7, 1, 0, 0, 0), {1, 3000}}};
    EXPECT_EQ(tree, sink.stats[L"D:\\tree\\"]);
    EXPECT_EQ(sub, sink.stats[L"D:\\tree\\sub\\"]);
    EXPECT_EQ((std::vector<std::string>{"ntfs", "walk", "finish", "run"}), sink.events);
    EXPECT_EQ(0u, db.BaselineCount());
    EXPECT_EQ(0, queue.GetPending());
}

}  // namespace
