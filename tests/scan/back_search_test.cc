// The background scanner on drive tables of temporary folders and NTFS volume images:
// what a run stores and reports, what a second run does, cancelling and continuing,
// pausing, the filters, and the failures a run goes on after.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

#include "back_search_util.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"

namespace {

namespace fs = std::filesystem;
using scantest::DumpIndex;
using scantest::Picture;
using scantest::QueryNumber;

// Spins (without sleeping, so that a fast phase is not missed) until `cond` holds.
template <typename Cond>
bool SpinUntil(Cond cond, double seconds = 120) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class BackSearchTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }

    void UseDrives(const std::string& table) {
        m_drives.reset();
        m_drives = std::make_unique<testutil::ScopedDriveTable>(table);
    }
    std::string DbPath(const char* name = "index.db") { return m_root / name; }
    // A tree at <root>/<name> and an NTFS image of it; the drive-table entry of a drive
    // `letter` that reads the image and whose files are the tree's.
    std::string NtfsDrive(const std::string& name, char letter, int folders, int perFolder) {
        scantest::WriteTree(m_root / name, folders, perFolder);
        scantest::MakeNtfsImage(m_root / name, m_root / (name + ".img"), 32);
        return std::string(1, letter) + "=" + (m_root / name) +
               ",fs=NTFS,device=" + (m_root / (name + ".img"));
    }
    long long Count(const std::string& db, const std::string& what) {
        return QueryNumber(db, "select count(*) from " + what);
    }
    // Runs start at a new second, so that a run sees the rows of the one before as
    // older than its start.
    static void WaitNextSecond() {
        std::time_t now = std::time(nullptr);
        EXPECT_TRUE(testutil::WaitUntil([&] { return std::time(nullptr) > now; }, 10));
    }

    testutil::ScopedEnv m_fast{"TMPDIR", scantest::FastTempFolder()};
    testutil::TempDir m_root;
    scantest::ScopedSystemFolders m_sys{m_root};
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
};

TEST_F(BackSearchTest, FullRunFillsTheIndexAndReportsInOrder) {
    int onC = scantest::WriteTree(m_root / "c", 4, 6);
    UseDrives("C=" + (m_root / "c") + ";" + NtfsDrive("n", 'N', 3, 5));
    scantest::ScanHarness h(DbPath());
    CBackSearch& s = h.Scanner();
    ASSERT_EQ(1, s.StartNewRun());
    EXPECT_EQ(1, s.Pause(1));  // a running pool is not started again
    EXPECT_EQ(0, s.StartNewRun());
    EXPECT_EQ(0, s.ContinueRun());
    EXPECT_EQ(1, s.Resume());
    // The phases, as a sampler sees them, come in the run's order (2 is shown for 1;
    // 8 and 9 go back to 7).
    std::vector<int> seen;
    ASSERT_TRUE(SpinUntil([&] {
        int phase = s.GetStatus().nPhase;
        if (seen.empty() || seen.back() != phase) seen.push_back(phase);
        return s.IsFinish() != 0;
    }));
    auto rank = [](int p) { return p == 2 ? 1 : p == 8 || p == 9 ? 7 : p; };
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_LE(rank(seen[i - 1]), rank(seen[i])) << seen[i - 1] << " then " << seen[i];

    std::string db = DbPath();
    EXPECT_EQ(onC + 15, Count(db, "tb_file_info"));
    EXPECT_EQ(0, Count(db, "tb_file_info where strMD5 <> '0'"));
    EXPECT_EQ(15, Count(db,
                        "tb_file_info f join tb_path_info p using (iPathID) "
                        "where p.strFullPath like 'N:\\%'"));
    // Every third picture carries each kind of metadata.
    EXPECT_EQ(Count(db, "tb_file_info where iGpsID > 0"), Count(db, "tb_gps_info"));
    EXPECT_EQ(13, Count(db, "tb_exif_info where strManufacturer = 'Canon' and iISO = 200"));
    EXPECT_EQ(13, Count(db, "tb_iptc_info where strCity = 'Starnberg'"));
    EXPECT_EQ(13, Count(db, "tb_exif_info where strModel = 'NIKON D90'"));
    EXPECT_EQ(onC + 15, QueryNumber(db, "select sum(iPicCount) from tb_path_info"));
    EXPECT_EQ(1, Count(db,
                       "tb_time_path_info where tPathPicTime = '2008-07-01 00:00:00' and "
                       "iPathID = (select iPathID from tb_path_info where strFullPath "
                       "like 'C:\\group00\\album000\\')"));
    EXPECT_EQ(0, Count(db, "tb_path_task") + Count(db, "tb_ntfs_path_task"));

    // NTFS drive done, walk done, run done; the walked folders (only those) saved with
    // the notify flag; one month report per analysed folder.
    EXPECT_EQ((std::vector<std::string>{"drive N", "walk", "run"}),
              h.Sink().Events({"drive", "walk", "run"}));
    auto saved = h.Sink().Events({"saved"});
    EXPECT_EQ(4u, saved.size());
    for (const std::string& e : saved)
        EXPECT_TRUE(e.rfind("saved C:\\group00\\album00", 0) == 0 && e.back() == '6') << e;
    EXPECT_EQ(7u, h.Sink().Events({"stats"}).size());

    BackSearchStatus status = s.GetStatus();
    EXPECT_EQ(kPhaseFinished, status.nPhase);
    EXPECT_EQ(0, status.wDrive);
    EXPECT_EQ(15, status.nPictures);
    EXPECT_GE(status.nRecordsSeen, 15 + 3 + 1);
    EXPECT_EQ(onC + 15, status.nFilesQueued);
    EXPECT_EQ(onC + 15, status.nFilesSaved);
}

// Later runs, on a walked drive and on an NTFS drive (whose image is made again): over
// the unchanged tree nothing is analysed again and the index stays as it was; then a
// changed, an added, a removed and a renamed picture are each picked up. (With both
// kinds of drive on one machine, the end of the NTFS phase removes the rows of the
// folders not walked yet, which are then analysed again.)
TEST_F(BackSearchTest, LaterRunsAnalyseOnlyWhatChanged) {
    for (bool ntfs : {false, true}) {
        SCOPED_TRACE(ntfs ? "NTFS" : "walked");
        std::string tree = m_root / (ntfs ? "n" : "c"), db = DbPath(ntfs ? "ntfs.db" : "walk.db");
        if (!ntfs) scantest::WriteTree(tree, 2, 3);
        UseDrives(ntfs ? NtfsDrive("n", 'C', 2, 3) : "C=" + tree);
        scantest::ScanHarness h(db);
        auto analysed = [&] { return h.Scanner().GetSaveQueue().GetSaved(kSaveFileDetails); };
        ASSERT_TRUE(h.RunNew());
        EXPECT_EQ(6, analysed());
        const std::vector<std::string> first = DumpIndex(db);
        WaitNextSecond();
        ASSERT_TRUE(h.RunNew());
        EXPECT_EQ(0, analysed());
        EXPECT_EQ(first, DumpIndex(db));

        std::string album = tree + "/group00/album000/";
        scantest::WritePicture(album + "img000.jpg", Picture::kCanon, 100);  // changed
        scantest::WritePicture(album + "new.jpg", Picture::kNikon);          // added
        fs::remove(album + "img001.jpg");                                    // removed
        fs::rename(album + "img002.jpg", album + "moved.jpg");               // renamed
        if (ntfs) scantest::MakeNtfsImage(tree, tree + ".img", 32);
        WaitNextSecond();
        ASSERT_TRUE(h.RunNew());
        EXPECT_EQ(3, analysed());
        auto entry = [&](const char* name) {
            return std::string(name) + "|" + std::to_string(fs::file_size(album + name));
        };
        EXPECT_EQ(
            (std::vector<std::string>{entry("img000.jpg"), entry("moved.jpg"), entry("new.jpg")}),
            scantest::QueryColumn(db,
                                  "select strFileName, iFileSize from tb_file_info f "
                                  "join tb_path_info p using (iPathID) where "
                                  "p.strFullPath like 'C:\\group00\\album000\\' "
                                  "order by 1"));
        EXPECT_EQ(3, QueryNumber(db,
                                 "select iPicCount from tb_path_info where strFullPath "
                                 "like 'C:\\group00\\album000\\'"));
        EXPECT_EQ(6, Count(db, "tb_file_info"));
    }
}

// Cancelled during the walk or the analysis and continued by a new scanner on the
// reopened file, a run ends with the index of an uninterrupted run, and what was done
// before the cancel is not done again.
TEST_F(BackSearchTest, CancelThenContinueEndsWithTheUninterruptedIndex) {
    const int folders = 300;
    scantest::WriteTree(m_root / "c", folders, 1);
    UseDrives("C=" + (m_root / "c"));
    {
        scantest::ScanHarness ref(DbPath("ref.db"));
        ASSERT_TRUE(ref.RunNew());
    }
    const std::vector<std::string> expected = DumpIndex(DbPath("ref.db"));
    struct Case {
        const char* db;
        LONG first, last;  // the phases of the step
        int counter;       // what must have started in them before the cancel
    } cases[] = {{"walk.db", kPhaseFolderWalk, kPhaseFolderWalk, kSaveFolderLists},
                 {"analysis.db", kPhaseAnalyseFind, kPhaseAnalyseDrain, kSaveFileDetails}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.db);
        fs::remove(DbPath(c.db));
        scantest::ScanHarness h(DbPath(c.db));
        auto inStep = [&] {
            LONG phase = h.Scanner().GetPhase();
            return phase >= c.first && phase <= c.last;
        };
        // Held between two folders (files), the run is still in the step, unless this
        // thread was kept off the processor for the whole step: then the run is
        // cancelled and made again.
        for (int attempt = 1;; ++attempt) {
            CBackSearch& s = h.Scanner();
            ASSERT_EQ(1, s.StartNewRun());
            ASSERT_TRUE(SpinUntil([&] {
                return s.IsFinish() || (inStep() && s.GetSaveQueue().GetQueued(c.counter) >= 3);
            }));
            s.Pause(1);
            if (inStep()) break;
            s.Cancel(1);
            ASSERT_LT(attempt, 5) << "the run never held in the step";
            h.Close();
            fs::remove(DbPath(c.db));
            h.Reopen();
        }
        CBackSearch& s = h.Scanner();
        s.Cancel(1);
        EXPECT_GE(s.GetPhase(), kPhaseCancelling);
        int details = s.GetSaveQueue().GetSaved(kSaveFileDetails);
        size_t walked = h.Sink().Events({"saved"}).size();
        // The folders not walked yet are kept in the walk list.
        if (c.first == kPhaseFolderWalk) {
            EXPECT_EQ(walked<size_t(folders),
                             QueryNumber(DbPath(c.db), "select count(*) from tb_path_task")> 0);
        }

        h.Reopen();
        ASSERT_TRUE(h.Continue());
        EXPECT_EQ(expected, DumpIndex(DbPath(c.db)));
        EXPECT_EQ(size_t(folders), walked + h.Sink().Events({"saved"}).size());
        EXPECT_EQ(folders, details + h.Scanner().GetSaveQueue().GetSaved(kSaveFileDetails));
    }
}

// Pauses and resumes all through a run (a drive read included) each hold every pool
// thread within a bounded time, and the run still ends with the uninterrupted index.
TEST_F(BackSearchTest, PauseAndResumeThroughoutTheRun) {
    scantest::WriteTree(m_root / "c", 30, 4);
    UseDrives("C=" + (m_root / "c") + ";" + NtfsDrive("n", 'N', 30, 4));
    {
        scantest::ScanHarness ref(DbPath("ref.db"));
        ASSERT_TRUE(ref.RunNew());
    }
    scantest::ScanHarness h(DbPath());
    CBackSearch& s = h.Scanner();
    std::set<LONG> pausedIn;
    ASSERT_EQ(1, s.StartNewRun());
    while (!s.IsFinish()) {
        auto start = std::chrono::steady_clock::now();
        if (s.Pause(1)) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            pausedIn.insert(s.GetPhase());
            // A pool whose last thread ended while the pause was being acknowledged has
            // nothing left to resume.
            if (s.Resume() != 1) {
                EXPECT_TRUE(s.IsFinish());
            }
        }
        // Let the run make progress before the next pause.
        LONG items = s.GetSaveQueue().GetQueued(kSaveAllItems), phase = s.GetPhase();
        SpinUntil([&] {
            return s.IsFinish() || s.GetPhase() != phase ||
                   s.GetSaveQueue().GetQueued(kSaveAllItems) != items;
        });
    }
    EXPECT_EQ(DumpIndex(DbPath("ref.db")), DumpIndex(DbPath()));
    EXPECT_GE(pausedIn.size(), 4u);
}

// Filters and failures, each on a machine of its own: which folders end in the index,
// which drives are reported done, and that the run ends.
TEST_F(BackSearchTest, FiltersAndFailures) {
    struct Case {
        const char* name;
        std::string drives;                                // "%" stands for the machine's folder
        std::vector<std::pair<std::string, int>> filters;  // folder, 1 excluded / -1 included
        // Stored state a continued run starts from (empty: a new run).
        std::vector<std::string> ntfsTasks, folderTasks;
        std::vector<std::string> folders;  // top folders expected in the index
        std::vector<std::string> events;   // reports expected (kind 3 left aside)
        std::vector<std::string> walked;   // folders expected saved by the walk
    } cases[] = {
        // Paths are written with "/" here and turned into the library's "\" below.
        {"no NTFS drive",
         "C=%/c",
         {},
         {},
         {},
         {"C:/group00/"},
         {"walk", "run"},
         {"C:/group00/album000/", "C:/group00/album001/"}},
        {"excluded drive roots with an included folder inside",
         "C=%/c;N=%/n,fs=NTFS,device=%/n.img",
         {{"C:/", 1}, {"C:/group00/album001/", -1}, {"N:/", 1}, {"N:/group00/album000/", -1}},
         {},
         {},
         {"C:/group00/", "N:/group00/"},
         {"drive N", "walk", "run"},
         {"C:/group00/album001/"}},
        {"excluded drive roots",
         "C=%/c;N=%/n,fs=NTFS,device=%/n.img",
         {{"C:/", 1}, {"N:/", 1}},
         {},
         {},
         {},
         {"walk", "run"},
         {}},
        {"included folders on an NTFS and a removable drive",
         "N=%/n,fs=NTFS,device=%/n.img;R=%/c,type=removable",
         {{"N:/group00/", -1}, {"R:/group00/album001/", -1}},
         {},
         {},
         {"N:/group00/", "R:/group00/"},
         {"drive N", "walk", "run"},
         {"R:/group00/album001/"}},
        {"device that cannot be opened",
         "C=%/c;N=%/n,fs=NTFS,device=%/missing.img",
         {},
         {},
         {},
         {"C:/group00/"},
         {"drive N", "walk", "run"},
         {"C:/group00/album000/", "C:/group00/album001/"}},
        {"continued run: a drive that is not NTFS, a folder that is gone",
         "C=%/c;N=%/n,fs=NTFS,device=%/n.img",
         {},
         {"c:/", "n:/"},
         {"C:/gone/", "C:/group00/album001/"},
         {"C:/group00/", "N:/group00/"},
         {"drive n", "walk", "run"},
         {"C:/group00/album001/"}},
    };
    auto win = [](std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    };
    auto wins = [&](std::vector<std::string> paths) {
        for (std::string& p : paths)
            p = win(p);
        return paths;
    };
    scantest::WriteTree(m_root / "c", 2, 3);
    NtfsDrive("n", 'N', 2, 3);
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string table = c.drives;
        for (size_t at; (at = table.find('%')) != std::string::npos;)
            table.replace(at, 1, m_root.path());
        UseDrives(table);
        std::string db = DbPath(("case" + std::to_string(++n) + ".db").c_str());
        scantest::ScanHarness h(db);
        for (const auto& [folder, type] : c.filters)
            ASSERT_TRUE(type == 1 ? h.Db().AddExcludedFilter(Utf8ToWide(win(folder)))
                                  : h.Db().AddIncludedFilter(Utf8ToWide(win(folder))));
        if (c.ntfsTasks.empty() && c.folderTasks.empty()) {
            ASSERT_TRUE(h.RunNew());
        } else {
            for (const wchar_t* key : {CBackSearch::kStartNtfsKey, CBackSearch::kStartFatKey})
                h.Db().SetConfig(key, L"1");
            h.Db().SetConfig(CBackSearch::kStartTimeKey,
                             Utf8ToWide(TimeText(CTime::GetCurrentTime())));
            for (const std::string& root : c.ntfsTasks)
                h.Db().GetDbMng().Execute(
                    ("insert into tb_ntfs_path_task values('" + win(root) + "');").c_str());
            for (const std::string& folder : c.folderTasks)
                h.Db().GetDbMng().Execute(
                    ("insert into tb_path_task values('" + win(folder) + "');").c_str());
            ASSERT_TRUE(h.Continue());
        }
        EXPECT_EQ(c.events, h.Sink().Events({"drive", "walk", "run"}));
        std::vector<std::string> walked;
        for (const std::string& e : h.Sink().Events({"saved"}))
            walked.push_back(e.substr(6, e.rfind(' ') - 6));
        EXPECT_EQ(wins(c.walked), walked);
        EXPECT_EQ(wins(c.folders),
                  scantest::QueryColumn(
                      db,
                      "select distinct substr(p.strFullPath, 1, 11) "
                      "from tb_file_info join tb_path_info p using (iPathID) order by 1"));
        EXPECT_EQ(kPhaseFinished, h.Scanner().GetPhase());
    }
}

}  // namespace

namespace {

// The end-of-run action rebuilds the months and stores the finish time only when the
// last finished run is older than the current one.
TEST_F(BackSearchTest, FinishActionRebuildsOnlyAfterANewerStart) {
    UseDrives("C=" + m_root.MakeDir("c"));
    scantest::ScanHarness h(DbPath());
    struct Case {
        const wchar_t* start;   // null: no start time stored
        const wchar_t* finish;  // null: none stored
        bool rebuilt;
    } cases[] = {
        {L"2020-05-01 10:00:00", nullptr, true},
        {L"2020-05-01 10:00:00", L"2020-04-30 23:59:59", true},
        {L"2020-05-01 10:00:00", L"2020-05-01 10:00:00", false},
        {nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start ? WideToUtf8(c.start) : "no start");
        h.Db().GetDbMng().Execute("delete from tb_config_info where strCfgKey like 'BackSearch%';");
        h.Reopen();  // the configuration cache forgets the deleted values
        CDbFacade& fresh = h.Db();
        if (c.start) fresh.SetConfig(CBackSearch::kStartTimeKey, c.start);
        if (c.finish) fresh.SetConfig(CBackSearch::kFinishTimeKey, c.finish);
        h.Scanner().FinishAction();
        CString start, finish = L"<none>";
        EXPECT_TRUE(fresh.GetConfig(CBackSearch::kStartTimeKey, start));
        EXPECT_EQ(c.start ? c.start : L"1970-06-01 00:00:00", start);
        fresh.GetConfig(CBackSearch::kFinishTimeKey, finish);
        if (c.rebuilt)
            EXPECT_GT(finish, CString(L"2021-01-01 00:00:00")) << WideToUtf8(finish);
        else
            EXPECT_EQ(c.finish ? c.finish : L"<none>", finish);
    }
}

TEST(BackSearchTimes, NtfsTimesBecomeListingTimes) {
    constexpr ULONGLONG k1970 = 116444736000000000ULL;  // 1970-01-01 in 100 ns since 1601
    struct Case {
        ULONGLONG fileTime;
        bool ok;
        std::int64_t seconds;
    } cases[] = {
        {k1970 + 12345678901ULL, true, 1234},  // fractions of a second are dropped
        {k1970 - 10000000ULL, true, -1},       // before 1970: still a calendar time
        {0, true, -11644473600LL},
        {ULONGLONG(1) << 63, false, 0},  // the system refuses the top bit
        {~ULONGLONG(0), false, 0},
    };
    for (const Case& c : cases) {
        CTime t(99);
        EXPECT_EQ(c.ok, CBackSearch::NtfsTimeToCTime(c.fileTime, t)) << c.fileTime;
        EXPECT_EQ(c.seconds, t.GetTime()) << c.fileTime;
    }
}

}  // namespace

namespace {

// The walk writes a folder's file list and adds its sub-folders to the walk list before
// the folder leaves the list, so that a process that dies between two of these writes
// leaves the folder to be walked again and loses no sub-folder.
TEST_F(BackSearchTest, WalkWritesAFolderBeforeItLeavesTheList) {
    scantest::WriteTree(m_root / "c", 12, 2, 4);
    UseDrives("C=" + (m_root / "c"));
    scantest::ScanHarness h(DbPath());
    h.RecordStatements();
    ASSERT_TRUE(h.RunNew());
    const std::vector<std::string>& log = h.Statements();
    auto first = [&](const std::string& a, const std::string& b = "") {
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].find(a) != std::string::npos && log[i].find(b) != std::string::npos)
                return i;
        ADD_FAILURE() << "no statement with " << a << " " << b;
        return size_t(0);
    };
    auto folders = scantest::QueryColumn(DbPath(), "select strFullPath, iPathID from tb_path_info");
    ASSERT_EQ(1u + 3 + 12, folders.size());
    for (const std::string& row : folders) {
        std::string folder = row.substr(0, row.find('|')), id = row.substr(row.find('|') + 1);
        SCOPED_TRACE(folder);
        size_t done = first("delete from tb_path_task where strPathToSearch = '" + folder + "'");
        for (const std::string& other : folders) {
            std::string sub = other.substr(0, other.find('|'));
            if (sub.size() > folder.size() && sub.compare(0, folder.size(), folder) == 0 &&
                sub.find('\\', folder.size()) == sub.size() - 1) {
                EXPECT_LT(first("Replace into tb_path_task", "'" + sub + "'"), done) << sub;
            }
        }
        if (folder.find("album") != std::string::npos) {
            EXPECT_LT(first("update tb_path_info set iPicCount", "where iPathID = " + id + ";"),
                      done);
        }
    }
}

}  // namespace

namespace {

// A picture whose record the index refuses to store (a trigger drops it) stays chosen
// for analysis however often it is analysed: the run leaves its folder, still analyses
// every other folder, and ends. A picture that cannot be opened (a FIFO named .jpg)
// is stored with its name only and does not hold up the run either.
TEST_F(BackSearchTest, FilesThatCannotBeAnalysedDoNotHoldUpTheRun) {
    std::string first = m_root.MakeDir("c/a first");
    scantest::WritePicture(first + "/refused.jpg", Picture::kCanon);
    scantest::WritePicture(first + "/ok.jpg", Picture::kCanon);
    ASSERT_EQ(0, mkfifo((m_root / "c/a first/pipe.jpg").c_str(), 0644));
    int pictures = 1 + scantest::WriteTree(m_root / "c", 6, 3);
    UseDrives("C=" + (m_root / "c"));
    scantest::ScanHarness h(DbPath());
    h.Db().GetDbMng().Execute(
        "create trigger refuse before insert on tb_file_info when new.strFileName = "
        "'refused.jpg' and new.strMD5 = '0' begin select raise(ignore); end;");
    ASSERT_TRUE(h.RunNew(120));
    EXPECT_EQ(kPhaseFinished, h.Scanner().GetPhase());
    EXPECT_EQ(pictures, Count(DbPath(), "tb_file_info where iWidth = 8"));
    EXPECT_EQ(1, Count(DbPath(), "tb_file_info where strFileName = 'refused.jpg' and strMD5 = ''"));
}

}  // namespace
