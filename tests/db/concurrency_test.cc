// The database layer used from several threads at once, as a scan uses it: producers
// queue folder lists and file details (creating folder rows as they go), one thread
// drains the queue, and another runs lookups, configuration writes, filter edits and
// search-history updates meanwhile. Also run under the thread sanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "db/save_queue.h"
#include "db_test_util.h"

namespace {

using dbtest::CountRows;

constexpr int kProducers = 2;
constexpr int kFoldersEach = 30;
constexpr int kFilesPerFolder = 5;

CString FolderOf(int producer, int i) {
    return L"E:\\p" + std::to_wstring(producer) + L"\\f" + std::to_wstring(i) + L"\\";
}

class ConcurrencyTest : public dbtest::FacadeTest {};

TEST_F(ConcurrencyTest, WritersDrainWhileAnotherThreadLooksUpAndWrites) {
    db.SetConfig(L"BackSearchStartTime", L"2000-01-01 00:00:00");
    CSaveQueue queue(&db);
    std::atomic<int> producersLeft{kProducers};
    std::atomic<bool> stop{false};
    std::atomic<int> drained{0};

    std::vector<std::thread> threads;
    for (int p = 0; p < kProducers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < kFoldersEach; ++i) {
                CString folder = FolderOf(p, i);
                std::set<_tagSimpleFileInfo> files;
                for (int k = 0; k < kFilesPerFolder; ++k)
                    files.insert({L"img" + std::to_wstring(k) + L".jpg", 100, CTime()});
                queue.QueueFolderFiles(folder, files, 1);
                for (int k = 0; k < kFilesPerFolder; ++k) {
                    db.RegisterFolder(folder);
                    auto* task = new CSaveFileDetail(&db);
                    _tagFileInfo& info = task->m_detail.fileInfo;
                    info.iPathID = db.GetPathDao().GetPathID(folder, true);
                    info.strFileName = L"img" + std::to_wstring(k) + L".jpg", info.iFileSize = 100;
                    info.tSnapTime = CTime(2012, 1 + k, 3, 0, 0, 0), info.strMD5 = L"0";
                    info.tFileSearch = CTime::GetCurrentTime();
                    queue.Enqueue(task);
                }
                queue.QueueFinishReport(1, folder);
            }
            producersLeft.fetch_sub(1);
        });
    }
    threads.emplace_back([&] {  // the writer thread
        for (;;) {
            bool last = producersLeft.load() == 0;
            drained.fetch_add(queue.Drain(nullptr));
            if (last) break;
        }
    });
    threads.emplace_back([&] {  // the host's thread
        // At least 50 rounds, so that the filter below exists even if this thread
        // starts late; then until the writers are done.
        for (int n = 0; n < 50 || !stop.load(); ++n) {
            CString value;
            db.GetConfig(L"BackSearchStartTime", value);
            db.SetConfig(L"HostKey" + std::to_wstring(n % 150), std::to_wstring(n));
            db.GetPathDao().GetPathID(FolderOf(n % kProducers, n % kFoldersEach), false);
            db.GetPathDao().HasSubFolder(L"E:\\p0\\");
            db.AddSearch(L"query" + std::to_wstring(n % 7));
            std::map<CString, int> history;
            db.GetSearchHistory(L"QUERY", history, 3);
            if (n % 10 == 0) db.AddExcludedFilter(L"F:\\x" + std::to_wstring(n) + L"\\");
            db.GetFilterType(L"F:\\x0\\deep\\");
        }
    });
    for (int i = 0; i < kProducers + 1; ++i)
        threads[size_t(i)].join();
    stop.store(true);
    threads.back().join();

    // Every task written once, every folder one row with its five files and their five
    // months, each finished folder reported its five new months; the host's filter is in.
    const int folders = kProducers * kFoldersEach;
    EXPECT_EQ(std::tuple(folders * (1 + kFilesPerFolder + 1), 0, folders * kFilesPerFolder, false),
              std::tuple(drained.load(), queue.GetPending(), queue.GetSaved(kSaveFileDetails),
                         Mng().IsInTransaction()));
    EXPECT_EQ(
        std::tuple(folders, folders * kFilesPerFolder, folders * kFilesPerFolder, 0),
        std::tuple(
            CountRows(Mng(), "tb_path_info", "strFullPath like 'E:\\p_\\f%'"),
            CountRows(Mng(), "tb_file_info", "strMD5 = '0'"), CountRows(Mng(), "tb_time_path_info"),
            CountRows(Mng(), "tb_path_info",
                      "strFullPath like 'E:\\p_\\f%' and (iPicCount <> 5 or iPicSize <> 500)")));
    EXPECT_EQ(std::pair(size_t(folders), size_t(folders)),
              std::pair(sink.stats.size(), sink.saved.size()));
    for (const auto& [folder, months] : sink.stats) {
        int newPictures = 0;
        for (const auto& [month, change] : months)
            newPictures += change.first;
        EXPECT_EQ(std::pair(size_t(5), 5), std::pair(months.size(), newPictures));
    }
    EXPECT_EQ(std::pair(size_t(0), 1),
              std::pair(db.BaselineCount(), db.GetFilterType(L"F:\\x0\\deep\\")));
}

}  // namespace
