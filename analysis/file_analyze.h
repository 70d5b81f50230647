// CFileAnalyze: turns queued picture files, one at a time, into file-detail records and
// hands them to the database writer through its embedded save queue. It is the worker
// base of the background scanner, which derives from it, fills m_mapPending, drives
// m_nScanState and starts the pool with ThreadProc.
//
// The pool has two threads: thread 0 analyses files (AnalyseNext, then FinishFolders
// when a folder became complete), thread 1 keeps the save queue flowing into the
// database (FlushOrAdvance). Records reach the database in batches: once 100 are
// waiting, once the oldest waiting one is 3 seconds old, or at once while the scanner
// is in one of its closing states (3, 6, 9, 12, 13).
//
// A folder goes: queued (an entry with names in m_mapPending) -> in work (in the
// analysing thread's m_strCurFolder) -> complete (an entry with an empty set, the folder
// in m_setFinished) -> reported (a finish report of kind 1 queued). The empty entry is
// erased by the next AnalyseNext. A folder that vanishes leaves m_mapPending at once
// and is never reported.
//
// Locks: m_csPending guards m_mapPending, m_strCurFolder and m_setFinished and is never
// held here while calling the database or the save queue; m_csScanPath guards
// m_strScanPath alone. m_bFolderDone and m_nScanState change only atomically.
//
// The static AnalyseFile forms need no analyser: the facts-only form (bFull = 0) is also
// used on a bare file record to refresh one file's facts.
#pragma once

#include <map>
#include <set>

#include "db/records.h"
#include "db/save_queue.h"
#include "picdex/long_thread.h"
#include "picdex/sync.h"

class CDbFacade;

class CFileAnalyze : public CLongThread {
public:
    // Files larger than this are not read (their facts are still stored).
    static constexpr LONGLONG kMaxReadSize = 104857600;
    // Records waiting in the save queue before thread 1 writes them without waiting.
    static constexpr LONG kBatchRecords = 100;
    // Milliseconds the oldest waiting record may wait.
    static constexpr DWORD kBatchWaitMs = 3000;
    // Milliseconds the flushing thread waits between looks at an empty save queue.
    static constexpr DWORD kIdleLookMs = 50;

    // Two pool threads at priority -3; empty containers; scan state 0. The database
    // layer object may be given later with SetFacade, before the pool starts.
    explicit CFileAnalyze(CDbFacade* db = nullptr);
    // Cancels the pool and waits for it before the members go.
    ~CFileAnalyze() override;

    void SetFacade(CDbFacade* db);
    CDbFacade* GetFacade() const { return m_pDb; }

    // Drops every queued file (under m_csPending), then cancels the pool. The finished
    // set and the save queue keep their contents.
    void Cancel(int bWait) override;
    // Analyses the next queued file on pool thread nIndex: 1 if the queue had an entry
    // (also an empty one, which is only erased), 0 if it was empty.
    // (The interface has no further virtual: one after this would have no behaviour.)
    virtual int AnalyseNext(unsigned int nIndex);

    // The pool's thread function; pThis is the analyser (or the scanner derived from it).
    static DWORD ThreadProc(void* pThis, unsigned int nIndex);
    // Keeps the save queue flowing: 1 = drained or waited, 0 = nothing pending (the
    // closing states 3, 6, 9, 12 then advance to 4, 7, 7, 10).
    int FlushOrAdvance();
    // Reports the lowest finished folder unless a pool thread is still working on it.
    void FinishFolders();
    // A copy of m_strScanPath, taken under its lock.
    CString GetScanPath();

    // Fills the record from the file at `path` (a library path). bFull = 0 touches only
    // the file facts (name, extension, size, times, search time) and never reads the
    // file; bFull = 1 also reads the file (up to kMaxReadSize bytes) for its pixel facts
    // and metadata, with the MD5 digest text in strMD5 when bDigest is set ("0"
    // otherwise). 1 on success; 0 when the file cannot be opened, its facts read, it is
    // too large, or it cannot be read (name and extension are set in any case, and what
    // was reached before the failure stays).
    static int AnalyseFile(_tagFileDetail& detail, const CString& path, int bFull, int bDigest);
    static int AnalyseFile(_tagFileInfo& info, const CString& path, int bFull, int bDigest);
    // Times, size and search time from an open file; the snapshot time becomes the
    // creation time when it is not set yet. 0 when a call fails or a time has no local
    // calendar form.
    static int ReadFileFacts(_tagFileInfo& info, HANDLE file);

protected:
    // 1 when AnalyseNext completed a folder and FinishFolders has not run since.
    InterlockedLong m_bFolderDone{0};
    // The scanner's state; only read here, and advanced by FlushOrAdvance.
    InterlockedLong m_nScanState{0};
    // The folder the scanner reports as being scanned.
    CString m_strScanPath;
    CCriticalSection m_csScanPath;
    // Folder path (with trailing backslash) -> names of its files waiting for analysis.
    std::map<CString, std::set<CString>> m_mapPending;
    // Per pool thread: the folder whose file it is analysing; empty when idle.
    CString m_strCurFolder[kMaxThreads];
    // Folders whose last queued file is done and whose finish is not reported yet.
    std::set<CString> m_setFinished;
    CCriticalSection m_csPending;
    CSaveQueue m_saveQueue;
    CDbFacade* m_pDb;
};
