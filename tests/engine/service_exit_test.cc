// A host that starts a scan and exits normally without Shutdown leaves a committed,
// sound index file, and the next process continues the run to its end. The host is
// this test program run again as a child, using the library's own service object.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "db/cppsqlite3.h"
#include "engine/service_host.h"

namespace {

// (integrity, pictures analysed, pictures) of an index file, read on a connection of
// its own.
std::tuple<std::string, int, int> Check(const std::string& db) {
    CppSQLite3DB conn;
    conn.Open(db.c_str());
    return {conn.Query("PRAGMA integrity_check").ColumnText(0),
            conn.QueryScalar("select count(*) from tb_file_info where strMD5 <> ''"),
            conn.QueryScalar("select count(*) from tb_file_info")};
}

TEST(ServiceExit, AnExitWithoutShutdownLeavesAnIndexTheNextRunContinues) {
    if (const char* db = std::getenv("PICDEX_EXIT_CHILD_DB")) {
        testutil::ScopedDriveTable table(std::getenv("PICDEX_EXIT_CHILD_DRIVES"));
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
        for (int f = 0; f < 40; ++f)
            for (int i = files / 40; i < perFolder; ++i)
                dir.WriteFile("tree/f" + std::to_string(f) + "/p" + std::to_string(i) + ".jpg",
                              "p");
        files = 40 * perFolder;
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
    auto [integrity, analysed, total] = Check(db);
    EXPECT_EQ("ok", integrity);
    EXPECT_GT(analysed, 0);

    testutil::ScopedDriveTable table(drives);
    testutil::HostStandIn host;
    CSearchEngine engine;
    ASSERT_EQ(1, engine.Initialize(Utf8ToWide(db), L"", L"", 0));
    engine.SetFolderNotifyWnd(host.folder);
    EXPECT_EQ(1, engine.IsLastScanUnfinished());
    ASSERT_EQ(1, engine.ContinueBackSearch());
    ASSERT_TRUE(host.WaitFor(WM_PD_RUN_DONE));
    EXPECT_EQ(0, engine.IsLastScanUnfinished());
    EXPECT_EQ(std::tuple(std::string("ok"), files, files), Check(db));
    engine.Shutdown();
}

}  // namespace
