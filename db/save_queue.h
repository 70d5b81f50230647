// CSaveQueue: the queue of save tasks between the scanning threads and the thread
// that writes them. Tasks are written in the order they were queued, in batches, each
// batch inside one transaction.
//
// Two blocks of save counters grow for the whole run: the queued counters (counted
// when a task is queued) and the saved counters (counted when it has been written);
// "pending" is queued counter 0 minus saved counter 0. The first tick is the tick
// count at which the first task of the waiting batch was queued (0: none waiting).
// Counters and the first tick change only by interlocked operations, so they may be
// read without the queue's lock.
//
// Threads: Enqueue from any thread; Drain on the owner's thread. The queue's lock
// guards the list only and is never held while a task saves.
// Ownership: a queued task belongs to the queue until Drain deletes it.
// Failures: a task whose Save throws leaves Drain with the exception; that task is
// deleted, the tasks after it stay queued, and a transaction the drain began stays
// open, to be committed by the next drain (or by the manager's Close).
#pragma once

#include <atomic>
#include <list>
#include <set>

#include "db/save_task.h"
#include "picdex/sync.h"

class CDbFacade;

class CSaveQueue {
public:
    explicit CSaveQueue(CDbFacade* db = nullptr) : m_pDb(db) {}
    ~CSaveQueue();
    CSaveQueue(const CSaveQueue&) = delete;
    CSaveQueue& operator=(const CSaveQueue&) = delete;

    // The database layer object that the creation helpers hand to their tasks and
    // whose manager brackets each drain in a transaction. Set before queuing.
    void SetFacade(CDbFacade* db) { m_pDb = db; }
    CDbFacade* GetFacade() const { return m_pDb; }

    // Counts the task into the queued counters and appends it; the queue owns it.
    void Enqueue(ISaveTask* task);
    // Writes queued tasks in order until the list is empty or `stopEvent` (when not
    // null) is signalled; returns the number of tasks taken.
    int Drain(HANDLE stopEvent);
    // Zeroes both counter blocks, deletes any task still queued, clears the first tick
    // and the folder baselines. For the start of a run, when the queue is empty.
    void Reset();

    void QueueAddFatFolders(const std::set<CString>& folders);
    void QueueDelFatFolder(const CString& folder);
    void QueueAddNtfsDrive(wchar_t letter);
    void QueueDelNtfsDrive(wchar_t letter);
    void QueueFolderFiles(const CString& folder, const std::set<_tagSimpleFileInfo>& files,
                          int notify);
    void QueueFinishReport(int kind, const CString& text);
    void QueueSetConfig(const CString& key, const CString& value);

    LONG GetQueued(int index) const { return m_nQueued[index].load(); }
    LONG GetSaved(int index) const { return m_nSaved[index].load(); }
    LONG GetPending() const { return GetQueued(kSaveAllItems) - GetSaved(kSaveAllItems); }
    DWORD GetFirstTick() const { return m_dwFirstTick.load(); }
    // The number of tasks in the list.
    LONG GetCount();

private:
    std::list<ISaveTask*> m_list;
    LONG m_nCount = 0;
    CCriticalSection m_cs;
    std::atomic<DWORD> m_dwFirstTick{0};
    InterlockedLong m_nQueued[kSaveCounterCount] = {};
    InterlockedLong m_nSaved[kSaveCounterCount] = {};
    CDbFacade* m_pDb;
    // A transaction begun by a drain that a failing task left open; the next drain
    // commits it.
    std::atomic<bool> m_bTxnLeftOpen{false};
};
