// The service operations on their own: an unopened database, folder normalisation, the
// unfinished-run test, and every operation a host may call from inside a message
// handler (none may wait for the notifier that sends).
#include <array>
#include <bit>
#include <functional>
#include <numeric>

#include "engine/service_host.h"

namespace {

enum Expect { Zero, One, Throws };

struct OpCase {
    const char* name;
    Expect expect;
    std::function<int(ISearchBuss&)> call;
};

// Every operation but Initialize, Shutdown and StopWork, with what it gives on a
// database that was never opened.
std::vector<OpCase> AllOperations() {
    static std::set<CString> set;
    static std::map<CString, int> history;
    static std::list<_tagPathInfo> paths;
    static std::list<_tagTimePath> months;
    static std::map<int, int> totals;
    static std::map<CString, std::set<CString>> groups;
    static _tagQuickSearch quick = testutil::QuickRequest(L"a", 15);
    static int i;
    static WORD w;
    static CTime t0(2008, 1, 1, 0, 0, 0), t1(2008, 12, 31, 0, 0, 0);
    // clang-format off
#define OP(expect, call) OpCase{#call, expect, [](ISearchBuss& s) { return int(s.call); }}
    // clang-format on
    return {OP(One, SetHostFlag(1)), OP(One, GetScanStatus(0, &i, &w, &i, &i, &i, &i, &i)),
            OP(Zero, SetBlackList(set)), OP(Zero, SetWhiteList(set)), OP(One, GetBlackList(set)),
            OP(One, GetWhiteList(set)), OP(Zero, AddBlackFolder(L"C:\\X")),
            OP(Zero, AddWhiteFolder(L"C:\\Y")), OP(Zero, RemoveBlackFolder(L"C:\\X")),
            OP(Zero, RemoveWhiteFolder(L"C:\\Y")), OP(Zero, IsBusy(TRUE)),
            OP(Zero, IsLastScanUnfinished()), OP(Zero, IsBusy(FALSE)),
            OP(Zero, GetScanningPath().size()), OP(One, GetSearchHistory(history, L"a", 5)),
            OP(Throws, GetFolderPicCount(L"C:\\")), OP(Throws, CountQuickSearch(&quick)),
            OP(Zero, ClearSearchHistory()), OP(Throws, GetMonthPicCount(2008, 5)),
            OP(Throws, GetYearPicCount(2008)), OP(Throws, GetTreePicCount(L"C:\\")),
            OP(Zero, HasIndexedSubfolder(L"C:\\")), OP(Throws, GetFolders(L"", 1, paths)),
            OP(Throws, GetMonthFoldersOfMonth(2008, 5, months)),
            OP(Throws, GetMonthFolders(t0, t1, months)),
            OP(Throws, GetMonthFoldersOfFolder(L"C:\\", months)),
            OP(Throws, GetAllMonthFolders(months)), OP(Throws, GetYearTotals(totals)),
            OP(Throws, GetMonthTotalsOfYear(2008, totals)), OP(Throws, GetFilesByMD5(L"0", set)),
            OP(Throws, GetDuplicateFiles(groups)),
            OP(Throws, GetFolderFilesOfMonth(L"C:\\", 2008, 5, set)),
            OP(Throws, GetFilesBySnapTime(L"", 1, t0, t1, set)),
            OP(Throws, GetFolderFiles(L"C:\\", 1, set)), OP(Throws, GetFilesOfMonth(2008, 5, set)),
            OP(Zero, InvalidateFile(L"C:\\a.jpg")),
            OP(Zero, RenameFile(L"C:\\a.jpg", L"C:\\b.jpg")), OP(Zero, DeleteFile(L"C:\\a.jpg", 1)),
            OP(Zero, RenameFolder(L"C:\\a", L"C:\\b")), OP(Zero, RemoveFolder(L"C:\\a")),
            OP(One, StartQuickSearch(&quick)),
            // A new run cannot store its start time; a continued one finds nothing to do.
            OP(Zero, StartBackSearch()), OP(One, ContinueBackSearch())};
#undef OP
}

// The places of virtual functions in their table (the Itanium C++ ABI encodes a pointer
// to a virtual member as 1 + its byte offset in the table, then an adjustment).
template <typename... F>
std::vector<std::ptrdiff_t> Slots(F... f) {
    return {(std::bit_cast<std::array<std::ptrdiff_t, 2>>(f)[0] - 1) /
            std::ptrdiff_t(sizeof(void*))...};
}

// Hosts built against an earlier copy of the interface call the operations by their
// place: the destructor's two entries first, then the 49 operations in their fixed order.
TEST(ServiceInterface, OperationsKeepTheirPlaces) {
    using I = ISearchBuss;
    std::vector<std::ptrdiff_t> places(49);
    std::iota(places.begin(), places.end(), 2);
    EXPECT_EQ(
        places,
        Slots(&I::Shutdown, &I::SetHostFlag, &I::Initialize, &I::SetFolderNotifyWnd,
              &I::SetStatsNotifyWnd, &I::SetResultNotifyWnd, &I::GetScanStatus, &I::SetBlackList,
              &I::SetWhiteList, &I::GetBlackList, &I::GetWhiteList, &I::AddBlackFolder,
              &I::AddWhiteFolder, &I::RemoveBlackFolder, &I::RemoveWhiteFolder, &I::StartBackSearch,
              &I::ContinueBackSearch, &I::StartQuickSearch, &I::StartFieldSearch,
              &I::IsLastScanUnfinished, &I::IsBusy, &I::StopWork, &I::GetScanningPath,
              &I::GetSearchHistory, &I::GetFolderPicCount, &I::CountQuickSearch,
              &I::ClearSearchHistory, &I::GetMonthPicCount, &I::GetYearPicCount,
              &I::GetTreePicCount, &I::HasIndexedSubfolder, &I::GetFolders,
              &I::GetMonthFoldersOfMonth, &I::GetMonthFolders, &I::GetMonthFoldersOfFolder,
              &I::GetAllMonthFolders, &I::GetYearTotals, &I::GetMonthTotalsOfYear,
              &I::GetFilesByMD5, &I::GetDuplicateFiles, &I::GetFolderFilesOfMonth,
              &I::GetFilesBySnapTime, &I::GetFolderFiles, &I::GetFilesOfMonth, &I::InvalidateFile,
              &I::RenameFile, &I::DeleteFile, &I::RenameFolder, &I::RemoveFolder));
    EXPECT_EQ(static_cast<ISearchBuss*>(&CSearchEngine::Instance()), ISearchBuss::GetInstance());
}

// Before Initialize every operation answers or throws the database error; a started
// search and a continued run end without results.
TEST(ServiceUnopened, EveryOperationAnswersOrThrowsTheDatabaseError) {
    testutil::TempDir dir;
    testutil::ScopedDriveTable drives("C=" + dir.path());
    CSearchEngine engine;
    for (const OpCase& op : AllOperations()) {
        SCOPED_TRACE(op.name);
        if (op.expect == Throws)
            EXPECT_THROW(op.call(engine), CppSQLite3Exception);
        else
            EXPECT_EQ(op.expect == One ? 1 : 0, op.call(engine));
    }
    EXPECT_TRUE(testutil::WaitUntil([&] { return engine.IsBusy(0) + engine.IsBusy(1) == 0; }));
}

using ServiceOperations = testutil::ServiceTest;

// Folder arguments get their backslash; an empty folder would filter everything.
TEST_F(ServiceOperations, FolderArgumentsGetTheirBackslash) {
    std::set<CString> black{L"C:\\A", L"C:\\B\\"}, got, white;
    EXPECT_EQ(
        (std::vector<int>{m_engine.SetBlackList(black), m_engine.AddBlackFolder(L"C:\\C"),
                          m_engine.RemoveBlackFolder(L"C:\\A"), m_engine.GetBlackList(got),
                          m_engine.AddWhiteFolder(L"C:\\A\\Keep"), m_engine.GetWhiteList(white),
                          m_engine.RemoveWhiteFolder(L"C:\\A\\Keep"), m_engine.AddBlackFolder(L""),
                          m_engine.AddWhiteFolder(L"")}),
        (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(std::tuple(black, got, white), std::tuple(std::set<CString>{L"C:\\A\\", L"C:\\B\\"},
                                                        std::set<CString>{L"C:\\B\\", L"C:\\C\\"},
                                                        std::set<CString>{L"C:\\A\\Keep\\"}));
}

// A run is unfinished when its finish is older than its start, also when it has none.
TEST_F(ServiceOperations, LastScanIsUnfinishedWhenItsFinishIsOlderThanItsStart) {
    // (Neither value stored, no finish, and the same second are the cases of every run
    // of the host program's tests.)
    const std::tuple<const wchar_t*, const wchar_t*, int> cases[] = {
        {L"2020-05-01 10:00:00", L"2020-05-01 09:59:59", 1},
        {L"not a time", L"2020-05-02 08:00:00", 0},
    };
    for (const auto& [start, finish, expected] : cases) {
        m_engine.Db().SetConfig(L"BackSearchStartTime", start);
        m_engine.Db().SetConfig(L"BackSearchFinishTime", finish);
        EXPECT_EQ(expected, m_engine.IsLastScanUnfinished()) << WideToUtf8(finish);
    }
}

// A handler runs on the host's window thread while the notifier waits for it, holding
// the lock of the pending reports during the results message. Every operation but
// StopWork(0) and Shutdown may be called there, and StopWork(0) in the other messages.
TEST_F(ServiceOperations, HandlersMayCallTheOperations) {
    std::string failures;
    std::atomic<int> done[2] = {0, 0};  // results, end of run
    m_host.onMessage = [&](const testutil::HostMessage& m, CSearchResultSet*) {
        int kind = m.msg == WM_PD_SEARCH_RESULTS ? 0 : 1;
        if (done[kind]) return;
        for (const OpCase& op : AllOperations()) {
            try {
                op.call(m_engine);
            } catch (const std::exception& e) {
                failures += op.name + std::string(": ") + e.what() + "\n";
            }
        }
        m_engine.StopWork(TRUE);
        if (kind == 1) m_engine.StopWork(FALSE);
        done[kind] = 1;
    };
    Record({L"C:\\Pics\\a.jpg"});
    ASSERT_TRUE(testutil::WaitUntil([&] { return done[0].load() == 1; }, 120));
    Report({{5, L""}});
    ASSERT_TRUE(testutil::WaitUntil([&] { return done[1].load() == 1; }, 120));
    EXPECT_EQ(std::pair(false, std::string()), std::pair(m_host.blocked.load(), failures));
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.BackSearch().IsFinish() == 1; }, 120));
}

}  // namespace
