#include "db/save_queue.h"

#include <memory>
#include <new>

#include "db/db_facade.h"

CSaveQueue::~CSaveQueue() {
    for (ISaveTask* task : m_list)
        delete task;
}

void CSaveQueue::Enqueue(ISaveTask* task) {
    if (!task) return;
    task->Count(m_nQueued);
    DWORD tick = GetTickCount();
    DWORD none = 0;
    // A tick count of exactly 0 would read as "nothing waiting".
    m_dwFirstTick.compare_exchange_strong(none, tick ? tick : 1);
    CSingleLock lock(&m_cs, TRUE);
    m_list.push_back(task);
    ++m_nCount;
}

LONG CSaveQueue::GetCount() {
    CSingleLock lock(&m_cs, TRUE);
    return m_nCount;
}

int CSaveQueue::Drain(HANDLE stopEvent) {
    CDBMng* db = m_pDb ? &m_pDb->GetDbMng() : nullptr;
    bool began = db && db->BeginTransactionIfNone();
    // A transaction a failed drain left open is this drain's to commit.
    if (m_bTxnLeftOpen.exchange(false) && db && db->IsInTransaction()) began = true;
    int taken = 0;
    for (;;) {
        if (stopEvent && WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) {
            m_dwFirstTick.store(0);
            break;
        }
        std::unique_ptr<ISaveTask> task;
        {
            CSingleLock lock(&m_cs, TRUE);
            if (m_list.empty()) {
                m_dwFirstTick.store(0);
                m_nSaved[kSaveAllItems].store(m_nQueued[kSaveAllItems].load());
                break;
            }
            task.reset(m_list.front());
            m_list.pop_front();
            --m_nCount;
        }
        ++taken;
        try {
            task->Save(m_nSaved);
        } catch (...) {
            // The task is deleted on the way out and not retried; what it and the tasks
            // before it wrote stays in the open transaction.
            if (began) m_bTxnLeftOpen.store(true);
            throw;
        }
    }
    if (began) {
        db->CommitTransaction();
        // A commit that failed (the file busy) keeps the transaction open; the next
        // drain tries again rather than leaving it to the manager's Close.
        if (db->IsInTransaction()) m_bTxnLeftOpen.store(true);
    }
    return taken;
}

void CSaveQueue::Reset() {
    for (auto& counter : m_nQueued)
        counter.store(0);
    for (auto& counter : m_nSaved)
        counter.store(0);
    {
        CSingleLock lock(&m_cs, TRUE);
        // Left to choose: tasks still queued (there should be none) are deleted rather
        // than leaked.
        for (ISaveTask* task : m_list)
            delete task;
        m_list.clear();
        m_nCount = 0;
    }
    m_dwFirstTick.store(0);
    if (m_pDb) m_pDb->ResetBaselines();
}

// ---------------------------------------------------------------- creation helpers

void CSaveQueue::QueueAddFatFolders(const std::set<CString>& folders) {
    Enqueue(new (std::nothrow) CSaveAddFatFolder(m_pDb, folders));
}

void CSaveQueue::QueueDelFatFolder(const CString& folder) {
    Enqueue(new (std::nothrow) CSaveDelFatFolder(m_pDb, folder));
}

void CSaveQueue::QueueAddNtfsDrive(wchar_t letter) {
    Enqueue(new (std::nothrow) CSaveAddNtfsDrive(m_pDb, letter));
}

void CSaveQueue::QueueDelNtfsDrive(wchar_t letter) {
    Enqueue(new (std::nothrow) CSaveDelNtfsDrive(m_pDb, letter));
}

void CSaveQueue::QueueFolderFiles(const CString& folder, const std::set<_tagSimpleFileInfo>& files,
                                  int notify) {
    Enqueue(new (std::nothrow) CSaveFolderFile(m_pDb, folder, files, notify));
}

void CSaveQueue::QueueFinishReport(int kind, const CString& text) {
    Enqueue(new (std::nothrow) CSaveFinishReport(m_pDb, kind, text));
}

void CSaveQueue::QueueSetConfig(const CString& key, const CString& value) {
    Enqueue(new (std::nothrow) CSaveSetConfig(m_pDb, key, value));
}
