// A host that starts a scan and exits normally without Shutdown leaves a committed,
// sound index file whose run is marked unfinished. The host is this test program run
// again as a child, using the library's own service object.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "db/cppsqlite3.h"
#include "engine/service_host.h"

namespace {

TEST(ServiceExit, AnExitWithoutShutdownLeavesASoundIndexWithItsRunUnfinished) {
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
    // after a small run has already ended, or the run may end while the host exits: the
    // tree then grows and the host runs again.
    testutil::TempDir dir;
    std::string db = dir / "index.db", drives = "C=" + (dir / "tree");
    std::string self = std::filesystem::read_symlink("/proc/self/exe");
    int unfinished = 0;
    for (int perFolder : {25, 100, 400}) {
        for (int f = 0; f < 40; ++f)
            for (int i = 0; i < perFolder; ++i)
                dir.WriteFile("tree/f" + std::to_string(f) + "/p" + std::to_string(i) + ".jpg",
                              "p");
        std::filesystem::remove(db);
        int status =
            std::system(("PICDEX_EXIT_CHILD_DB='" + db + "' PICDEX_EXIT_CHILD_DRIVES='" + drives +
                         "' '" + self + "' --gtest_filter='ServiceExit.*' >/dev/null")
                            .c_str());
        ASSERT_TRUE(WIFEXITED(status)) << "the host process did not end normally";
        if (WEXITSTATUS(status) == 3) continue;
        ASSERT_EQ(0, WEXITSTATUS(status)) << "the host failed";
        // Whenever the host exits, the index is committed, sound and holds analysed
        // pictures, read on a connection of its own.
        EXPECT_FALSE(std::filesystem::exists(db + "-journal"));
        CppSQLite3DB conn;
        conn.Open(db.c_str());
        EXPECT_EQ(std::pair(std::string("ok"), true),
                  std::pair(std::string(conn.Query("PRAGMA integrity_check").ColumnText(0)),
                            conn.QueryScalar(
                                "select count(*) from tb_file_info where strMD5 <> ''") > 0));
        // The run is left for the next one to continue (which the host program's tests do).
        testutil::ScopedDriveTable table(drives);
        CSearchEngine engine;
        ASSERT_EQ(1, engine.Initialize(Utf8ToWide(db), L"", L"", 0));
        unfinished = engine.IsLastScanUnfinished();
        engine.Shutdown();
        if (unfinished) break;
    }
    EXPECT_EQ(1, unfinished) << "the scan ended before the host exited, at every size";
}

}  // namespace
