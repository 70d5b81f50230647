// CBackSearch: the background scanner. One run brings the index up to date with the
// disks: NTFS drives are read whole from their master file tables, every other fixed
// drive and every included folder off NTFS is walked folder by folder, the pictures
// found are handed to the database writer folder by folder, and then the files that
// are new, changed or unseen are analysed (the analysis itself is the base class's).
//
// A run is a sequence of phases (m_nScanState, values fixed because the host sees them
// through the status query):
//    0 build or reload the NTFS drive list      1 read one NTFS drive per step
//    2 as 1, shown while the reader resolves folder paths
//    3 NTFS drives done, waiting for the save queue to drain
//    4 build or reload the folder list          5 walk one folder per step
//    6 walk done, waiting for the save queue to drain
//    7 find the next folder to analyse          8 analyse one file per step
//    9 waiting for the save queue to drain (then 7 again)
//   10 report the end of the run                13 run finished
//   14 cancelling                               15 cancelled after writing what was queued
// Pool thread 0 runs the phase steps (AnalyseNext) and the NTFS reader; pool thread 1
// drains the save queue and alone moves 3 -> 4, 6 -> 7 and 9 -> 7, once every queued
// task is written.
//
// Persistence: the drives and folders still to visit live in tb_ntfs_path_task and
// tb_path_task, and "BackSearchStartTime", "BackSearchStartNtfs" and
// "BackSearchStartFat" in tb_config_info say where the run stands, so a run stopped by
// Cancel or by the death of the process is continued by ContinueRun in a new process
// and ends with the index an uninterrupted run gives. Every database change of a run
// goes through the save queue (drained in transactions, in queue order), except the
// start values written by StartNewRun and the emptying of a task table when its list
// is rebuilt. The order in which the steps queue their tasks is chosen so that any
// prefix of them that reached the file leaves a state that a continued run completes
// without losing or double-counting anything (see back_search.cc).
//
// Threads: StartNewRun, ContinueRun, the status query, Pause, Resume and Cancel are
// called from the owner's thread; FinishAction from the thread that drains the save
// queue. Each container has its own lock and no two are held at once (m_csPending is
// held while the index is asked for the next folder to analyse); counters, flags and
// the current drive change only by interlocked operations.
#pragma once

#include <list>
#include <map>
#include <set>

#include "analysis/file_analyze.h"
#include "picdex/common_func.h"
#include "picdex/sync.h"
#include "scan/ntfs_reader.h"

class CBackSearch;

// The phases of a run.
enum BackSearchPhase : LONG {
    kPhaseNtfsList = 0,
    kPhaseNtfsRead = 1,
    kPhaseNtfsPaths = 2,
    kPhaseNtfsDrain = 3,
    kPhaseFolderList = 4,
    kPhaseFolderWalk = 5,
    kPhaseFolderDrain = 6,
    kPhaseAnalyseFind = 7,
    kPhaseAnalyse = 8,
    kPhaseAnalyseDrain = 9,
    kPhaseRunEnd = 10,
    kPhaseFinished = 13,
    kPhaseCancelling = 14,
    kPhaseCancelled = 15,
};

// The kinds of finish report the scanner queues (kind 1, a finished folder, is the
// analyser's).
enum BackSearchReport : int {
    kReportDriveDone = 2,
    kReportNtfsDone = 3,
    kReportWalkDone = 4,
    kReportRunDone = 5,
};

// One NTFS drive being read: the pictures the reader delivered, by folder.
struct _tagNtfsDriveScan {
    CBackSearch* pOwner = nullptr;
    LONG bReading = 0;  // 1 while the reader runs over the drive
    CString strRoot;    // "C:\" (or "c:\" when reloaded from the task table)
    // The parent reference of the folder last looked up and that folder's set, so that
    // consecutive files of one folder skip the map lookup.
    ULONGLONG nLastParent = 0;
    std::map<CString, std::set<_tagSimpleFileInfo>> mapFolders;
    std::set<_tagSimpleFileInfo>* pCurFolder = nullptr;
};

// What the status query reports.
struct BackSearchStatus {
    int nPhase = 0;
    WORD wDrive = 0;       // the NTFS drive being read, 0 when none
    int nCount1 = 0;       // a count that nothing increments (always 0)
    int nRecordsSeen = 0;  // MFT records examined, this run
    int nPictures = 0;     // pictures found on NTFS drives, this run
    int nFilesQueued = 0;  // picture files of folder lists queued for saving
    int nFilesSaved = 0;   // ... and written
};

class CBackSearch : public CFileAnalyze {
public:
    // The configuration keys of a run's state.
    static constexpr wchar_t kStartTimeKey[] = L"BackSearchStartTime";
    static constexpr wchar_t kFinishTimeKey[] = L"BackSearchFinishTime";
    static constexpr wchar_t kStartNtfsKey[] = L"BackSearchStartNtfs";
    static constexpr wchar_t kStartFatKey[] = L"BackSearchStartFat";

    // `db` is the database layer every change of a scan is written through.
    explicit CBackSearch(CDbFacade* db = nullptr);
    // Stops a drive read, cancels the pool and waits for it.
    ~CBackSearch() override;

    // A new run: 0 when the pool is running or the start values cannot be written;
    // otherwise stores a new start time, marks both lists as to be rebuilt, and
    // continues as ContinueRun.
    int StartNewRun();
    // Continues the stored run (a new one when the lists were never built): 0 when the
    // pool is running or cannot be started, else 1.
    int ContinueRun();

    // The status read-out, in the host's order. A phase 1 found while the reader
    // resolves folder paths is turned into 2 first. Null pointers are skipped.
    void GetScanStatus(int* pState, WORD* pDrive, int* pCount1, int* pCount2, int* pCount3,
                       int* pCount4, int* pCount5);
    BackSearchStatus GetStatus();

    // As the pool's, and a drive being read stops at its next chunk: its read is
    // abandoned and done again from the start once the pool runs again.
    int Pause(int bWait) override;
    // Moves to phase 14, stops a drive being read, drops the analysis work list, and
    // cancels the pool.
    void Cancel(int bWait) override;
    // On the pool thread as the pool is cancelled: reports the end of the NTFS phase if
    // pictures were saved and it was not reported yet, writes every queued task (phase
    // 14, then 15), and empties the in-memory lists.
    void OnCancel() override;
    // The phase step on pool thread 0: 1 when it did something (moving the run to its
    // next phase included), 0 when this phase has nothing to do, 2 when it stopped for
    // a cancel or looked whether the queue has drained, -1 when a drive could not be
    // opened.
    int AnalyseNext(unsigned int nIndex) override;

    // Run by the database writer when it executes the end-of-run report: when the last
    // finished run is older than the current run's start, rebuilds the per-month
    // figures and stores the finish time.
    void FinishAction();

    // The save queue of the run, with its queued and saved counters.
    CSaveQueue& GetSaveQueue() { return m_saveQueue; }
    // The current phase.
    LONG GetPhase() const { return m_nScanState.load(); }

    // A last-write time as the NTFS volume stores it (100 ns units since 1601, UTC) as
    // the calendar time the folder listing reports for the same file. False, with `t`
    // 0, when the system would refuse to convert it (top bit set) or it has no local
    // calendar form.
    static bool NtfsTimeToCTime(ULONGLONG fileTime, CTime& t);

protected:
    // The steps of the phases.
    int StepNtfsList();
    int NextNtfsDrive();
    int StepFolderList();
    int NextFatFolder();
    int NextAnalyseFolder();
    // The next folder to analyse as the index gives it, leaving out the stuck folders.
    bool FindFolderToAnalyse(CString& folder, std::set<CString>& names);
    int StepRunEnd();

    // Queues the drive's removal from the task list and, with bReport, its drive-done
    // report; after the last drive, the end of the NTFS phase when pictures were saved.
    void FinishDrive(const CString& root, bool bReport);
    // The reader's per-picture callback (on pool thread 0, inside ReadAll).
    static void OnNtfsFile(_tagMftEntry* entry, int reserved, void* context);
    void AddNtfsFile(_tagNtfsDriveScan& scan, const _tagMftEntry& entry);
    // Stops a drive being read and marks its read as incomplete.
    void StopDriveRead();
    // Phases 3, 6 and 9 on thread 0: waits a moment for thread 1 to move the run on.
    int WaitForDrain();
    // Wakes thread 1 when thread 0 enters a phase that waits for the queue.
    void EnterPhase(LONG from, LONG to);
    // The pool's thread function: ThreadProc on thread 0, the flush on thread 1 (resting
    // while it has nothing to write); a failing statement does not end a thread.
    static DWORD ScanThreadProc(void* pThis, unsigned int nIndex);
    // Thread 1, before each flush: waits while there is nothing to write yet.
    void RestWriter();

    void SetScanPath(const CString& path);
    // Moves the phase from `from` to `to`; false (nothing changed) when the phase is no
    // longer `from` (a cancel got there first).
    bool MovePhase(LONG from, LONG to);
    void EmptyLists();

    InterlockedLong m_bAnalyseExhausted{0};
    InterlockedLong m_bNtfsFinishSent{0};
    std::set<CString> m_setFatFolders;
    CCriticalSection m_csFatFolders;
    InterlockedLong m_nCurDrive{0};
    InterlockedLong m_nDoneCounters[3] = {};
    CNtfsReader m_reader;
    std::set<CString> m_setNtfsDrives;
    CCriticalSection m_csNtfsDrives;
    std::list<_tagNtfsDriveScan> m_listDriveScans;
    CCriticalSection m_csDriveScans;

private:
    // Incremented by every Pause and Cancel: a drive read during which it changed was
    // stopped and is incomplete.
    InterlockedLong m_nStopGen{0};
    // Set when thread 0 enters a phase that waits for the save queue.
    CEvent m_evPhase;
    // Consecutive failures of the query for the next folder to analyse.
    int m_nQueryFailures = 0;
    // Folders (ids) whose files stay chosen for analysis however often they are
    // analysed; left out of the search for the rest of the run.
    std::set<int> m_setStuckFolders;
    // The folder and file names last handed to the analyser by phase 7; the same pair
    // found again right after means the analysis could not change those files.
    CString m_strLastAnalysed;
    std::set<CString> m_setLastAnalysed;
    // The running value of the count that nothing increments.
    InterlockedLong m_nRunningZero{0};
};
