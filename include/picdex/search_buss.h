// ISearchBuss: the whole surface the host uses to drive the library (besides the
// CCommonFunc utilities and the CLongThread base). ISearchBuss::GetInstance hands out
// the single service object, which exists from library load to unload.
//
// The order of the virtual functions is part of the interface between host and
// library: the protected destructor comes first, then the 49 operations in the order
// below (the number in each comment is the operation's place).
//
// Every operation runs on the caller's thread; those that start work (a scan, a
// search) start or resume a worker and return at once, and the outcome arrives later as
// window messages (picdex/host_messages.h). Results: 1 for success or yes, 0 for failure
// or no, unless an operation says otherwise. A folder argument gets a trailing
// backslash when it lacks one. Times are local calendar times (CTime).
//
// Errors: the statistics and lookups (25, 26, 28 to 30, 32 to 44) let the database
// layer's CppSQLite3Exception pass to the caller when the database is not open or a
// statement is rejected; the calendar ones (33, 41, 44) throw std::invalid_argument
// for a year below 1900 or a month outside 1..12. Every other operation reports
// failure through its result.
//
// Threads: any host thread, concurrently with the library's workers. Initialize and
// Shutdown must not run concurrently with other operations. From inside a window
// procedure that handles a library message, every operation may be called except
// Shutdown and, during WM_PD_SEARCH_RESULTS, StopWork(0).
#pragma once

#include <list>
#include <map>
#include <set>

#include "picdex/ctime.h"
#include "picdex/export.h"
#include "picdex/host_messages.h"
#include "picdex/records.h"
#include "picdex/search_types.h"
#include "picdex/types.h"

class PICDEX_API ISearchBuss {
protected:
    // Declared first so that it takes the first place of the virtual table. Only the
    // library ends the service object.
    virtual ~ISearchBuss();

public:
    // The single service object; never null.
    static ISearchBuss* GetInstance();

    ISearchBuss() = default;
    // The interface carries no data: copying copies nothing.
    ISearchBuss(const ISearchBuss&) {}
    ISearchBuss& operator=(const ISearchBuss&) { return *this; }

    // ------------------------------------------------ lifecycle and notification windows
    // 1. Stops the scanner, the search and the notifier (waiting for each), then closes
    //    the database.
    virtual void Shutdown() = 0;
    // 2. Stores the value; nothing reads it. Returns it.
    virtual int SetHostFlag(int value) = 0;
    // 3. Opens (or creates) the index at dbPath and starts the notifier. 0 when a
    //    database is already open or the open fails; an exception of the database layer
    //    raised while opening passes to the caller. str2, str3 and reserved are kept or
    //    ignored.
    virtual int Initialize(const CString& dbPath, const CString& str2, const CString& str3,
                           int reserved) = 0;
    // 4. Window for WM_PD_FOLDERS_SAVED, WM_PD_WALK_DONE, WM_PD_DRIVE_DONE,
    //    WM_PD_NTFS_DONE and WM_PD_RUN_DONE. Returns the handle.
    virtual HWND SetFolderNotifyWnd(HWND hWnd) = 0;
    // 5. Window for WM_PD_FOLDER_STATS.
    virtual HWND SetStatsNotifyWnd(HWND hWnd) = 0;
    // 6. Window for WM_PD_SEARCH_RESULTS (each search request replaces it).
    virtual HWND SetResultNotifyWnd(HWND hWnd) = 0;

    // ------------------------------------------------ background scan
    // 7. The scanner's phase, current NTFS drive letter, three running counts (always 0,
    //    file-table records examined, pictures found) and the picture files queued and
    //    saved. Read without a lock. Returns 1.
    virtual int GetScanStatus(int reserved, int* state, WORD* drive, int* count1, int* count2,
                              int* count3, int* count4, int* count5) = 0;

    // ------------------------------------------------ folder filters
    // 8. Makes the stored excluded folders equal to `folders` (backslashes are appended
    //    in place). 9. The same for the included folders.
    virtual int SetBlackList(std::set<CString>& folders) = 0;
    virtual int SetWhiteList(std::set<CString>& folders) = 0;
    // 10, 11. Copies of the excluded (with the fixed ones) and included folders.
    virtual int GetBlackList(std::set<CString>& out) = 0;
    virtual int GetWhiteList(std::set<CString>& out) = 0;
    // 12. Removes what the index holds at or below the folder, then excludes it.
    virtual int AddBlackFolder(CString folder) = 0;
    // 13 to 15.
    virtual int AddWhiteFolder(CString folder) = 0;
    virtual int RemoveBlackFolder(CString folder) = 0;
    virtual int RemoveWhiteFolder(CString folder) = 0;

    // ------------------------------------------------ scan and search control
    // 16. Starts a new scan run; 0 when one is running.
    virtual int StartBackSearch() = 0;
    // 17. Continues the last run where it stopped; 0 when one is running.
    virtual int ContinueBackSearch() = 0;
    // 18, 19. Starts a search whose results arrive as WM_PD_SEARCH_RESULTS at the
    //    request's window; 0 while a search runs or results are not all taken.
    virtual int StartQuickSearch(const _tagQuickSearch* request) = 0;
    virtual int StartFieldSearch(const _tagFieldSearch* request) = 0;
    // 20. 1 when the last run was started but not finished.
    virtual int IsLastScanUnfinished() = 0;
    // 21. bScanner set: 1 while a scan runs. 0: 1 while a search runs or its results
    //     are not all taken.
    virtual int IsBusy(int bScanner) = 0;
    // 22. Cancels the scan (bScanner set) or the search and its pending results,
    //     without waiting; returns IsBusy(bScanner) right after.
    virtual int StopWork(int bScanner) = 0;
    // 23. The path the scan is working on, or "" when no scan runs or a search does.
    virtual CString GetScanningPath() = 0;

    // ------------------------------------------------ search history, statistics, lookups
    // 24. Up to maxCount history entries (text -> times searched) whose text begins
    //     with prefix (any letter case). Returns 1.
    virtual int GetSearchHistory(std::map<CString, int>& out, const CString& prefix,
                                 int maxCount) = 0;
    // 25. Pictures in that one folder.
    virtual int GetFolderPicCount(const CString& folder) = 0;
    // 26. The number of files a quick search would find (no wildcard conversion).
    virtual int CountQuickSearch(const _tagQuickSearch* request) = 0;
    // 27. Empties the search history.
    virtual int ClearSearchHistory() = 0;
    // 28 to 30. Pictures taken in a month, in a year; pictures in a folder tree.
    virtual int GetMonthPicCount(int year, int month) = 0;
    virtual int GetYearPicCount(int year) = 0;
    virtual int GetTreePicCount(const CString& folder) = 0;
    // 31. 1 when the index holds a folder below this one.
    virtual int HasIndexedSubfolder(const CString& folder) = 0;
    // 32. Folder rows: the children (or, recursive, everything at or below) of
    //     `folder`; an empty folder means the top level (or, recursive, every folder).
    virtual int GetFolders(const CString& folder, int bRecursive, std::list<_tagPathInfo>& out) = 0;
    // 33 to 36. Month rows (each with its folder's path) of a calendar month, of a time
    //     range, of one folder (exact path, no backslash added), of the whole index.
    virtual int GetMonthFoldersOfMonth(int year, int month, std::list<_tagTimePath>& out) = 0;
    virtual int GetMonthFolders(CTime from, CTime to, std::list<_tagTimePath>& out) = 0;
    virtual int GetMonthFoldersOfFolder(const CString& folder, std::list<_tagTimePath>& out) = 0;
    virtual int GetAllMonthFolders(std::list<_tagTimePath>& out) = 0;
    // 37. Year -> pictures. 38. Month (1..12) of a year -> pictures.
    virtual int GetYearTotals(std::map<int, int>& out) = 0;
    virtual int GetMonthTotalsOfYear(int year, std::map<int, int>& out) = 0;
    // 39. Files with that digest. 40. Digest -> files, for digests held more than once.
    virtual int GetFilesByMD5(CString md5, std::set<CString>& out) = 0;
    virtual int GetDuplicateFiles(std::map<CString, std::set<CString>>& out) = 0;
    // 41. Files of exactly that folder taken in a calendar month.
    virtual int GetFolderFilesOfMonth(const CString& folder, int year, int month,
                                      std::set<CString>& out) = 0;
    // 42. Files taken between from and to (inclusive), in the folder or its tree; an
    //     empty folder with bRecursive means everywhere.
    virtual int GetFilesBySnapTime(const CString& folder, int bRecursive, CTime from, CTime to,
                                   std::set<CString>& out) = 0;
    // 43. Files of the folder or of its tree.
    virtual int GetFolderFiles(const CString& folder, int bRecursive, std::set<CString>& out) = 0;
    // 44. Files taken in a calendar month, anywhere.
    virtual int GetFilesOfMonth(int year, int month, std::set<CString>& out) = 0;

    // ------------------------------------------------ index edits
    // 45. The file will be analysed again by the next scan.
    virtual int InvalidateFile(const CString& filePath) = 0;
    // 46. Renames or moves one file's row.
    virtual int RenameFile(const CString& oldPath, const CString& newPath) = 0;
    // 47. Removes one file's row and its metadata rows; flag set: also from the
    //     folder's and month's counts.
    virtual int DeleteFile(const CString& filePath, int flag) = 0;
    // 48. Renames or moves one folder's row (and the paths below it).
    virtual int RenameFolder(const CString& oldFolder, const CString& newFolder) = 0;
    // 49. Deletes everything the index holds at or below the folder.
    virtual int RemoveFolder(const CString& folder) = 0;
};
