// The save queue on real files: counters, drains and their transactions, what each task
// writes and reports, failing drains, month changes. (Its use from several threads at
// once is checked, also under the thread sanitizer, by the analyser's and the service's
// tests, which drive it from their own threads as a scan does.)
#include <gtest/gtest.h>

#include "db/save_queue.h"
#include "db_test_util.h"

namespace {

using dbtest::Rows;

std::set<_tagSimpleFileInfo> Files(std::vector<const wchar_t*> names) {
    std::set<_tagSimpleFileInfo> out;
    for (const wchar_t* name : names)
        out.insert({name, 1000, CTime(2015, 5, 5, 5, 5, 5)});
    return out;
}

class SaveQueueTest : public dbtest::FacadeTest {
protected:
    // A file detail as the analyser queues it (seen now, digest "0").
    void QueueDetail(const CString& folder, const CString& name, LONGLONG size, CTime snap,
                     bool exif, CTime search = CTime::GetCurrentTime()) {
        auto* task = new CSaveFileDetail(&db);
        _tagFileInfo& f = task->m_detail.fileInfo;
        task->m_detail.strFolder = folder;
        f.iPathID = db.GetPathDao().GetPathID(folder, true);
        f.strFileName = name;
        f.iFileSize = size;
        f.tSnapTime = snap;
        f.tFileSearch = search;
        f.tFileModify = CTime(2015, 5, 5, 5, 5, 5);
        f.strMD5 = L"0";
        if (exif) {
            f.iExifID = 0;
            task->m_detail.exifInfo.strModel = L"M";
        }
        queue.Enqueue(task);
    }
    // Whether the transaction is open after a drain, and what the drain took.
    std::pair<bool, int> DrainOnce() {
        int taken = queue.Drain(nullptr);
        return {Mng().IsInTransaction(), taken};
    }
    CSaveQueue queue{&db};
};

// A signalled stop writes nothing and restarts the time rule; a failed task is settled
// but not counted; an empty drain begins and commits an empty transaction.
TEST_F(SaveQueueTest, DrainsSettleTheCountersAndTheFirstTick) {
    queue.QueueFolderFiles(L"", Files({L"a.jpg"}), 0);  // no folder: the task fails
    EXPECT_EQ(std::pair(2, true), std::pair(queue.GetPending(), queue.GetFirstTick() != 0));
    CEvent stop(TRUE);
    EXPECT_EQ(std::tuple(0, 1, 0u),
              (std::tuple{queue.Drain(stop), queue.GetCount(), queue.GetFirstTick()}));
    EXPECT_EQ(std::tuple(1, 0, 0, 0u),
              (std::tuple{queue.Drain(nullptr), queue.GetPending(),
                          queue.GetSaved(kSaveFolderLists), queue.GetFirstTick()}));
    EXPECT_EQ((dbtest::Strings{"begin  transaction;", "commit transaction;"}),
              dbtest::StatementsOf(Mng(), [&] { queue.Drain(nullptr); }));
}

// Folder and drive tasks, configuration values and finish reports count (queued and
// saved alike) and write their rows, a drive as its lower-case root; kind 7 counts and
// does nothing. Reset zeroes the counters and the baselines.
TEST_F(SaveQueueTest, TaskListConfigurationAndReportTasksCountAndWrite) {
    auto counters = [&] {  // "queued/saved " of each kind
        std::string out;
        for (int i = 0; i < kSaveCounterCount; ++i)
            out +=
                std::to_string(queue.GetQueued(i)) + "/" + std::to_string(queue.GetSaved(i)) + " ";
        return out;
    };
    queue.QueueAddFatFolders({L"D:\\a\\", L"D:\\b\\", L"D:\\c\\"});
    queue.QueueDelFatFolder(L"D:\\b\\");
    queue.QueueAddNtfsDrive(L'D');
    queue.QueueAddNtfsDrive(L'e');
    queue.QueueDelNtfsDrive(L'E');
    queue.QueueSetConfig(L"BackSearchStartNtfs", L"1");
    queue.QueueFinishReport(2, L"C:\\");
    queue.QueueFinishReport(7, L"ignored");
    EXPECT_EQ(8, queue.Drain(nullptr));
    std::set<CString> paths, drives;  // read back as the scan does
    EXPECT_TRUE(db.GetPathTasks(paths) && db.GetNtfsPathTasks(drives));
    const std::string ntfs = "select strCfgValue from tb_config_info where strCfgKey like '%Ntfs'";
    EXPECT_EQ(std::tuple("10/10 5/5 2/2 2/2 1/1 3/3 1/1 0/0 0/0 0/0 ",
                         std::set<CString>{L"D:\\a\\", L"D:\\c\\"}, std::set<CString>{L"d:\\"}, "1",
                         std::vector<std::string>{"drive C"}),
              std::tuple(counters(), paths, drives, Rows(Mng(), ntfs), sink.events));
    db.RegisterFolder(L"D:\\a\\");
    queue.QueueDelFatFolder(L"D:\\a\\");
    queue.Reset();
    EXPECT_EQ(std::tuple("0/0 0/0 0/0 0/0 0/0 0/0 0/0 0/0 0/0 0/0 ", 0, 0u, size_t(0)),
              std::tuple(counters(), queue.GetCount(), queue.GetFirstTick(), db.BaselineCount()));
}

// A first save adds the size, not the count (months wait for the rebuild); saved again,
// grown, the old EXIF row is overwritten and the folder and the month take the size
// difference; without the block its row goes; unchanged, nothing is written but the
// task counts.
TEST_F(SaveQueueTest, FileDetailsWriteMetadataAndCounts) {
    StartRun(L"2020-01-01 00:00:00");
    const CTime snap(2019, 3, 10, 8, 0, 0), now = CTime::GetCurrentTime();
    // "exif rows | file's exif, gps, size | folder's count, size | month's count, size"
    auto state = [&] {
        return Rows(Mng(), "select group_concat(iExifID) from tb_exif_info") + " | " +
               Rows(Mng(), "select iExifID, iGpsID, iFileSize from tb_file_info") + " | " +
               Rows(Mng(), "select iPicCount, iPicSize from tb_path_info where strPathName = 'p'") +
               " | " + Rows(Mng(), "select iPicCountT, iPicSizeT from tb_time_path_info");
    };
    QueueDetail(L"D:\\p\\", L"a.jpg", 500, snap, true, now);
    queue.Drain(nullptr);
    const std::string exif = Rows(Mng(), "select iExifID from tb_exif_info");
    EXPECT_EQ(exif + " | " + exif + "|-1|500 | 0|500 | ", state());
    QueueDetail(L"D:\\p\\", L"a.jpg", 700, snap, true, now + 1);
    queue.Drain(nullptr);
    EXPECT_EQ(exif + " | " + exif + "|-1|700 | 0|700 | 0|200", state());
    QueueDetail(L"D:\\p\\", L"a.jpg", 700, snap, false, now + 2);
    queue.Drain(nullptr);
    EXPECT_EQ("NULL | -1|-1|700 | 0|700 | 0|200", state());
    QueueDetail(L"D:\\p\\", L"a.jpg", 700, snap, false, now + 2);
    EXPECT_EQ(3u, dbtest::StatementsOf(Mng(), [&] { queue.Drain(nullptr); }).size());
    EXPECT_EQ(4, queue.GetSaved(kSaveFileDetails));
}

// A task that throws leaves the rest queued and the transaction open for the next drain
// to commit. Nothing written is lost.
TEST_F(SaveQueueTest, FailingDrainKeepsTheRestQueuedAndLosesNothingWritten) {
    Mng().Execute(
        "CREATE TRIGGER refuse BEFORE INSERT ON tb_file_info WHEN NEW.strFileName = 'bad.jpg' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END;");
    queue.QueueFolderFiles(L"D:\\one\\", Files({L"1.jpg"}), 0);
    queue.QueueFolderFiles(L"D:\\two\\", Files({L"a.jpg", L"bad.jpg"}), 0);
    queue.QueueFolderFiles(L"D:\\three\\", Files({L"3.jpg"}), 0);
    EXPECT_THROW(queue.Drain(nullptr), CppSQLite3Exception);
    EXPECT_EQ(std::pair(1, true), std::pair(queue.GetCount(), Mng().IsInTransaction()));
    Mng().Execute("DROP TRIGGER refuse;");
    EXPECT_EQ(std::pair(false, 1), DrainOnce());
    CDBMng check;  // committed: seen by another connection
    check.Open(file.Path().c_str());
    EXPECT_EQ("1.jpg 3.jpg a.jpg", Rows(check, "select strFileName from tb_file_info order by 1"));
}

// A drain commits the transaction it began, or one whose commit failed in an earlier
// drain; a transaction someone else opened stays theirs.
TEST_F(SaveQueueTest, ADrainCommitsOnlyItsOwnTransaction) {
    Mng().BeginTransaction();
    queue.QueueSetConfig(L"mine", L"1");
    EXPECT_EQ(std::pair(true, 1), DrainOnce());
    Mng().CommitTransaction();
    queue.QueueSetConfig(L"k", L"v");
    {
        dbtest::BusyReader reader(Mng(), file.Path());
        EXPECT_EQ(std::pair(true, 1), DrainOnce());
    }
    EXPECT_EQ(std::pair(false, 0), DrainOnce());
}

// A folder analysed again reports new minus old figures per month: the month rows it had
// when its first file was registered, against those after its finish report. The ends
// of the phases and of the run are reported in order.
TEST_F(SaveQueueTest, AFinishedFolderReportsItsMonthChanges) {
    const CTime may(2018, 5, 20, 10, 0, 0), june(2018, 6, 2, 10, 0, 0);
    StartRun(L"2001-01-01 00:00:00");
    queue.QueueFolderFiles(L"D:\\tree\\", Files({L"old.jpg"}), 1);
    QueueDetail(L"D:\\tree\\", L"old.jpg", 100, may, false, CTime(2005, 1, 1, 0, 0, 0));
    queue.QueueFinishReport(1, L"D:\\tree\\");
    queue.Drain(nullptr);
    Mng().Execute("update tb_time_path_info set tPathTSearch = '2005-01-01 00:00:00';");
    sink.stats.clear();

    StartRun(L"2010-01-01 00:00:00");  // old.jpg is gone, two pictures are new
    queue.QueueFolderFiles(L"D:\\tree\\", Files({L"a.jpg", L"b.jpg"}), 1);
    for (const wchar_t* name : {L"a.jpg", L"b.jpg"}) {
        db.RegisterFolder(L"D:\\tree\\");
        QueueDetail(L"D:\\tree\\", name, 1500, june, false);
    }
    for (int kind : {1, 3, 4, 5})
        queue.QueueFinishReport(kind, kind == 1 ? L"D:\\tree\\" : L"");
    queue.Drain(nullptr);
    CMonthChangeMap changes = {{CTime(2018, 5, 1, 0, 0, 0), {-1, -100}},
                               {CTime(2018, 6, 1, 0, 0, 0), {2, 3000}}};
    const std::string months = "select tPathPicTime, iPicCountT, iPicSizeT from tb_time_path_info";
    EXPECT_EQ(std::tuple(changes, std::vector<std::string>{"ntfs", "walk", "finish", "run"},
                         size_t(0), 0, "2018-06-01 00:00:00|2|3000"),
              std::tuple(sink.stats[L"D:\\tree\\"], sink.events, db.BaselineCount(),
                         queue.GetPending(), Rows(Mng(), months)));
}

}  // namespace
