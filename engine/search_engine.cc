#include "engine/search_engine.h"

#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "exiflib/registry.h"
#include "picdex/common_func.h"
#include "platform/window.h"

namespace {

// The library's single service object: built when the library is loaded, destroyed
// when it is unloaded.
CSearchEngine g_engine;

// A normal process exit runs this before the destructors of the static objects that
// the workers use (it is registered after they were built), so running workers stop
// and the database is committed and closed while everything they touch still exists.
void ShutdownAtExit() {
    g_engine.Shutdown();
}

}  // namespace

ISearchBuss::~ISearchBuss() = default;

ISearchBuss* ISearchBuss::GetInstance() {
    return &g_engine;
}

CSearchEngine& CSearchEngine::Instance() {
    return g_engine;
}

CSearchEngine::CSearchEngine()
    : CLongThread(1, -1), m_backSearch(&m_db), m_dwLastResultTick(GetTickCount()) {
    m_db.SetReportSink(this);
    m_dbSearch.SetFacade(&m_db);
    m_dbSearch.SetResultSink(this);
}

CSearchEngine::~CSearchEngine() {
    StopAll();
}

// ---------------------------------------------------------------- lifecycle

void CSearchEngine::StopAll() {
    {
        // Any balancing pass has ended when this lock is had, and later ones see the
        // flag; the waits below then run without the lock, which a host's message
        // handler may need meanwhile.
        CSingleLock control(&m_csControl, TRUE);
        InterlockedExchange(&m_bStopping, 1);
    }
    // The scanner first: its cancel writes what it still has queued, and those writes
    // report to this object. Then the search, then the notifier, then the database.
    m_backSearch.Cancel(TRUE);
    m_dbSearch.Cancel(TRUE);
    Cancel(TRUE);
    m_db.Close();
    ClearPending();
    InterlockedExchange(&m_bStopping, 0);
}

void CSearchEngine::ClearPending() {
    // What the host was still to be told belongs to the closed session.
    CSingleLock lock(&m_csNotify, TRUE);
    m_setDrivesDone.clear();
    m_setResults.clear();
    m_lstFolderSaved.clear();
    m_mapFolderStats.clear();
    InterlockedExchange(&m_bResultPending, 0);
    InterlockedExchange(&m_bReport3, 0);
    InterlockedExchange(&m_bReport4, 0);
    InterlockedExchange(&m_bReport5, 0);
}

void CSearchEngine::Shutdown() {
    StopAll();
}

int CSearchEngine::SetHostFlag(int value) {
    m_nHostFlag = value;
    return value;
}

int CSearchEngine::Initialize(const CString& dbPath, const CString& str2, const CString& str3,
                              int /*reserved*/) {
    if (m_db.IsOpen()) return 0;
    CCommonFunc::InitPicExt(std::set<CString>());
    m_strDbPath = dbPath;
    m_strInit2 = str2;
    m_strInit3 = str3;
    ExifLib::InitExifLib();
    if (!m_db.Initialize(dbPath)) return 0;
    if (this == &g_engine) {
        static std::once_flag once;
        std::call_once(once, [] { std::atexit(&ShutdownAtExit); });
    }
    m_dwLastResultTick = GetTickCount();
    Start(&CSearchEngine::NotifierProc, this, TRUE);
    return 1;
}

HWND CSearchEngine::SetFolderNotifyWnd(HWND hWnd) {
    m_hWndFolder = hWnd;
    return hWnd;
}

HWND CSearchEngine::SetStatsNotifyWnd(HWND hWnd) {
    m_hWndStats = hWnd;
    return hWnd;
}

HWND CSearchEngine::SetResultNotifyWnd(HWND hWnd) {
    m_hWndResult = hWnd;
    return hWnd;
}

// ---------------------------------------------------------------- what others record

void CSearchEngine::RecordDriveDone(wchar_t letter) {
    CSingleLock lock(&m_csNotify, TRUE);
    m_setDrivesDone.insert(letter);
}

void CSearchEngine::RecordFolderSaved(const CString& folder, int fileCount) {
    CSingleLock lock(&m_csNotify, TRUE);
    m_lstFolderSaved.emplace_back(folder, fileCount);
}

void CSearchEngine::RecordFolderStats(const CString& folder, const CMonthStatMap& changes) {
    CSingleLock lock(&m_csNotify, TRUE);
    CMonthStatMap& months = m_mapFolderStats[folder];
    for (const auto& [month, change] : changes) {
        auto& sum = months[month];
        sum.first += change.first;
        sum.second += change.second;
    }
}

void CSearchEngine::RecordResults(const CSearchResultMap& results) {
    CSingleLock lock(&m_csNotify, TRUE);
    // StopWork(0) cancels the search before it empties the pending set under this
    // lock, so a delivery that comes after it finds the cancel and is dropped.
    if (m_dbSearch.IsUserCancel()) return;
    for (const auto& entry : results)
        m_setResults.insert(entry.first);
    if (!m_setResults.empty()) {
        InterlockedExchange(&m_bResultPending, 1);
        lock.Unlock();
        WakeNotifier();
    }
}

void CSearchEngine::OnFolderSaved(const CString& folder, int newFiles) {
    RecordFolderSaved(folder, newFiles);
}

void CSearchEngine::OnFolderStats(const CString& folder, const CMonthChangeMap& changes) {
    RecordFolderStats(folder, changes);
}

void CSearchEngine::OnDriveDone(wchar_t letter) {
    RecordDriveDone(letter);
}

void CSearchEngine::OnNtfsPhaseDone() {
    InterlockedExchange(&m_bReport3, 1);
}

void CSearchEngine::OnFolderWalkDone() {
    m_db.CleanupStale();
    m_db.RefreshAll();
    m_db.PruneEmptyFolders();
    InterlockedExchange(&m_bReport4, 1);
}

void CSearchEngine::RunScanFinishAction() {
    m_backSearch.FinishAction();
}

void CSearchEngine::OnRunDone() {
    InterlockedExchange(&m_bReport5, 1);
}

// ---------------------------------------------------------------- the notifier

DWORD CSearchEngine::NotifierProc(void* pParam, unsigned int /*nIndex*/) {
    static_cast<CSearchEngine*>(pParam)->NotifyPass();
    return 1;
}

void CSearchEngine::NotifyPass() {
    // Once Shutdown has begun nothing more is sent, also by a pass that the pool still
    // starts as it is cancelled (a cancel lifts a pause before it is seen); such a pass
    // waits for the cancel instead of spinning.
    if (m_bStopping.load() || IsUserCancel()) {
        WaitForSingleObject(GetCancelHandle(), kIdleWaitMs);
        return;
    }
    // Reset before the work rather than just before the wait, so that a wake-up that
    // arrives during the pass is not lost.
    m_evNotify.ResetEvent();
    bool sent = false;
    try {
        Balance();
        sent = SendResults() || SendDriveDone() || SendWalkAndNtfsReports() || SendFoldersSaved() ||
               SendFolderStats() || SendRunDone();
    } catch (...) {
        // A host window procedure that throws must not end the notifier: the message
        // counts as sent and the next pass goes on.
        sent = true;
    }
    if (sent) return;
    // Idle: sleep until the pool's state changes or a delivery wakes us, at most 300 ms;
    // less when results wait only for their spacing.
    DWORD wait = kIdleWaitMs;
    if (m_bResultPending.load()) {
        DWORD since = GetTickCount() - m_dwLastResultTick;
        if (since < kResultSpacingMs) wait = kResultSpacingMs - since;
    }
    // A cancel ends the wait too, so that Shutdown does not wait out an idle pass.
    HANDLE wake[2] = {m_evNotify, GetCancelHandle()};
    WaitForMultipleObjects(2, wake, FALSE, wait);
}

void CSearchEngine::Balance() {
    if (m_bStopping.load()) return;
    // A host operation that controls the workers right now: balance in the next pass.
    if (!m_csControl.TryLock()) return;
    struct Release {
        CCriticalSection& cs;
        ~Release() { cs.Unlock(); }
    } release{m_csControl};
    // Running and paused are the pool tests: a live thread, and a reset run gate.
    bool searchRunning = !m_dbSearch.IsFinish();
    bool scanRunning = !m_backSearch.IsFinish();
    if (!searchRunning && m_bResultPending.load() == 0) {
        if (scanRunning && m_backSearch.IsPause()) m_backSearch.Resume();
    } else {
        if (m_dbSearch.IsPause()) m_dbSearch.Resume();
        if (scanRunning && !m_backSearch.IsPause()) m_backSearch.Pause(FALSE);
    }
}

bool CSearchEngine::SendResults() {
    if (GetTickCount() - m_dwLastResultTick < kResultSpacingMs) return false;
    CSingleLock lock(&m_csNotify, TRUE);
    if (m_setResults.empty()) {
        // Nothing left to offer (the host took everything): the scan may go on.
        InterlockedExchange(&m_bResultPending, 0);
        return false;
    }
    HWND hWnd = m_hWndResult;
    if (!IsWindow(hWnd)) {
        m_setResults.clear();
        InterlockedExchange(&m_bResultPending, 0);
        return false;
    }
    // The live set is handed over with the lock held: the host may take entries out of
    // it; what it leaves is offered again.
    WPARAM wParam = reinterpret_cast<WPARAM>(&m_setResults);
    SendMessageW(hWnd, WM_PD_SEARCH_RESULTS, wParam, ComplementOf(wParam));
    m_dwLastResultTick = GetTickCount();
    if (m_setResults.empty()) InterlockedExchange(&m_bResultPending, 0);
    return true;
}

bool CSearchEngine::SendDriveDone() {
    CSingleLock lock(&m_csNotify, TRUE);
    if (m_setDrivesDone.empty()) return false;
    HWND hWnd = m_hWndFolder;
    if (!IsWindow(hWnd)) {
        m_setDrivesDone.clear();
        return false;
    }
    wchar_t letter = *m_setDrivesDone.begin();
    m_setDrivesDone.erase(m_setDrivesDone.begin());
    lock.Unlock();
    // The letter as an unsigned 16-bit unit, zero-extended.
    WPARAM wParam = static_cast<WPARAM>(static_cast<WORD>(letter));
    SendMessageW(hWnd, WM_PD_DRIVE_DONE, wParam, ComplementOf(wParam));
    return true;
}

bool CSearchEngine::SendWalkAndNtfsReports() {
    if (InterlockedExchange(&m_bReport4, 0)) {
        InterlockedExchange(&m_bReport3, 0);
        SendMessageW(m_hWndFolder, WM_PD_WALK_DONE, kReportWParam, kReportLParam);
        return true;
    }
    if (m_bReport3.load() == 0) return false;
    // The NTFS-phase report waits 1800 ms, so that a walk report that follows closely
    // is told first. A shut-down cuts the wait short; the messages still go out.
    WaitForSingleObject(GetCancelHandle(), kNtfsReportDelayMs);
    if (InterlockedExchange(&m_bReport4, 0)) {
        InterlockedExchange(&m_bReport3, 0);
        SendMessageW(m_hWndFolder, WM_PD_WALK_DONE, kReportWParam, kReportLParam);
        SendMessageW(m_hWndFolder, WM_PD_NTFS_DONE, kReportWParam, kReportLParam);
    } else {
        InterlockedExchange(&m_bReport3, 0);
        SendMessageW(m_hWndFolder, WM_PD_NTFS_DONE, kReportWParam, kReportLParam);
    }
    return true;
}

bool CSearchEngine::SendFoldersSaved() {
    CSingleLock lock(&m_csNotify, TRUE);
    if (m_lstFolderSaved.empty()) return false;
    HWND hWnd = m_hWndFolder;
    if (!IsWindow(hWnd)) {
        m_lstFolderSaved.clear();
        return false;
    }
    CFolderSavedList folders;
    folders.swap(m_lstFolderSaved);
    lock.Unlock();
    WPARAM wParam = reinterpret_cast<WPARAM>(&folders);
    SendMessageW(hWnd, WM_PD_FOLDERS_SAVED, wParam, ComplementOf(wParam));
    return true;
}

bool CSearchEngine::SendFolderStats() {
    CSingleLock lock(&m_csNotify, TRUE);
    if (m_mapFolderStats.empty()) return false;
    HWND hWnd = m_hWndStats;
    if (!IsWindow(hWnd)) {
        m_mapFolderStats.clear();
        return false;
    }
    CFolderStatsMap stats;
    stats.swap(m_mapFolderStats);
    lock.Unlock();
    WPARAM wParam = reinterpret_cast<WPARAM>(&stats);
    SendMessageW(hWnd, WM_PD_FOLDER_STATS, wParam, ComplementOf(wParam));
    return true;
}

bool CSearchEngine::SendRunDone() {
    if (InterlockedExchange(&m_bReport5, 0) == 0) return false;
    SendMessageW(m_hWndFolder, WM_PD_RUN_DONE, kReportWParam, kReportLParam);
    return true;
}

int CSearchEngine::MakeNotifierRun() {
    int result;
    if (IsFinish())
        result = Start(&CSearchEngine::NotifierProc, this, TRUE);
    else
        result = IsPause() ? Resume() : 0;
    // Balance at once rather than at the end of the current idle wait.
    WakeNotifier();
    return result;
}
