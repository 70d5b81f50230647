// A real scan run while search results wait for the host: the scan stays paused until
// the host has taken them all, then runs to its end.
#include "engine/service_host.h"

namespace {

using ServiceScan = testutil::ServiceTest;

TEST_F(ServiceScan, TheScanWaitsWhileSearchResultsArePending) {
    // Folders without pictures make the walk last long enough to be seen.
    for (int i = 0; i < 300; ++i)
        m_dir.MakeDir("Empty/e" + std::to_string(i));
    m_dir.WriteFile("Trip/t1.jpg", "no picture inside");
    std::atomic<bool> take{false};
    m_host.onMessage = [&](const testutil::HostMessage&, CSearchResultSet* set) {
        if (set && take) set->clear();
    };
    ASSERT_EQ(1, m_engine.StartBackSearch());
    EXPECT_EQ(0, m_engine.StartBackSearch() + m_engine.ContinueBackSearch());
    m_engine.RecordResults({{L"C:\\Trip\\t1.jpg", {1, CTime()}}});
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS));
    ASSERT_EQ(1, m_engine.IsBusy(TRUE)) << "the run ended before the results were offered";
    auto status = [&] {
        std::vector<int> s(7);
        WORD drive;
        m_engine.GetScanStatus(0, &s[0], &drive, &s[1], &s[2], &s[3], &s[4], &s[5]);
        s[6] = m_engine.BackSearch().IsPause();
        return s;
    };
    std::vector<int> before = status();
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS, 2));
    EXPECT_EQ(before, status());
    EXPECT_EQ(1, before[6]);
    EXPECT_EQ(1, m_engine.IsBusy(FALSE));
    take = true;
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ(0, m_engine.IsBusy(FALSE));
    EXPECT_EQ(WM_PD_RUN_DONE, m_host.Codes().back());
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
    EXPECT_EQ(0, m_engine.IsLastScanUnfinished());
}

}  // namespace
