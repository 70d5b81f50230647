// The notifier and the host messages: what is sent, in which order, to which window,
// with which parameters, what happens to pending data whose window is gone, and a real
// scan kept waiting while search results are pending and offered again. Each test runs
// its own service object on a new index file; reports reach it through real save tasks
// drained by the test, as the scanner's save thread drains them.
#include "engine/service_host.h"

namespace {

using testutil::Clock;
using testutil::HostMessage;
using testutil::WaitUntil;

const CTime kMay2008(2008, 5, 1, 0, 0, 0);

using ServiceNotifier = testutil::ServiceTest;

// Results first; drives one per pass, smallest letter first; the walk report clears the
// NTFS report that was pending with it; then folders, statistics (two reports for one
// folder and month summed), end of run; all sent by one thread that is not the test's.
TEST_F(ServiceNotifier, SendersGoInPriorityOrderOneKindPerPass) {
    Hold();
    Record({L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"});
    Report({{2, L"D:\\"}, {2, L"C:\\"}, {3, L""}, {4, L""}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 2);
    m_engine.RecordFolderSaved(L"C:\\b\\", 0);
    m_engine.RecordFolderStats(L"C:\\a\\", {{kMay2008, {3, 3000}}});
    m_engine.RecordFolderStats(L"C:\\a\\", {{kMay2008, {3, 3000}}});
    Release();
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));

    // (code, window, drive letter or 0, lParam right and sent by the one notifier thread)
    std::vector<HostMessage> msgs = m_host.Messages();
    std::vector<std::tuple<UINT, HWND, WPARAM, bool>> rows;
    for (const HostMessage& m : msgs) {
        LPARAM right = m.wParam == kReportWParam ? kReportLParam : ComplementOf(m.wParam);
        bool notifier = m.thread == msgs[0].thread && m.thread != std::this_thread::get_id();
        rows.emplace_back(m.msg, m.hWnd, m.wParam > 0xFFFF ? 0 : m.wParam,
                          m.lParam == right && notifier);
    }
    ASSERT_EQ(rows, (std::vector<std::tuple<UINT, HWND, WPARAM, bool>>{
                        {WM_PD_SEARCH_RESULTS, m_host.result, 0, true},
                        {WM_PD_DRIVE_DONE, m_host.folder, L'C', true},
                        {WM_PD_DRIVE_DONE, m_host.folder, L'D', true},
                        {WM_PD_WALK_DONE, m_host.folder, 0, true},
                        {WM_PD_FOLDERS_SAVED, m_host.folder, 0, true},
                        {WM_PD_FOLDER_STATS, m_host.stats, 0, true},
                        {WM_PD_RUN_DONE, m_host.folder, 0, true}}));
    EXPECT_EQ(std::tuple(CSearchResultSet{L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"},
                         CFolderSavedList{{L"C:\\a\\", 2}, {L"C:\\b\\", 0}},
                         CFolderStatsMap{{L"C:\\a\\", {{kMay2008, {6, 6000}}}}}),
              std::tuple(msgs[0].results, msgs[4].folders, msgs[5].stats));
}

// The NTFS report waits 1800 ms; a walk report arriving meanwhile is told first.
TEST_F(ServiceNotifier, NtfsReportIsLateAndFollowsAWalkReport) {
    Clock::time_point start = Clock::now();
    Report({{3, L""}});
    // After the notifier (idle at most 300 ms) took up the NTFS report.
    std::this_thread::sleep_until(start + std::chrono::milliseconds(1000));
    Report({{4, L""}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_NTFS_DONE));
    // A drive report sent after the others marks the end of what this case caused.
    Report({{2, L"Z:\\"}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_DRIVE_DONE));
    EXPECT_EQ((std::vector<UINT>{WM_PD_WALK_DONE, WM_PD_NTFS_DONE, WM_PD_DRIVE_DONE}),
              m_host.Codes());
    EXPECT_GE(m_host.Messages().at(1).at - start,
              std::chrono::milliseconds(CSearchEngine::kNtfsReportDelayMs - 5));
}

// Pending data whose window is gone is dropped (results too, so that a scan could go
// on); with the windows back, only what is reported from then on arrives.
TEST_F(ServiceNotifier, PendingDataOfAWindowThatIsGoneIsDropped) {
    HWND gone = CreateHostWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    DestroyWindow(gone);
    Hold();
    SetWindows(gone, gone, gone);
    Record({L"C:\\x.jpg"});
    Report({{2, L"C:\\"}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 1);
    m_engine.RecordFolderStats(L"C:\\a\\", {{kMay2008, {1, 10}}});
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    Release();
    ASSERT_TRUE(WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));

    SetWindows(m_host.folder, m_host.stats, m_host.result);
    Report({{2, L"E:\\"}, {5, L""}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ((std::vector<UINT>{WM_PD_DRIVE_DONE, WM_PD_RUN_DONE}), m_host.Codes());
}

// StopWork(0) drops pending results, also while no search runs, and a delivery that
// comes after it belongs to the cancelled search. Shutdown forgets what was pending,
// and Initialize opens the file again, once.
TEST_F(ServiceNotifier, StopWorkAndShutdownDropWhatWasPending) {
    Hold();
    Record({L"C:\\x.jpg"});
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    EXPECT_EQ(0, m_engine.StopWork(FALSE));
    Record({L"C:\\y.jpg"});
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    Report({{2, L"C:\\"}, {5, L""}});
    m_engine.Shutdown();
    EXPECT_EQ(1, m_engine.IsFinish());
    EXPECT_EQ(1, m_engine.Initialize(DbPath(), L"", L"", 0));
    EXPECT_EQ(0, m_engine.Initialize(DbPath(), L"", L"", 0));
    Report({{4, L""}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_WALK_DONE));
    EXPECT_EQ(std::vector<UINT>{WM_PD_WALK_DONE}, m_host.Codes());
}

// A real scan stays paused while search results wait for the host; what the host leaves
// is offered again at most every 200 ms (counted in whole milliseconds of the tick
// count); once it has taken them all the scan runs to its end.
TEST_F(ServiceNotifier, TheScanWaitsWhileSearchResultsArePending) {
    // Folders without pictures make the walk last long enough to be seen.
    for (int i = 0; i < 300; ++i)
        m_dir.MakeDir("Empty/e" + std::to_string(i));
    m_dir.WriteFile("Trip/t1.jpg", "no picture inside");
    std::atomic<bool> take{false};
    m_host.onMessage = [&](const HostMessage&, CSearchResultSet* set) {
        if (set && take) set->erase(set->begin());  // one path taken per message
    };
    ASSERT_EQ(1, m_engine.StartBackSearch());
    EXPECT_EQ(0, m_engine.StartBackSearch() + m_engine.ContinueBackSearch());
    Record({L"C:\\1.jpg", L"C:\\2.jpg"});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS));
    ASSERT_EQ(1, m_engine.IsBusy(TRUE)) << "the run ended before the results were offered";
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 2));
    EXPECT_EQ(std::tuple(1, 1, 1), std::tuple(m_engine.BackSearch().IsPause(),
                                              m_engine.IsBusy(TRUE), m_engine.IsBusy(FALSE)));
    take = true;
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ(std::pair(0, WM_PD_RUN_DONE),
              std::pair(m_engine.IsBusy(FALSE), m_host.Codes().back()));
    ASSERT_TRUE(WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
    EXPECT_EQ(0, m_engine.IsLastScanUnfinished());
    // (paths, spaced from the offer before): both paths, and last the one the host left.
    std::vector<std::pair<CSearchResultSet, bool>> offered, expected;
    Clock::time_point last;
    for (const HostMessage& m : m_host.Messages()) {
        if (m.msg != WM_PD_SEARCH_RESULTS) continue;
        offered.emplace_back(m.results, m.at - last >= std::chrono::milliseconds(199));
        last = m.at;
    }
    expected.assign(offered.size() - 1, {{L"C:\\1.jpg", L"C:\\2.jpg"}, true});
    expected.push_back({{L"C:\\2.jpg"}, true});
    EXPECT_EQ(expected, offered);
}

}  // namespace
