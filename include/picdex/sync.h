// Waitable kernel objects, waits, critical sections, interlocked operations, ticks.
//
// Handles are small numbers looked up in one process-wide table, so a wait on a
// closed or zero handle fails cleanly (WAIT_FAILED) instead of touching freed memory.
// Events are manual-reset: set stays set until reset; pulse releases exactly the
// threads waiting on the event at that moment and leaves it unsignalled.
// Thread handles (platform/thread.h) are waitable the same way and are signalled when
// the thread has ended. Every function here is thread-safe and never throws.
#pragma once

#include <atomic>
#include <mutex>

#include "picdex/export.h"
#include "picdex/types.h"

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
// The most handles one wait accepts.
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// A manual-reset event; 0 when it cannot be created.
PICDEX_API HANDLE CreateManualEvent(BOOL bInitialState);
PICDEX_API BOOL SetEvent(HANDLE h);
PICDEX_API BOOL ResetEvent(HANDLE h);
PICDEX_API BOOL PulseEvent(HANDLE h);
// Releases the caller's reference to any handle. Objects live while referenced
// (a running thread keeps its own handle's object alive).
PICDEX_API BOOL CloseHandle(HANDLE h);

// WAIT_OBJECT_0 when signalled, WAIT_TIMEOUT after `ms` milliseconds (INFINITE: never),
// WAIT_FAILED for a zero, closed or unknown handle.
PICDEX_API DWORD WaitForSingleObject(HANDLE h, DWORD ms);
// Any (bWaitAll = FALSE): WAIT_OBJECT_0 + index of the first signalled handle.
// All: WAIT_OBJECT_0 once every handle is signalled at the same time.
// WAIT_FAILED when count is 0 or above MAXIMUM_WAIT_OBJECTS or any handle is invalid.
PICDEX_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL bWaitAll,
                                        DWORD ms);

// An owned manual-reset event object.
class PICDEX_API CEvent {
public:
    explicit CEvent(BOOL bInitiallySignalled = FALSE);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    BOOL SetEvent() { return ::SetEvent(m_hObject); }
    BOOL ResetEvent() { return ::ResetEvent(m_hObject); }
    BOOL PulseEvent() { return ::PulseEvent(m_hObject); }
    operator HANDLE() const { return m_hObject; }

    HANDLE m_hObject;
};

// A recursive lock: the thread that holds it may enter it again.
class CCriticalSection {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a critical section for a scope (optionally taken at construction).
class CSingleLock {
public:
    explicit CSingleLock(CCriticalSection* cs, BOOL bInitialLock = FALSE) : m_cs(cs) {
        if (bInitialLock) Lock();
    }
    ~CSingleLock() { Unlock(); }
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    void Lock() {
        if (!m_locked) {
            m_cs->Lock();
            m_locked = true;
        }
    }
    void Unlock() {
        if (m_locked) {
            m_locked = false;
            m_cs->Unlock();
        }
    }
    bool IsLocked() const { return m_locked; }

private:
    CCriticalSection* m_cs;
    bool m_locked = false;
};

// Interlocked operations on 32-bit values shared between threads. Each returns the
// value after the change (Increment, Decrement) or before it (Exchange, CompareExchange,
// ExchangeAdd).
using InterlockedLong = std::atomic<LONG>;
inline LONG InterlockedIncrement(InterlockedLong* p) {
    return p->fetch_add(1) + 1;
}
inline LONG InterlockedDecrement(InterlockedLong* p) {
    return p->fetch_sub(1) - 1;
}
inline LONG InterlockedExchange(InterlockedLong* p, LONG v) {
    return p->exchange(v);
}
inline LONG InterlockedExchangeAdd(InterlockedLong* p, LONG v) {
    return p->fetch_add(v);
}
inline LONG InterlockedCompareExchange(InterlockedLong* p, LONG exchange, LONG comparand) {
    p->compare_exchange_strong(comparand, exchange);
    return comparand;
}

namespace plat {
// The number of threads waiting on `h` right now (-1 for an invalid handle): lets a
// thread know that others have reached their wait before it pulses or sets an event.
PICDEX_API int WaiterCount(HANDLE h);
}  // namespace plat

// Milliseconds from the monotonic clock, wrapping at 2^32.
PICDEX_API DWORD GetTickCount();
PICDEX_API void Sleep(DWORD ms);
