// What the database layer tells the service object while it writes a scan: saved
// folders, per-month changes of finished folders, finished drives, and the ends of the
// scan's phases and of the run. The service object implements this interface and
// hands it to the database layer (CDbFacade::SetReportSink); the database layer never
// depends on the service or the scanner themselves.
//
// Every call is made on the thread that drains the save queue, after the write it
// reports; the implementation takes its own lock and must not wait for that thread.
#pragma once

#include <map>
#include <utility>

#include "platform/ctime.h"
#include "platform/types.h"

// Month (the first second of the month, local time) -> (change of the picture count,
// change of the total size in bytes).
using CMonthChangeMap = std::map<CTime, std::pair<LONG, LONGLONG>>;

class IDbReportSink {
public:
    virtual ~IDbReportSink() = default;

    // A folder's file list was saved with the notify flag; `newFiles` is the number of
    // files new to the index.
    virtual void OnFolderSaved(const CString& folder, int newFiles) = 0;
    // A folder's analysis finished (finish report kind 1): its per-month changes, new
    // figures minus those it had when its analysis began.
    virtual void OnFolderStats(const CString& folder, const CMonthChangeMap& changes) = 0;
    // An NTFS drive is done (finish report kind 2).
    virtual void OnDriveDone(wchar_t letter) = 0;
    // The NTFS phase is done and the folder counts were refreshed (kind 3).
    virtual void OnNtfsPhaseDone() = 0;
    // The folder walk is done (kind 4): the service runs its clean-ups and reports.
    virtual void OnFolderWalkDone() = 0;
    // The run is done (kind 5): first the scanner's finish action, then the report.
    virtual void RunScanFinishAction() = 0;
    virtual void OnRunDone() = 0;
};
