// The single service object across a whole process: a host that starts a scan and
// exits normally without Shutdown leaves a consistent index file, and the next process
// continues the run to the same index that an uninterrupted run gives.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/text_codec.h"
#include "engine/search_engine.h"
#include "engine/service_host.h"
#include "engine/service_pictures.h"
#include "picdex/drives.h"

namespace {

constexpr int kFolders = 40, kPerFolder = 25;

// The host's part, in a child process that the test starts from its own program: it
// uses the library's own object, starts a run, and exits with std::exit while the files
// are being analysed, without Shutdown.
void RunHostChild(const char* tree, const char* db) {
    std::string error;
    ASSERT_TRUE(picdex::SetDriveTable(std::string("C=") + tree, &error)) << error;
    ISearchBuss* service = ISearchBuss::GetInstance();
    ASSERT_EQ(service, ISearchBuss::GetInstance());
    ASSERT_EQ(1, service->Initialize(Utf8ToWide(db), L"", L"", 0));
    testutil::HostStandIn host;
    service->SetStatsNotifyWnd(host.stats);
    ASSERT_EQ(1, service->StartBackSearch());
    // A first folder is analysed and written; most are still to do.
    ASSERT_TRUE(host.WaitFor(WM_PD_FOLDER_STATS));
    std::exit(service->IsBusy(TRUE) ? 0 : 3);
}

TEST(ServiceLifetime, AnExitWithoutShutdownLeavesAConsistentIndex) {
    const char* childTree = std::getenv("PICDEX_CHILD_TREE");
    const char* childDb = std::getenv("PICDEX_CHILD_DB");
    if (childTree && childDb) return RunHostChild(childTree, childDb);

    testutil::TempDir dir;
    for (int f = 0; f < kFolders; ++f)
        for (int i = 0; i < kPerFolder; ++i)
            dir.WriteFile("tree/f" + std::to_string(f) + "/p" + std::to_string(i) + ".jpg",
                          testutil::JpegWithExif("Cam", "M", "2015:03:04 05:06:07"));
    std::string db = dir / "index.db";

    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        setenv("PICDEX_CHILD_TREE", (dir / "tree").c_str(), 1);
        setenv("PICDEX_CHILD_DB", db.c_str(), 1);
        execl("/proc/self/exe", "engine_tests",
              "--gtest_filter=ServiceLifetime.AnExitWithoutShutdownLeavesAConsistentIndex",
              nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "the host process did not end normally";
    ASSERT_EQ(0, WEXITSTATUS(status)) << "the scan was not running at the exit";

    // Committed and closed: no journal is left, and the file is sound.
    EXPECT_FALSE(std::filesystem::exists(db + "-journal"));
    sqlite3* raw = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &raw));
    std::string integrity;
    sqlite3_exec(
        raw, "PRAGMA integrity_check;",
        [](void* out, int, char** values, char**) {
            *static_cast<std::string*>(out) += values[0] ? values[0] : "";
            return 0;
        },
        &integrity, nullptr);
    sqlite3_close(raw);
    EXPECT_EQ("ok", integrity);

    // The next process continues the run and ends with every picture analysed.
    testutil::ScopedDriveTable drives("C=" + (dir / "tree"));
    testutil::HostStandIn host;
    CSearchEngine engine;
    ASSERT_EQ(1, engine.Initialize(Utf8ToWide(db), L"", L"", 0));
    engine.SetFolderNotifyWnd(host.folder);
    EXPECT_EQ(1, engine.IsLastScanUnfinished());
    std::set<CString> analysed;
    engine.GetFilesByMD5(L"0", analysed);
    EXPECT_GT(analysed.size(), 0u);
    EXPECT_LT(analysed.size(), size_t(kFolders * kPerFolder));
    ASSERT_EQ(1, engine.ContinueBackSearch());
    ASSERT_TRUE(host.WaitFor(WM_PD_RUN_DONE, 1, 300));
    EXPECT_EQ(0, engine.IsLastScanUnfinished());
    analysed.clear();
    engine.GetFilesByMD5(L"0", analysed);
    EXPECT_EQ(size_t(kFolders * kPerFolder), analysed.size());
    EXPECT_EQ(kFolders * kPerFolder, engine.GetYearPicCount(2015));
    engine.Shutdown();
}

}  // namespace
