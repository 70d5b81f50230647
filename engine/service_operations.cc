// The service operations that the host calls on CSearchEngine: scan and search
// control, folder filters, history, statistics, lookups and index edits. Every one runs
// on the caller's thread; none takes m_csNotify except StopWork(0).
#include <stdexcept>

#include "engine/search_engine.h"
#include "picdex/common_func.h"

namespace {

// A folder argument ends in a backslash, as every folder path in the index does.
CString Folder(CString folder) {
    CCommonFunc::CheckFolderName(folder);
    return folder;
}

// The first and the last second of a calendar month, local time; a year below 1900 or
// a month outside 1..12 throws std::invalid_argument.
void MonthBounds(int year, int month, CTime& first, CTime& last) {
    first = CDbFacade::MonthFirstSecond(year, month);
    last = CDbFacade::MonthLastSecond(year, month);
}

// A configuration time value as its start; 0 when missing or not a time.
CTime ConfigTime(CDbFacade& db, const wchar_t* key) {
    CString text;
    CTime from, to;
    if (!db.GetConfig(key, text)) return CTime();
    if (!CCommonFunc::CanBeTime(text.c_str(), from, to)) return CTime();
    return from;
}

}  // namespace

// ---------------------------------------------------------------- background scan

int CSearchEngine::GetScanStatus(int /*reserved*/, int* state, WORD* drive, int* count1,
                                 int* count2, int* count3, int* count4, int* count5) {
    m_backSearch.GetScanStatus(state, drive, count1, count2, count3, count4, count5);
    return 1;
}

int CSearchEngine::StartBackSearch() {
    CSingleLock control(&m_csControl, TRUE);
    if (IsBusy(TRUE)) return 0;
    if (!m_backSearch.StartNewRun()) return 0;
    MakeNotifierRun();
    return 1;
}

int CSearchEngine::ContinueBackSearch() {
    CSingleLock control(&m_csControl, TRUE);
    if (!m_backSearch.IsFinish()) return 0;
    m_backSearch.ContinueRun();
    MakeNotifierRun();
    return 1;
}

int CSearchEngine::IsLastScanUnfinished() {
    CTime start = ConfigTime(m_db, L"BackSearchStartTime");
    CTime finish = ConfigTime(m_db, L"BackSearchFinishTime");
    return finish < start ? 1 : 0;
}

CString CSearchEngine::GetScanningPath() {
    CSingleLock control(&m_csControl, TRUE);
    if (m_dbSearch.IsFinish() && !m_backSearch.IsFinish()) return m_backSearch.GetScanPath();
    return CString();
}

// ---------------------------------------------------------------- worker control

int CSearchEngine::IsBusy(int bScanner) {
    CSingleLock control(&m_csControl, TRUE);
    if (bScanner) return !m_backSearch.IsFinish() && !m_backSearch.IsUserCancel() ? 1 : 0;
    if (!m_dbSearch.IsFinish() && !m_dbSearch.IsUserCancel()) return 1;
    return m_bResultPending.load() ? 1 : 0;
}

int CSearchEngine::StopWork(int bScanner) {
    CSingleLock control(&m_csControl, TRUE);
    if (bScanner) {
        m_backSearch.Cancel(FALSE);
    } else {
        m_dbSearch.Cancel(FALSE);
        // Never both locks at once: a results handler holds m_csNotify and may ask for
        // the control lock.
        control.Unlock();
        CSingleLock lock(&m_csNotify, TRUE);
        m_setResults.clear();
        InterlockedExchange(&m_bResultPending, 0);
        lock.Unlock();
    }
    control.Unlock();
    return IsBusy(bScanner);
}

// ---------------------------------------------------------------- search

template <typename Request, typename StartFn>
int CSearchEngine::StartSearch(const Request* request, StartFn start) {
    if (!request) return 0;
    CSingleLock control(&m_csControl, TRUE);
    if (IsBusy(FALSE)) return 0;
    // No balancing pass may run while the search is set up; the search starts paused
    // and only the notifier's next pass lets it run, after pausing the scan.
    Pause(FALSE);
    if (!m_backSearch.IsFinish()) m_backSearch.Pause(FALSE);
    m_hWndResult = request->hWnd;
    start(*request);
    return MakeNotifierRun();
}

int CSearchEngine::StartQuickSearch(const _tagQuickSearch* request) {
    return StartSearch(request,
                       [this](const _tagQuickSearch& r) { return m_dbSearch.StartQuickSearch(r); });
}

int CSearchEngine::StartFieldSearch(const _tagFieldSearch* request) {
    return StartSearch(request,
                       [this](const _tagFieldSearch& r) { return m_dbSearch.StartFieldSearch(r); });
}

int CSearchEngine::CountQuickSearch(const _tagQuickSearch* request) {
    if (!request) return 0;
    return m_db.CountQuickSearch(*request);
}

// ---------------------------------------------------------------- folder filters

int CSearchEngine::SetBlackList(std::set<CString>& folders) {
    std::set<CString> normalised;
    for (const CString& f : folders)
        normalised.insert(Folder(f));
    folders.swap(normalised);
    CScopedTransaction transaction(&m_db.GetDbMng());
    return m_db.SetExcludedFilters(folders) ? 1 : 0;
}

int CSearchEngine::SetWhiteList(std::set<CString>& folders) {
    std::set<CString> normalised;
    for (const CString& f : folders)
        normalised.insert(Folder(f));
    folders.swap(normalised);
    CScopedTransaction transaction(&m_db.GetDbMng());
    return m_db.SetIncludedFilters(folders) ? 1 : 0;
}

int CSearchEngine::GetBlackList(std::set<CString>& out) {
    m_db.GetExcludedFilters(out);
    return 1;
}

int CSearchEngine::GetWhiteList(std::set<CString>& out) {
    m_db.GetIncludedFilters(out);
    return 1;
}

// An empty folder would put the filter on the root of every path and exclude (or
// include) everything at once; it is refused instead.
int CSearchEngine::AddBlackFolder(CString folder) {
    if (folder.empty()) return 0;
    folder = Folder(folder);
    bool removed = m_db.DeleteFolderTree(folder);
    bool added = m_db.AddExcludedFilter(folder);
    return removed && added ? 1 : 0;
}

int CSearchEngine::AddWhiteFolder(CString folder) {
    if (folder.empty()) return 0;
    return m_db.AddIncludedFilter(Folder(folder)) ? 1 : 0;
}

int CSearchEngine::RemoveBlackFolder(CString folder) {
    return m_db.RemoveExcludedFilter(Folder(folder)) ? 1 : 0;
}

int CSearchEngine::RemoveWhiteFolder(CString folder) {
    return m_db.RemoveIncludedFilter(Folder(folder)) ? 1 : 0;
}

// ---------------------------------------------------------------- search history

int CSearchEngine::GetSearchHistory(std::map<CString, int>& out, const CString& prefix,
                                    int maxCount) {
    m_db.GetSearchHistory(prefix, out, maxCount);
    return 1;
}

int CSearchEngine::ClearSearchHistory() {
    return m_db.ClearSearchHistory() ? 1 : 0;
}

// ---------------------------------------------------------------- statistics and lookups

int CSearchEngine::GetFolderPicCount(const CString& folder) {
    return m_db.GetFolderPicCount(folder);
}

int CSearchEngine::GetMonthPicCount(int year, int month) {
    return m_db.GetMonthPicCount(year, month);
}

int CSearchEngine::GetYearPicCount(int year) {
    return m_db.GetYearPicCount(year);
}

int CSearchEngine::GetTreePicCount(const CString& folder) {
    return m_db.GetTreePicCount(folder);
}

int CSearchEngine::HasIndexedSubfolder(const CString& folder) {
    return m_db.GetPathDao().HasSubFolder(folder) ? 1 : 0;
}

int CSearchEngine::GetFolders(const CString& folder, int bRecursive, std::list<_tagPathInfo>& out) {
    return m_db.GetFolders(folder, bRecursive, out);
}

int CSearchEngine::GetMonthFoldersOfMonth(int year, int month, std::list<_tagTimePath>& out) {
    CTime first, last;
    MonthBounds(year, month, first, last);
    return GetMonthFolders(first, last, out);
}

int CSearchEngine::GetMonthFolders(CTime from, CTime to, std::list<_tagTimePath>& out) {
    return m_db.GetMonthFolders(from, to, out);
}

int CSearchEngine::GetMonthFoldersOfFolder(const CString& folder, std::list<_tagTimePath>& out) {
    return m_db.GetMonthFoldersOfFolder(folder, out);
}

int CSearchEngine::GetAllMonthFolders(std::list<_tagTimePath>& out) {
    return m_db.GetAllMonthFolders(out);
}

int CSearchEngine::GetYearTotals(std::map<int, int>& out) {
    return m_db.GetYearTotals(out);
}

int CSearchEngine::GetMonthTotalsOfYear(int year, std::map<int, int>& out) {
    return m_db.GetMonthTotalsOfYear(year, out);
}

int CSearchEngine::GetFilesByMD5(CString md5, std::set<CString>& out) {
    return m_db.GetFilesByMD5(md5, out);
}

int CSearchEngine::GetDuplicateFiles(std::map<CString, std::set<CString>>& out) {
    return m_db.GetDuplicateFiles(out);
}

int CSearchEngine::GetFolderFilesOfMonth(const CString& folder, int year, int month,
                                         std::set<CString>& out) {
    CTime first, last;
    MonthBounds(year, month, first, last);
    return GetFilesBySnapTime(folder, FALSE, first, last, out);
}

int CSearchEngine::GetFilesBySnapTime(const CString& folder, int bRecursive, CTime from, CTime to,
                                      std::set<CString>& out) {
    return m_db.GetFilesBySnapTime(folder, bRecursive, from, to, out);
}

int CSearchEngine::GetFolderFiles(const CString& folder, int bRecursive, std::set<CString>& out) {
    return m_db.GetFolderFiles(folder, bRecursive, out);
}

int CSearchEngine::GetFilesOfMonth(int year, int month, std::set<CString>& out) {
    CTime first, last;
    MonthBounds(year, month, first, last);
    return GetFilesBySnapTime(CString(), TRUE, first, last, out);
}

// ---------------------------------------------------------------- index edits

int CSearchEngine::InvalidateFile(const CString& filePath) {
    return m_db.MarkFileChanged(filePath) ? 1 : 0;
}

int CSearchEngine::RenameFile(const CString& oldPath, const CString& newPath) {
    return m_db.MoveFile(oldPath, newPath) ? 1 : 0;
}

int CSearchEngine::DeleteFile(const CString& filePath, int flag) {
    return m_db.DeleteFile(filePath, flag != 0) ? 1 : 0;
}

int CSearchEngine::RenameFolder(const CString& oldFolder, const CString& newFolder) {
    return m_db.MoveFolder(Folder(oldFolder), Folder(newFolder)) ? 1 : 0;
}

int CSearchEngine::RemoveFolder(const CString& folder) {
    return m_db.DeleteFolderTree(Folder(folder)) ? 1 : 0;
}
