// CLongThread: the base of every long-running worker. It owns a pool of 1 to 16
// threads that all call one thread function over and over; the function's result says
// whether there was work (1), none (0), or "call again at once" (any other value), and
// the pool ends by itself once every thread has reported no work.
//
// Control (Start, Pause, Resume, Cancel, SetPriority) may be called from any thread;
// there is no lock: coordination is through events and an interlocked idle counter.
// Pause and cancel are cooperative: they take effect between two calls of the thread
// function, and a long-running function polls IsUserCancel / IsUserPause /
// GetCancelHandle / WaitIfNormal itself. A waiting Cancel or Pause blocks the caller,
// so a thread function must never block on a thread that may be inside one for it.
// An exception or a hardware fault inside the thread function ends only that pool
// thread, with exit code 0. Nothing here reports operating-system errors.
#pragma once

#include "picdex/export.h"
#include "picdex/sync.h"
#include "picdex/types.h"

// A manual-reset event that starts signalled.
class PICDEX_API CMyEvent : public CEvent {
public:
    CMyEvent() : CEvent(TRUE) {}
};

class PICDEX_API CLongThread {
public:
    // The function every pool thread calls: (parameter, thread index) -> 1 work,
    // 0 no work, anything else: call again.
    using ThreadFunc = DWORD (*)(void* pParam, unsigned int nIndex);
    static constexpr unsigned int kMaxThreads = 16;

    // Thread count clamped to 1..16, priority to -15..15. No thread is created.
    CLongThread(int nThreadCount, int nPriority);
    // Cancels and waits for the threads. A derived class whose OnCancel or thread
    // function uses its own members must cancel in its own destructor first.
    virtual ~CLongThread();

    CLongThread(const CLongThread&) = delete;
    CLongThread& operator=(const CLongThread&) = delete;

    // 1 if pool threads are running when it returns, else 0. A running pool is never
    // restarted; a paused one with the same function and parameter and bRun set is
    // resumed. bRun = 0 starts the pool paused.
    int Start(ThreadFunc pfn, void* pParam, int bRun);
    // 1 if this call paused a running pool. With bWait, returns once every pool thread
    // has parked (or ended), or the pause was lifted, or all threads have ended.
    virtual int Pause(int bWait);
    // 1 if this call lifted a pause of a running pool.
    virtual int Resume();
    // Requests cancellation; with bWait, waits for every thread and closes the handles.
    virtual void Cancel(int bWait);
    // Called once on the last active pool thread as the pool is cancelled.
    virtual void OnCancel();

    int IsPause();
    int IsUserPause();
    int IsUserCancel();
    int IsFinish();
    int GetActiveThreadCount();
    void* GetCancelHandle();
    // Sleeps up to 300 ms, less when any pool thread changes state.
    void WaitIfNormal();
    void SetPriority(int nPriority);

protected:
    // The body of pool thread nIndex; the result is the thread's exit code.
    DWORD Run(unsigned int nIndex);
    // The wait of a waiting Pause: returns once every pool thread has parked or ended,
    // the pause was lifted, or all threads have ended.
    void WaitForParked();
    // Creates threads N, N-1, ..., 0 (those below the thread count).
    template <unsigned int N>
    void CreateThreadIfNeed();

    CMyEvent m_evNotify;  // set when a thread parks, leaves a pause or leaves by cancel
    CMyEvent m_evRun;     // signalled = running, unsignalled = paused
    CMyEvent m_evCancel;  // signalled = cancel requested
    ThreadFunc m_pfnThread = nullptr;
    void* m_pParam = nullptr;
    int m_nPriority;
    unsigned int m_nThreadCount;
    InterlockedLong m_nIdleCount{0};  // idle or gone threads
    CMyEvent m_evWork;                // pulsed when a thread found work; set by Start
    HANDLE m_hThreads[kMaxThreads] = {};
    DWORD m_dwThreadIds[kMaxThreads] = {};
    CMyEvent m_evPaused[kMaxThreads];  // set by thread i while parked
    HANDLE m_hPaused[kMaxThreads] = {};

private:
    template <unsigned int N>
    static DWORD ThreadEntry(void* self);
    template <unsigned int N>
    static DWORD GuardedRun(void* self);
    // A zero-time wait for all thread handles times out: some thread is alive.
    bool IsRunningNow();
    bool IsSignalledNow(HANDLE h);
};
