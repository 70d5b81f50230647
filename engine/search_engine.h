// CSearchEngine: the library's single service object behind ISearchBuss.
//
// It owns the database layer (m_db), the background scanner (m_backSearch) and the
// database search (m_dbSearch), and its own one-thread pool is the notifier: each pass
// keeps the scan and the search from running together (a running search, or results
// the host has not taken, keep the scan paused), sends the pending host messages of at
// most one kind, and otherwise sleeps up to 300 ms. The notifier is the only thread that
// sends window messages; the scanner's save thread and the search thread only record
// what the host is to be told (the report and result sinks below), under m_csNotify.
//
// Lifecycle: built closed with the library's static objects; Initialize opens the
// database and starts the notifier; Shutdown stops the scanner, the search and the
// notifier (each waiting for its threads) and closes the database; Initialize may then
// open it again. The destructor does what Shutdown does, so a host that never calls
// Shutdown still leaves a committed, closed database file.
//
// Locks: m_csNotify guards the four pending containers and m_bResultPending, and is
// held while the host handles WM_PD_SEARCH_RESULTS; no operation but StopWork(0) takes
// it, so a message handler may call every other operation (Shutdown aside).
// m_csControl serialises the control of the scanner's and the search's pools (start,
// pause, resume, cancel and the state tests that decide them) between the host's
// threads and the notifier, whose balancing skips a pass rather than wait for it; it
// is never held while waiting for a thread nor while taking m_csNotify. The report
// flags, m_bResultPending, the window handles and the result tick are atomic.
#pragma once

#include <atomic>
#include <list>
#include <map>
#include <set>
#include <utility>

#include "db/db_facade.h"
#include "db/report_sink.h"
#include "engine/db_search.h"
#include "engine/search_sink.h"
#include "picdex/host_messages.h"
#include "picdex/long_thread.h"
#include "picdex/search_buss.h"
#include "picdex/search_types.h"
#include "picdex/sync.h"
#include "scan/back_search.h"

class CSearchEngine : public CLongThread,
                      public ISearchBuss,
                      private IDbReportSink,
                      private ISearchResultSink {
public:
    // Minimum spacing of two results messages, and the idle wait of a notifier pass.
    static constexpr DWORD kResultSpacingMs = 200;
    static constexpr DWORD kIdleWaitMs = 300;
    // How late the NTFS-phase report is sent (a walk report arriving meanwhile goes first).
    static constexpr DWORD kNtfsReportDelayMs = 1800;

    CSearchEngine();
    ~CSearchEngine() override;

    // The object behind ISearchBuss::GetInstance.
    static CSearchEngine& Instance();

    // ------------------------------------------------ ISearchBuss
    void Shutdown() override;
    int SetHostFlag(int value) override;
    int Initialize(const CString& dbPath, const CString& str2, const CString& str3,
                   int reserved) override;
    HWND SetFolderNotifyWnd(HWND hWnd) override;
    HWND SetStatsNotifyWnd(HWND hWnd) override;
    HWND SetResultNotifyWnd(HWND hWnd) override;
    int GetScanStatus(int reserved, int* state, WORD* drive, int* count1, int* count2, int* count3,
                      int* count4, int* count5) override;
    int SetBlackList(std::set<CString>& folders) override;
    int SetWhiteList(std::set<CString>& folders) override;
    int GetBlackList(std::set<CString>& out) override;
    int GetWhiteList(std::set<CString>& out) override;
    int AddBlackFolder(CString folder) override;
    int AddWhiteFolder(CString folder) override;
    int RemoveBlackFolder(CString folder) override;
    int RemoveWhiteFolder(CString folder) override;
    int StartBackSearch() override;
    int ContinueBackSearch() override;
    int StartQuickSearch(const _tagQuickSearch* request) override;
    int StartFieldSearch(const _tagFieldSearch* request) override;
    int IsLastScanUnfinished() override;
    int IsBusy(int bScanner) override;
    int StopWork(int bScanner) override;
    CString GetScanningPath() override;
    int GetSearchHistory(std::map<CString, int>& out, const CString& prefix, int maxCount) override;
    int GetFolderPicCount(const CString& folder) override;
    int CountQuickSearch(const _tagQuickSearch* request) override;
    int ClearSearchHistory() override;
    int GetMonthPicCount(int year, int month) override;
    int GetYearPicCount(int year) override;
    int GetTreePicCount(const CString& folder) override;
    int HasIndexedSubfolder(const CString& folder) override;
    int GetFolders(const CString& folder, int bRecursive, std::list<_tagPathInfo>& out) override;
    int GetMonthFoldersOfMonth(int year, int month, std::list<_tagTimePath>& out) override;
    int GetMonthFolders(CTime from, CTime to, std::list<_tagTimePath>& out) override;
    int GetMonthFoldersOfFolder(const CString& folder, std::list<_tagTimePath>& out) override;
    int GetAllMonthFolders(std::list<_tagTimePath>& out) override;
    int GetYearTotals(std::map<int, int>& out) override;
    int GetMonthTotalsOfYear(int year, std::map<int, int>& out) override;
    int GetFilesByMD5(CString md5, std::set<CString>& out) override;
    int GetDuplicateFiles(std::map<CString, std::set<CString>>& out) override;
    int GetFolderFilesOfMonth(const CString& folder, int year, int month,
                              std::set<CString>& out) override;
    int GetFilesBySnapTime(const CString& folder, int bRecursive, CTime from, CTime to,
                           std::set<CString>& out) override;
    int GetFolderFiles(const CString& folder, int bRecursive, std::set<CString>& out) override;
    int GetFilesOfMonth(int year, int month, std::set<CString>& out) override;
    int InvalidateFile(const CString& filePath) override;
    int RenameFile(const CString& oldPath, const CString& newPath) override;
    int DeleteFile(const CString& filePath, int flag) override;
    int RenameFolder(const CString& oldFolder, const CString& newFolder) override;
    int RemoveFolder(const CString& folder) override;

    // ------------------------------------------------ what the other subsystems record
    // Each takes m_csNotify for its whole body.
    void RecordDriveDone(wchar_t letter);
    void RecordFolderSaved(const CString& folder, int fileCount);
    // Sums the month changes into what the folder already has pending.
    void RecordFolderStats(const CString& folder, const CMonthStatMap& changes);
    // Every path joins the pending result set; the scan stays paused until the host
    // has taken them all. Results of a cancelled search are dropped.
    void RecordResults(const CSearchResultMap& results) override;

    // ------------------------------------------------ the notifier
    static DWORD NotifierProc(void* pParam, unsigned int nIndex);
    // One pass: balance, try the senders in order, wait when none sent anything.
    void NotifyPass();

    // The members, for the tests and the benchmark.
    CDbFacade& Db() { return m_db; }
    CBackSearch& BackSearch() { return m_backSearch; }
    CDbSearch& DbSearch() { return m_dbSearch; }

private:
    // IDbReportSink: the database writer's reports, on the scanner's save thread.
    void OnFolderSaved(const CString& folder, int newFiles) override;
    void OnFolderStats(const CString& folder, const CMonthChangeMap& changes) override;
    void OnDriveDone(wchar_t letter) override;
    void OnNtfsPhaseDone() override;
    void OnFolderWalkDone() override;
    void RunScanFinishAction() override;
    void OnRunDone() override;

    // Starts the notifier when it is not running, resumes it when paused; the result of
    // that call. Wakes a pass at once.
    int MakeNotifierRun();
    // The shared part of the two search starts.
    template <typename Request, typename StartFn>
    int StartSearch(const Request* request, StartFn start);
    // Stops every worker, closes the database and forgets what was pending.
    void StopAll();
    void ClearPending();

    void Balance();
    bool SendResults();
    bool SendDriveDone();
    bool SendWalkAndNtfsReports();
    bool SendFoldersSaved();
    bool SendFolderStats();
    bool SendRunDone();
    // Wakes the notifier's idle wait.
    void WakeNotifier() { m_evNotify.SetEvent(); }

    CDbFacade m_db;
    CBackSearch m_backSearch;
    CDbSearch m_dbSearch;
    CString m_strDbPath;
    CString m_strInit2;  // kept as given; nothing reads it
    CString m_strInit3;  // kept as given; nothing reads it
    std::atomic<HWND> m_hWndFolder{nullptr};
    std::atomic<HWND> m_hWndStats{nullptr};
    std::atomic<HWND> m_hWndResult{nullptr};
    InterlockedLong m_bReport3{0};
    InterlockedLong m_bReport4{0};
    InterlockedLong m_bReport5{0};
    std::set<wchar_t> m_setDrivesDone;
    CSearchResultSet m_setResults;
    CFolderSavedList m_lstFolderSaved;
    CFolderStatsMap m_mapFolderStats;
    InterlockedLong m_bResultPending{0};
    CCriticalSection m_csNotify;
    // Left to the implementer: the pools' controls are not safe against each other on
    // this platform, so they are taken under one lock of their own.
    CCriticalSection m_csControl;
    // Set while Shutdown stops the workers: the notifier leaves them alone and sends
    // nothing more.
    InterlockedLong m_bStopping{0};
    std::atomic<DWORD> m_dwLastResultTick;
    std::atomic<int> m_nHostFlag{0};
};
