#include "picdex/long_thread.h"

#include "platform/fault.h"
#include "platform/thread.h"

namespace {

int ClampPriority(int n) {
    return n > 15 ? 15 : (n < -15 ? -15 : n);
}
unsigned int ClampCount(int n) {
    return n > 16 ? 16u : (n < 1 ? 1u : unsigned(n));
}

}  // namespace

CLongThread::CLongThread(int nThreadCount, int nPriority)
    : m_nPriority(ClampPriority(nPriority)), m_nThreadCount(ClampCount(nThreadCount)) {
    m_evRun.SetEvent();
    m_evCancel.ResetEvent();
    for (unsigned int i = 0; i < kMaxThreads; ++i) {
        m_evPaused[i].ResetEvent();
        m_hPaused[i] = m_evPaused[i];
    }
}

CLongThread::~CLongThread() {
    Cancel(TRUE);
}

bool CLongThread::IsSignalledNow(HANDLE h) {
    return WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
}

bool CLongThread::IsRunningNow() {
    return WaitForMultipleObjects(m_nThreadCount, m_hThreads, TRUE, 0) == WAIT_TIMEOUT;
}

// Each pool thread enters through the entry of its own index. The translation of
// hardware faults into an ended thread is done by the fault guard: a fault, like an
// exception, ends this thread alone with exit code 0, leaving the counters as they were.
template <unsigned int N>
DWORD CLongThread::GuardedRun(void* self) {
    try {
        return static_cast<CLongThread*>(self)->Run(N);
    } catch (...) {
        return 0;
    }
}

template <unsigned int N>
DWORD CLongThread::ThreadEntry(void* self) {
    DWORD result = 0;
    if (!CallWithFaultGuard(&GuardedRun<N>, self, &result, nullptr)) return 0;
    return result;
}

template <unsigned int N>
void CLongThread::CreateThreadIfNeed() {
    if (m_nThreadCount > N) {
        if (m_hThreads[N]) ::CloseHandle(m_hThreads[N]);
        m_hThreads[N] = ::CreateThread(&ThreadEntry<N>, this, &m_dwThreadIds[N]);
    }
    if constexpr (N > 0) CreateThreadIfNeed<N - 1>();
}

int CLongThread::Start(ThreadFunc pfn, void* pParam, int bRun) {
    if (IsRunningNow()) {
        if (bRun && pfn == m_pfnThread && pParam == m_pParam && !IsSignalledNow(m_evRun)) {
            Resume();
            return 1;
        }
        return 0;
    }
    m_pfnThread = pfn;
    m_pParam = pParam;
    m_nIdleCount.store(0);
    m_evCancel.ResetEvent();
    if (bRun)
        m_evRun.SetEvent();
    else
        m_evRun.ResetEvent();
    for (unsigned int i = 0; i < kMaxThreads; ++i) {
        if (m_hThreads[i]) {
            ::CloseHandle(m_hThreads[i]);
            m_hThreads[i] = nullptr;
        }
        // A thread that left by cancel while parked never cleared its acknowledgement;
        // clear it so that a later waiting Pause sees only fresh ones.
        m_evPaused[i].ResetEvent();
    }
    InterlockedExchange(&m_nIdleCount, 0);
    CreateThreadIfNeed<kMaxThreads - 1>();
    SetPriority(m_nPriority);
    m_evWork.SetEvent();
    return IsRunningNow() ? 1 : 0;
}

DWORD CLongThread::Run(unsigned int nIndex) {
    bool active = true;
    bool parked = false;
    DWORD last = 0;
    if (nIndex > m_nThreadCount) return 0;
    if (!IsSignalledNow(m_evCancel)) {
        do {
            // Pause gate.
            if (parked) {
                if (WaitForSingleObject(m_evRun, 3) != WAIT_OBJECT_0) continue;
                parked = false;
                m_evPaused[nIndex].ResetEvent();
                m_evNotify.SetEvent();
            } else if (WaitForSingleObject(m_evRun, 0) == WAIT_TIMEOUT) {
                m_evPaused[nIndex].SetEvent();
                parked = true;
                m_evNotify.SetEvent();
                continue;
            }
            // Idle gate.
            if (!active) {
                if (WaitForSingleObject(m_evWork, 3) != WAIT_OBJECT_0) {
                    if (LONG(m_nThreadCount) - m_nIdleCount.load() == 0) return last;
                    continue;
                }
                active = true;
                InterlockedDecrement(&m_nIdleCount);
            }
            if (!m_pfnThread) return last;
            last = m_pfnThread(m_pParam, nIndex);
            if (last == 1) {
                if (!active) {
                    active = true;
                    InterlockedDecrement(&m_nIdleCount);
                }
                m_evWork.PulseEvent();
            } else if (last == 0) {
                if (active) {
                    active = false;
                    InterlockedIncrement(&m_nIdleCount);
                }
                if (m_nIdleCount.load() >= LONG(m_nThreadCount)) return 0;
                m_evNotify.ResetEvent();
                WaitForSingleObject(m_evNotify, 300);
            }
        } while (!IsSignalledNow(m_evCancel));  // `continue` above lands here
    }
    // Cancelled. The last active thread to leave runs OnCancel. Reading the count and
    // counting oneself out in two steps would let two threads that leave together each
    // see the other still active, and neither would run it; counting out first and
    // looking at the result is one step, so exactly one thread sees the pool empty.
    if (active && InterlockedIncrement(&m_nIdleCount) == LONG(m_nThreadCount)) OnCancel();
    m_evNotify.SetEvent();
    return last;
}

int CLongThread::Pause(int bWait) {
    if (!IsSignalledNow(m_evRun)) return 0;
    if (!IsRunningNow()) return 0;
    m_evRun.ResetEvent();
    if (bWait) WaitForParked();
    return 1;
}

void CLongThread::WaitForParked() {
    // Watches the three end conditions by polling in short slices: every thread has
    // acknowledged (a thread that has ended counts as one that cannot run), the pause
    // was lifted, or every thread has ended.
    for (;;) {
        bool allParked = true;
        for (unsigned int i = 0; i < m_nThreadCount && allParked; ++i)
            allParked =
                IsSignalledNow(m_hPaused[i]) || IsSignalledNow(m_hThreads[i]) || !m_hThreads[i];
        if (allParked || IsSignalledNow(m_evRun) || IsFinish()) break;
        WaitForMultipleObjects(m_nThreadCount, m_hPaused, TRUE, 5);
    }
}

int CLongThread::Resume() {
    if (IsRunningNow() && !IsSignalledNow(m_evRun)) {
        m_evRun.SetEvent();
        return 1;
    }
    return 0;
}

void CLongThread::Cancel(int bWait) {
    m_evRun.SetEvent();
    m_evCancel.SetEvent();
    if (!bWait) return;
    // Waits for every pool thread but the calling one: a pool thread that cancels its
    // own pool with the wait flag would otherwise wait for itself forever.
    DWORD self = GetCurrentThreadId();
    HANDLE others[kMaxThreads];
    DWORD n = 0;
    for (unsigned int i = 0; i < m_nThreadCount; ++i)
        if (m_hThreads[i] && m_dwThreadIds[i] != self) others[n++] = m_hThreads[i];
    if (n > 0) WaitForMultipleObjects(n, others, TRUE, INFINITE);
    for (unsigned int i = 0; i < kMaxThreads; ++i) {
        if (m_hThreads[i]) {
            ::CloseHandle(m_hThreads[i]);
            m_hThreads[i] = nullptr;
        }
    }
}

void CLongThread::OnCancel() {}

int CLongThread::IsPause() {
    return WaitForSingleObject(m_evRun, 0) == WAIT_TIMEOUT ? 1 : 0;
}

int CLongThread::IsUserPause() {
    return IsSignalledNow(m_evRun) ? 0 : 1;
}

int CLongThread::IsUserCancel() {
    return IsSignalledNow(m_evCancel) ? 1 : 0;
}

int CLongThread::IsFinish() {
    return WaitForMultipleObjects(m_nThreadCount, m_hThreads, TRUE, 0) != WAIT_TIMEOUT ? 1 : 0;
}

int CLongThread::GetActiveThreadCount() {
    return int(m_nThreadCount) - m_nIdleCount.load();
}

void* CLongThread::GetCancelHandle() {
    return m_evCancel;
}

void CLongThread::WaitIfNormal() {
    m_evNotify.ResetEvent();
    WaitForSingleObject(m_evNotify, 300);
}

void CLongThread::SetPriority(int nPriority) {
    m_nPriority = ClampPriority(nPriority);
    // The thread's nice value can be changed while it runs, so the threads are not
    // suspended around the change.
    for (unsigned int i = 0; i < m_nThreadCount; ++i)
        if (m_hThreads[i]) SetThreadPriority(m_hThreads[i], m_nPriority);
}
