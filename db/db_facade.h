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
// rebuilds, clean-ups, deletes and moves) and db_writer.cc (what the save tasks write).
#pragma once

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
