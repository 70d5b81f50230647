// CDbFacade: the database layer object. It holds the one connection (CDBMng), the
// data-access objects, the folder filters, the search history, the configuration
// cache and the folder baseline map, and every database operation of the other
// subsystems is one of its operations.
//
// Lifecycle: built closed; Initialize opens (or creates) the file and brings the schema
// to the current version; Close commits an open transaction and closes; the
// destructor closes too.
//
// Threads: any. Every statement runs under the manager's lock; the caches, filters,
// history and baselines have their own locks, which may be held while the manager's
// lock is taken, never the reverse. A multi-statement operation is atomic against other
// threads only through the shared transaction.
//
// Failures: an operation returns false (0) at once when there is no connection.
// Statement failures are thrown (CppSQLite3Exception) and pass to the caller, except
// where an operation says otherwise. Implementations are spread over db_facade.cc
// (start-up, configuration, task lists, baselines), db_maintenance.cc (refreshes,
// rebuilds, clean-ups, deletes and moves), db_writer.cc (what the save tasks write) and
// db_statistics.cc (the statistics and lookups).
#pragma once

#include <list>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "db/bounded_cache.h"
#include "db/db_mng.h"
#include "db/file_dao.h"
#include "db/folder_baselines.h"
#include "db/path_dao.h"
#include "db/path_filter.h"
#include "db/records.h"
#include "db/report_sink.h"
#include "db/search_history.h"
#include "db/time_path_dao.h"
#include "picdex/common_func.h"
#include "picdex/search_types.h"

class CDbFacade {
public:
    static constexpr std::size_t kConfigCacheCapacity = 100;

    CDbFacade();
    ~CDbFacade();
    CDbFacade(const CDbFacade&) = delete;
    CDbFacade& operator=(const CDbFacade&) = delete;

    // ------------------------------------------------------------- start and stop
    // Opens the file (the path converted to the ANSI code page) and runs the versioning
    // steps. False when a connection is already held, the path is empty, or the open
    // reports a failure count; a failing statement of the open or of the versioning
    // steps is thrown (the file then stays open; Close releases it).
    bool Initialize(const CString& dbPath);
    void Close();
    bool IsOpen() { return m_db.IsOpen(); }

    // Where save tasks report (null: reports are dropped). Set before scanning starts.
    void SetReportSink(IDbReportSink* sink) { m_pSink = sink; }
    IDbReportSink* GetReportSink() const { return m_pSink; }

    CDBMng& GetDbMng() { return m_db; }
    CPathDao& GetPathDao() { return m_pathDao; }
    CFileDao& GetFileDao() { return m_fileDao; }
    CTimePathDao& GetTimePathDao() { return m_timePathDao; }
    obj_dao<_tagExifInfo>& GetExifDao() { return m_exifDao; }
    obj_dao<_tagIptcInfo>& GetIptcDao() { return m_iptcDao; }
    obj_dao<_tagGpsInfo>& GetGpsDao() { return m_gpsDao; }
    CPathFilter& GetPathFilter() { return m_pathFilter; }
    CSearchHistory& GetSearchHistoryObject() { return m_searchHistory; }

    // ------------------------------------------------------------- configuration
    // The value of `key` (the cache first); false and `value` untouched when the key
    // has no row.
    bool GetConfig(const CString& key, CString& value);
    bool SetConfig(const CString& key, const CString& value);

    // ------------------------------------------------------------- scan-task lists
    bool GetPathTasks(std::set<CString>& paths);
    bool GetNtfsPathTasks(std::set<CString>& paths);

    // ------------------------------------------------------------- analysis and refresh
    // A folder with files whose digest is empty or that were not seen in this run, and
    // the names of those files.
    bool GetFolderToAnalyse(CString& folder, std::set<CString>& names);
    // Deletes the folder's files not seen since the run began (their count in
    // `removed`) and recounts the folder.
    bool RefreshFolder(int pathID, int& removed);
    bool RefreshAll();
    bool RebuildFolderMonths(int pathID);
    bool RebuildAllMonths();
    // Removes what the run did not see; false (nothing done) without a run start time.
    bool CleanupStale();
    // Deletes the folder rows with no pictures in them or anywhere below them.
    bool PruneEmptyFolders();

    // ------------------------------------------------------------- files and folders
    // Everything indexed at or below the folder ("%" and "_" in it act as wildcards).
    // An empty folder is refused (false).
    bool DeleteFolderTree(const CString& folder);
    bool DeleteFile(const CString& fullPath, bool updateCounts);
    bool MarkFileChanged(const CString& fullPath);
    bool MoveFile(const CString& oldPath, const CString& newPath);
    bool MoveFolder(const CString& oldPath, const CString& newPath);
    // Rewrites the start of every folder path that begins with oldPrefix (not empty).
    bool ReplacePathPrefix(const CString& oldPrefix, const CString& newPrefix);

    // ------------------------------------------------------------- search history
    bool LoadSearchHistory() { return m_searchHistory.LoadSearchHistory(); }
    bool GetSearchHistory(const CString& prefix, std::map<CString, int>& out, int maxCount) {
        return m_searchHistory.GetSearchHistory(prefix, out, maxCount);
    }
    bool ClearSearchHistory() { return m_searchHistory.ClearSearchHistory(); }
    bool AddSearch(const CString& key) { return m_searchHistory.AddSearch(key); }

    // ------------------------------------------------------------- folder filters
    bool LoadFilters() { return m_pathFilter.LoadFilters(); }
    int GetFilterType(const CString& path) { return m_pathFilter.GetFilterType(path); }
    bool HasIncludedBelow(const CString& path) { return m_pathFilter.HasIncludedBelow(path); }
    void RemoveExcluded(std::set<CString>& folders) { m_pathFilter.RemoveExcluded(folders); }
    bool AddExcludedFilter(const CString& path) { return m_pathFilter.AddExcludedFilter(path); }
    bool AddIncludedFilter(const CString& path) { return m_pathFilter.AddIncludedFilter(path); }
    bool RemoveExcludedFilter(const CString& path) {
        return m_pathFilter.RemoveExcludedFilter(path);
    }
    bool RemoveIncludedFilter(const CString& path) {
        return m_pathFilter.RemoveIncludedFilter(path);
    }
    void GetExcludedFilters(std::set<CString>& out) { m_pathFilter.GetExcludedFilters(out); }
    void GetIncludedFilters(std::set<CString>& out) { m_pathFilter.GetIncludedFilters(out); }
    bool SetExcludedFilters(const std::set<CString>& wanted) {
        return m_pathFilter.SetExcludedFilters(wanted);
    }
    bool SetIncludedFilters(const std::set<CString>& wanted) {
        return m_pathFilter.SetIncludedFilters(wanted);
    }

    // ------------------------------------------------------------- statistics and lookups
    // One statement each (GetDuplicateFiles: one, then one per digest), run on the
    // caller's thread. They answer from the counters and month rows as the last
    // maintenance pass left them. A closed database or a rejected statement throws
    // CppSQLite3Exception, also when nothing would be found; containers keep what was
    // added before a failure. Counts are 0 when there is no row. Sums and counts are
    // read as 64-bit numbers and returned as 32-bit ones.
    //
    // Subtree bounds of a folder F: P = F with a trailing backslash, U = P with its last
    // character replaced by ']'; P <= strFullPath < U holds exactly for the paths that
    // begin with P ("]" follows "\" in every collation the index uses), and the index
    // on strFullPath serves the range.

    // Pictures directly in the folder (a trailing backslash is added).
    int GetFolderPicCount(const CString& folder);
    // Pictures of the folder and every folder below it.
    int GetTreePicCount(const CString& folder);
    // Pictures taken in a year or month (local calendar). A year below 1900, a month
    // outside 1..12 or a date the calendar cannot represent throws
    // std::invalid_argument before any statement runs.
    int GetYearPicCount(int year);
    int GetMonthPicCount(int year, int month);
    // Year -> pictures taken in it; 1 (an empty index leaves `out` empty).
    int GetYearTotals(std::map<int, int>& out);
    // Month 1..12 -> pictures taken in it, for one year (checked as above); 1.
    int GetMonthTotalsOfYear(int year, std::map<int, int>& out);
    // Month rows with pictures (each with its folder's strFullPath) appended to `out`:
    // months from..to, every month, or the months of one folder (its exact path, no
    // backslash added). 1.
    int GetMonthFolders(CTime from, CTime to, std::list<_tagTimePath>& out);
    int GetAllMonthFolders(std::list<_tagTimePath>& out);
    int GetMonthFoldersOfFolder(const CString& folder, std::list<_tagTimePath>& out);
    // Folder rows appended to `out`: with bRecursive, every folder whose path begins
    // with `folder` as written (every folder when it is empty); without, the direct
    // children of `folder` (the top-level folders when it is empty). 1; 0 with `out`
    // unchanged when a non-empty `folder` is not indexed and bRecursive is 0.
    int GetFolders(const CString& folder, int bRecursive, std::list<_tagPathInfo>& out);
    // Full paths of the files taken from..to (both included): in the folder's subtree
    // with bRecursive (anywhere when `folder` is empty), else directly in the folder. 1.
    int GetFilesBySnapTime(const CString& folder, int bRecursive, CTime from, CTime to,
                           std::set<CString>& out);
    // Full paths of the files in the folder's subtree (bRecursive) or in the folder. 1.
    int GetFolderFiles(const CString& folder, int bRecursive, std::set<CString>& out);
    // Full paths of the files with this digest. 1.
    int GetFilesByMD5(const CString& md5, std::set<CString>& out);
    // Every digest held by more than one file -> the full paths of those files. 1.
    int GetDuplicateFiles(std::map<CString, std::set<CString>>& out);
    // The number of files a quick search with this request finds, its text taken as it
    // is (no wildcard conversion).
    int CountQuickSearch(const _tagQuickSearch& request);

    // The first second (day 1, 00:00:00, local time) of a calendar month and the last
    // second before the next month; std::invalid_argument for a year below 1900, a
    // month outside 1..12 or a date the calendar cannot represent.
    static CTime MonthFirstSecond(int year, int month);
    static CTime MonthLastSecond(int year, int month);

    // ------------------------------------------------------------- the save tasks' writes
    // Records a folder's picture list: new files get a row (no digest), changed ones
    // lose their digest, all get the current search time; then the folder is refreshed.
    // `newCount` receives the number of files new to the index (less those the refresh
    // removed); `fileCounter`, when given, is incremented once per file. 1 on success.
    int SaveFolderFiles(const CString& folder, const std::set<_tagSimpleFileInfo>& files,
                        int& newCount, InterlockedLong* fileCounter);
    // Stores an analysed file with its metadata rows and updates the folder's and the
    // month's counters. 1 on success (also when nothing changed).
    int SaveFileDetail(_tagFileDetail& detail);
    // Moves a file's size and count between folders and months (sizes are 32-bit).
    void UpdateCounts(int oldSize, int newPath, int oldPath, int newSize, CTime newSnap,
                      CTime oldSnap);
    // Finish report kind 1: recounts the folder and its months and reports the
    // per-month changes since RegisterFolder.
    int FolderFinished(const CString& folder);

    // ------------------------------------------------------------- folder baselines
    // Remembers the folder's month figures (negated) unless it already has an entry.
    void RegisterFolder(const CString& folder);
    void ResetBaselines() { m_baselines.Clear(); }
    size_t BaselineCount() { return m_baselines.Size(); }
    // The month rows of a folder (exact full path), each with the folder's path.
    bool GetMonthRowsOfFolder(const CString& folder,
                              std::vector<std::pair<_tagTimePath, CString>>& rows);

private:
    bool CanRun() { return m_db.IsOpen(); }
    // "BackSearchStartTime" as text (or `dflt`); true when the value exists.
    bool GetRunStart(CString& text, const wchar_t* dflt);
    void InstallDefaultFilters();
    void CreateVersion3Indexes();

    CPathDao m_pathDao;
    CFileDao m_fileDao;
    CPathFilter m_pathFilter;
    CSearchHistory m_searchHistory;
    CTimePathDao m_timePathDao;
    obj_dao<_tagExifInfo> m_exifDao;
    obj_dao<_tagIptcInfo> m_iptcDao;
    obj_dao<_tagGpsInfo> m_gpsDao;
    CDBMng m_db;
    CBoundedCache<CString, CString> m_configCache;
    CFolderBaselines m_baselines;
    IDbReportSink* m_pSink = nullptr;
};
