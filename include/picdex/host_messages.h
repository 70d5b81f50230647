// The messages the library sends to the host's windows, and what their parameters
// point to. A host must be built against these definitions: the payloads are the
// library's own containers, passed by address.
//
// Every message is sent synchronously from the library's notifier thread (the only
// thread that sends), so a window procedure runs on that thread. A payload address is
// valid only during the call; the host must not keep it. lParam is the bitwise
// complement of wParam (for the three report messages, the fixed pair below).
//
// | message              | window          | wParam                              |
// |----------------------|-----------------|-------------------------------------|
// | WM_PD_FOLDERS_SAVED  | folder window   | CFolderSavedList*                   |
// | WM_PD_FOLDER_STATS   | stats window    | CFolderStatsMap*                    |
// | WM_PD_SEARCH_RESULTS | result window   | CSearchResultSet* (the live set)    |
// | WM_PD_WALK_DONE      | folder window   | kReportWParam                       |
// | WM_PD_DRIVE_DONE     | folder window   | the drive letter, zero-extended     |
// | WM_PD_NTFS_DONE      | folder window   | kReportWParam                       |
// | WM_PD_RUN_DONE       | folder window   | kReportWParam                       |
//
// While the host handles WM_PD_SEARCH_RESULTS the library holds the lock of its
// pending reports: the handler may remove paths from the set (what it leaves is
// offered again with the next results message) and may call every service operation
// except StopWork(0) and Shutdown.
#pragma once

#include <list>
#include <map>
#include <set>
#include <utility>

#include "picdex/ctime.h"
#include "picdex/types.h"

// Folders whose picture lists were saved during the folder walk.
constexpr UINT WM_PD_FOLDERS_SAVED = 0x1794;
// Per-month changes of folders whose analysis finished.
constexpr UINT WM_PD_FOLDER_STATS = 0x1795;
// Search results.
constexpr UINT WM_PD_SEARCH_RESULTS = 0x1797;
// The folder walk is done and the index was cleaned up.
constexpr UINT WM_PD_WALK_DONE = 0x1798;
// One NTFS drive was read.
constexpr UINT WM_PD_DRIVE_DONE = 0x1799;
// The NTFS phase is done (sent 1800 ms late, after WM_PD_WALK_DONE when that comes
// meanwhile).
constexpr UINT WM_PD_NTFS_DONE = 0x179A;
// The scan run is done.
constexpr UINT WM_PD_RUN_DONE = 0x179B;

// wParam and lParam of the three report messages.
constexpr WPARAM kReportWParam = 0xAA55A5A5u;
constexpr LPARAM kReportLParam = 0x55AA5A5A;

// WM_PD_FOLDERS_SAVED: (folder path, number of files new to the index), in the order
// the folders were saved.
using CFolderSavedList = std::list<std::pair<CString, int>>;
// WM_PD_FOLDER_STATS: month (the first second of the month, local time) ->
// (change of the picture count, change of the total size in bytes) ...
using CMonthStatMap = std::map<CTime, std::pair<LONG, LONGLONG>>;
// ... per folder path.
using CFolderStatsMap = std::map<CString, CMonthStatMap>;
// WM_PD_SEARCH_RESULTS: full paths of matching files.
using CSearchResultSet = std::set<CString>;

// The lParam that goes with an address or a letter in wParam.
inline LPARAM ComplementOf(WPARAM wParam) {
    return static_cast<LPARAM>(~wParam);
}
