// A scan killed with SIGKILL at many points and continued each time by a new process
// ends with the index of an uninterrupted run, row for row.
//
// The scanning processes are this program run again: BackSearchCrashChild.Run does
// nothing unless PICDEX_SCAN_CHILD says "<new|continue>|<db>|<phase>|<text>|<n>". It
// starts or continues a run and kills itself before the n-th statement containing the
// text that runs in that phase or a later one (inside a save-queue transaction), or
// without a text as soon as it sees that phase or a later one.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "back_search_util.h"

extern char** environ;

namespace {

#if defined(PICDEX_ASAN_BUILD) || defined(PICDEX_TSAN_BUILD)
constexpr int kScale = 1;  // the sanitizers make every step many times slower
#else
constexpr int kScale = 3;
#endif

TEST(BackSearchCrashChild, Run) {
    const char* order = std::getenv("PICDEX_SCAN_CHILD");
    if (!order) GTEST_SKIP() << "run as a child process by BackSearchCrash";
    std::stringstream in(order);
    std::string mode, db, text;
    long phase = -1, n = 0;
    std::getline(in, mode, '|') && std::getline(in, db, '|') && in >> phase&& in.ignore() &&
        std::getline(in, text, '|') && in >> n;
    CCommonFunc::InitPicExt({});
    scantest::ScanHarness h(db);
    CBackSearch& s = h.scanner;
    h.db.GetDbMng().SetStatementObserver([&, seen = 0](const char* sql) mutable {
        if (n && s.GetPhase() >= phase && std::strstr(sql, text.c_str()) && ++seen == n)
            kill(getpid(), SIGKILL);
    });
    ASSERT_EQ(1, mode == "new" ? s.StartNewRun() : s.ContinueRun());
    auto due = [&] { return !n && phase >= 0 && s.GetPhase() >= phase && s.GetPhase() < 14; };
    while (!s.IsFinish() && !due())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (due()) kill(getpid(), SIGKILL);
}

// Killed inside the save queue's transactions (while the drive list is stored, as the
// NTFS drive is finished, in the walk, the analysis, the end-of-walk clean-up and the
// end-of-run rebuild), then as soon as a phase is seen (the NTFS read, the walk, the
// analysis twice, the end of the run): each time a new process continues.
TEST(BackSearchCrash, KilledThenContinued) {
    CCommonFunc::InitPicExt({});
    scantest::Machine m;
    scantest::WriteTree(m.root / "c", 80 * kScale, 5);
    scantest::WriteTree(m.root / "n", 20 * kScale, 12);
    scantest::MakeNtfsImage(m.root / "n", 64);
    testutil::ScopedEnv drives("PICDEX_DRIVES", "C=" + (m.root / "c") + ";N=" + (m.root / "n") +
                                                    ",fs=NTFS,device=" + (m.root / "n.img"));
    { scantest::ScanHarness make(m.root / "empty.db"); }
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    char filter[] = "--gtest_filter=BackSearchCrashChild.Run", brief[] = "--gtest_brief=1";
    char* argv[] = {self.data(), filter, brief, nullptr};
    // A new run on a copy of the empty index through one process per kill point (each
    // must die by SIGKILL) and a last one that continues to the end; the index it leaves.
    auto runs = [&](const std::string& name, const scantest::Texts& kills) {
        std::string db = m.root / (name + ".db");
        std::filesystem::copy_file(m.root / "empty.db", db);
        for (size_t i = 0; i <= kills.size(); ++i) {
            std::string point = i < kills.size() ? kills[i] : "";
            testutil::ScopedEnv order("PICDEX_SCAN_CHILD",
                                      (i ? "continue|" : "new|") + db + "|" + point);
            pid_t pid = 0;
            int status = -1;
            EXPECT_EQ(0, posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ));
            waitpid(pid, &status, 0);
            int end = WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
            EXPECT_EQ(i < kills.size() ? -SIGKILL : 0, end) << name << " " << point;
        }
        return scantest::DumpIndex(db);
    };
    const scantest::Texts expected = runs("reference", {});
    ASSERT_EQ(scantest::Texts{std::to_string(640 * kScale)},
              scantest::Query(m.root / "reference.db", "select count(*) from tb_file_info"));
    EXPECT_EQ(
        expected,
        runs("inside",
             {"0|Replace into tb_ntfs_path_task|1", "0|delete from tb_ntfs_path_task where|1",
              "5|delete from tb_path_task where|" + std::to_string(20 * kScale),
              "7|Replace into tb_file_info|" + std::to_string(100 * kScale),
              "6|update tb_path_info set iPicCount = 0|1", "13|replace into tb_time_path_info|1"}));
    EXPECT_EQ(expected, runs("outside", {"1", "5", "8", "8", "10"}));
}

}  // namespace
