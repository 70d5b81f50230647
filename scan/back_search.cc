// CBackSearch: the phases of a run, the NTFS drive step with its per-file callback, the
// folder walk, the choice of the next folder to analyse, the end of the run and the
// finish action.
//
// How a run survives the death of the process. The save queue is written in queue
// order, each drain in one transaction, so after a kill the file holds the effect of
// some prefix of the queued tasks (the tasks of the drain that was under way are
// rolled back by SQLite). Each step queues its tasks so that every such prefix is a
// state a continued run completes:
// - A drive leaves tb_ntfs_path_task only after the file lists of all its folders
//   (CSaveDelNtfsDrive is queued last), so a drive cut short is read again whole.
// - A folder leaves tb_path_task only after its sub-folders have entered it and its
//   file list has been saved (CSaveDelFatFolder is queued last, not first), so a
//   folder cut short is walked again and no sub-folder is lost. Walking a folder
//   twice is harmless: saving a file list again only renews the search times.
// - "BackSearchStartNtfs" and "BackSearchStartFat" become "1" after the rows of
//   their lists, so a list cut short is rebuilt from the drives and filters.
// - StartNewRun marks both lists for rebuilding before it stores the new start time,
//   in one transaction; a kill between the writes can thus never leave the half-done
//   lists of the old run under the new start time (the files the old run had already
//   seen would then count as unseen and be removed).
// - An analysed file's record is one task; a file whose record did not reach the file
//   still has an empty digest and is chosen again. Its folder's kind-1 report may be
//   lost with the process: the folder's counts are then those the writer keeps up to
//   date with each record, and its months are rebuilt by the end-of-run action.
// - The end-of-walk and end-of-run reports are queued again by a continued run, which
//   finds the lists empty.
#include "scan/back_search.h"

#include <algorithm>
#include <iterator>

#include "db/db_facade.h"
#include "db/sql_literal.h"
#include "db/sql_texts.h"
#include "db/text_codec.h"
#include "platform/file.h"

namespace {

// Text of the current local time in the stored form.
CString NowText() {
    return Utf8ToWide(TimeText(CTime::GetCurrentTime()));
}

// A list is built when its stored value compares above "0".
bool IsStarted(const CString& value) {
    return value.compare(L"0") > 0;
}

// Milliseconds thread 0 waits per call in a phase that waits for the save queue.
constexpr DWORD kDrainPollMs = 2;
// Milliseconds thread 1 rests per call while there is nothing to write, and at most
// per look while a batch fills.
constexpr DWORD kIdleWriterMs = 50;
constexpr DWORD kWriterSliceMs = 300;

bool IsDrainPhase(LONG phase) {
    return phase == kPhaseNtfsDrain || phase == kPhaseFolderDrain || phase == kPhaseAnalyseDrain ||
           phase == 12 || phase == kPhaseFinished;
}

}  // namespace

CBackSearch::CBackSearch(CDbFacade* db) : CFileAnalyze(db) {}

CBackSearch::~CBackSearch() {
    m_nScanState.store(kPhaseCancelling);
    StopDriveRead();
    // OnCancel and the thread function use this class's members: the pool must be gone
    // before they are.
    CFileAnalyze::Cancel(1);
}

// ---------------------------------------------------------------- starting a run

int CBackSearch::StartNewRun() {
    if (!IsFinish()) return 0;
    CDbFacade* db = GetFacade();
    if (!db) return 0;
    try {
        CScopedTransaction txn(&db->GetDbMng());
        if (!db->SetConfig(kStartFatKey, L"0")) return 0;
        if (!db->SetConfig(kStartNtfsKey, L"0")) return 0;
        if (!db->SetConfig(kStartTimeKey, NowText())) return 0;
    } catch (const CppSQLite3Exception&) {
        return 0;
    }
    return ContinueRun();
}

int CBackSearch::ContinueRun() {
    if (!IsFinish()) return 0;
    m_saveQueue.Reset();
    {
        CSingleLock lock(&m_csPending, TRUE);
        m_mapPending.clear();
        m_strLastAnalysed.clear();
        m_setLastAnalysed.clear();
        m_nQueryFailures = 0;
        m_setStuckFolders.clear();
    }
    EmptyLists();
    // Everything a run starts from is set before the pool starts: a pool started while
    // the phase still said 13 (the end of the last run) could end at once.
    m_nScanState.store(kPhaseNtfsList);
    InterlockedExchange(&m_bAnalyseExhausted, 0);
    InterlockedExchange(&m_nRunningZero, 0);
    m_reader.m_nRecordsSeen.store(0);
    m_reader.m_nPictureCount.store(0);
    InterlockedExchange(&m_nCurDrive, 0);
    for (InterlockedLong& c : m_nDoneCounters)
        InterlockedExchange(&c, 0);
    InterlockedExchange(&m_bNtfsFinishSent, 0);
    m_evPhase.ResetEvent();
    if (!Start(&CBackSearch::ScanThreadProc, this, 1)) return 0;
    return 1;
}

DWORD CBackSearch::ScanThreadProc(void* pThis, unsigned int nIndex) {
    auto* self = static_cast<CBackSearch*>(pThis);
    try {
        if (nIndex != 1) return CFileAnalyze::ThreadProc(pThis, nIndex);
        // Thread 1 flushes as ThreadProc's flushing branch does, but rests in
        // RestWriter, which thread 0 can cut short, rather than for a fixed time
        // after each empty look: the look that moves the run on (9 -> 7 after each
        // analysed folder) must not delay the next folder.
        self->RestWriter();
        if (self->FlushOrAdvance() == 1) return 1;
        if (self->GetPhase() != kPhaseFinished) return 1;
        // The finished run's queue is written and thread 1 ends; thread 0, idle since
        // the run finished, is woken so that the pool ends now rather than after its
        // idle wait.
        self->m_evNotify.SetEvent();
        return 0;
    } catch (...) {
        // A statement that fails inside a drain has already cost its task; the thread
        // goes on with the next ones rather than ending and leaving the run stuck.
        return 1;
    }
}

void CBackSearch::RestWriter() {
    // Left to choose: thread 1 has nothing to write while the queue is empty and the
    // run does not wait for it, or while the waiting batch is neither full nor old. It
    // rests until one of those changes, thread 0 enters a phase that waits for the
    // queue (m_evPhase, reset before the phase is looked at, so that no entry is
    // missed), or the pool is paused or cancelled; then the flush runs as usual.
    HANDLE wait[2] = {m_evPhase, GetCancelHandle()};
    for (;;) {
        m_evPhase.ResetEvent();
        if (IsDrainPhase(GetPhase()) || IsUserPause() || IsUserCancel()) return;
        DWORD ms = kIdleWriterMs;
        if (m_saveQueue.GetPending() != 0) {
            DWORD first = m_saveQueue.GetFirstTick();
            DWORD age = first ? GetTickCount() - first : kBatchWaitMs;
            if (m_saveQueue.GetPending() >= kBatchRecords || age >= kBatchWaitMs) return;
            ms = std::min<DWORD>(kBatchWaitMs - age, kWriterSliceMs);
        }
        if (WaitForMultipleObjects(2, wait, FALSE, ms) != WAIT_TIMEOUT) return;
        if (m_saveQueue.GetPending() == 0) return;
    }
}

// ---------------------------------------------------------------- status and control

void CBackSearch::GetScanStatus(int* pState, WORD* pDrive, int* pCount1, int* pCount2, int* pCount3,
                                int* pCount4, int* pCount5) {
    BackSearchStatus s = GetStatus();
    if (pState) *pState = s.nPhase;
    if (pDrive) *pDrive = s.wDrive;
    if (pCount1) *pCount1 = s.nCount1;
    if (pCount2) *pCount2 = s.nRecordsSeen;
    if (pCount3) *pCount3 = s.nPictures;
    if (pCount4) *pCount4 = s.nFilesQueued;
    if (pCount5) *pCount5 = s.nFilesSaved;
}

BackSearchStatus CBackSearch::GetStatus() {
    BackSearchStatus s;
    LONG phase = m_nScanState.load();
    // Only a 1 becomes a 2: a compare-exchange, so that a phase thread 0 has moved on
    // meanwhile is never set back.
    if (phase == kPhaseNtfsRead && m_reader.m_bSecondPass.load() &&
        MovePhase(phase, kPhaseNtfsPaths))
        phase = kPhaseNtfsPaths;
    s.nPhase = phase;
    s.wDrive = WORD(m_nCurDrive.load());
    s.nCount1 = m_nDoneCounters[0].load() + m_nRunningZero.load();
    s.nRecordsSeen = m_nDoneCounters[1].load() + m_reader.m_nRecordsSeen.load();
    s.nPictures = m_nDoneCounters[2].load() + m_reader.m_nPictureCount.load();
    s.nFilesQueued = m_saveQueue.GetQueued(kSaveListedFiles);
    s.nFilesSaved = m_saveQueue.GetSaved(kSaveListedFiles);
    return s;
}

void CBackSearch::StopDriveRead() {
    InterlockedIncrement(&m_nStopGen);
    m_reader.m_bKeepReading.store(0);
}

int CBackSearch::Pause(int bWait) {
    // The run gate closes first and the drive read is stopped after it: a read that
    // began before the gate closed then always sees the stop (see NextNtfsDrive).
    int paused = CFileAnalyze::Pause(0);
    StopDriveRead();
    // A thread that has ended counts as parked: at the end of a run thread 1 may be gone
    // while thread 0 parks, and waiting for both acknowledgements would never end.
    if (paused && bWait) WaitForParked();
    return paused;
}

void CBackSearch::Cancel(int bWait) {
    m_nScanState.store(kPhaseCancelling);
    StopDriveRead();
    CFileAnalyze::Cancel(bWait);
}

void CBackSearch::OnCancel() {
    m_reader.m_bKeepReading.store(0);
    if (InterlockedExchange(&m_bNtfsFinishSent, 1) == 0 &&
        m_saveQueue.GetSaved(kSaveListedFiles) != 0)
        m_saveQueue.QueueFinishReport(kReportNtfsDone, CString());
    if (m_saveQueue.GetPending() != 0) {
        m_nScanState.store(kPhaseCancelling);
        try {
            m_saveQueue.Drain(nullptr);
        } catch (...) {
            // The failing task is gone; what was queued after it stays in the queue
            // and is dropped by the next run's start. The task lists still hold what
            // was not done, so a continued run does it again.
        }
        m_nScanState.store(kPhaseCancelled);
    }
    EmptyLists();
    {
        CSingleLock lock(&m_csPending, TRUE);
        m_mapPending.clear();
    }
    InterlockedExchange(&m_bAnalyseExhausted, 0);
}

void CBackSearch::EmptyLists() {
    {
        CSingleLock lock(&m_csDriveScans, TRUE);
        m_listDriveScans.clear();
    }
    {
        CSingleLock lock(&m_csNtfsDrives, TRUE);
        m_setNtfsDrives.clear();
    }
    {
        CSingleLock lock(&m_csFatFolders, TRUE);
        m_setFatFolders.clear();
    }
}

void CBackSearch::SetScanPath(const CString& path) {
    CSingleLock lock(&m_csScanPath, TRUE);
    m_strScanPath = path;
}

bool CBackSearch::MovePhase(LONG from, LONG to) {
    return m_nScanState.compare_exchange_strong(from, to);
}

void CBackSearch::EnterPhase(LONG from, LONG to) {
    if (!MovePhase(from, to)) return;
    if (IsDrainPhase(to)) {
        // Thread 1 may be resting or waiting for a batch to fill: the queue is to be
        // written now.
        m_evPhase.SetEvent();
        m_evNotify.SetEvent();
    }
}

// ---------------------------------------------------------------- the phase step

int CBackSearch::AnalyseNext(unsigned int /*nIndex*/) {
    LONG phase = m_nScanState.load();
    try {
        switch (phase) {
            case kPhaseNtfsList:
                return StepNtfsList();
            case kPhaseNtfsRead:
            case kPhaseNtfsPaths: {
                int r = NextNtfsDrive();
                if (r == 0) {
                    EnterPhase(phase, kPhaseNtfsDrain);
                    // Left to choose: a step that moves the run on reports work, so
                    // that the next phase starts at once instead of after the pool's
                    // idle wait (likewise in the other phases below).
                    return 1;
                }
                MovePhase(phase, kPhaseNtfsRead);
                return r;
            }
            case kPhaseFolderList:
                return StepFolderList();
            case kPhaseFolderWalk: {
                int r = NextFatFolder();
                if (r == 0) {
                    // The report is queued before the phase moves: thread 1 leaves
                    // phase 6 only once everything queued is written.
                    if (GetPhase() == kPhaseFolderWalk) {
                        m_saveQueue.QueueFinishReport(kReportWalkDone, CString());
                        EnterPhase(kPhaseFolderWalk, kPhaseFolderDrain);
                    }
                    return 1;
                }
                return r;
            }
            case kPhaseAnalyseFind: {
                if (GetActiveThreadCount() > 2) {
                    WaitIfNormal();
                    return 1;
                }
                int r = NextAnalyseFolder();
                EnterPhase(kPhaseAnalyseFind, r == 0 ? kPhaseRunEnd : kPhaseAnalyse);
                return r == 0 ? 1 : r;
            }
            case kPhaseAnalyse: {
                int r = CFileAnalyze::AnalyseNext(0);
                if (r != 0) return r;
                if (GetActiveThreadCount() > 2) {
                    WaitIfNormal();
                    return 1;
                }
                EnterPhase(kPhaseAnalyse, kPhaseAnalyseDrain);
                return 1;
            }
            case kPhaseRunEnd:
                if (GetActiveThreadCount() > 2) {
                    WaitIfNormal();
                    return 1;
                }
                return StepRunEnd();
            case kPhaseNtfsDrain:
            case kPhaseFolderDrain:
            case kPhaseAnalyseDrain:
                return WaitForDrain();
            default:
                return 0;
        }
    } catch (...) {
        // Every step takes its item off its list before it touches the database, so a
        // failing statement costs that item only; the run goes on with the next.
        return 1;
    }
}

int CBackSearch::WaitForDrain() {
    // Left to choose: thread 0 does not go idle (which would cost it up to 300 ms per
    // folder) but looks again after a short wait; thread 1 moves the phase on.
    WaitForSingleObject(GetCancelHandle(), kDrainPollMs);
    return 2;
}

// ---------------------------------------------------------------- NTFS drives

int CBackSearch::StepNtfsList() {
    MovePhase(kPhaseNtfsList, kPhaseNtfsRead);
    CDbFacade* db = GetFacade();
    if (!db) return 1;
    CString started = L"0";
    db->GetConfig(kStartNtfsKey, started);
    if (IsStarted(started)) {
        std::set<CString> roots;
        db->GetNtfsPathTasks(roots);
        CSingleLock lock(&m_csNtfsDrives, TRUE);
        m_setNtfsDrives = std::move(roots);
    } else {
        if (!db->IsOpen()) return 1;
        try {
            db->GetDbMng().Execute(sqltext::kNtfsTaskDeleteAll);
        } catch (const CppSQLite3Exception&) {
            return 1;
        }
        std::set<CString> roots;
        CCommonFunc::GetAllDrivers(roots, 1, 1, 0);
        {
            CSingleLock lock(&m_csNtfsDrives, TRUE);
            m_setNtfsDrives = roots;
        }
        for (const CString& root : roots)
            m_saveQueue.QueueAddNtfsDrive(root[0]);
    }
    m_saveQueue.QueueSetConfig(kStartNtfsKey, L"1");
    CString start;
    if (!db->GetConfig(kStartTimeKey, start)) m_saveQueue.QueueSetConfig(kStartTimeKey, NowText());
    return 1;
}

int CBackSearch::NextNtfsDrive() {
    CString root;
    {
        CSingleLock lock(&m_csNtfsDrives, TRUE);
        if (m_setNtfsDrives.empty()) return 0;
        root = *m_setNtfsDrives.begin();
        m_setNtfsDrives.erase(m_setNtfsDrives.begin());
    }
    SetScanPath(root);
    CDbFacade* db = GetFacade();
    if (root.empty() || !db) return 1;
    if (db->GetFilterType(root) == 1 && !db->HasIncludedBelow(root)) {
        FinishDrive(root, false);
        return 1;
    }

    _tagNtfsDriveScan* scan = nullptr;
    {
        CSingleLock lock(&m_csDriveScans, TRUE);
        scan = &m_listDriveScans.emplace_back();
        scan->pOwner = this;
        scan->bReading = 1;
        scan->strRoot = root;
    }
    auto dropScan = [&] {
        CSingleLock lock(&m_csDriveScans, TRUE);
        m_listDriveScans.remove_if([&](const _tagNtfsDriveScan& s) { return &s == scan; });
    };
    InterlockedExchange(&m_nCurDrive, LONG(root[0]));
    m_reader.m_pfnFound = &CBackSearch::OnNtfsFile;
    m_reader.m_pContext = scan;
    if (root[0] > 0x7F || !m_reader.OpenVolume(char(root[0]))) {
        // Not NTFS (or no longer): skipped for the rest of this run; its task row stays.
        dropScan();
        InterlockedExchange(&m_nCurDrive, 0);
        return -1;
    }

    // A Pause or Cancel from here on changes the stop count (after closing the run gate
    // or setting the cancel event), so a read it cut short is never taken as complete.
    LONG stopGen = m_nStopGen.load();
    bool stopped = IsUserCancel() || IsUserPause();
    if (!stopped) {
        if (m_reader.ReadBoot()) m_reader.ReadAll();
        stopped = m_nStopGen.load() != stopGen;
    }
    if (IsUserCancel()) {
        // The drive's task row stays, so a continued run reads it again.
        CSingleLock lock(&m_csDriveScans, TRUE);
        m_listDriveScans.clear();
        return 2;
    }
    if (stopped) {
        // Left to choose: a pause stops the reader at its next chunk; the partial
        // result is dropped and the drive is read again, whole, once the run resumes.
        {
            CSingleLock lock(&m_csNtfsDrives, TRUE);
            m_setNtfsDrives.insert(root);
        }
        dropScan();
        m_reader.m_nRecordsSeen.store(0);
        m_reader.m_nPictureCount.store(0);
        InterlockedExchange(&m_nCurDrive, 0);
        return 1;
    }

    InterlockedExchange(&m_nCurDrive, 0);
    std::map<CString, std::set<_tagSimpleFileInfo>> folders;
    {
        CSingleLock lock(&m_csDriveScans, TRUE);
        scan->bReading = 0;
        folders.swap(scan->mapFolders);
        scan->pCurFolder = nullptr;
    }
    InterlockedExchangeAdd(&m_nDoneCounters[0], InterlockedExchange(&m_nRunningZero, 0));
    InterlockedExchangeAdd(&m_nDoneCounters[1], m_reader.m_nRecordsSeen.exchange(0));
    InterlockedExchangeAdd(&m_nDoneCounters[2], m_reader.m_nPictureCount.exchange(0));
    for (auto& [folder, files] : folders) {
        if (db->GetFilterType(folder) == 1) continue;
        // The reader gives folder paths without their trailing backslash (but the
        // root's); the index stores them with it.
        CString path = folder;
        CCommonFunc::CheckFolderName(path);
        m_saveQueue.QueueFolderFiles(path, files, 0);
    }
    folders.clear();
    dropScan();
    FinishDrive(root, true);
    return 1;
}

void CBackSearch::FinishDrive(const CString& root, bool bReport) {
    m_saveQueue.QueueDelNtfsDrive(root[0]);
    if (bReport) m_saveQueue.QueueFinishReport(kReportDriveDone, root);
    CSingleLock lock(&m_csNtfsDrives, TRUE);
    if (m_setNtfsDrives.empty() && m_saveQueue.GetSaved(kSaveListedFiles) != 0) {
        InterlockedExchange(&m_bNtfsFinishSent, 1);
        m_saveQueue.QueueFinishReport(kReportNtfsDone, root);
    }
}

void CBackSearch::OnNtfsFile(_tagMftEntry* entry, int /*reserved*/, void* context) {
    auto* scan = static_cast<_tagNtfsDriveScan*>(context);
    if (!entry || !scan || !scan->pOwner) return;
    scan->pOwner->AddNtfsFile(*scan, *entry);
}

void CBackSearch::AddNtfsFile(_tagNtfsDriveScan& scan, const _tagMftEntry& entry) {
    if (!entry.szName) return;
    if (!scan.pCurFolder || entry.nParentRef != scan.nLastParent) {
        CString folder = entry.szFolderPath ? CString(entry.szFolderPath) : scan.strRoot;
        scan.pCurFolder = &scan.mapFolders[folder];
        scan.nLastParent = entry.nParentRef;
        SetScanPath(folder);
        // A pause or cancel that came before the reader started is seen here, in the
        // folder pass, at the latest.
        if (IsUserCancel() || IsUserPause()) StopDriveRead();
    }
    _tagSimpleFileInfo info;
    info.strFileName = entry.szName;
    info.iFileSize = entry.nFileSize;
    NtfsTimeToCTime(entry.nLastModifyTime, info.tFileModify);
    scan.pCurFolder->insert(std::move(info));
}

bool CBackSearch::NtfsTimeToCTime(ULONGLONG fileTime, CTime& t) {
    constexpr ULONGLONG kTicksPerSecond = 10000000;
    constexpr LONGLONG kSecondsTo1970 = 11644473600LL;
    t = CTime();
    // The system's conversion refuses times with the top bit set.
    if (fileTime >= (ULONGLONG(1) << 63)) return false;
    CTime converted(LONGLONG(fileTime / kTicksPerSecond) - kSecondsTo1970);
    // Left to choose: a time without a local calendar form is stored as 0, which is
    // also what the analyser stores for such a file; the two then agree and the file
    // is not analysed again on every run.
    if (!converted.GetLocalFields().valid) return false;
    t = converted;
    return true;
}

// ---------------------------------------------------------------- the folder walk

int CBackSearch::StepFolderList() {
    MovePhase(kPhaseFolderList, kPhaseFolderWalk);
    CDbFacade* db = GetFacade();
    if (!db) return 1;
    CString started = L"0";
    db->GetConfig(kStartFatKey, started);
    bool empty = false;
    if (IsStarted(started)) {
        std::set<CString> folders;
        db->GetPathTasks(folders);
        db->RemoveExcluded(folders);
        CSingleLock lock(&m_csFatFolders, TRUE);
        m_setFatFolders = std::move(folders);
        empty = m_setFatFolders.empty();
    } else {
        if (!db->IsOpen()) return 1;
        try {
            db->GetDbMng().Execute(sqltext::kPathTaskDeleteAll);
        } catch (const CppSQLite3Exception&) {
            return 1;
        }
        std::set<CString> folders;
        db->GetIncludedFilters(folders);
        for (auto it = folders.begin(); it != folders.end();)
            it = CCommonFunc::IsInNTFS(*it) ? folders.erase(it) : std::next(it);
        CCommonFunc::GetAllDrivers(folders, 1, 0, 1);
        db->RemoveExcluded(folders);
        {
            CSingleLock lock(&m_csFatFolders, TRUE);
            m_setFatFolders = folders;
        }
        empty = folders.empty();
        m_saveQueue.QueueAddFatFolders(folders);
    }
    if (empty) m_saveQueue.QueueFinishReport(kReportWalkDone, CString());
    m_saveQueue.QueueSetConfig(kStartFatKey, L"1");
    if (empty) EnterPhase(kPhaseFolderWalk, kPhaseFolderDrain);
    return 1;
}

int CBackSearch::NextFatFolder() {
    CString entry;
    {
        CSingleLock lock(&m_csFatFolders, TRUE);
        if (m_setFatFolders.empty()) return 0;
        entry = *m_setFatFolders.begin();
        m_setFatFolders.erase(m_setFatFolders.begin());
    }
    CString folder = entry;
    CCommonFunc::CheckFolderName(folder);
    SetScanPath(folder);
    CDbFacade* db = GetFacade();
    if (!db || db->GetFilterType(folder) == 1) {
        m_saveQueue.QueueDelFatFolder(entry);
        return 1;
    }

    std::set<_tagSimpleFileInfo> files;
    std::set<CString> listed;
    if (!CCommonFunc::EnumFolderChild(folder, files, listed, GetCancelHandle())) {
        // Cancelled while listing: the folder stays in tb_path_task (its removal is
        // not queued), so a continued run lists it again. Any other failure (gone,
        // unreadable): dropped from the walk.
        if (IsUserCancel()) return 2;
        m_saveQueue.QueueDelFatFolder(entry);
        return 1;
    }
    // Left to choose: the walk list holds folders with their trailing backslash, as
    // the drive roots and the filters' folders have it, so that one folder reached
    // both from its parent and as an included folder is one entry.
    std::set<CString> subFolders;
    for (CString sub : listed) {
        CCommonFunc::CheckFolderName(sub);
        subFolders.insert(std::move(sub));
    }
    db->RemoveExcluded(subFolders);
    m_saveQueue.QueueAddFatFolders(subFolders);
    {
        CSingleLock lock(&m_csFatFolders, TRUE);
        m_setFatFolders.insert(subFolders.begin(), subFolders.end());
    }
    if (!files.empty()) m_saveQueue.QueueFolderFiles(folder, files, 1);
    m_saveQueue.QueueDelFatFolder(entry);
    return 1;
}

// ---------------------------------------------------------------- analysis

int CBackSearch::NextAnalyseFolder() {
    if (m_bAnalyseExhausted.load()) return 0;
    CDbFacade* db = GetFacade();
    if (!db) return 0;
    CSingleLock lock(&m_csPending, TRUE);
    CString folder;
    std::set<CString> names;
    bool found = false;
    try {
        found = m_setStuckFolders.empty() ? db->GetFolderToAnalyse(folder, names)
                                          : FindFolderToAnalyse(folder, names);
        // Left to choose: the same folder with the same files right after they were
        // analysed means their records cannot make them count as analysed (a file that
        // cannot be stored or removed). As the index gives its folders in table order,
        // asking again would give the same folder for ever: it is left for this run,
        // and the folders after it are asked for without it.
        if (found && folder == m_strLastAnalysed && names == m_setLastAnalysed) {
            int id = db->GetPathDao().GetPathID(folder, false);
            found = id > 0 && m_setStuckFolders.insert(id).second;
            if (found) {
                folder.clear();
                names.clear();
                found = FindFolderToAnalyse(folder, names);
            }
        }
    } catch (const CppSQLite3Exception&) {
        // Left to choose: a query that fails twice in a row ends the analysis of this
        // run (the files stay marked and are chosen by the next run) rather than
        // asking again for ever.
        if (++m_nQueryFailures < 2) return -1;
        found = false;
    }
    if (!found) {
        InterlockedExchange(&m_bAnalyseExhausted, 1);
        return 0;
    }
    m_nQueryFailures = 0;
    m_strLastAnalysed = folder;
    m_setLastAnalysed = names;
    if (db->GetFilterType(folder) != 1) {
        m_mapPending[folder].insert(names.begin(), names.end());
    } else {
        lock.Unlock();
        db->DeleteFolderTree(folder);
    }
    return 1;
}

bool CBackSearch::FindFolderToAnalyse(CString& folder, std::set<CString>& names) {
    CDbFacade* db = GetFacade();
    if (!db || !db->IsOpen()) return false;
    CString start = L"1971-01-01 08:00:00";
    db->GetConfig(kStartTimeKey, start);
    const std::string startLiteral = SqlText(start);
    std::string sql = sqltext::kFileToAnalyseHead;
    sql += startLiteral;
    sql += ") AND tb_file_info.iPathID NOT IN (";
    for (int id : m_setStuckFolders) {
        if (id != *m_setStuckFolders.begin()) sql += ",";
        sql += SqlInt(id);
    }
    sql += ") LIMIT 1;";
    CDBMng& mng = db->GetDbMng();
    int pathID = 0;
    {
        CSingleLock lock(&mng.GetLock(), TRUE);
        CppSQLite3Query q = mng.Query(sql.c_str());
        if (q.IsEnd()) return false;
        pathID = q.GetInt("iPathID", 0);
        const char* text = q.GetText("strFullPath", "");
        if (pathID <= 0) return false;
        folder = Utf8ToWide(text);
    }
    sql = sqltext::kFileNamesToAnalyseHead;
    sql += startLiteral;
    sql += sqltext::kFileNamesToAnalyseMid;
    sql += SqlInt(pathID);
    CSingleLock lock(&mng.GetLock(), TRUE);
    for (CppSQLite3Query q = mng.Query(sql.c_str()); !q.IsEnd(); q.Next())
        names.insert(Utf8ToWide(q.GetText("strFileName", "")));
    return true;
}

int CBackSearch::StepRunEnd() {
    m_saveQueue.QueueFinishReport(kReportRunDone, CString());
    EnterPhase(kPhaseRunEnd, kPhaseFinished);
    return 1;
}

void CBackSearch::FinishAction() {
    CDbFacade* db = GetFacade();
    if (!db) return;
    CTime start, finish, unused;
    CString text;
    if (!db->GetConfig(kStartTimeKey, text)) {
        // A run without a start time: the placeholder is stored and the start counts
        // as 0, so nothing is rebuilt.
        db->SetConfig(kStartTimeKey, L"1970-06-01 00:00:00");
    } else if (!CCommonFunc::CanBeTime(text.c_str(), start, unused)) {
        start = CTime();
    }
    text.clear();
    if (!db->GetConfig(kFinishTimeKey, text) ||
        !CCommonFunc::CanBeTime(text.c_str(), finish, unused))
        finish = CTime();
    if (finish < start) {
        db->RebuildAllMonths();
        db->SetConfig(kFinishTimeKey, NowText());
    }
}
