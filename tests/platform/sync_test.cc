// Events and waits, the critical section and the fault guard (thread handles are
// waited on by the engine's worker-thread tests).
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

TEST(Events, ManualResetWaitAnyTimedWaitsAndBadHandles) {
    CEvent a, b;
    HANDLE both[] = {a, b};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
    b.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    a.SetEvent();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);  // the lowest
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);  // a satisfied wait leaves it set
    a.ResetEvent();
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(a, 40), WAIT_TIMEOUT);
    EXPECT_GE(DWORD(GetTickCount() - start), 40u);  // a timed wait lasts its time

    // A null handle or none at all fails a wait; a handle closed once is bad for every use.
    HANDLE mixed[] = {a, nullptr}, h = CreateManualEvent(TRUE);
    EXPECT_EQ(
        (std::vector<DWORD>{WaitForMultipleObjects(2, mixed, TRUE, 0),
                            WaitForMultipleObjects(0, mixed, TRUE, 0), DWORD(CloseHandle(h)),
                            WaitForSingleObject(h, 0), DWORD(SetEvent(h)), DWORD(CloseHandle(h))}),
        (std::vector<DWORD>{WAIT_FAILED, WAIT_FAILED, TRUE, WAIT_FAILED, FALSE, FALSE}));
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
    ev.PulseEvent();  // nobody waiting: the pulse is lost
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
    EXPECT_EQ(WaitForSingleObject(ev, 10), WAIT_TIMEOUT);
    ev.SetEvent();  // frees any waiter a broken pulse left behind, so the joins never hang
    for (auto& t : waiters)
        t.join();
}

DWORD ReturnParam(void* p) {
    return DWORD(reinterpret_cast<std::uintptr_t>(p));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CCriticalSection cs;
    auto otherGets = [&] {
        bool got = false;
        std::thread([&] {
            if ((got = cs.TryLock())) cs.Unlock();
        }).join();
        return got;
    };
    cs.Lock();
    cs.Lock();
    EXPECT_FALSE(otherGets());
    cs.Unlock();
    EXPECT_FALSE(otherGets());
    cs.Unlock();
    EXPECT_TRUE(otherGets());
}

DWORD Crash(void* p) {
    *static_cast<volatile int*>(p) = 1;
    return 7;
}

DWORD DivideByZero(void* p) {
    volatile int zero = int(reinterpret_cast<std::uintptr_t>(p));
    return DWORD(100 / zero);
}

DWORD GuardedCrash(void* p) {
    int sig = 0;
    DWORD result = 5;
    return CallWithFaultGuard(&Crash, p, &result, &sig) ? 1000 : DWORD(sig);
}

TEST(FaultGuard, HardwareFaultEndsOnlyTheGuardedCall) {
#if defined(PICDEX_ASAN_BUILD)
    GTEST_SKIP() << "the address sanitizer owns hardware-fault handling in this build";
#endif
    DWORD result = 0, code = 0;
    int sig = 0;
    EXPECT_FALSE(CallWithFaultGuard(&Crash, nullptr, &result, &sig));
    EXPECT_EQ(sig, SIGSEGV);
    EXPECT_FALSE(CallWithFaultGuard(&DivideByZero, nullptr, &result, &sig));
    EXPECT_EQ(sig, SIGFPE);
    // On another thread, then a guarded call that ends normally.
    std::thread([&] { code = GuardedCrash(nullptr); }).join();
    EXPECT_EQ(code, DWORD(SIGSEGV));
    EXPECT_TRUE(CallWithFaultGuard(&ReturnParam, reinterpret_cast<void*>(3), &result, &sig));
    EXPECT_EQ(result, 3u);
    // An unguarded fault keeps its default effect.
    EXPECT_DEATH(Crash(nullptr), "");
}

}  // namespace
