// A scan killed with SIGKILL and continued by a new process ends with the index of an
// uninterrupted run, row for row (ids and search times aside).
//
// The scanning processes are this test program run again as a child
// (BackSearchCrashChild.Run, which does nothing unless the environment names a
// database): it starts or continues a run, prints each phase it sees, and may kill
// itself when a chosen statement is about to run (a point inside a transaction of the
// save queue). The parent may also kill it from outside as soon as it reports a phase.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "back_search_util.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char kDbVar[] = "PICDEX_SCAN_CHILD_DB";
const char kDrivesVar[] = "PICDEX_SCAN_CHILD_DRIVES";
const char kModeVar[] = "PICDEX_SCAN_CHILD_MODE";
const char kKillVar[] = "PICDEX_SCAN_CHILD_KILL";

#if defined(PICDEX_ASAN_BUILD) || defined(PICDEX_TSAN_BUILD)
constexpr int kScale = 1;  // the sanitizers make every step many times slower
#else
constexpr int kScale = 3;
#endif

// The child's side. PICDEX_SCAN_CHILD_KILL is "<phase>|<statement text>|<n>": the
// child kills itself before the n-th statement containing the text that runs while
// the phase is at least <phase>.
TEST(BackSearchCrashChild, Run) {
    const char* db = std::getenv(kDbVar);
    if (!db) GTEST_SKIP() << "run as a child process by BackSearchCrash";
    std::string error;
    ASSERT_TRUE(picdex::SetDriveTable(std::getenv(kDrivesVar), &error)) << error;
    CCommonFunc::InitPicExt({});
    scantest::ScanHarness h(db);
    CBackSearch& scanner = h.Scanner();
    std::string kill = std::getenv(kKillVar) ? std::getenv(kKillVar) : "";
    if (!kill.empty()) {
        size_t bar1 = kill.find('|'), bar2 = kill.rfind('|');
        LONG phase = std::stol(kill.substr(0, bar1));
        std::string text = kill.substr(bar1 + 1, bar2 - bar1 - 1);
        int n = std::stoi(kill.substr(bar2 + 1));
        h.Db().GetDbMng().SetStatementObserver(
            [&scanner, phase, text, n, seen = 0](const char* sql) mutable {
                if (scanner.GetPhase() >= phase && std::strstr(sql, text.c_str()) && ++seen == n) {
                    std::printf("killed in %ld\n", long(scanner.GetPhase()));
                    std::fflush(stdout);
                    ::kill(getpid(), SIGKILL);
                }
            });
    }
    bool fresh = std::string(std::getenv(kModeVar)) == "new";
    ASSERT_EQ(1, fresh ? scanner.StartNewRun() : scanner.ContinueRun());
    LONG last = -1;
    while (!scanner.IsFinish()) {
        LONG phase = scanner.GetPhase();
        if (phase != last) {
            std::printf("phase %ld\n", long(phase));
            std::fflush(stdout);
            last = phase;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (scanner.GetPhase() != last) std::printf("phase %ld\n", long(scanner.GetPhase()));
    std::printf("done\n");
    std::fflush(stdout);
}

// One process of a scenario: a self-kill point, or a phase at which the parent kills
// the child (when it first reports that phase or a later one), or neither.
struct Step {
    std::string selfKill;
    int killAtPhase = -1;
};

// Runs the child with the given step on `db`; returns its wait status.
int RunChild(const std::string& db, const std::string& drives, bool fresh, const Step& step,
             std::string* lastLine) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    env.push_back(std::string(kDbVar) + "=" + db);
    env.push_back(std::string(kDrivesVar) + "=" + drives);
    env.push_back(std::string(kModeVar) + "=" + (fresh ? "new" : "continue"));
    env.push_back(std::string(kKillVar) + "=" + step.selfKill);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe");
    std::string filter = "--gtest_filter=BackSearchCrashChild.Run";
    char* argv[] = {self.data(), filter.data(), nullptr};

    int out[2];
    EXPECT_EQ(0, pipe(out));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    EXPECT_EQ(0, rc);
    FILE* lines = fdopen(out[0], "r");
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, lines)) {
        // The lines of the scan (the rest is the test framework's).
        if (std::strncmp(buffer, "phase", 5) && std::strncmp(buffer, "done", 4) &&
            std::strncmp(buffer, "killed", 6))
            continue;
        *lastLine = buffer;
        int phase = -1;
        if (step.killAtPhase >= 0 && std::sscanf(buffer, "phase %d", &phase) == 1 &&
            phase >= step.killAtPhase && phase < kPhaseCancelling) {
            kill(pid, SIGKILL);
            *lastLine = "killed by the parent in " + std::to_string(phase) + "\n";
            break;
        }
    }
    std::fclose(lines);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

class BackSearchCrash : public ::testing::Test {
protected:
    void SetUp() override {
        CCommonFunc::InitPicExt({});
        int pictures = scantest::WriteTree(m_root / "c", 80 * kScale, 5);
        pictures += scantest::WriteTree(m_root / "n", 20 * kScale, 12);
        ASSERT_TRUE(scantest::MakeNtfsImage(m_root / "n", m_root / "n.img", 64));
        m_drives = "C=" + (m_root / "c") + ";N=" + (m_root / "n") +
                   ",fs=NTFS,device=" + (m_root / "n.img");
        m_table = std::make_unique<testutil::ScopedDriveTable>(m_drives);
        { scantest::ScanHarness make(m_root / "empty.db"); }
        Runs("reference", {});
        m_expected = scantest::DumpIndex(m_root / "reference.db");
        ASSERT_EQ(pictures, scantest::QueryNumber(m_root / "reference.db",
                                                  "select count(*) from tb_file_info"));
    }

    // A new run on a copy of the empty database, through one process per step (each
    // must die by SIGKILL) and a last one that continues to the end.
    void Runs(const std::string& name, const std::vector<Step>& steps) {
        std::string db = m_root / (name + ".db");
        fs::copy_file(m_root / "empty.db", db);
        std::string line;
        for (size_t i = 0; i < steps.size(); ++i) {
            int status = RunChild(db, m_drives, i == 0, steps[i], &line);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
                << name << " step " << i << " ended with status " << status << " after " << line;
        }
        int status = RunChild(db, m_drives, steps.empty(), Step{}, &line);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << ": " << line;
        EXPECT_EQ("done\n", line) << name;
    }

    testutil::ScopedEnv m_fast{"TMPDIR", scantest::FastTempFolder()};
    testutil::TempDir m_root;
    scantest::ScopedSystemFolders m_sys{m_root};
    std::string m_drives;
    std::unique_ptr<testutil::ScopedDriveTable> m_table;
    std::vector<std::string> m_expected;
};

// Killed inside the save queue's transactions: while the drive list is stored, as the
// NTFS drive is finished, in the walk, in the analysis, in the end-of-walk clean-up
// and in the end-of-run rebuild; each time a new process continues.
TEST_F(BackSearchCrash, KilledInsideWritesThenContinued) {
    Runs("inside", {{"0|Replace into tb_ntfs_path_task|1"},
                    {"0|delete from tb_ntfs_path_task where|1"},
                    {"5|delete from tb_path_task where|" + std::to_string(20 * kScale)},
                    {"7|Replace into tb_file_info|" + std::to_string(100 * kScale)},
                    {"6|update tb_path_info set iPicCount = 0|1"},
                    {"13|replace into tb_time_path_info|1"}});
    EXPECT_EQ(m_expected, scantest::DumpIndex(m_root / "inside.db"));
}

// Killed from outside as soon as a phase is reported: the NTFS read, the walk, the
// analysis (twice) and the end of the run.
TEST_F(BackSearchCrash, KilledFromOutsideThenContinued) {
    Runs("outside", {{"", kPhaseNtfsRead},
                     {"", kPhaseFolderWalk},
                     {"", kPhaseAnalyse},
                     {"", kPhaseAnalyse},
                     {"", kPhaseRunEnd}});
    EXPECT_EQ(m_expected, scantest::DumpIndex(m_root / "outside.db"));
}

}  // namespace
