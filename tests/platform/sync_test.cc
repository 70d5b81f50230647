#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "platform/fault.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace {

using testutil::WaitUntil;

TEST(Events, SetResetAndWaitAny) {
    CEvent a, b;
    HANDLE both[] = {a, b};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
    b.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    a.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    // Manual reset: a satisfied wait leaves the event set.
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    a.ResetEvent();
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(a, 20), WAIT_TIMEOUT);
}

TEST(Events, WaitAllNeedsEveryHandleAtOnce) {
    CEvent a, b;
    HANDLE both[] = {a, b};
    a.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_TIMEOUT);
    std::thread setter([&] {
        ASSERT_TRUE(WaitUntil([&] { return plat::WaiterCount(b) == 1; }));
        b.SetEvent();
    });
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, INFINITE), WAIT_OBJECT_0);
    setter.join();
}

TEST(Events, PulseReleasesOnlyCurrentWaitersAndLeavesEventUnsignalled) {
    CEvent ev;
    // Nobody waiting: a pulse is lost.
    ev.PulseEvent();
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);

    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(ev, INFINITE) == WAIT_OBJECT_0) ++released;
        });
    EXPECT_TRUE(WaitUntil([&] { return plat::WaiterCount(ev) == 3; }));
    ev.PulseEvent();
    EXPECT_TRUE(WaitUntil([&] { return released.load() == 3; }));
    EXPECT_EQ(WaitForSingleObject(ev, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(ev, 10), WAIT_TIMEOUT);
    ev.SetEvent();  // frees any waiter a broken pulse left behind, so the joins never hang
    for (auto& t : waiters)
        t.join();
}

TEST(Events, BadHandlesFail) {
    HANDLE none = nullptr;
    EXPECT_EQ(WaitForSingleObject(none, 0), WAIT_FAILED);
    HANDLE h = CreateManualEvent(TRUE);
    HANDLE mixed[] = {h, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, mixed, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(0, mixed, TRUE, 0), WAIT_FAILED);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(h));
    EXPECT_FALSE(CloseHandle(h));
}

DWORD ReturnParam(void* p) {
    return DWORD(reinterpret_cast<std::uintptr_t>(p));
}

DWORD WaitForEvent(void* p) {
    return WaitForSingleObject(static_cast<CEvent*>(p)->m_hObject, INFINITE);
}

TEST(Threads, HandleIsSignalledWhenThreadEndsWithItsExitCode) {
    CEvent go;
    DWORD tid = 0;
    HANDLE t = CreateThread(&WaitForEvent, &go, &tid);
    ASSERT_NE(t, nullptr);
    EXPECT_NE(tid, 0u);
    EXPECT_EQ(GetThreadId(t), tid);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
    go.SetEvent();
    EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, WAIT_OBJECT_0);
    CloseHandle(t);

    HANDLE u = CreateThread(&ReturnParam, reinterpret_cast<void*>(42), nullptr);
    EXPECT_EQ(WaitForSingleObject(u, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(u, &code));
    EXPECT_EQ(code, 42u);
    CloseHandle(u);
}

TEST(Threads, PriorityBecomesTheNiceValue) {
    CEvent go;
    HANDLE t = CreateThread(&WaitForEvent, &go, nullptr);
    // Lowering a priority is always allowed.
    EXPECT_TRUE(SetThreadPriority(t, -3));
    EXPECT_EQ(GetThreadPriority(t), -3);
    go.SetEvent();
    WaitForSingleObject(t, INFINITE);
    EXPECT_FALSE(SetThreadPriority(t, -1));  // the thread has ended
    CloseHandle(t);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CCriticalSection cs;
    cs.Lock();
    cs.Lock();
    bool otherGot = true;
    std::thread([&] { otherGot = cs.TryLock(); }).join();
    EXPECT_FALSE(otherGot);
    cs.Unlock();
    std::thread([&] { otherGot = cs.TryLock(); }).join();
    EXPECT_FALSE(otherGot);
    cs.Unlock();
    std::thread([&] {
        otherGot = cs.TryLock();
        if (otherGot) cs.Unlock();
    }).join();
    EXPECT_TRUE(otherGot);

    CSingleLock lock(&cs, TRUE);
    EXPECT_TRUE(lock.IsLocked());
    {
        CSingleLock inner(&cs, TRUE);  // same thread again
        EXPECT_TRUE(inner.IsLocked());
    }
}

TEST(Interlocked, ReturnNewOrOldValues) {
    InterlockedLong n{5};
    EXPECT_EQ(InterlockedIncrement(&n), 6);
    EXPECT_EQ(InterlockedDecrement(&n), 5);
    EXPECT_EQ(InterlockedExchange(&n, 7), 5);
    EXPECT_EQ(InterlockedCompareExchange(&n, 9, 8), 7);  // no match: unchanged
    EXPECT_EQ(InterlockedCompareExchange(&n, 9, 7), 7);
    EXPECT_EQ(n.load(), 9);
}

TEST(Ticks, AdvanceWithSleep) {
    DWORD a = GetTickCount();
    Sleep(15);
    EXPECT_GE(DWORD(GetTickCount() - a), 15u);
}

DWORD Crash(void* p) {
    volatile int* bad = static_cast<int*>(p);
    *bad = 1;
    return 7;
}

DWORD DivideByZero(void* p) {
    volatile int zero = int(reinterpret_cast<std::uintptr_t>(p));
    return DWORD(100 / zero);
}

DWORD GuardedCrash(void* p) {
    int sig = 0;
    DWORD result = 5;
    bool ok = CallWithFaultGuard(&Crash, p, &result, &sig);
    return ok ? 1000 : DWORD(sig);
}

TEST(FaultGuard, HardwareFaultEndsOnlyTheGuardedCall) {
#if defined(PICDEX_ASAN_BUILD)
    GTEST_SKIP() << "the address sanitizer owns hardware-fault handling in this build";
#endif
    DWORD result = 0;
    int sig = 0;
    EXPECT_FALSE(CallWithFaultGuard(&Crash, nullptr, &result, &sig));
    EXPECT_EQ(sig, SIGSEGV);
    EXPECT_FALSE(CallWithFaultGuard(&DivideByZero, nullptr, &result, &sig));
    EXPECT_EQ(sig, SIGFPE);
    // On another thread, and twice in a row on the same thread.
    HANDLE t = CreateThread(&GuardedCrash, nullptr, nullptr);
    WaitForSingleObject(t, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(t, &code);
    EXPECT_EQ(code, DWORD(SIGSEGV));
    CloseHandle(t);
    EXPECT_TRUE(CallWithFaultGuard(&ReturnParam, reinterpret_cast<void*>(3), &result, &sig));
    EXPECT_EQ(result, 3u);
}

TEST(FaultGuard, UnguardedFaultKeepsItsDefaultEffect) {
#if defined(PICDEX_ASAN_BUILD)
    GTEST_SKIP() << "the address sanitizer owns hardware-fault handling in this build";
#endif
    DWORD r;
    CallWithFaultGuard(&ReturnParam, nullptr, &r, nullptr);  // handlers installed
    EXPECT_DEATH(Crash(nullptr), "");
}

}  // namespace
