// The worker-pool base: clamped sizes and priorities, the work / idle / end cycle,
// start, pause and resume, and cancel with its OnCancel.
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
    // The exit code of the first thread: the last result of its function.
    DWORD ExitCode() {
        DWORD code = 12345;
        GetExitCodeThread(m_hThreads[0], &code);
        return code;
    }
    using CLongThread::m_hPaused, CLongThread::m_hThreads, CLongThread::m_nPriority,
        CLongThread::m_nThreadCount;
};

// The thread count is clamped to 1..16 and the priority to -15..15, also when it is
// changed on running threads.
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
// calls below take minutes). Ending without work is not a cancel. (A pool that ended by
// itself starting again is what every second search on one search worker does.)
TEST(LongThread, WorksUntilEveryThreadIsIdle) {
    for (int threads : {1, 4}) {
        Pool p(threads, 0);
        std::atomic<unsigned int> indexes{0};
        p.body = [&](unsigned int i) {
            indexes |= 1u << i;
            return DWORD(p.calls < 2000 ? 1 : p.calls < 3000 ? 2 : 0);
        };
        p.Start(TRUE);
        ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }, 60));
        // Every index called; nothing active, cancelled or left to pause or resume.
        EXPECT_EQ(std::tuple((1u << threads) - 1, true, 0, 0, 0u, 0),
                  std::tuple(indexes.load(), p.calls >= 3000, p.GetActiveThreadCount(),
                             p.cancels.load(), p.ExitCode(), p.Pause(FALSE) + p.Resume()));
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
    // Started paused: pause flags set, other starts refused, nothing called.
    EXPECT_EQ((std::vector<int>{p.Start(FALSE), p.IsPause(), p.IsUserPause(),
                                p.CLongThread::Start(&Pool::Call, nullptr, TRUE),
                                p.CLongThread::Start(&Pool::Other, &p, TRUE), p.calls.load()}),
              (std::vector<int>{1, 1, 1, 0, 0, 0}));
    EXPECT_EQ(p.Start(TRUE), 1);
    ASSERT_TRUE(WaitUntil([&] { return p.calls > 10; }));
    // Running and not paused; a waiting pause parks both threads; a second one does nothing.
    EXPECT_EQ((std::vector<int>{p.Start(TRUE), p.Resume(), p.IsPause(), p.Pause(TRUE),
                                int(WaitForMultipleObjects(2, p.m_hPaused, TRUE, 0))}),
              (std::vector<int>{0, 0, 0, 1, int(WAIT_OBJECT_0)}));
    int frozen = p.calls.load();
    EXPECT_EQ(std::pair(p.Pause(TRUE), p.calls.load()), std::pair(0, frozen));
    EXPECT_EQ(p.Resume(), 1);
    ASSERT_TRUE(WaitUntil([&] { return p.calls > frozen; }));
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
    ASSERT_TRUE(WaitUntil([&] { return p.IsFinish() == 1; }, 60));
    EXPECT_EQ(std::tuple(p.ExitCode(), p.cancels.load(), p.cancelThread.load()),
              std::tuple(1u, 1, worker.load()));

    p.body = [](unsigned int) { return DWORD(1); };
    EXPECT_EQ((std::vector<int>{p.Start(TRUE), p.IsUserCancel(), p.Pause(TRUE)}),
              (std::vector<int>{1, 0, 1}));
    p.Cancel(TRUE);
    EXPECT_EQ(std::tuple(p.cancels.load(), p.m_hThreads[0], p.IsFinish(), p.IsUserCancel(),
                         p.IsUserPause()),
              std::tuple(2, HANDLE(nullptr), 1, 1, 0));
}

}  // namespace
