// The notifier and the host messages: what is sent, in which order, to which window,
// with which parameters, and what happens to pending data whose window is gone. Each
// test runs its own service object on a new index file; reports reach it through real
// save tasks drained by the test, as the scanner's save thread drains them.
#include "engine/service_host.h"

namespace {

using testutil::HostMessage;
using Clock = std::chrono::steady_clock;

class ServiceNotifier : public testutil::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        m_opened = Clock::now();
    }
    // Holds the notifier parked while pending state is recorded; the first results
    // message may go 200 ms after the index was opened.
    void Hold() { ASSERT_EQ(1, m_engine.Pause(TRUE)); }
    void Release() {
        std::this_thread::sleep_until(m_opened + std::chrono::milliseconds(250));
        ASSERT_EQ(1, m_engine.Resume());
    }
    void Record(std::initializer_list<const wchar_t*> paths) {
        CSearchResultMap map;
        for (const wchar_t* p : paths)
            map[p] = {1, CTime()};
        m_engine.RecordResults(map);
    }
    Clock::time_point m_opened;
};

TEST_F(ServiceNotifier, SendersGoInPriorityOrderOneKindPerPass) {
    Hold();
    Record({L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"});
    Report({{2, L"D:\\"}, {2, L"C:\\"}, {3, L""}, {4, L""}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 2);
    m_engine.RecordFolderSaved(L"C:\\b\\", 0);
    CMonthStatMap months{{CTime(2008, 5, 1, 0, 0, 0), {3, 3000}}};
    m_engine.RecordFolderStats(L"C:\\a\\", months);
    m_engine.RecordFolderStats(L"C:\\a\\", months);
    Release();
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));

    // Results first; drives one per pass, smallest letter first; the walk report clears
    // the NTFS report that was pending with it; then folders, statistics, end of run.
    // wParam 0: an address, checked through the payload.
    const std::tuple<UINT, HWND, WPARAM> want[] = {{WM_PD_SEARCH_RESULTS, m_host.result, 0},
                                                   {WM_PD_DRIVE_DONE, m_host.folder, L'C'},
                                                   {WM_PD_DRIVE_DONE, m_host.folder, L'D'},
                                                   {WM_PD_WALK_DONE, m_host.folder, kReportWParam},
                                                   {WM_PD_FOLDERS_SAVED, m_host.folder, 0},
                                                   {WM_PD_FOLDER_STATS, m_host.stats, 0},
                                                   {WM_PD_RUN_DONE, m_host.folder, kReportWParam}};
    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(std::size(want), msgs.size());
    for (size_t i = 0; i < msgs.size(); ++i) {
        const auto& [msg, hWnd, wParam] = want[i];
        EXPECT_EQ(std::tuple(msg, hWnd, wParam ? wParam : msgs[i].wParam),
                  std::tuple(msgs[i].msg, msgs[i].hWnd, msgs[i].wParam));
        EXPECT_EQ(wParam == kReportWParam ? kReportLParam : ComplementOf(msgs[i].wParam),
                  msgs[i].lParam);
        // One thread sends everything, and it is not the test's.
        EXPECT_EQ(msgs[0].thread, msgs[i].thread);
        EXPECT_NE(std::this_thread::get_id(), msgs[i].thread);
    }
    EXPECT_EQ((CSearchResultSet{L"C:\\a\\1.jpg", L"C:\\a\\2.jpg"}), msgs[0].results);
    EXPECT_EQ((CFolderSavedList{{L"C:\\a\\", 2}, {L"C:\\b\\", 0}}), msgs[4].folders);
    // Two reports for one folder and month are summed.
    EXPECT_EQ((CFolderStatsMap{{L"C:\\a\\", {{CTime(2008, 5, 1, 0, 0, 0), {6, 6000}}}}}),
              msgs[5].stats);
}

// Kind 3 waits 1800 ms; a kind 4 arriving meanwhile is told first.
TEST_F(ServiceNotifier, NtfsReportIsLateAndFollowsAWalkReport) {
    for (int walkAfterMs : {-1, 1000}) {  // -1: no walk report
        SCOPED_TRACE(walkAfterMs);
        m_host.Clear();
        Clock::time_point start = Clock::now();
        Report({{3, L""}});
        std::vector<UINT> expected{WM_PD_NTFS_DONE};
        if (walkAfterMs > 0) {
            // After the notifier (idle at most 300 ms) took up the NTFS report.
            std::this_thread::sleep_until(start + std::chrono::milliseconds(walkAfterMs));
            Report({{4, L""}});
            expected.insert(expected.begin(), WM_PD_WALK_DONE);
        }
        ASSERT_TRUE(m_host.WaitFor(WM_PD_NTFS_DONE));
        // A drive report sent after the others marks the end of what this case caused.
        Report({{2, L"Z:\\"}});
        ASSERT_TRUE(m_host.WaitFor(WM_PD_DRIVE_DONE));
        expected.push_back(WM_PD_DRIVE_DONE);
        EXPECT_EQ(expected, m_host.Codes());
        EXPECT_GE(m_host.Messages()[expected.size() - 2].at - start,
                  std::chrono::milliseconds(CSearchEngine::kNtfsReportDelayMs - 5));
    }
}

TEST_F(ServiceNotifier, ResultsLeftByTheHostAreOfferedAgainAtMostEvery200Ms) {
    // The host takes one path per message.
    m_host.onMessage = [](const HostMessage&, CSearchResultSet* set) {
        if (set) set->erase(set->begin());
    };
    Record({L"C:\\1.jpg", L"C:\\2.jpg", L"C:\\3.jpg"});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 3));
    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ(3u, msgs[0].results.size());
    EXPECT_EQ((CSearchResultSet{L"C:\\2.jpg", L"C:\\3.jpg"}), msgs[1].results);
    EXPECT_EQ((CSearchResultSet{L"C:\\3.jpg"}), msgs[2].results);
    // The spacing is counted in whole milliseconds of the tick count.
    for (size_t i = 1; i < msgs.size(); ++i)
        EXPECT_GE(msgs[i].at - msgs[i - 1].at, std::chrono::milliseconds(199)) << i;
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));
}

TEST_F(ServiceNotifier, PendingDataOfAWindowThatIsGoneIsDropped) {
    HWND gone = CreateHostWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    DestroyWindow(gone);
    Hold();
    SetWindows(gone, gone, gone);
    Record({L"C:\\x.jpg"});
    Report({{2, L"C:\\"}, {5, L""}});
    m_engine.RecordFolderSaved(L"C:\\a\\", 1);
    m_engine.RecordFolderStats(L"C:\\a\\", {{CTime(2008, 5, 1, 0, 0, 0), {1, 10}}});
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    Release();
    // Results whose window is gone are no longer pending, so a scan could go on.
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(FALSE) == 0; }));

    // With the windows back, only what is recorded from now on arrives.
    SetWindows(m_host.folder, m_host.stats, m_host.result);
    m_engine.RecordFolderSaved(L"C:\\b\\", 1);
    m_engine.RecordFolderStats(L"C:\\b\\", {{CTime(2009, 1, 1, 0, 0, 0), {1, 10}}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_FOLDER_STATS));
    Report({{2, L"E:\\"}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_DRIVE_DONE));
    std::vector<HostMessage> msgs = m_host.Messages();
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ((CFolderSavedList{{L"C:\\b\\", 1}}), msgs[0].folders);
    EXPECT_EQ((CFolderStatsMap{{L"C:\\b\\", {{CTime(2009, 1, 1, 0, 0, 0), {1, 10}}}}}),
              msgs[1].stats);
    EXPECT_EQ(WPARAM(L'E'), msgs[2].wParam);
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

}  // namespace
