// A host that starts a scan and exits normally without Shutdown leaves a committed,
// sound index file, and the next process continues the run to its end. The host is
// this test program run again as a child, using the library's own service object.
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "engine/service_host.h"
#include "picdex/drives.h"

namespace {

constexpr int kFolders = 40;

// The first column of the first row of `sql` on the index file, read on a connection of
// its own; "" when there is none.
std::string ReadOne(const std::string& db, const char* sql) {
    sqlite3* raw = nullptr;
    std::string value;
    if (sqlite3_open_v2(db.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(raw, 30000);
        sqlite3_exec(
            raw, sql,
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 1;
            },
            &value, nullptr);
    }
    sqlite3_close(raw);
    return value;
}

TEST(ServiceExit, AnExitWithoutShutdownLeavesAnIndexTheNextRunContinues) {
    if (const char* db = std::getenv("PICDEX_EXIT_CHILD_DB")) {
        std::string error;
        ASSERT_TRUE(picdex::SetDriveTable(std::getenv("PICDEX_EXIT_CHILD_DRIVES"), &error));
        ISearchBuss* service = ISearchBuss::GetInstance();
        ASSERT_EQ(1, service->Initialize(Utf8ToWide(db), L"", L"", 0));
        testutil::HostStandIn host;
        service->SetStatsNotifyWnd(host.stats);
        ASSERT_EQ(1, service->StartBackSearch());
        ASSERT_TRUE(host.WaitFor(WM_PD_FOLDER_STATS));  // a first folder is written
        std::exit(service->IsBusy(TRUE) ? 0 : 3);
    }
    // The host exits at the first folder statistics, which the notifier may send only
    // after a small run has already ended: the tree then grows and the host runs again.
    testutil::TempDir dir;
    std::string db = dir / "index.db", drives = "C=" + (dir / "tree");
    int files = 0, status = 0;
    for (int perFolder : {25, 100, 400}) {
        for (int f = 0; f < kFolders; ++f)
            for (int i = files / kFolders; i < perFolder; ++i)
                dir.WriteFile("tree/f" + std::to_string(f) + "/p" + std::to_string(i) + ".jpg",
                              "p");
        files = kFolders * perFolder;
        std::filesystem::remove(db);
        pid_t child = fork();
        ASSERT_NE(-1, child);
        if (child == 0) {
            setenv("PICDEX_EXIT_CHILD_DB", db.c_str(), 1);
            setenv("PICDEX_EXIT_CHILD_DRIVES", drives.c_str(), 1);
            execl("/proc/self/exe", "engine_tests", "--gtest_filter=ServiceExit.*", nullptr);
            _exit(127);
        }
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status)) << "the host process did not end normally";
        if (WEXITSTATUS(status) != 3) break;
    }
    ASSERT_EQ(0, WEXITSTATUS(status)) << "the host failed, or the scan had ended at the exit";
    EXPECT_FALSE(std::filesystem::exists(db + "-journal"));
    EXPECT_EQ(ReadOne(db, "PRAGMA integrity_check"), "ok");
    EXPECT_GT(
        std::atoi(ReadOne(db, "select count(*) from tb_file_info where strMD5 <> ''").c_str()), 0);

    testutil::ScopedDriveTable table(drives);
    testutil::HostStandIn host;
    CSearchEngine engine;
    ASSERT_EQ(1, engine.Initialize(Utf8ToWide(db), L"", L"", 0));
    engine.SetFolderNotifyWnd(host.folder);
    EXPECT_EQ(1, engine.IsLastScanUnfinished());
    ASSERT_EQ(1, engine.ContinueBackSearch());
    ASSERT_TRUE(host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ(0, engine.IsLastScanUnfinished());
    EXPECT_EQ(ReadOne(db, "select count(*) from tb_file_info where strMD5 = ''"), "0");
    EXPECT_EQ(ReadOne(db, "select count(*) from tb_file_info"), std::to_string(files));
    engine.Shutdown();
}

}  // namespace
