// The service end to end: a scan of a real folder tree from StartBackSearch to the
// end-of-run message, then a second run kept paused while the results of a search wait
// for the host, and going on once the host has taken them.
#include <algorithm>

#include "engine/service_host.h"

namespace {

using ServiceScan = testutil::ServiceTest;

TEST_F(ServiceScan, ARunReportsInOrderAndWaitsForSearchResults) {
    std::set<CString> all, trip;
    for (std::string rel :
         {"Photos/2008/a1.jpg", "Photos/2008/a2.jpg", "Trip/t1.jpg", "Trip/sub/t2.jpg"}) {
        m_dir.WriteFile(rel, "no picture inside");
        std::replace(rel.begin(), rel.end(), '/', '\\');
        all.insert(Utf8ToWide("C:\\" + rel));
        if (rel[0] == 'T') trip.insert(Utf8ToWide("C:\\" + rel));
    }
    // Folders without pictures make the walk last long enough to be seen.
    for (int i = 0; i < 300; ++i)
        m_dir.MakeDir("Empty/e" + std::to_string(i));
    ASSERT_EQ(1, m_engine.StartBackSearch());
    EXPECT_EQ(1, m_engine.IsBusy(TRUE));
    EXPECT_EQ(0, m_engine.StartBackSearch() + m_engine.ContinueBackSearch());
    ASSERT_TRUE(m_host.WaitFor(WM_PD_RUN_DONE));
    // The end-of-run message may come before the scanner's threads have ended.
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
    EXPECT_EQ(0, m_engine.IsLastScanUnfinished());
    std::vector<UINT> codes = m_host.Codes();
    EXPECT_EQ(1, std::count(codes.begin(), codes.end(), WM_PD_WALK_DONE));
    EXPECT_EQ(WM_PD_RUN_DONE, codes.back());
    std::map<CString, int> saved;
    for (const auto& m : m_host.Messages())
        for (const auto& [folder, count] : m.folders)
            saved[folder] += count;
    EXPECT_EQ(2, saved[L"C:\\Photos\\2008\\"]);
    std::set<CString> files;
    EXPECT_EQ(1, m_engine.GetFolderFiles(L"C:\\", TRUE, files));
    EXPECT_EQ(all, files);

    // A second run, and at once a search whose results the host keeps at first.
    m_host.Clear();
    std::atomic<bool> take{false};
    m_host.onMessage = [&](const testutil::HostMessage&, CSearchResultSet* set) {
        if (set && take) set->clear();
    };
    _tagQuickSearch quick = testutil::QuickRequest(L"Tr?p", kScopeNames);
    quick.hWnd = m_host.result;
    ASSERT_EQ(1, m_engine.StartBackSearch());
    ASSERT_EQ(1, m_engine.StartQuickSearch(&quick));
    EXPECT_EQ(0, m_engine.StartQuickSearch(&quick));
    ASSERT_TRUE(m_host.WaitFor(WM_PD_SEARCH_RESULTS));
    ASSERT_EQ(1, m_engine.IsBusy(TRUE)) << "the second run ended before the search started";
    // While results are pending the scan stays paused: its status does not move.
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
    for (const auto& m : m_host.Messages())
        EXPECT_EQ(m.msg == WM_PD_SEARCH_RESULTS ? trip : m.results, m.results);
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.IsBusy(TRUE) == 0; }));
}

}  // namespace
