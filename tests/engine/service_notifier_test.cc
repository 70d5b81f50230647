// The notifier and the host messages: what is sent, in which order, to which window,
// with which parameters, and what happens to pending data whose window is gone. Each
// test runs its own service object on a new index file; reports reach it through real
// save tasks drained by the test, as the scanner's save thread drains them.
#include <gtest/gtest.h>

#include <string>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/save_queue.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_host.h"

namespace {

using testutil::HostMessage;
using Clock = std::chrono::steady_clock;

class ServiceNotifier : public ::testing::Test {
protected:
    void SetUp() override {
        // Any scan a test starts by accident stays inside the temporary folder.
        m_drives = std::make_unique<testutil::ScopedDriveTable>("C=" + m_dir.path());
        ASSERT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
        m_opened = Clock::now();
        m_engine.SetFolderNotifyWnd(m_host.folder);
        m_engine.SetStatsNotifyWnd(m_host.stats);
        m_engine.SetResultNotifyWnd(m_host.result);
    }
    void TearDown() override { m_engine.Shutdown(); }

    // The index file is a host path.
    CString DbPath() const { return Utf8ToWide(m_dir / "index.db"); }

    // Writes finish reports (kind, text) through a real save queue, as the scanner's
    // save thread does.
    void Report(std::initializer_list<std::pair<int, const wchar_t*>> reports) {
        CSaveQueue queue(&m_engine.Db());
        for (const auto& [kind, text] : reports)
            queue.QueueFinishReport(kind, text);
        queue.Drain(nullptr);
    }
    // Holds the notifier parked while pending state is recorded.
    void HoldNotifier() { ASSERT_EQ(1, m_engine.Pause(TRUE)); }
    void ReleaseNotifier() { ASSERT_EQ(1, m_engine.Resume()); }
    // The first results message may go 200 ms after the index was opened.
    void WaitResultSpacing() {
        std::this_thread::sleep_until(m_opened + std::chrono::milliseconds(250));
    }

    testutil::TempDir m_dir;
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
    testutil::HostStandIn m_host;
    CSearchEngine m_engine;
    Clock::time_point m_opened;
};

CSearchResultMap Results(std::initializer_list<const wchar_t*> paths) {
    CSearchResultMap map;
    for (const wchar_t* p : paths)
        map[p] = {1, CTime()};
    return map;
}

TEST_F(ServiceNotifier, SendersGoInPriorityOrderOneKindPerPass) {
    HoldNotifier();
    m_engine.RecordResults(Results({L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"}));
    Report({{2, L"D:\\"}, {2, L"C:\\"}, {3, L""}, {4, L""}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 2);
    m_engine.RecordFolderSaved(L"C:\\b\\", 0);
    CMonthStatMap months{{CTime(2008, 5, 1, 0, 0, 0), {3, 3000}}};
    m_engine.RecordFolderStats(L"C:\\a\\", months);
    m_engine.RecordFolderStats(L"C:\\a\\", months);
    WaitResultSpacing();
    ReleaseNotifier();
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));

    // Results first; drives one per pass, smallest letter first; the walk report clears
    // the NTFS report that was pending with it; then folders, statistics, end of run.
    std::vector<UINT> expected{WM_PD_SEARCH_RESULTS, WM_PD_DRIVE_DONE,    WM_PD_DRIVE_DONE,
                               WM_PD_WALK_DONE,      WM_PD_FOLDERS_SAVED, WM_PD_FOLDER_STATS,
                               WM_PD_RUN_DONE};
    EXPECT_EQ(expected, m_host.Codes());

    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(expected.size(), msgs.size());
    struct Want {
        HWND hWnd;
        WPARAM wParam;  // 0: an address, checked through the payload
    };
    std::vector<Want> want{{m_host.result, 0},
                           {m_host.folder, L'C'},
                           {m_host.folder, L'D'},
                           {m_host.folder, kReportWParam},
                           {m_host.folder, 0},
                           {m_host.stats, 0},
                           {m_host.folder, kReportWParam}};
    std::thread::id notifier = msgs[0].thread;
    for (size_t i = 0; i < msgs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(want[i].hWnd, msgs[i].hWnd);
        if (want[i].wParam) {
            EXPECT_EQ(want[i].wParam, msgs[i].wParam);
        }
        LPARAM lParam =
            msgs[i].wParam == kReportWParam ? kReportLParam : ComplementOf(msgs[i].wParam);
        EXPECT_EQ(lParam, msgs[i].lParam);
        // One thread sends everything, and it is not the test's.
        EXPECT_EQ(notifier, msgs[i].thread);
        EXPECT_NE(std::this_thread::get_id(), msgs[i].thread);
    }
    EXPECT_EQ((CSearchResultSet{L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"}), msgs[0].results);
    EXPECT_EQ((CFolderSavedList{{L"C:\\a\\", 2}, {L"C:\\b\\", 0}}), msgs[4].folders);
    // Two reports for one folder and month are summed.
    CFolderStatsMap stats{{L"C:\\a\\", {{CTime(2008, 5, 1, 0, 0, 0), {6, 6000}}}}};
    EXPECT_EQ(stats, msgs[5].stats);
    // The host took none of the results: they stay pending and are offered again.
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 2));
}

// Kind 3 waits 1800 ms; a kind 4 arriving meanwhile is told first; kind 4 alone clears
// nothing that could come later.
TEST_F(ServiceNotifier, NtfsReportIsLateAndFollowsAWalkReport) {
    struct Case {
        const char* name;
        bool ntfs;
        int walkAfterMs;  // -1: no walk report
        std::vector<UINT> expected;
    };
    const Case cases[] = {
        {"ntfs alone", true, -1, {WM_PD_NTFS_DONE}},
        // The walk report comes after the notifier (idle at most 300 ms) took up the
        // NTFS report, and well within its 1800 ms.
        {"ntfs then walk", true, 1000, {WM_PD_WALK_DONE, WM_PD_NTFS_DONE}},
        {"walk alone", false, 0, {WM_PD_WALK_DONE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_host.Clear();
        Clock::time_point start = Clock::now();
        if (c.ntfs) Report({{3, L""}});
        if (c.walkAfterMs >= 0) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(c.walkAfterMs));
            Report({{4, L""}});
        }
        // A drive report sent after the others marks the end of what this case caused.
        ASSERT_TRUE(m_host.WaitFor(c.expected.back()));
        Report({{2, L"Z:\\"}});
        ASSERT_TRUE(m_host.WaitFor(WM_PD_DRIVE_DONE));
        std::vector<UINT> codes = m_host.Codes();
        codes.pop_back();
        EXPECT_EQ(c.expected, codes);
        if (c.ntfs) {
            std::vector<HostMessage> msgs = m_host.Messages();
            auto late = std::chrono::duration_cast<std::chrono::milliseconds>(
                msgs[c.expected.size() - 1].at - start);
            EXPECT_GE(late.count(), CSearchEngine::kNtfsReportDelayMs - 5);
        }
    }
}

TEST_F(ServiceNotifier, ResultsLeftByTheHostAreOfferedAgainAtMostEvery200Ms) {
    // The host takes one path per message.
    m_host.onResults = [](CSearchResultSet& set) { set.erase(set.begin()); };
    m_engine.RecordResults(Results({L"C:\\1.jpg", L"C:\\2.jpg", L"C:\\3.jpg"}));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 3));
    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ(3u, msgs[0].results.size());
    EXPECT_EQ((CSearchResultSet{L"C:\\2.jpg", L"C:\\3.jpg"}), msgs[1].results);
    EXPECT_EQ((CSearchResultSet{L"C:\\3.jpg"}), msgs[2].results);
    for (size_t i = 1; i < msgs.size(); ++i) {
        auto gap =
            std::chrono::duration_cast<std::chrono::milliseconds>(msgs[i].at - msgs[i - 1].at);
        // The spacing is counted in whole milliseconds of the tick count.
        EXPECT_GE(gap.count(), 199) << i;
    }
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));
}

TEST_F(ServiceNotifier, PendingDataOfAWindowThatIsGoneIsDropped) {
    HWND gone = CreateHostWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    DestroyWindow(gone);
    HoldNotifier();
    m_engine.SetFolderNotifyWnd(gone);
    m_engine.SetStatsNotifyWnd(gone);
    m_engine.SetResultNotifyWnd(gone);
    m_engine.RecordResults(Results({L"C:\\x.jpg"}));
    Report({{2, L"C:\\"}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 1);
    m_engine.RecordFolderStats(L"C:\\a\\", {{CTime(2008, 5, 1, 0, 0, 0), {1, 10}}});
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    ReleaseNotifier();
    // Results whose window is gone are no longer pending, so a scan could go on.
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));

    // With the windows back, only what is recorded from now on arrives.
    m_engine.SetFolderNotifyWnd(m_host.folder);
    m_engine.SetStatsNotifyWnd(m_host.stats);
    m_engine.SetResultNotifyWnd(m_host.result);
    m_engine.RecordFolderStats(L"C:\\b\\", {{CTime(2009, 1, 1, 0, 0, 0), {1, 10}}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_FOLDER_STATS));
    Report({{2, L"E:\\"}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_DRIVE_DONE));
    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(2u, msgs.size());
    EXPECT_EQ(1u, msgs[0].stats.size());
    EXPECT_EQ(1u, msgs[0].stats.count(L"C:\\b\\"));
    EXPECT_EQ(WPARAM(L'E'), msgs[1].wParam);
}

TEST_F(ServiceNotifier, StopWorkDropsPendingResults) {
    HoldNotifier();
    m_engine.RecordResults(Results({L"C:\\x.jpg"}));
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    // No search runs: the pending results go all the same.
    EXPECT_EQ(0, m_engine.StopWork(FALSE));
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    // A delivery that comes after the stop belongs to the cancelled search.
    m_engine.RecordResults(Results({L"C:\\y.jpg"}));
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    ReleaseNotifier();
    Report({{5, L""}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ(0u, m_host.Count(WM_PD_SEARCH_RESULTS));
}

TEST_F(ServiceNotifier, ShutdownForgetsPendingReportsAndInitializeOpensAgain) {
    HoldNotifier();
    Report({{2, L"C:\\"}, {5, L""}});
    m_engine.RecordResults(Results({L"C:\\x.jpg"}));
    m_engine.Shutdown();
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    EXPECT_EQ(1, m_engine.IsFinish());
    EXPECT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
    EXPECT_EQ(0, m_engine.Initialize(DbPath(), L"", L"", 0));
    Report({{4, L""}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_WALK_DONE));
    EXPECT_EQ(std::vector<UINT>{WM_PD_WALK_DONE}, m_host.Codes());
}

}  // namespace
