// The background scanner on drive tables of temporary folders and an NTFS volume image:
// what a run stores and reports and in which order it writes, later runs over a changed
// tree, cancel and continue, pause and resume, filters and failures.
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "back_search_util.h"

namespace {

namespace fs = std::filesystem;
using scantest::Query;
using scantest::Texts;

// Spins (without sleeping, so that a short phase is not missed) until `cond` holds.
template <typename Cond>
bool SpinUntil(Cond cond) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!cond() && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    return cond();
}

// Paths are written with "/" here.
std::string Win(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// The items of a comma-separated list.
Texts Split(const std::string& list) {
    Texts out;
    std::stringstream in(Win(list));
    for (std::string item; std::getline(in, item, ',');)
        out.push_back(item);
    return out;
}

class BackSearchTest : public ::testing::Test {
protected:
    // One machine per program: c/ and n/ (two albums of three pictures, n/ also as an
    // NTFS image), big/ (300 albums of one), odd/ (with files that cannot be analysed).
    static void SetUpTestSuite() {
        s_machine = std::make_unique<scantest::Machine>();
        scantest::WriteTree(Root("c"), 2, 3);
        scantest::WriteTree(Root("n"), 2, 3);
        scantest::MakeNtfsImage(Root("n"));
        scantest::WriteTree(Root("big"), 300, 1);
        scantest::WriteTree(Root("odd"), 3, 3);
        scantest::WritePicture(Root("odd/a first/refused.jpg"), 0);
        mkfifo(Root("odd/a first/pipe.jpg").c_str(), 0644);
    }
    static void TearDownTestSuite() { s_machine.reset(); }
    void SetUp() override { CCommonFunc::InitPicExt({}); }

    static std::string Root(const std::string& rel) { return s_machine->root / rel; }
    // A drive table in which "%" stands for the machine's folder.
    void UseDrives(std::string table) {
        for (size_t at; (at = table.find('%')) != std::string::npos;)
            table.replace(at, 1, s_machine->root.path());
        m_drives.reset();
        m_drives = std::make_unique<testutil::ScopedDriveTable>(table);
    }

    static inline std::unique_ptr<scantest::Machine> s_machine;
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
};

TEST_F(BackSearchTest, FullRunFillsTheIndexAndWritesInOrder) {
    UseDrives("C=%/c;N=%/n,fs=NTFS,device=%/n.img");
    std::string db = Root("full.db");
    Texts log;
    scantest::ScanHarness h(db);
    h.db.GetDbMng().SetStatementObserver([&](const char* sql) { log.push_back(sql); });
    ASSERT_TRUE(h.Run());
    // Files, with a digest; EXIF, IPTC and GPS rows; pictures in folders; July 2008
    // months; rows left in the task lists.
    EXPECT_EQ(Texts{"12|0|8|4|4|12|4|0"},
              Query(db,
                    "select count(*), sum(strMD5 <> '0'), (select count(*) from "
                    "tb_exif_info), (select count(*) from tb_iptc_info where strCity = "
                    "'Starnberg'), (select count(*) from tb_gps_info), (select sum(iPicCount) "
                    "from tb_path_info), (select count(*) from tb_time_path_info where "
                    "tPathPicTime like '2008-07-01%'), (select count(*) from tb_path_task) + "
                    "(select count(*) from tb_ntfs_path_task) from tb_file_info"));
    // The drive before the walk, the run last, no end of the NTFS phase (nothing was saved
    // when the drive finished); the walked folders; a month report per analysed folder.
    EXPECT_EQ(Split("drive N,walk,run"), h.Events({"drive", "ntfs", "walk", "run"}));
    EXPECT_EQ(Split("saved C:/group00/album000/ 3,saved C:/group00/album001/ 3"),
              h.Events({"saved"}));
    EXPECT_EQ(4u, h.Events({"stats"}).size());
    // A folder leaves the walk list only after its sub-folders entered it and its file
    // list was written; the drive leaves its list only after its folders' file lists.
    auto first = [&](const std::string& a, const std::string& b) {
        auto at = std::find_if(log.begin(), log.end(), [&](const std::string& s) {
            return s.find(a) != std::string::npos && s.find(b) != std::string::npos;
        });
        EXPECT_NE(log.end(), at) << a << " " << b;
        return at - log.begin();
    };
    for (const std::string& row : Query(db,
                                        "select iPathID || ',' || strFullPath || ',' || "
                                        "(select strFullPath from tb_path_info q where "
                                        "q.iPathID = p.iParentID) from tb_path_info p "
                                        "where iPicCount > 0")) {
        Texts f = Split(row);  // id, folder, parent
        auto listed = first("update tb_path_info set iPicCount", "where iPathID = " + f[0] + ";");
        if (f[1][0] == 'N') {
            EXPECT_LT(listed, first("delete from tb_ntfs_path_task where", "")) << row;
            continue;
        }
        EXPECT_LT(listed, first("delete from tb_path_task where", "'" + f[1] + "'")) << row;
        EXPECT_LT(first("Replace into tb_path_task", "'" + f[1] + "'"),
                  first("delete from tb_path_task where", "'" + f[2] + "'"))
            << row;
    }
}

// Later runs, on a walked and on an NTFS drive (whose image is made again): over the
// unchanged tree nothing is analysed again and the index stays; then a changed, an
// added, a removed and a renamed picture are each picked up.
TEST_F(BackSearchTest, LaterRunsAnalyseOnlyWhatChanged) {
    for (std::string kind : {"walked", "ntfs"}) {
        SCOPED_TRACE(kind);
        std::string tree = Root(kind), db = Root(kind + ".db"), album = tree + "/group00/album000/";
        scantest::WriteTree(tree, 2, 3);
        UseDrives(kind == "ntfs" ? "C=%/ntfs,fs=NTFS,device=%/ntfs.img" : "C=%/walked");
        if (kind == "ntfs") scantest::MakeNtfsImage(tree);
        scantest::ScanHarness h(db);
        // Each later run starts in a new second, so that it sees the rows of the last as older.
        auto run = [&, runs = 0]() mutable {
            std::time_t now = std::time(nullptr);
            EXPECT_TRUE(testutil::WaitUntil([&] { return !runs || std::time(nullptr) > now; }, 10));
            ++runs;
            EXPECT_TRUE(h.Run());
            return h.scanner.GetSaveQueue().GetSaved(kSaveFileDetails);
        };
        EXPECT_EQ(6, run());
        const Texts before = scantest::DumpIndex(db);
        EXPECT_EQ(0, run());
        EXPECT_EQ(before, scantest::DumpIndex(db));

        scantest::WritePicture(album + "img100.jpg", 0, 100);   // changed
        scantest::WritePicture(album + "new.jpg", 1);           // added
        fs::remove(album + "img101.jpg");                       // removed
        fs::rename(album + "img102.jpg", album + "moved.jpg");  // renamed
        if (kind == "ntfs") scantest::MakeNtfsImage(tree);
        EXPECT_EQ(3, run());
        Texts expected;
        for (const char* name : {"img100.jpg", "moved.jpg", "new.jpg"})
            expected.push_back(name + ("|" + std::to_string(fs::file_size(album + name))) + "|3");
        EXPECT_EQ(expected, Query(db,
                                  "select strFileName, iFileSize, iPicCount from tb_file_info "
                                  "join tb_path_info using (iPathID) where strFullPath like "
                                  "'C:\\group00\\album000\\' order by 1"));
    }
}

// A run paused and resumed all through (the drive read included), cancelled once in
// the walk and once in the analysis and each time continued by a new process: every
// pause holds the pool within a bounded time, nothing is done twice, and the run ends
// with the index of an uninterrupted run.
TEST_F(BackSearchTest, PausedCancelledAndContinuedRunEndsWithTheSameIndex) {
    UseDrives("C=%/big;N=%/n,fs=NTFS,device=%/n.img");
    ASSERT_TRUE(scantest::ScanHarness(Root("ref.db")).Run());
    std::string db = Root("stopped.db");
    auto h = std::make_unique<scantest::ScanHarness>(db);
    std::set<LONG> pausedIn;
    int cancelled = 0, saved = 0, details = 0, attempts = 0;  // cancelled: 1 walk, 2 analysis
    auto count = [&] {
        saved += int(h->Events({"saved"}).size());
        details += h->scanner.GetSaveQueue().GetSaved(kSaveFileDetails);
    };
    ASSERT_EQ(1, h->scanner.StartNewRun());
    while (!h->scanner.IsFinish()) {
        CBackSearch& s = h->scanner;
        // Not from the end of the run on: a pause there can hold thread 0 after thread 1
        // ended, and waiting for both to be held then never ends.
        auto start = std::chrono::steady_clock::now();
        if (s.GetPhase() < kPhaseRunEnd && s.Pause(1)) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
            LONG phase = s.GetPhase();
            pausedIn.insert(phase);
            if (!cancelled && phase > kPhaseFolderWalk) {
                // The walk went by between two pauses (this thread was kept off the
                // processor): the run is made again.
                ASSERT_LT(++attempts, 5) << "the walk was never paused";
                h.reset();
                fs::remove(db);
                h = std::make_unique<scantest::ScanHarness>(db);
                ASSERT_EQ(1, h->scanner.StartNewRun());
                continue;
            }
            int step = phase == kPhaseFolderWalk                            ? 1
                       : phase >= kPhaseAnalyseFind && phase < kPhaseRunEnd ? 2
                                                                            : 0;
            if (step & ~cancelled) {
                cancelled |= step;
                s.Cancel(1);
                count();
                h.reset();
                h = std::make_unique<scantest::ScanHarness>(db);
                ASSERT_EQ(1, h->scanner.ContinueRun());
                continue;
            }
            // A pool whose last thread ended during the pause has nothing to resume.
            EXPECT_TRUE(s.Resume() == 1 || s.IsFinish());
        }
        LONG items = s.GetSaveQueue().GetQueued(kSaveAllItems), phase = s.GetPhase();
        SpinUntil([&] {
            return s.IsFinish() || s.GetPhase() != phase ||
                   s.GetSaveQueue().GetQueued(kSaveAllItems) > items + 8;
        });
    }
    count();
    EXPECT_EQ(3, cancelled);
    EXPECT_EQ(scantest::DumpIndex(Root("ref.db")), scantest::DumpIndex(db));
    EXPECT_EQ(300, saved);
    EXPECT_EQ(306, details);
    EXPECT_GE(pausedIn.size(), 4u);
}

// Filters and failures, each on a machine of its own: the drives read, the folders
// walked, the reports in order, the folders indexed.
TEST_F(BackSearchTest, FiltersAndFailures) {
    struct Case {
        std::string name, drives, filters;  // filters: "-" excluded, "+" included
        std::string tasks;    // the stored lists a continued run starts from (none: a new run)
        std::string events;   // the reports but the months
        std::string folders;  // the folders with files in the index
    } cases[] = {
        {"excluded roots with an included folder inside", "CN",
         "-C:/,+C:/group00/album001/,-N:/,+N:/group00/album000/", "",
         "drive N,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album001/,N:/group00/album000/"},
        {"excluded roots", "CN", "-C:/,-N:/", "", "walk,run", ""},
        {"included folders on an NTFS and a removable drive", "NR",
         "+N:/group00/,+R:/group00/album001/", "", "drive N,saved R:/group00/album001/ 3,walk,run",
         "N:/group00/album000/,N:/group00/album001/,R:/group00/album001/"},
        {"a device that cannot be opened", "CM", "", "",
         "drive N,saved C:/group00/album000/ 3,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album000/,C:/group00/album001/"},
        {"continued: a drive that is not NTFS, a folder that is gone", "CN", "",
         "insert into tb_ntfs_path_task values ('c:/'), ('n:/'); insert into tb_path_task "
         "values ('C:/gone/'), ('C:/group00/album001/')",
         "drive n,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album001/,N:/group00/album000/,N:/group00/album001/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string table;
        for (char d : c.drives)
            table += d == 'C'   ? "C=%/c;"
                     : d == 'N' ? "N=%/n,fs=NTFS,device=%/n.img;"
                     : d == 'M' ? "N=%/n,fs=NTFS,device=%/missing.img;"
                                : "R=%/c,type=removable;";
        UseDrives(table);
        std::string db = Root(c.name + ".db");
        scantest::ScanHarness h(db);
        for (const std::string& f : Split(c.filters))
            ASSERT_TRUE(f[0] == '-' ? h.db.AddExcludedFilter(Utf8ToWide(f.substr(1)))
                                    : h.db.AddIncludedFilter(Utf8ToWide(f.substr(1))));
        for (const wchar_t* key : {CBackSearch::kStartNtfsKey, CBackSearch::kStartFatKey})
            h.db.SetConfig(key, c.tasks.empty() ? L"0" : L"1");
        h.db.GetDbMng().Execute(Win(c.tasks).c_str());
        ASSERT_TRUE(h.Run(c.tasks.empty()));
        EXPECT_EQ(Split(c.events), h.Events({"drive", "ntfs", "saved", "walk", "run"}));
        EXPECT_EQ(Split(c.folders), Query(db,
                                          "select distinct strFullPath from tb_file_info "
                                          "join tb_path_info using (iPathID) order by 1"));
    }
}

// A picture whose record the index refuses (a trigger drops it) stays chosen for
// analysis however often it is analysed, and one that cannot be opened (a FIFO named
// .jpg) is stored by name: the run leaves them, analyses every other folder and ends.
TEST_F(BackSearchTest, FilesThatCannotBeAnalysedDoNotHoldUpTheRun) {
    UseDrives("C=%/odd");
    scantest::ScanHarness h(Root("odd.db"));
    h.db.GetDbMng().Execute(
        "create trigger refuse before insert on tb_file_info when new.strFileName = "
        "'refused.jpg' and new.strMD5 = '0' begin select raise(ignore); end;");
    ASSERT_TRUE(h.Run(true, 120));
    EXPECT_EQ(Texts{"9|1"}, Query(Root("odd.db"),
                                  "select sum(iWidth = 8), sum(strFileName = "
                                  "'refused.jpg' and strMD5 = '') from tb_file_info"));
}

// The end-of-run action rebuilds the months and stores a new finish time only when the
// stored finish is older than the run's start: the same second is not older.
TEST_F(BackSearchTest, FinishActionRebuildsOnlyAfterANewerStart) {
    UseDrives("C=%/c");
    const std::pair<const wchar_t*, bool> cases[] = {
        {nullptr, true}, {L"2020-05-01 09:59:59", true}, {L"2020-05-01 10:00:00", false}};
    for (const auto& [finish, rebuilt] : cases) {
        testutil::TempDir dir;
        scantest::ScanHarness h(dir / "index.db");
        h.db.SetConfig(CBackSearch::kStartTimeKey, L"2020-05-01 10:00:00");
        if (finish) h.db.SetConfig(CBackSearch::kFinishTimeKey, finish);
        h.scanner.FinishAction();
        CString stored;
        h.db.GetConfig(CBackSearch::kFinishTimeKey, stored);
        EXPECT_EQ(rebuilt, stored > CString(L"2021")) << WideToUtf8(stored);
    }
}

}  // namespace
