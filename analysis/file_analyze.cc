#include "analysis/file_analyze.h"

#include <memory>
#include <new>

#include "analysis/file_bytes.h"
#include "db/cppsqlite3.h"
#include "db/db_facade.h"
#include "picdex/common_func.h"
#include "platform/file.h"
#include "scan/md5_checksum.h"

namespace {

// Scan states in which the scanner waits for the save queue to empty, and the state
// each moves to once it is empty; 13 ends the flushing thread.
bool IsClosingState(LONG state) {
    return state == 3 || state == 6 || state == 9 || state == 12 || state == 13;
}

LONG StateAfterFlush(LONG state) {
    switch (state) {
        case 3:
            return 4;
        case 6:
        case 9:
            return 7;
        case 12:
            return 10;
        default:
            return state;
    }
}

HANDLE OpenForReading(const CString& path) {
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

// A time the calendar can show; the record's times must have a local form.
bool HasLocalForm(const CTime& t) {
    return t.GetLocalFields().valid;
}

}  // namespace

CFileAnalyze::CFileAnalyze(CDbFacade* db) : CLongThread(2, -3), m_saveQueue(db), m_pDb(db) {}

CFileAnalyze::~CFileAnalyze() {
    // The pool's threads use the members below; they must be gone first.
    CLongThread::Cancel(TRUE);
}

void CFileAnalyze::SetFacade(CDbFacade* db) {
    m_pDb = db;
    m_saveQueue.SetFacade(db);
}

void CFileAnalyze::Cancel(int bWait) {
    {
        CSingleLock lock(&m_csPending, TRUE);
        m_mapPending.clear();
    }
    CLongThread::Cancel(bWait);
}

CString CFileAnalyze::GetScanPath() {
    CSingleLock lock(&m_csScanPath, TRUE);
    return m_strScanPath;
}

DWORD CFileAnalyze::ThreadProc(void* pThis, unsigned int nIndex) {
    auto* self = static_cast<CFileAnalyze*>(pThis);
    const bool pooled = self->m_nThreadCount > 1;
    if (!pooled || nIndex == 1) {
        if (self->FlushOrAdvance() == 1) return 1;
        // The flushing thread ends only once the scanner has reached its last state.
        // Until then, with nothing to write, it looks again shortly rather than at once,
        // so that an idle scan does not keep a processor busy.
        if (pooled) {
            if (self->m_nScanState.load() == 13) return 0;
            WaitForSingleObject(self->GetCancelHandle(), kIdleLookMs);
            return 1;
        }
    }
    DWORD r = DWORD(self->AnalyseNext(nIndex));
    if (InterlockedExchange(&self->m_bFolderDone, 0) != 0) self->FinishFolders();
    return r;
}

int CFileAnalyze::FlushOrAdvance() {
    const LONG queued = m_saveQueue.GetQueued(kSaveAllItems);
    const LONG saved = m_saveQueue.GetSaved(kSaveAllItems);
    const LONG count = m_saveQueue.GetCount();
    const DWORD firstTick = m_saveQueue.GetFirstTick();
    if (count == 0 || queued == saved) {
        // Only a closing state advances, and only if the scanner has not moved it on.
        LONG state = m_nScanState.load();
        LONG next = StateAfterFlush(state);
        if (next != state) m_nScanState.compare_exchange_strong(state, next);
        return 0;
    }
    const bool old = firstTick != 0 && GetTickCount() - firstTick > kBatchWaitMs - 1;
    if (LONG(DWORD(queued) - DWORD(saved)) < kBatchRecords && !old &&
        !IsClosingState(m_nScanState.load())) {
        WaitIfNormal();
        return 1;
    }
    try {
        m_saveQueue.Drain(GetCancelHandle());
    } catch (const CppSQLite3Exception&) {
        // The failing task is gone and the rest stay queued for the next drain; the
        // flushing thread carries on rather than leaving the queue to grow.
    }
    return 1;
}

int CFileAnalyze::AnalyseNext(unsigned int nIndex) {
    if (nIndex >= kMaxThreads) return 0;
    CString folder, name;
    bool complete = false;
    {
        CSingleLock lock(&m_csPending, TRUE);
        if (m_mapPending.empty()) return 0;
        auto first = m_mapPending.begin();
        if (first->second.empty()) {
            m_mapPending.erase(first);
            return 1;
        }
        folder = first->first;
        name = *first->second.begin();
        m_strCurFolder[nIndex] = folder;
        first->second.erase(first->second.begin());
        complete = first->second.empty();
    }

    // Database failures drop this file's record; the bookkeeping below still runs, so
    // the folder is reported as usual.
    try {
        if (m_pDb != nullptr) m_pDb->RegisterFolder(folder);
        std::unique_ptr<CSaveFileDetail> task(new (std::nothrow) CSaveFileDetail(m_pDb));
        if (task && m_pDb != nullptr) {
            _tagFileDetail& detail = task->m_detail;
            detail.strFolder = folder;
            const CString path = folder + name;
            bool keep = true;
            if (AnalyseFile(detail, path, 1, 0) == 0) {
                if (!PathFileExistsW(folder)) {
                    // A vanished folder leaves the queue at once and is never reported
                    // as finished, even when this was its last queued file.
                    m_pDb->DeleteFolderTree(folder);
                    CSingleLock lock(&m_csPending, TRUE);
                    m_mapPending.erase(folder);
                    complete = false;
                    keep = false;
                } else if (!PathFileExistsW(path)) {
                    m_pDb->DeleteFile(path, false);
                    keep = false;
                }
                // Otherwise the file is there but could not be read: its facts are saved.
            }
            if (keep) {
                detail.fileInfo.iPathID = m_pDb->GetPathDao().GetPathID(folder, true);
                if (detail.fileInfo.strMD5.compare(L"0") < 0) detail.fileInfo.strMD5 = L"0";
                m_saveQueue.Enqueue(task.release());
            }
        }
    } catch (const CppSQLite3Exception&) {
    }

    CSingleLock lock(&m_csPending, TRUE);
    m_strCurFolder[nIndex].clear();
    if (complete) {
        m_setFinished.insert(folder);
        InterlockedExchange(&m_bFolderDone, 1);
    }
    return 1;
}

void CFileAnalyze::FinishFolders() {
    CString folder;
    {
        CSingleLock lock(&m_csPending, TRUE);
        if (m_setFinished.empty()) return;
        const CString& lowest = *m_setFinished.begin();
        for (unsigned int i = 0; i < m_nThreadCount && i < kMaxThreads; ++i)
            if (m_strCurFolder[i] == lowest) return;
        folder = lowest;
        m_setFinished.erase(m_setFinished.begin());
    }
    m_saveQueue.QueueFinishReport(1, folder);
}

int CFileAnalyze::ReadFileFacts(_tagFileInfo& info, HANDLE file) {
    CTime created, accessed, written;
    LONGLONG size = 0;
    if (!GetFileTime(file, &created, &accessed, &written) || !GetFileSizeEx(file, &size)) return 0;
    if (!HasLocalForm(created) || !HasLocalForm(written)) return 0;
    info.tFileSearch = CTime::GetCurrentTime();
    info.iFileSize = size;
    info.tFileCreate = created;
    if (info.tSnapTime.GetTime() <= 0) info.tSnapTime = created;
    info.tFileModify = written;
    return 1;
}

int CFileAnalyze::AnalyseFile(_tagFileInfo& info, const CString& path, int bFull, int bDigest) {
    if (bFull) {
        _tagFileDetail detail;
        detail.fileInfo = info;
        int r = AnalyseFile(detail, path, bFull, bDigest);
        info = detail.fileInfo;
        return r;
    }
    HANDLE h = OpenForReading(path);
    if (h == nullptr) return 0;
    CTime created, accessed, written;
    LONGLONG size = 0;
    bool ok = GetFileTime(h, &created, &accessed, &written) && GetFileSizeEx(h, &size) &&
              HasLocalForm(created) && HasLocalForm(written);
    CloseHandle(h);
    if (!ok) return 0;
    info.tFileSearch = CTime::GetCurrentTime();
    info.strFileName = CCommonFunc::GetTitle(path);
    info.strExt = CCommonFunc::GetFileExt(path);
    info.iFileSize = size;
    info.tFileCreate = created;
    info.tFileModify = written;
    return 1;
}

int CFileAnalyze::AnalyseFile(_tagFileDetail& detail, const CString& path, int bFull, int bDigest) {
    if (!bFull) return AnalyseFile(detail.fileInfo, path, 0, 0);
    _tagFileInfo& info = detail.fileInfo;
    info.strFileName = CCommonFunc::GetTitle(path);
    info.strExt = CCommonFunc::GetFileExt(path);
    HANDLE h = OpenForReading(path);
    if (h == nullptr) return 0;
    if (!ReadFileFacts(info, h) || info.iFileSize > kMaxReadSize) {
        CloseHandle(h);
        return 0;
    }
    const size_t size = size_t(info.iFileSize);
    CFileBytes bytes(h, size);
    // The step runs on a copy, so that a read failing part-way leaves the record with its
    // facts only, as a failed whole-file read does.
    _tagFileDetail result = detail;
    int r;
    if (!bytes.Allocate() || !(bDigest ? bytes.LoadAll() : bytes.Begin())) {
        r = -1;
    } else {
        result.fileInfo.strMD5 = bDigest ? CMD5Checksum::GetMD5(bytes.GetBase(), UINT(size)) : L"0";
        r = ExtractFromPartial(bytes, result);
        if (r >= 0 && !bytes.IsStillWhole()) r = -1;
    }
    CloseHandle(h);
    if (r < 0) return 0;
    detail = std::move(result);
    return r;
}
