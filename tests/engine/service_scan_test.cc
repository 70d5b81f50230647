// The service end to end, as a host drives it: a new index, a scan of a drive table
// made of a real folder tree (drive C:) and a real NTFS volume image (drive N:) from
// StartBackSearch to the end-of-run message, the status sampled all along, searches
// delivered through the results message while a scan waits, the statistics, filters,
// history and index edits checked against what was scanned, a stopped and continued
// run, and a second open of the same file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_host.h"
#include "engine/service_pictures.h"

namespace {

namespace fs = std::filesystem;

// Where a picture lies (library path) and the year it was taken.
struct Picture {
    const char* drive;  // "c" or "n": the host folder it is written under
    const char* rel;    // path below the drive, '/'-separated
    int year, month;
};

const Picture kPictures[] = {
    {"c", "Photos/2008/a1.jpg", 2008, 5}, {"c", "Photos/2008/a2.jpg", 2008, 5},
    {"c", "Photos/2008/a3.jpg", 2008, 6}, {"c", "Photos/2010/b1.jpg", 2010, 1},
    {"c", "Photos/2010/b2.jpg", 2010, 1}, {"c", "Photos/2010/deep/c1.jpg", 2010, 2},
    {"c", "Photos2/d1.jpg", 2011, 3},     {"n", "Trip/t1.jpg", 2012, 7},
    {"n", "Trip/t2.jpg", 2012, 7},        {"n", "Trip/t3.jpg", 2012, 8},
    {"n", "Trip/sub/t4.jpg", 2013, 1},
};

CString LibraryPath(const Picture& p) {
    std::string s = std::string(1, char(std::toupper(p.drive[0]))) + ":\\" + p.rel;
    std::replace(s.begin(), s.end(), '/', '\\');
    return Utf8ToWide(s);
}

// Phases in the order a run passes them; 7, 8 and 9 repeat, so they share a rank.
int PhaseRank(int phase) {
    if (phase >= 7 && phase <= 9) return 7;
    if (phase == 2) return 1;
    return phase;
}

class ServiceScan : public ::testing::Test {
protected:
    void SetUp() override {
        for (const Picture& p : kPictures) {
            char taken[32];
            std::snprintf(taken, sizeof taken, "%d:%02d:10 12:00:00", p.year, p.month);
            m_dir.WriteFile(
                std::string(p.drive) + "/" + p.rel,
                testutil::JpegWithExif("PicdexCam", p.drive[0] == 'c' ? "C-1" : "N-1", taken));
        }
        m_dir.WriteFile("c/Photos/notes.txt", "not a picture");
        // Folders without pictures make the walk last long enough to be seen.
        for (int i = 0; i < 300; ++i)
            m_dir.MakeDir("c/Empty/e" + std::to_string(i));
        // The NTFS volume is a copy of the n tree; the analysis reads the files through
        // the drive's host folder, which holds the same tree.
        std::string script =
            (fs::path(__FILE__).parent_path().parent_path() / "scan" / "ntfs_make_image.sh")
                .string();
        std::string image = m_dir / "n.img";
        std::string command = "sh '" + script + "' '" + (m_dir / "n") + "' '" + image +
                              "' 16 4096 > '" + (m_dir / "image.log") + "' 2>&1";
        ASSERT_EQ(0, std::system(command.c_str())) << "could not make the NTFS image";
        m_drives = std::make_unique<testutil::ScopedDriveTable>(
            "C=" + (m_dir / "c") + ";N=" + (m_dir / "n") + ",fs=NTFS,device=" + image);
        ASSERT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
        m_engine.SetFolderNotifyWnd(m_host.folder);
        m_engine.SetStatsNotifyWnd(m_host.stats);
        m_engine.SetResultNotifyWnd(m_host.result);
    }
    void TearDown() override { m_engine.Shutdown(); }

    CString DbPath() const { return Utf8ToWide(m_dir / "index.db"); }

    // Polls the status until the run is over; returns the phases seen, in order,
    // without repeats.
    std::vector<int> SampleUntilDone() {
        std::vector<int> phases;
        auto until = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (std::chrono::steady_clock::now() < until) {
            int state = -1, c1, c2, c3, c4, c5;
            WORD drive;
            EXPECT_EQ(1, m_engine.GetScanStatus(0, &state, &drive, &c1, &c2, &c3, &c4, &c5));
            if (phases.empty() || phases.back() != state) phases.push_back(state);
            if (m_engine.IsBusy(TRUE) == 0 && m_host.Count(WM_PD_RUN_DONE) > 0) break;
            std::this_thread::yield();
        }
        return phases;
    }

    std::set<CString> Indexed() {
        std::set<CString> files;
        m_engine.GetFolderFiles(L"C:\\", TRUE, files);
        m_engine.GetFolderFiles(L"N:\\", TRUE, files);
        return files;
    }
    static std::set<CString> Expected() {
        std::set<CString> files;
        for (const Picture& p : kPictures)
            files.insert(LibraryPath(p));
        return files;
    }

    testutil::TempDir m_dir;
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
    testutil::HostStandIn m_host;
    CSearchEngine m_engine;
};

TEST_F(ServiceScan, AFullRunReportsInOrderAndFillsTheIndex) {
    ASSERT_EQ(1, m_engine.StartBackSearch());
    EXPECT_EQ(1, m_engine.IsBusy(TRUE));
    EXPECT_EQ(0, m_engine.StartBackSearch());
    EXPECT_EQ(0, m_engine.ContinueBackSearch());
    std::vector<int> phases = SampleUntilDone();
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));

    // The phases were seen in run order and the run ended finished.
    for (size_t i = 1; i < phases.size(); ++i)
        EXPECT_LE(PhaseRank(phases[i - 1]), PhaseRank(phases[i])) << "at " << i;
    EXPECT_EQ(13, phases.back());
    std::set<int> seen(phases.begin(), phases.end());
    for (int phase : {5, 13})
        EXPECT_TRUE(seen.count(phase)) << phase;
    EXPECT_TRUE(seen.count(7) || seen.count(8) || seen.count(9));
    EXPECT_EQ(0, m_engine.IsLastScanUnfinished());

    // The messages: the NTFS drive before the walk report; every saved folder before
    // the first statistics; the walk report before them too; the end of the run last.
    std::vector<testutil::HostMessage> msgs = m_host.Messages();
    auto first = [&](UINT code) {
        for (size_t i = 0; i < msgs.size(); ++i)
            if (msgs[i].msg == code) return int(i);
        return -1;
    };
    auto last = [&](UINT code) {
        int at = -1;
        for (size_t i = 0; i < msgs.size(); ++i)
            if (msgs[i].msg == code) at = int(i);
        return at;
    };
    ASSERT_EQ(1u, m_host.Count(WM_PD_DRIVE_DONE));
    EXPECT_EQ(WPARAM(L'N'), msgs[first(WM_PD_DRIVE_DONE)].wParam);
    ASSERT_EQ(1u, m_host.Count(WM_PD_WALK_DONE));
    ASSERT_EQ(1u, m_host.Count(WM_PD_RUN_DONE));
    ASSERT_GE(m_host.Count(WM_PD_FOLDERS_SAVED), 1u);
    ASSERT_GE(m_host.Count(WM_PD_FOLDER_STATS), 1u);
    EXPECT_LT(first(WM_PD_DRIVE_DONE), first(WM_PD_WALK_DONE));
    EXPECT_LT(last(WM_PD_FOLDERS_SAVED), first(WM_PD_FOLDER_STATS));
    EXPECT_LT(first(WM_PD_WALK_DONE), first(WM_PD_FOLDER_STATS));
    EXPECT_EQ(int(msgs.size()) - 1, first(WM_PD_RUN_DONE));
    EXPECT_LE(m_host.Count(WM_PD_NTFS_DONE), 1u);

    // Saved folders are those of the walk (drive C:), each with its new pictures.
    std::map<CString, int> saved;
    for (const auto& m : msgs)
        for (const auto& [folder, count] : m.folders)
            saved[folder] += count;
    EXPECT_EQ(3, saved[L"C:\\Photos\\2008\\"]);
    EXPECT_EQ(1, saved[L"C:\\Photos\\2010\\deep\\"]);
    EXPECT_EQ(0u, saved.count(L"N:\\Trip\\"));
    // The month changes add up to every picture, once.
    std::map<int, int> perYear;
    for (const auto& m : msgs)
        for (const auto& [folder, months] : m.stats)
            for (const auto& [month, change] : months)
                perYear[month.GetYear()] += change.first;
    std::map<int, int> expectedYears;
    for (const Picture& p : kPictures)
        ++expectedYears[p.year];
    EXPECT_EQ(expectedYears, perYear);

    // The index answers as the tree says.
    EXPECT_EQ(Expected(), Indexed());
    std::map<int, int> years;
    EXPECT_EQ(1, m_engine.GetYearTotals(years));
    EXPECT_EQ(expectedYears, years);
    std::map<int, int> months;
    EXPECT_EQ(1, m_engine.GetMonthTotalsOfYear(2012, months));
    EXPECT_EQ((std::map<int, int>{{7, 2}, {8, 1}}), months);
    EXPECT_EQ(2, m_engine.GetMonthPicCount(2008, 5));
    EXPECT_EQ(3, m_engine.GetYearPicCount(2010));
    EXPECT_EQ(2, m_engine.GetFolderPicCount(L"C:\\Photos\\2010"));
    EXPECT_EQ(6, m_engine.GetTreePicCount(L"C:\\Photos"));
    EXPECT_EQ(1, m_engine.HasIndexedSubfolder(L"C:\\Photos\\2010"));
    EXPECT_EQ(0, m_engine.HasIndexedSubfolder(L"C:\\Photos\\2010\\deep"));
    std::set<CString> files;
    EXPECT_EQ(1, m_engine.GetFilesOfMonth(2012, 7, files));
    EXPECT_EQ((std::set<CString>{L"N:\\Trip\\t1.jpg", L"N:\\Trip\\t2.jpg"}), files);
    files.clear();
    EXPECT_EQ(1, m_engine.GetFolderFilesOfMonth(L"C:\\Photos\\2008", 2008, 6, files));
    EXPECT_EQ(std::set<CString>{L"C:\\Photos\\2008\\a3.jpg"}, files);
    std::list<_tagTimePath> monthRows;
    EXPECT_EQ(1, m_engine.GetMonthFoldersOfMonth(2010, 1, monthRows));
    ASSERT_EQ(1u, monthRows.size());
    EXPECT_EQ(L"C:\\Photos\\2010\\", monthRows.front().strFullPath);
    EXPECT_EQ(2, monthRows.front().iPicCountT);
    std::list<_tagPathInfo> folders;
    EXPECT_EQ(1, m_engine.GetFolders(L"C:\\Photos", FALSE, folders));
    std::set<CString> children;
    for (const auto& f : folders)
        children.insert(f.strFullPath);
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\2008\\", L"C:\\Photos\\2010\\"}), children);
    // The scan computes no digests: every analysed file has the no-digest mark.
    files.clear();
    EXPECT_EQ(1, m_engine.GetFilesByMD5(L"0", files));
    EXPECT_EQ(Expected(), files);
}

TEST_F(ServiceScan, SearchesAreDeliveredWhileTheScanWaits) {
    ASSERT_EQ(1, m_engine.StartBackSearch());
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE, 1, 300));
    // The end-of-run message may come before the scanner's threads have ended.
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
    std::set<CString> ntfs;
    for (const Picture& p : kPictures)
        if (p.drive[0] == 'n') ntfs.insert(LibraryPath(p));

    // A second run, and at once a search, whose results the host keeps at first.
    m_host.Clear();
    std::atomic<bool> take{false};
    m_host.onResults = [&](CSearchResultSet& set) {
        if (take) set.clear();
    };
    _tagQuickSearch quick;
    quick.strText = L"Tr?p";
    quick.iScope = kScopeNames;
    quick.hWnd = m_host.result;
    ASSERT_EQ(1, m_engine.StartBackSearch());
    ASSERT_EQ(1, m_engine.StartQuickSearch(&quick));
    EXPECT_EQ(0, m_engine.StartQuickSearch(&quick));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS));
    if (m_engine.IsBusy(TRUE) == 1) {
        // While results are pending the scan stays paused: its status does not move.
        EXPECT_EQ(1, m_engine.BackSearch().IsPause());
        int before[6], after[6];
        WORD d;
        m_engine.GetScanStatus(0, &before[0], &d, &before[1], &before[2], &before[3], &before[4],
                               &before[5]);
        ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 2));
        m_engine.GetScanStatus(0, &after[0], &d, &after[1], &after[2], &after[3], &after[4],
                               &after[5]);
        EXPECT_EQ(1, m_engine.BackSearch().IsPause());
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(before[i], after[i]) << i;
    } else {
        ADD_FAILURE() << "the second run ended before the search started";
    }
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    // The host takes everything: the scan resumes and ends.
    take = true;
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE, 1, 300));
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    // Every offer held the same paths: the pictures of N:\Trip\ and below.
    std::vector<testutil::HostMessage> results;
    for (const auto& m : m_host.Messages())
        if (m.msg == WM_PD_SEARCH_RESULTS) results.push_back(m);
    ASSERT_GE(results.size(), 2u);
    for (const auto& m : results)
        EXPECT_EQ(ntfs, m.results);

    // On the finished index: a quick search taken in part and offered again, then a
    // field search.
    m_host.Clear();
    take = false;
    m_host.onResults = [](CSearchResultSet& set) { set.erase(set.begin()); };
    // The count takes the text as it is: "?" is no wildcard there.
    quick.strText = L"a";
    EXPECT_EQ(3, m_engine.CountQuickSearch(&quick));
    quick.strText = L"a?";
    EXPECT_EQ(0, m_engine.CountQuickSearch(&quick));
    ASSERT_EQ(1, m_engine.StartQuickSearch(&quick));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 3));
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));
    results.clear();
    for (const auto& m : m_host.Messages())
        results.push_back(m);
    ASSERT_EQ(3u, results.size());
    EXPECT_EQ((CSearchResultSet{L"C:\\Photos\\2008\\a1.jpg", L"C:\\Photos\\2008\\a2.jpg",
                                L"C:\\Photos\\2008\\a3.jpg"}),
              results[0].results);
    EXPECT_EQ(2u, results[1].results.size());
    EXPECT_EQ(std::set<CString>{L"C:\\Photos\\2008\\a3.jpg"}, results[2].results);

    m_host.Clear();
    m_host.onResults = [](CSearchResultSet& set) { set.clear(); };
    _tagFieldSearch field;
    field.lstConditions.push_back({272, kOpEqual, L"N-1"});  // camera model
    field.hWnd = m_host.result;
    ASSERT_EQ(1, m_engine.StartFieldSearch(&field));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS));
    EXPECT_EQ(ntfs, m_host.Messages()[0].results);
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));

    // Every quick search text went into the history.
    std::map<CString, int> history;
    EXPECT_EQ(1, m_engine.GetSearchHistory(history, L"", 10));
    EXPECT_EQ(1u, history.count(L"a_"));
    EXPECT_EQ(1u, history.count(L"Tr_p"));
    EXPECT_EQ(1, m_engine.ClearSearchHistory());
    history.clear();
    m_engine.GetSearchHistory(history, L"", 10);
    EXPECT_TRUE(history.empty());
}

TEST_F(ServiceScan, EditsFiltersAndAStoppedRunContinued) {
    // Stop the first run once the walk is under way, then continue it.
    ASSERT_EQ(1, m_engine.StartBackSearch());
    ASSERT_TRUE(testutil::WaitUntil([&] {
        int state = 0, c;
        WORD d;
        m_engine.GetScanStatus(0, &state, &d, &c, &c, &c, &c, &c);
        return state >= 4 || m_engine.IsBusy(TRUE) == 0;
    }));
    EXPECT_EQ(0, m_engine.StopWork(TRUE));
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.BackSearch().IsFinish() == 1; }));
    // The stop came long before the end of the run, which is left unfinished.
    EXPECT_EQ(0u, m_host.Count(WM_PD_RUN_DONE));
    EXPECT_EQ(1, m_engine.IsLastScanUnfinished());
    ASSERT_EQ(1, m_engine.ContinueBackSearch());
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE, 1, 300));
    EXPECT_EQ(0, m_engine.IsLastScanUnfinished());
    EXPECT_EQ(Expected(), Indexed());

    // Index edits.
    EXPECT_EQ(1, m_engine.InvalidateFile(L"C:\\Photos\\2008\\a1.jpg"));
    std::set<CString> files;
    m_engine.GetFilesByMD5(L"", files);
    EXPECT_EQ(std::set<CString>{L"C:\\Photos\\2008\\a1.jpg"}, files);
    EXPECT_EQ(1, m_engine.RenameFile(L"C:\\Photos\\2008\\a2.jpg", L"C:\\Photos\\2010\\a2.jpg"));
    EXPECT_EQ(1, m_engine.DeleteFile(L"C:\\Photos\\2010\\b1.jpg", TRUE));
    EXPECT_EQ(0, m_engine.DeleteFile(L"C:\\Photos\\2010\\b1.jpg", TRUE));
    EXPECT_EQ(1, m_engine.RenameFolder(L"C:\\Photos2", L"C:\\Archive"));
    files.clear();
    m_engine.GetFolderFiles(L"C:\\Photos\\2010", FALSE, files);
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\2010\\a2.jpg", L"C:\\Photos\\2010\\b2.jpg"}), files);
    files.clear();
    m_engine.GetFolderFiles(L"C:\\Archive", FALSE, files);
    EXPECT_EQ(std::set<CString>{L"C:\\Archive\\d1.jpg"}, files);
    EXPECT_EQ(1, m_engine.RemoveFolder(L"C:\\Archive"));
    files.clear();
    m_engine.GetFolderFiles(L"C:\\Archive", TRUE, files);
    EXPECT_TRUE(files.empty());

    // Excluding an indexed folder removes it from every lookup at once, and a new run
    // leaves it out.
    EXPECT_EQ(1, m_engine.AddBlackFolder(L"C:\\Photos\\2010"));
    files.clear();
    m_engine.GetFolderFiles(L"C:\\Photos", TRUE, files);
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\2008\\a1.jpg", L"C:\\Photos\\2008\\a3.jpg"}), files);
    m_host.Clear();
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
    ASSERT_EQ(1, m_engine.StartBackSearch());
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE, 1, 300));
    files.clear();
    m_engine.GetFolderFiles(L"C:\\Photos", TRUE, files);
    // The new run finds again what the edits took out of the index, but not the
    // excluded folder.
    EXPECT_EQ((std::set<CString>{L"C:\\Photos\\2008\\a1.jpg", L"C:\\Photos\\2008\\a2.jpg",
                                 L"C:\\Photos\\2008\\a3.jpg"}),
              files);
    EXPECT_EQ(0, m_engine.GetTreePicCount(L"C:\\Photos\\2010"));
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));

    // Closed and opened again: the same index answers.
    m_engine.Shutdown();
    EXPECT_THROW(m_engine.GetTreePicCount(L"C:\\"), CppSQLite3Exception);
    ASSERT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
    EXPECT_EQ(3, m_engine.GetTreePicCount(L"C:\\Photos"));
    std::set<CString> black;
    m_engine.GetBlackList(black);
    EXPECT_EQ(1u, black.count(L"C:\\Photos\\2010\\"));
    EXPECT_EQ(1, m_engine.RemoveBlackFolder(L"C:\\Photos\\2010\\"));
}

}  // namespace
