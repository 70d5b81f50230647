#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <tuple>

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
    std::atomic<int> calls{0}, cancels{0};
    std::atomic<DWORD> cancelThread{0};

    static DWORD Call(void* p, unsigned int i) {
        return ++static_cast<Pool*>(p)->calls, static_cast<Pool*>(p)->body(i);
    }
    static DWORD Other(void* p, unsigned int i) { return Call(p, i); }
    int Start(int bRun) { return CLongThread::Start(&Call, this, bRun); }
    void OnCancel() override {
        ++cancels;
        cancelThread = GetCurrentThreadId();
    }
    bool Finished() {
        return WaitUntil([&] { return IsFinish() == 1; }, 60);
    }
    bool CallsPass(int n) {
        return WaitUntil([&] { return calls.load() > n; });
    }
    DWORD ExitCode() {
        DWORD code = 12345;
        GetExitCodeThread(m_hThreads[0], &code);
        return code;
    }
    using CLongThread::m_hPaused, CLongThread::m_hThreads, CLongThread::m_nPriority,
        CLongThread::m_nThreadCount;
};

TEST(LongThread, ClampsCountAndPriority) {
    const int rows[][4] = {{0, 99, 1, 15}, {-5, -99, 1, -15}, {16, 3, 16, 3}, {40, 0, 16, 0}};
    for (auto [threads, priority, count, clamped] : rows) {
        Pool p(threads, priority);
        EXPECT_EQ(std::pair(unsigned(count), clamped), std::pair(p.m_nThreadCount, p.m_nPriority));
    }
    Pool p(2, -3);
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return GetThreadPriority(p.m_hThreads[1]) == -3; }));
    p.SetPriority(-40);
    EXPECT_EQ(GetThreadPriority(p.m_hThreads[0]) + GetThreadPriority(p.m_hThreads[1]), -30);
}

// Result 1: work was found; 0: none (the thread goes idle; the pool ends when every
// thread is idle); anything else: call again at once (a 300 ms rest would make the 1000
// calls below take minutes). Ending without work is not a cancel; the pool starts again.
TEST(LongThread, WorksUntilEveryThreadIsIdle) {
    for (int threads : {1, 4}) {
        Pool p(threads, 0);
        std::atomic<unsigned int> indexes{0};
        p.body = [&](unsigned int i) {
            indexes |= 1u << i;
            return DWORD(p.calls < 2000 ? 1 : p.calls < 3000 ? 2 : 0);
        };
        p.Start(TRUE);
        ASSERT_TRUE(p.Finished());
        EXPECT_EQ(indexes.load(), (1u << threads) - 1);
        EXPECT_GE(p.calls.load(), 3000);
        EXPECT_EQ(std::tuple(p.GetActiveThreadCount(), p.cancels.load(), p.ExitCode()),
                  std::tuple(0, 0, 0u));
        EXPECT_EQ(p.Pause(FALSE) + p.Resume(), 0);  // nothing runs
        int before = p.calls;
        p.Start(TRUE);
        ASSERT_TRUE(p.Finished());
        EXPECT_GE(p.calls.load(), before + threads);
    }
}

// Work found by one thread wakes the threads idle at that moment, and only them: an
// idle thread is not called again while the others find nothing new.
TEST(LongThread, IdleThreadsWakeOnlyForNewWork) {
    Pool p(2, 0);
    CEvent go;
    std::atomic<int> idleCalls{0}, workCalls{0};
    p.body = [&](unsigned int i) {
        if (i == 1) return ++idleCalls, DWORD(0);
        WaitForSingleObject(workCalls++ ? p.GetCancelHandle() : HANDLE(go), INFINITE);
        return DWORD(1);
    };
    p.Start(TRUE);
    go.SetEvent();  // work found after the start
    EXPECT_FALSE(WaitUntil([&] { return idleCalls.load() > 2; }, 1.2));
}

// Start resumes a paused pool only for the same function and parameter; Pause with the
// wait flag returns once every thread is parked; Resume acts on a paused pool only.
TEST(LongThread, StartPauseAndResumeRules) {
    Pool p(2, 0);
    p.body = [&](unsigned int) { return Sleep(2), DWORD(1); };
    EXPECT_EQ(p.Start(FALSE), 1);
    EXPECT_EQ(p.IsPause() + p.IsUserPause(), 2);
    EXPECT_EQ(p.CLongThread::Start(&Pool::Call, nullptr, TRUE), 0);
    EXPECT_EQ(p.CLongThread::Start(&Pool::Other, &p, TRUE), 0);
    EXPECT_EQ(p.calls.load(), 0);
    EXPECT_EQ(p.Start(TRUE), 1);
    ASSERT_TRUE(p.CallsPass(10));
    EXPECT_EQ(p.Start(TRUE) + p.Resume() + p.IsPause(), 0);  // running and not paused
    EXPECT_EQ(p.Pause(TRUE), 1);
    EXPECT_EQ(WaitForMultipleObjects(2, p.m_hPaused, TRUE, 0), WAIT_OBJECT_0);  // both parked
    int frozen = p.calls.load();
    EXPECT_EQ(p.Pause(TRUE), 0);  // already paused
    EXPECT_EQ(p.calls.load(), frozen);
    EXPECT_EQ(p.Resume(), 1);
    ASSERT_TRUE(p.CallsPass(frozen));
}

// A cancel without the wait returns while the function still runs; the last thread out
// runs OnCancel once, on itself. A waiting cancel closes the handles; the cancel flag
// stays until the next Start.
TEST(LongThread, CancelRunsOnCancelOnceOnTheWorker) {
    Pool p(1, 0);
    CEvent release;
    std::atomic<DWORD> worker{0};
    p.body = [&](unsigned int) {
        worker = GetCurrentThreadId();
        WaitForSingleObject(p.GetCancelHandle(), INFINITE);
        WaitForSingleObject(release, INFINITE);
        return DWORD(1);
    };
    p.Start(TRUE);
    ASSERT_TRUE(WaitUntil([&] { return plat::WaiterCount(p.GetCancelHandle()) == 1; }));
    p.Cancel(FALSE);
    ASSERT_TRUE(WaitUntil([&] { return plat::WaiterCount(release) == 1; }));
    EXPECT_EQ(std::pair(p.IsFinish(), p.IsUserCancel()), std::pair(0, 1));
    release.SetEvent();
    ASSERT_TRUE(p.Finished());
    EXPECT_EQ(std::tuple(p.ExitCode(), p.cancels.load(), p.cancelThread.load()),
              std::tuple(1u, 1, worker.load()));  // the last result

    p.body = [](unsigned int) { return DWORD(1); };
    p.Start(TRUE);
    EXPECT_EQ(p.IsUserCancel(), 0);
    EXPECT_EQ(p.Pause(TRUE), 1);
    p.Cancel(TRUE);
    EXPECT_EQ(p.cancels.load(), 2);
    EXPECT_EQ(p.m_hThreads[0], nullptr);
    EXPECT_EQ(std::tuple(p.IsFinish(), p.IsUserCancel(), p.IsUserPause()), std::tuple(1, 1, 0));
}

}  // namespace
