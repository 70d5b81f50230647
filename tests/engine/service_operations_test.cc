// The service operations on their own: an unopened database, argument checks and
// folder normalisation, the unfinished-run test, and every operation a host may call
// from inside a message handler (none may wait for the notifier that is sending).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/cppsqlite3.h"
#include "db/save_queue.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_host.h"

namespace {

enum class Expect { Zero, One, Throws };

struct OpCase {
    const char* name;
    Expect expect;
    std::function<int(ISearchBuss&)> call;
};

// Every operation but Initialize and Shutdown, with what it gives on a database that
// was never opened.
std::vector<OpCase> AllOperations() {
    static std::set<CString> folders;
    static std::map<CString, int> history;
    static std::list<_tagPathInfo> paths;
    static std::list<_tagTimePath> months;
    static std::map<int, int> totals;
    static std::set<CString> files;
    static std::map<CString, std::set<CString>> groups;
    static _tagQuickSearch quick;
    quick.strText = L"a";
    quick.iScope = 15;
    quick.hWnd = nullptr;
    CTime t0(2008, 1, 1, 0, 0, 0), t1(2008, 12, 31, 0, 0, 0);
    return {
        {"SetHostFlag", Expect::One, [](ISearchBuss& s) { return s.SetHostFlag(1); }},
        {"GetScanStatus", Expect::One,
         [](ISearchBuss& s) {
             int st, c1, c2, c3, c4, c5;
             WORD d;
             return s.GetScanStatus(0, &st, &d, &c1, &c2, &c3, &c4, &c5);
         }},
        {"SetBlackList", Expect::Zero,
         [](ISearchBuss& s) {
             std::set<CString> f{L"C:\\Tmp"};
             return s.SetBlackList(f);
         }},
        {"SetWhiteList", Expect::Zero,
         [](ISearchBuss& s) {
             std::set<CString> f{L"C:\\Pics"};
             return s.SetWhiteList(f);
         }},
        {"GetBlackList", Expect::One, [](ISearchBuss& s) { return s.GetBlackList(folders); }},
        {"GetWhiteList", Expect::One, [](ISearchBuss& s) { return s.GetWhiteList(folders); }},
        {"AddBlackFolder", Expect::Zero, [](ISearchBuss& s) { return s.AddBlackFolder(L"C:\\X"); }},
        {"AddWhiteFolder", Expect::Zero, [](ISearchBuss& s) { return s.AddWhiteFolder(L"C:\\Y"); }},
        {"RemoveBlackFolder", Expect::Zero,
         [](ISearchBuss& s) { return s.RemoveBlackFolder(L"C:\\X"); }},
        {"RemoveWhiteFolder", Expect::Zero,
         [](ISearchBuss& s) { return s.RemoveWhiteFolder(L"C:\\Y"); }},
        {"IsBusy(1)", Expect::Zero, [](ISearchBuss& s) { return s.IsBusy(TRUE); }},
        {"IsLastScanUnfinished", Expect::Zero,
         [](ISearchBuss& s) { return s.IsLastScanUnfinished(); }},
        {"IsBusy(0)", Expect::Zero, [](ISearchBuss& s) { return s.IsBusy(FALSE); }},
        {"GetScanningPath", Expect::Zero,
         [](ISearchBuss& s) { return s.GetScanningPath().empty() ? 0 : 1; }},
        {"GetSearchHistory", Expect::One,
         [](ISearchBuss& s) { return s.GetSearchHistory(history, L"a", 5); }},
        {"GetFolderPicCount", Expect::Throws,
         [](ISearchBuss& s) { return s.GetFolderPicCount(L"C:\\"); }},
        {"CountQuickSearch", Expect::Throws,
         [](ISearchBuss& s) { return s.CountQuickSearch(&quick); }},
        {"ClearSearchHistory", Expect::Zero, [](ISearchBuss& s) { return s.ClearSearchHistory(); }},
        {"GetMonthPicCount", Expect::Throws,
         [](ISearchBuss& s) { return s.GetMonthPicCount(2008, 5); }},
        {"GetYearPicCount", Expect::Throws, [](ISearchBuss& s) { return s.GetYearPicCount(2008); }},
        {"GetTreePicCount", Expect::Throws,
         [](ISearchBuss& s) { return s.GetTreePicCount(L"C:\\"); }},
        {"HasIndexedSubfolder", Expect::Zero,
         [](ISearchBuss& s) { return s.HasIndexedSubfolder(L"C:\\"); }},
        {"GetFolders", Expect::Throws, [](ISearchBuss& s) { return s.GetFolders(L"", 1, paths); }},
        {"GetMonthFoldersOfMonth", Expect::Throws,
         [](ISearchBuss& s) { return s.GetMonthFoldersOfMonth(2008, 5, months); }},
        {"GetMonthFolders", Expect::Throws,
         [t0, t1](ISearchBuss& s) { return s.GetMonthFolders(t0, t1, months); }},
        {"GetMonthFoldersOfFolder", Expect::Throws,
         [](ISearchBuss& s) { return s.GetMonthFoldersOfFolder(L"C:\\", months); }},
        {"GetAllMonthFolders", Expect::Throws,
         [](ISearchBuss& s) { return s.GetAllMonthFolders(months); }},
        {"GetYearTotals", Expect::Throws, [](ISearchBuss& s) { return s.GetYearTotals(totals); }},
        {"GetMonthTotalsOfYear", Expect::Throws,
         [](ISearchBuss& s) { return s.GetMonthTotalsOfYear(2008, totals); }},
        {"GetFilesByMD5", Expect::Throws,
         [](ISearchBuss& s) { return s.GetFilesByMD5(L"0", files); }},
        {"GetDuplicateFiles", Expect::Throws,
         [](ISearchBuss& s) { return s.GetDuplicateFiles(groups); }},
        {"GetFolderFilesOfMonth", Expect::Throws,
         [](ISearchBuss& s) { return s.GetFolderFilesOfMonth(L"C:\\", 2008, 5, files); }},
        {"GetFilesBySnapTime", Expect::Throws,
         [t0, t1](ISearchBuss& s) { return s.GetFilesBySnapTime(L"", 1, t0, t1, files); }},
        {"GetFolderFiles", Expect::Throws,
         [](ISearchBuss& s) { return s.GetFolderFiles(L"C:\\", 1, files); }},
        {"GetFilesOfMonth", Expect::Throws,
         [](ISearchBuss& s) { return s.GetFilesOfMonth(2008, 5, files); }},
        {"InvalidateFile", Expect::Zero,
         [](ISearchBuss& s) { return s.InvalidateFile(L"C:\\a.jpg"); }},
        {"RenameFile", Expect::Zero,
         [](ISearchBuss& s) { return s.RenameFile(L"C:\\a.jpg", L"C:\\b.jpg"); }},
        {"DeleteFile", Expect::Zero, [](ISearchBuss& s) { return s.DeleteFile(L"C:\\a.jpg", 1); }},
        {"RenameFolder", Expect::Zero,
         [](ISearchBuss& s) { return s.RenameFolder(L"C:\\a", L"C:\\b"); }},
        {"RemoveFolder", Expect::Zero, [](ISearchBuss& s) { return s.RemoveFolder(L"C:\\a"); }},
        {"StartQuickSearch", Expect::One,
         [](ISearchBuss& s) { return s.StartQuickSearch(&quick); }},
        // The run cannot store its start time.
        {"StartBackSearch", Expect::Zero, [](ISearchBuss& s) { return s.StartBackSearch(); }},
        // A continued run starts without a database and finds nothing to do.
        {"ContinueBackSearch", Expect::One, [](ISearchBuss& s) { return s.ContinueBackSearch(); }},
    };
}

// The place of a virtual function in the table of virtual functions (the Itanium C++
// ABI encodes a pointer to a virtual member as 1 + its byte offset in the table).
template <typename F>
std::ptrdiff_t Slot(F f) {
    static_assert(sizeof(F) == 2 * sizeof(void*));
    std::ptrdiff_t raw;
    std::memcpy(&raw, &f, sizeof raw);
    return (raw - 1) / std::ptrdiff_t(sizeof(void*));
}

// Hosts call the operations by their place: the destructor first (two entries in this
// ABI), then the 49 operations in their fixed order.
TEST(ServiceInterface, OperationsKeepTheirPlaces) {
    using I = ISearchBuss;
    const std::ptrdiff_t slots[] = {
        Slot(&I::Shutdown),
        Slot(&I::SetHostFlag),
        Slot(&I::Initialize),
        Slot(&I::SetFolderNotifyWnd),
        Slot(&I::SetStatsNotifyWnd),
        Slot(&I::SetResultNotifyWnd),
        Slot(&I::GetScanStatus),
        Slot(&I::SetBlackList),
        Slot(&I::SetWhiteList),
        Slot(&I::GetBlackList),
        Slot(&I::GetWhiteList),
        Slot(&I::AddBlackFolder),
        Slot(&I::AddWhiteFolder),
        Slot(&I::RemoveBlackFolder),
        Slot(&I::RemoveWhiteFolder),
        Slot(&I::StartBackSearch),
        Slot(&I::ContinueBackSearch),
        Slot(&I::StartQuickSearch),
        Slot(&I::StartFieldSearch),
        Slot(&I::IsLastScanUnfinished),
        Slot(&I::IsBusy),
        Slot(&I::StopWork),
        Slot(&I::GetScanningPath),
        Slot(&I::GetSearchHistory),
        Slot(&I::GetFolderPicCount),
        Slot(&I::CountQuickSearch),
        Slot(&I::ClearSearchHistory),
        Slot(&I::GetMonthPicCount),
        Slot(&I::GetYearPicCount),
        Slot(&I::GetTreePicCount),
        Slot(&I::HasIndexedSubfolder),
        Slot(&I::GetFolders),
        Slot(&I::GetMonthFoldersOfMonth),
        Slot(&I::GetMonthFolders),
        Slot(&I::GetMonthFoldersOfFolder),
        Slot(&I::GetAllMonthFolders),
        Slot(&I::GetYearTotals),
        Slot(&I::GetMonthTotalsOfYear),
        Slot(&I::GetFilesByMD5),
        Slot(&I::GetDuplicateFiles),
        Slot(&I::GetFolderFilesOfMonth),
        Slot(&I::GetFilesBySnapTime),
        Slot(&I::GetFolderFiles),
        Slot(&I::GetFilesOfMonth),
        Slot(&I::InvalidateFile),
        Slot(&I::RenameFile),
        Slot(&I::DeleteFile),
        Slot(&I::RenameFolder),
        Slot(&I::RemoveFolder),
    };
    ASSERT_EQ(49u, std::size(slots));
    for (size_t i = 0; i < std::size(slots); ++i)
        EXPECT_EQ(std::ptrdiff_t(i) + 2, slots[i]) << i + 1;
    EXPECT_EQ(static_cast<ISearchBuss*>(&CSearchEngine::Instance()), ISearchBuss::GetInstance());
}

TEST(ServiceUnopened, EveryOperationAnswersOrThrowsTheDatabaseError) {
    testutil::TempDir dir;
    testutil::ScopedDriveTable drives("C=" + dir.path());
    testutil::HostStandIn host;
    CSearchEngine engine;
    for (const OpCase& op : AllOperations()) {
        SCOPED_TRACE(op.name);
        switch (op.expect) {
            case Expect::Throws:
                EXPECT_THROW(op.call(engine), CppSQLite3Exception);
                break;
            case Expect::Zero:
                EXPECT_EQ(0, op.call(engine));
                break;
            case Expect::One:
                EXPECT_EQ(1, op.call(engine));
                break;
        }
    }
    // The search started above ends without results; so does the continued run.
    ASSERT_TRUE(testutil::WaitUntil([&] { return engine.IsBusy(FALSE) == 0; }));
    _tagFieldSearch field;
    field.setPathTexts.insert(L"a");
    field.hWnd = host.result;
    EXPECT_EQ(1, engine.StartFieldSearch(&field));
    ASSERT_TRUE(testutil::WaitUntil([&] { return engine.IsBusy(FALSE) == 0; }));
    ASSERT_TRUE(testutil::WaitUntil([&] { return engine.IsBusy(TRUE) == 0; }));
    EXPECT_EQ(0u, host.Count(WM_PD_SEARCH_RESULTS));
    EXPECT_EQ(0, engine.StartQuickSearch(nullptr));
    engine.Shutdown();
}

// An index that cannot be opened: the database layer's exception reaches the host, and
// after Shutdown the service opens a good file as if nothing had happened.
TEST(ServiceInitialize, BadIndexFilesThenAGoodOne) {
    testutil::TempDir dir;
    testutil::ScopedDriveTable drives("C=" + dir.path());
    std::string garbage = dir.WriteFile("garbage.db", std::string(4096, 'x'));
    CSearchEngine engine;
    struct Case {
        const char* name;
        CString path;
        bool throws;
    };
    const Case cases[] = {
        {"empty path", L"", false},
        {"a folder", Utf8ToWide(dir.path()), true},
        {"not a database", Utf8ToWide(garbage), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.throws)
            EXPECT_THROW(engine.Initialize(c.path, L"", L"", 0), CppSQLite3Exception);
        else
            EXPECT_EQ(0, engine.Initialize(c.path, L"", L"", 0));
        EXPECT_EQ(1, engine.IsFinish());  // no notifier without an index
        engine.Shutdown();
    }
    // The damaged file was not overwritten.
    std::ifstream in(garbage, std::ios::binary);
    EXPECT_EQ(std::string(4096, 'x'), std::string(std::istreambuf_iterator<char>(in), {}));
    ASSERT_EQ(1, engine.Initialize(Utf8ToWide(dir / "index.db"), L"", L"", 0));
    EXPECT_EQ(0, engine.IsFinish());
    EXPECT_EQ(0, engine.GetTreePicCount(L"C:\\"));
    engine.Shutdown();
}

class ServiceOperations : public ::testing::Test {
protected:
    void SetUp() override {
        m_drives = std::make_unique<testutil::ScopedDriveTable>("C=" + m_dir.path());
        ASSERT_EQ(1, m_engine.Initialize(Utf8ToWide(m_dir / "index.db"), L"", L"", 0));
        m_engine.SetFolderNotifyWnd(m_host.folder);
        m_engine.SetStatsNotifyWnd(m_host.stats);
        m_engine.SetResultNotifyWnd(m_host.result);
    }
    void TearDown() override { m_engine.Shutdown(); }

    testutil::TempDir m_dir;
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
    testutil::HostStandIn m_host;
    CSearchEngine m_engine;
};

TEST_F(ServiceOperations, CalendarArgumentsAndMonthBounds) {
    std::list<_tagTimePath> months;
    std::set<CString> files;
    struct Bad {
        int year, month;
    };
    for (Bad b : {Bad{2024, 13}, Bad{2024, 0}, Bad{1899, 5}}) {
        SCOPED_TRACE(b.year * 100 + b.month);
        EXPECT_THROW(m_engine.GetMonthFoldersOfMonth(b.year, b.month, months),
                     std::invalid_argument);
        EXPECT_THROW(m_engine.GetFolderFilesOfMonth(L"C:\\", b.year, b.month, files),
                     std::invalid_argument);
        EXPECT_THROW(m_engine.GetFilesOfMonth(b.year, b.month, files), std::invalid_argument);
    }
    std::vector<std::string> statements;
    m_engine.Db().GetDbMng().SetStatementObserver(
        [&](const char* sql) { statements.push_back(sql); });
    EXPECT_EQ(1, m_engine.GetMonthFoldersOfMonth(2024, 12, months));
    EXPECT_EQ(1, m_engine.GetFilesOfMonth(2024, 2, files));
    m_engine.Db().GetDbMng().SetStatementObserver(nullptr);
    ASSERT_EQ(2u, statements.size());
    EXPECT_NE(std::string::npos, statements[0].find("'2024-12-01 00:00:00'"));
    EXPECT_NE(std::string::npos, statements[0].find("'2024-12-31 23:59:59'"));
    EXPECT_NE(std::string::npos, statements[1].find("'2024-02-01 00:00:00'"));
    EXPECT_NE(std::string::npos, statements[1].find("'2024-02-29 23:59:59'"));
}

TEST_F(ServiceOperations, FolderArgumentsGetTheirBackslash) {
    std::set<CString> black{L"C:\\A", L"C:\\B\\"};
    EXPECT_EQ(1, m_engine.SetBlackList(black));
    EXPECT_EQ((std::set<CString>{L"C:\\A\\", L"C:\\B\\"}), black);
    EXPECT_EQ(1, m_engine.AddWhiteFolder(L"C:\\A\\Keep"));
    EXPECT_EQ(1, m_engine.AddBlackFolder(L"C:\\C"));
    std::set<CString> got;
    m_engine.GetBlackList(got);
    EXPECT_TRUE(got.count(L"C:\\A\\") && got.count(L"C:\\B\\") && got.count(L"C:\\C\\"));
    got.clear();
    m_engine.GetWhiteList(got);
    EXPECT_EQ(std::set<CString>{L"C:\\A\\Keep\\"}, got);
    // An empty folder would filter everything at once.
    EXPECT_EQ(0, m_engine.AddBlackFolder(L""));
    EXPECT_EQ(0, m_engine.AddWhiteFolder(L""));
    EXPECT_EQ(1, m_engine.RemoveBlackFolder(L"C:\\C"));
    EXPECT_EQ(1, m_engine.RemoveWhiteFolder(L"C:\\A\\Keep"));
    EXPECT_EQ(0, m_engine.RemoveWhiteFolder(L"C:\\A\\Keep"));
    got.clear();
    m_engine.GetBlackList(got);
    EXPECT_EQ(0u, got.count(L"C:\\C\\"));
}

TEST_F(ServiceOperations, LastScanIsUnfinishedWhenItsFinishIsOlderThanItsStart) {
    struct Case {
        const wchar_t* start;   // null: no value
        const wchar_t* finish;  // null: no value
        int expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, 0},
        {L"2020-05-01 10:00:00", nullptr, 1},
        {L"2020-05-01 10:00:00", L"2020-05-01 09:59:59", 1},
        {L"2020-05-01 10:00:00", L"2020-05-01 10:00:00", 0},
        {L"2020-05-01 10:00:00", L"2020-05-02 08:00:00", 0},
        {L"not a time", L"2020-05-02 08:00:00", 0},
        {L"2020-05-01 10:00:00", L"garbage", 1},
    };
    CDBMng& db = m_engine.Db().GetDbMng();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        db.Execute("delete from tb_config_info where strCfgKey like 'BackSearch%';");
        // A fresh connection, so that no cached value answers.
        m_engine.Shutdown();
        ASSERT_EQ(1, m_engine.Initialize(Utf8ToWide(m_dir / "index.db"), L"", L"", 0));
        if (c.start) m_engine.Db().SetConfig(L"BackSearchStartTime", c.start);
        if (c.finish) m_engine.Db().SetConfig(L"BackSearchFinishTime", c.finish);
        EXPECT_EQ(c.expected, m_engine.IsLastScanUnfinished());
    }
}

// Inside the results message the notifier holds the lock of the pending reports; a
// handler may call every operation but StopWork(0) and Shutdown, and none of them may
// wait for the notifier. Inside the other messages StopWork(0) is allowed too.
TEST_F(ServiceOperations, HandlersMayCallTheOperations) {
    std::vector<OpCase> ops = AllOperations();
    auto callAll = [&](bool stopSearch, std::vector<std::string>& failures) {
        for (const OpCase& op : ops) {
            try {
                op.call(m_engine);
            } catch (const CppSQLite3Exception& e) {
                failures.push_back(std::string(op.name) + ": " + e.ErrorMessage());
            } catch (const std::exception& e) {
                failures.push_back(std::string(op.name) + ": " + e.what());
            }
        }
        m_engine.StopWork(TRUE);
        if (stopSearch) m_engine.StopWork(FALSE);
    };
    std::vector<std::string> inResults, inFolders;
    std::atomic<int> doneResults{0}, doneFolders{0};
    m_host.onMessage = [&](const testutil::HostMessage& m) {
        if (m.msg == WM_PD_SEARCH_RESULTS && !doneResults) {
            callAll(false, inResults);
            doneResults = 1;
        } else if (m.msg == WM_PD_FOLDERS_SAVED && !doneFolders) {
            callAll(true, inFolders);
            doneFolders = 1;
        }
    };
    CSearchResultMap results{{L"C:\\Pics\\a.jpg", {1, CTime()}}};
    m_engine.RecordResults(results);
    ASSERT_TRUE(testutil::WaitUntil([&] { return doneResults.load() == 1; }, 120));
    EXPECT_TRUE(inResults.empty()) << inResults.front();
    // A folder saved with its pictures, as the folder walk saves it.
    CSaveQueue queue(&m_engine.Db());
    m_dir.WriteFile("Pics/a.jpg", "x");
    queue.QueueFolderFiles(L"C:\\Pics\\", {{L"a.jpg", 1, CTime(2008, 5, 5, 0, 0, 0)}}, 1);
    queue.Drain(nullptr);
    ASSERT_TRUE(testutil::WaitUntil([&] { return doneFolders.load() == 1; }, 120));
    EXPECT_TRUE(inFolders.empty()) << inFolders.front();
    // The scans the handlers started were stopped by the handlers.
    ASSERT_TRUE(testutil::WaitUntil([&] { return m_engine.BackSearch().IsFinish() == 1; }, 120));
}

}  // namespace
