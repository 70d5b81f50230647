#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "common/temp_dir.h"
#include "picdex/long_thread.h"
#include "platform/thread.h"

namespace {

using testutil::WaitUntil;

// A pool whose thread function is a std::function, with its insides visible.
class Pool : public CLongThread {
public:
    Pool(int threads, int priority) : CLongThread(threads, priority) {}
    ~Pool() override { Cancel(TRUE); }

    std::function<DWORD(unsigned int)> body = [](unsigned int) { return DWORD(1); };
    std::atomic<int> cancels{0};
    std::atomic<DWORD> cancelThread{0};

    static DWORD Call(void* p, unsigned int i) { return static_cast<Pool*>(p)->body(i); }
    static DWORD Other(void* p, unsigned int i) { return Call(p, i); }
    int Start(int bRun) { return CLongThread::Start(&Call, this, bRun); }
    void OnCancel() override {
        ++cancels;
        cancelThread = GetCurrentThreadId();
    }

    unsigned int Count() const { return m_nThreadCount; }
    int Priority() const { return m_nPriority; }
    HANDLE Thread(int i) const { return m_hThreads[i]; }
    DWORD ThreadId(int i) const { return m_dwThreadIds[i]; }
    bool Parked(int i) { return WaitForSingleObject(m_hPaused[i], 0) == WAIT_OBJECT_0; }
    DWORD ExitCode(int i) {
        DWORD code = 12345;
        GetExitCodeThread(m_hThreads[i], &code);
        return code;
    }
};

TEST(LongThread, ClampsCountAndPriority) {
    EXPECT_EQ(Pool(0, 99).Count(), 1u);
    EXPECT_EQ(Pool(-5, 0).Count(), 1u);
    EXPECT_EQ(Pool(40, 0).Count(), 16u);
    EXPECT_EQ(Pool(1, 99).Priority(), 15);
    EXPECT_EQ(Pool(1, -99).Priority(), -15);
    Pool p(1, 0);
    EXPECT_TRUE(p.IsFinish());  // never started
    EXPECT_EQ(p.GetActiveThreadCount(), 1);
    p.SetPriority(-40);
    EXPECT_EQ(p.Priority(), -15);
}

TEST(LongThread, PoolThatFindsNoWorkEndsByItself) {
    Pool p(1, 0);
    std::atomic<int> calls{0};
    p.body = [&](unsigned int) {
        ++calls;
        return DWORD(0);
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(p.GetActiveThreadCount(), 0);
    EXPECT_EQ(p.cancels.load(), 0);  // ending without work is not a cancel
    EXPECT_EQ(p.ExitCode(0), 0u);
    // A finished pool starts again, with the same function or another.
    EXPECT_EQ(p.Pause(FALSE), 0);
    EXPECT_EQ(p.Resume(), 0);
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(calls.load(), 2);
}

TEST(LongThread, ManyThreadsShareWorkUntilAllAreIdle) {
    Pool p(4, -1);
    std::atomic<int> left{2000}, done{0};
    std::atomic<unsigned int> indexes{0};
    p.body = [&](unsigned int i) {
        indexes |= 1u << i;
        if (left.fetch_sub(1) > 0) {
            ++done;
            return DWORD(1);
        }
        return DWORD(0);
    };
    EXPECT_EQ(p.Start(TRUE), 1);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(done.load(), 2000);
    EXPECT_EQ(p.GetActiveThreadCount(), 0);
    EXPECT_EQ(p.cancels.load(), 0);
    EXPECT_NE(indexes.load() & 1u, 0u);
    EXPECT_EQ(indexes.load() & ~0xFu, 0u);  // only indexes 0..3
}

TEST(LongThread, OtherResultsCallAgainAtOnce) {
    Pool p(1, 0);
    std::atomic<int> calls{0};
    p.body = [&](unsigned int) { return DWORD(++calls < 2000 ? 2 : 0); };
    p.Start(TRUE);
    // 2000 calls with a 300 ms rest between them would take ten minutes.
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }, 60));
    EXPECT_EQ(calls.load(), 2000);
}

TEST(LongThread, StartRules) {
    Pool p(1, 0);
    CEvent release;
    std::atomic<int> calls{0};
    p.body = [&](unsigned int) {
        ++calls;
        WaitForSingleObject(release, 5);
        return DWORD(1);
    };
    // Started paused: no call until Resume.
    EXPECT_EQ(p.Start(FALSE), 1);
    ASSERT_TRUE(WaitUntil([&] { return p.Parked(0); }));
    EXPECT_EQ(calls.load(), 0);
    EXPECT_EQ(p.IsPause(), 1);
    EXPECT_EQ(p.IsUserPause(), 1);
    // Another parameter does not resume it.
    EXPECT_EQ(p.CLongThread::Start(&Pool::Call, nullptr, TRUE), 0);
    EXPECT_EQ(p.IsPause(), 1);
    // Another function neither.
    EXPECT_EQ(p.CLongThread::Start(&Pool::Other, &p, TRUE), 0);
    EXPECT_EQ(p.IsPause(), 1);
    // Same function and parameter with bRun: resumed.
    EXPECT_EQ(p.Start(TRUE), 1);
    ASSERT_TRUE(WaitUntil([&] { return calls.load() > 0; }));
    EXPECT_EQ(p.IsPause(), 0);
    // Running and not paused: nothing.
    EXPECT_EQ(p.Start(TRUE), 0);
    EXPECT_EQ(p.Resume(), 0);
}

TEST(LongThread, PauseWaitsForTheThreadToPark) {
    Pool p(2, 0);
    std::atomic<int> calls{0};
    p.body = [&](unsigned int) {
        ++calls;
        return DWORD(1);
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return calls.load() > 10; }));
    EXPECT_EQ(p.Pause(TRUE), 1);
    EXPECT_TRUE(p.Parked(0));
    EXPECT_TRUE(p.Parked(1));
    int frozen = calls.load();
    EXPECT_EQ(p.Pause(TRUE), 0);  // already paused
    EXPECT_EQ(calls.load(), frozen);
    EXPECT_EQ(p.Resume(), 1);
    ASSERT_TRUE(WaitUntil([&] { return calls.load() > frozen; }));
    ASSERT_TRUE(WaitUntil([&] { return !p.Parked(0) && !p.Parked(1); }));
    EXPECT_EQ(p.Resume(), 0);
}

TEST(LongThread, WaitingCancelOfPausedPoolRunsOnCancelOnceOnTheWorker) {
    Pool p(1, 0);
    p.Start(TRUE);
    EXPECT_EQ(p.Pause(TRUE), 1);
    DWORD worker = p.ThreadId(0);
    p.Cancel(TRUE);
    EXPECT_EQ(p.cancels.load(), 1);
    EXPECT_EQ(p.cancelThread.load(), worker);
    EXPECT_NE(worker, GetCurrentThreadId());
    EXPECT_EQ(p.Thread(0), nullptr);  // handles closed
    EXPECT_EQ(p.IsFinish(), 1);
    EXPECT_EQ(p.IsUserCancel(), 1);  // until the next Start
    EXPECT_EQ(p.IsUserPause(), 0);
    p.body = [](unsigned int) { return DWORD(0); };
    p.Start(TRUE);
    EXPECT_EQ(p.IsUserCancel(), 0);
}

TEST(LongThread, CancelWithoutWaitReturnsAtOnceAndKeepsHandles) {
    Pool p(1, 0);
    CEvent inside, release;
    p.body = [&](unsigned int) {
        inside.SetEvent();
        WaitForSingleObject(release, INFINITE);
        return DWORD(1);
    };
    p.Start(TRUE);
    ASSERT_EQ(WaitForSingleObject(inside, 30000), WAIT_OBJECT_0);
    p.Cancel(FALSE);  // the thread is still inside its function
    EXPECT_EQ(p.IsFinish(), 0);
    EXPECT_EQ(p.IsUserCancel(), 1);
    release.SetEvent();
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_NE(p.Thread(0), nullptr);
    EXPECT_EQ(p.ExitCode(0), 1u);  // the last result
    EXPECT_EQ(p.cancels.load(), 1);
}

TEST(LongThread, LongFunctionWaitsOnTheCancelHandle) {
    Pool p(1, 0);
    std::atomic<bool> sawCancel{false};
    p.body = [&](unsigned int) {
        HANDLE h = p.GetCancelHandle();
        sawCancel = WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0;
        return DWORD(1);
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return plat::WaiterCount(p.GetCancelHandle()) == 1; }));
    p.Cancel(TRUE);
    EXPECT_TRUE(sawCancel.load());
}

TEST(LongThread, SetPriorityReachesEveryThread) {
    Pool p(2, -3);
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.ThreadId(0) && p.ThreadId(1); }));
    EXPECT_EQ(GetThreadPriority(p.Thread(0)), -3);
    EXPECT_EQ(GetThreadPriority(p.Thread(1)), -3);
    p.SetPriority(-7);
    EXPECT_EQ(GetThreadPriority(p.Thread(0)), -7);
    EXPECT_EQ(GetThreadPriority(p.Thread(1)), -7);
}

TEST(LongThread, FaultInTheFunctionEndsOnlyThatThread) {
#if defined(PICDEX_ASAN_BUILD)
    GTEST_SKIP() << "the address sanitizer owns hardware-fault handling in this build";
#endif
    Pool p(1, 0);
    p.body = [](unsigned int) -> DWORD {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return 1;
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(p.ExitCode(0), 0u);
    // The counters stay as they were at the fault: the thread still counts as active.
    EXPECT_EQ(p.GetActiveThreadCount(), 1);
    // The pool can be started again.
    std::atomic<int> calls{0};
    p.body = [&](unsigned int) {
        ++calls;
        return DWORD(0);
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(calls.load(), 1);
}

TEST(LongThread, ExceptionInTheFunctionEndsOnlyThatThread) {
    Pool p(1, 0);
    p.body = [](unsigned int) -> DWORD { throw std::runtime_error("boom"); };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }));
    EXPECT_EQ(p.ExitCode(0), 0u);
}

}  // namespace
