// The background scanner on drive tables of temporary folders and NTFS volume images of
// them, on real database files: what a run stores and reports and in which order it
// writes, later runs over a changed tree, filters and failures, cancel and continue, and
// runs killed at many points and continued by a new process.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/report_sink.h"
#include "db/text_codec.h"
#include "scan/back_search.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

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

// An 8 x 8 JPEG at host path `path` with, by `kind`: 0 EXIF, GPS and IPTC (Canon, July
// 2008), 1 EXIF only (Nikon), 2 nothing; `extra` bytes after it change the size only.
void WritePicture(const std::string& path, int kind, size_t extra = 0) {
    static const Texts bytes = [] {
        // An 8 x 8 grey JPEG written by the JPEG library, tagged by exiftool.
        const char frame[] =
            "ffd8ffdb004300080606070605080707070909080a0c140d0c0b0b0c1912130f141d1a1f1e1d1a1c1c"
            "20242e2720222c231c1c2837292c30313434341f27393d38323c2e333432ffc0000b08000800080101"
            "1100ffc40014000100000000000000000000000000000000ffc400141001000000000000000000000000"
            "00000000ffda0008010100003f003fffd9";
        const char* tags[] = {
            "-Make=Canon -Model='Canon EOS 5D' -ISO=200 -GPSLatitude=48.5 "
            "-GPSLatitudeRef=N -GPSLongitude=11.25 -GPSLongitudeRef=E "
            "-CreateDate='2008:07:14 10:20:30' -IPTC:City=Starnberg",
            "-Make='NIKON CORPORATION' -Model='NIKON D90' -ISO=400", ""};
        testutil::TempDir dir;
        Texts out;
        for (const char* t : tags) {
            std::string path = dir / "p.jpg", jpeg;
            for (size_t i = 0; frame[i]; i += 2)
                jpeg += char(std::stoi(std::string(frame + i, 2), nullptr, 16));
            std::ofstream(path, std::ios::binary) << jpeg;
            std::string cmd = "exiftool -q -overwrite_original " + std::string(t) + " " + path;
            EXPECT_EQ(0, *t ? std::system(cmd.c_str()) : 0) << cmd;
            std::ifstream in(path, std::ios::binary);
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return out;
    }();
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes[kind] << std::string(extra, '\0');
}

// Folders <root>/groupGG/albumFFF/, ten to a group, each with `perFolder` pictures
// img1NN.jpg of the three kinds in turn and a text file; with an NTFS volume image
// <root>.img of it (of `imageMiB`) unless that is 0.
void WriteTree(const std::string& root, int folders, int perFolder, int imageMiB = 0) {
    for (int f = 0; f < folders; ++f) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "/group%02d/album%03d/", f / 10, f);
        for (int i = 0; i < perFolder; ++i)
            WritePicture(root + folder + "img" + std::to_string(100 + i) + ".jpg", (f + i) % 3);
        std::ofstream(root + folder + "notes.txt") << "not a picture";
    }
    std::string cmd = "sh " + (fs::path(__FILE__).parent_path() / "ntfs_make_image.sh").string() +
                      " '" + root + "' '" + root + ".img' " + std::to_string(imageMiB);
    EXPECT_EQ(0, imageMiB ? std::system(cmd.c_str()) : 0) << cmd;
}

// A temporary folder (in /dev/shm when it has room: a commit there costs no disk flush)
// holding the system folders, outside every drive of the tests.
struct Machine {
    static std::string Fast() {
        struct statvfs vfs {};
        bool roomy = statvfs("/dev/shm", &vfs) == 0 && vfs.f_bavail * vfs.f_frsize >= (1ull << 30);
        return roomy ? "/dev/shm" : fs::temp_directory_path().string();
    }
    testutil::ScopedEnv fast{"TMPDIR", Fast()};
    testutil::TempDir root;
    testutil::ScopedEnv data{"XDG_DATA_HOME", root.MakeDir("sys/data")},
        docs{"XDG_DOCUMENTS_DIR", root.MakeDir("sys/docs")},
        config{"XDG_CONFIG_HOME", root.MakeDir("sys/config")},
        tmp{"TMPDIR", root.MakeDir("sys/tmp")};
};

// A scanner on a database file, recording the writer's reports in order ("saved <folder>
// <new files>", "stats <folder>", "drive <letter>", "ntfs", "walk", "run") and running
// the end-of-walk and end-of-run actions as the service does. A second harness on the
// same file stands for a new process.
class ScanHarness : public IDbReportSink {
public:
    explicit ScanHarness(const std::string& dbPath) {
        EXPECT_TRUE(db.Initialize(Utf8ToWide(dbPath)));
        db.SetReportSink(this);
    }
    ~ScanHarness() override {
        scanner.Cancel(1);
        db.GetDbMng().SetStatementObserver(nullptr);
        db.Close();
    }
    // A new run (or the stored one continued), waited for.
    bool Run(bool fresh = true, double seconds = 300) {
        EXPECT_EQ(1, fresh ? scanner.StartNewRun() : scanner.ContinueRun());
        bool ended = testutil::WaitUntil([&] { return scanner.IsFinish() != 0; }, seconds);
        EXPECT_TRUE(ended) << "the scan did not end; phase " << scanner.GetPhase();
        return ended;
    }
    // The reports whose text starts with one of `prefixes`.
    Texts Events(std::initializer_list<const char*> prefixes) {
        std::lock_guard<std::mutex> g(m_lock);
        Texts out;
        for (const std::string& e : m_events)
            for (const char* p : prefixes)
                if (e.rfind(p, 0) == 0) out.push_back(e);
        return out;
    }

    CDbFacade db;
    CBackSearch scanner{&db};

private:
    void Add(const char* what, const CString& text = L"", int n = -1) {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.push_back(what + (text.empty() ? "" : " " + WideToUtf8(text)) +
                           (n < 0 ? "" : " " + std::to_string(n)));
    }
    void OnFolderSaved(const CString& folder, int n) override { Add("saved", folder, n); }
    void OnFolderStats(const CString& f, const CMonthChangeMap&) override { Add("stats", f); }
    void OnDriveDone(wchar_t letter) override { Add("drive", CString(1, letter)); }
    void OnNtfsPhaseDone() override { Add("ntfs"); }
    void OnFolderWalkDone() override {
        db.CleanupStale();
        db.RefreshAll();
        db.PruneEmptyFolders();
        Add("walk");
    }
    void RunScanFinishAction() override { scanner.FinishAction(); }
    void OnRunDone() override { Add("run"); }
    std::mutex m_lock;
    Texts m_events;
};

// The rows of a query through the sqlite3 shell, columns joined by '|', drive letters in
// capitals (a continued run names folders with the lower-case letter of its task rows).
Texts Query(const std::string& dbPath, const std::string& sql) {
    std::string cmd = "sqlite3 -readonly '" + dbPath + "' '", quoted = sql;
    for (size_t at = 0; (at = quoted.find('\'', at)) != std::string::npos; at += 4)
        quoted.replace(at, 1, "'\\''");
    FILE* out = popen((cmd + quoted + "'").c_str(), "r");
    Texts rows;
    for (char line[4096]; out && std::fgets(line, sizeof line, out);) {
        rows.emplace_back(line, std::strcspn(line, "\n"));
        for (size_t i = 0; i + 2 < rows.back().size(); ++i)
            if (rows.back()[i + 1] == ':' && rows.back()[i + 2] == '\\')
                rows.back()[i] = char(toupper(rows.back()[i]));
    }
    EXPECT_EQ(0, out ? pclose(out) : -1) << sql;
    return rows;
}

// Every row a run decides, sorted, without row ids and search times.
Texts DumpIndex(const std::string& dbPath) {
    Texts all = Query(
        dbPath,
        "select 'file', strFullPath, strFileName, iFileSize, iWidth, strMD5, tSnapTime, "
        "tFileModify, strModel, iISO, strCity, iLatitude from tb_file_info left join "
        "tb_path_info using (iPathID) left join tb_exif_info using (iExifID) left join "
        "tb_iptc_info using (iIptcID) left join tb_gps_info using (iGpsID); "
        "select 'folder', p.strFullPath, q.strFullPath, p.iPicCount, p.iPicSize from "
        "tb_path_info p left join tb_path_info q on q.iPathID = p.iParentID; "
        "select 'month', strFullPath, tPathPicTime, iPicCountT, iPicSizeT from "
        "tb_time_path_info left join tb_path_info using (iPathID); "
        "select 'task', * from tb_ntfs_path_task union all select 'task', * from tb_path_task; "
        "select strCfgKey, strCfgValue from tb_config_info where strCfgKey in "
        "('BackSearchStartNtfs', 'BackSearchStartFat')");
    std::sort(all.begin(), all.end());
    return all;
}

class BackSearchTest : public ::testing::Test {
protected:
    // One machine per program: c/ and n/ (two albums of three pictures, n/ also as an
    // NTFS image), odd/ (with files that cannot be analysed).
    static void SetUpTestSuite() {
        s_machine = std::make_unique<Machine>();
        WriteTree(Root("c"), 2, 3);
        WriteTree(Root("n"), 2, 3, 32);
        WriteTree(Root("odd"), 3, 3);
        WritePicture(Root("odd/a first/refused.jpg"), 0);
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

    static inline std::unique_ptr<Machine> s_machine;
    std::unique_ptr<testutil::ScopedDriveTable> m_drives;
};

// Files with a digest; EXIF, IPTC and GPS rows; pictures in folders; July 2008 months;
// no rows left in the task lists. The reports: the drive before the walk, the run last,
// no end of the NTFS phase (nothing was saved when the drive finished); the walked
// folders; a month report per analysed folder. A folder leaves the walk list only after
// its sub-folders entered it and its file list was written; the drive leaves its list
// only after its folders' file lists.
TEST_F(BackSearchTest, FullRunFillsTheIndexAndWritesInOrder) {
    UseDrives("C=%/c;N=%/n,fs=NTFS,device=%/n.img");
    std::string db = Root("full.db");
    Texts log;
    ScanHarness h(db);
    h.db.GetDbMng().SetStatementObserver([&](const char* sql) { log.push_back(sql); });
    ASSERT_TRUE(h.Run());
    EXPECT_EQ(Texts{"12|0|8|4|4|12|4|0"},
              Query(db,
                    "select count(*), sum(strMD5 <> '0'), (select count(*) from "
                    "tb_exif_info), (select count(*) from tb_iptc_info where strCity = "
                    "'Starnberg'), (select count(*) from tb_gps_info), (select sum(iPicCount) "
                    "from tb_path_info), (select count(*) from tb_time_path_info where "
                    "tPathPicTime like '2008-07-01%'), (select count(*) from tb_path_task) + "
                    "(select count(*) from tb_ntfs_path_task) from tb_file_info"));
    EXPECT_EQ(Split("drive N,saved C:/group00/album000/ 3,saved C:/group00/album001/ 3,walk,"
                    "stats N:/group00/album000/,stats N:/group00/album001/,"
                    "stats C:/group00/album000/,stats C:/group00/album001/,run"),
              h.Events({"drive", "ntfs", "saved", "walk", "run", "stats"}));
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

// Later runs on an NTFS drive (whose image is made again; the host program's tests
// cover walked drives): over the unchanged tree nothing is analysed again and the index
// stays; then a changed, an added, a removed and a renamed picture are each picked up.
TEST_F(BackSearchTest, LaterRunsAnalyseOnlyWhatChanged) {
    std::string tree = Root("later"), db = Root("later.db"), album = tree + "/group00/album000/";
    WriteTree(tree, 2, 3, 32);
    UseDrives("C=%/later,fs=NTFS,device=%/later.img");
    ScanHarness h(db);
    // Each later run starts in a new second, so that it sees the rows of the last as older.
    auto run = [&, runs = 0]() mutable {
        std::time_t now = std::time(nullptr);
        EXPECT_TRUE(testutil::WaitUntil([&] { return !runs || std::time(nullptr) > now; }, 10));
        ++runs;
        EXPECT_TRUE(h.Run());
        return h.scanner.GetSaveQueue().GetSaved(kSaveFileDetails);
    };
    EXPECT_EQ(6, run());
    const Texts before = DumpIndex(db);
    EXPECT_EQ(0, run());
    EXPECT_EQ(before, DumpIndex(db));

    WritePicture(album + "img100.jpg", 0, 100);             // changed
    WritePicture(album + "new.jpg", 1);                     // added
    fs::remove(album + "img101.jpg");                       // removed
    fs::rename(album + "img102.jpg", album + "moved.jpg");  // renamed
    WriteTree(tree, 0, 0, 32);                              // the image made again
    EXPECT_EQ(3, run());
    Texts expected;
    for (const char* name : {"img100.jpg", "moved.jpg", "new.jpg"})
        expected.push_back(name + ("|" + std::to_string(fs::file_size(album + name))) + "|3");
    EXPECT_EQ(expected, Query(db,
                              "select strFileName, iFileSize, iPicCount from tb_file_info "
                              "join tb_path_info using (iPathID) where strFullPath like "
                              "'C:\\group00\\album000\\' order by 1"));
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
        ScanHarness h(db);
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
    ScanHarness h(Root("odd.db"));
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
    Texts stored;
    for (const wchar_t* finish : {L"", L"2020-05-01 09:59:59", L"2020-05-01 10:00:00"}) {
        testutil::TempDir dir;
        ScanHarness h(dir / "index.db");
        h.db.SetConfig(CBackSearch::kStartTimeKey, L"2020-05-01 10:00:00");
        if (*finish) h.db.SetConfig(CBackSearch::kFinishTimeKey, finish);
        h.scanner.FinishAction();
        CString text;
        h.db.GetConfig(CBackSearch::kFinishTimeKey, text);
        stored.push_back(text > CString(L"2021") ? "new" : WideToUtf8(text));
    }
    EXPECT_EQ(stored, (Texts{"new", "new", "2020-05-01 10:00:00"}));
}

#if defined(PICDEX_ASAN_BUILD) || defined(PICDEX_TSAN_BUILD)
constexpr int kScale = 1;  // the sanitizers make every step many times slower
#else
constexpr int kScale = 3;
#endif

// A scanning process killed by BackSearchCrash: nothing unless PICDEX_SCAN_CHILD says
// "<new|continue>|<db>|<phase>|<text>|<n>". It starts or continues a run and kills itself
// before the n-th statement containing the text that runs in that phase or a later one
// (inside a save-queue transaction), or without a text as soon as it sees that phase or
// a later one.
TEST(BackSearchCrashChild, Run) {
    const char* order = std::getenv("PICDEX_SCAN_CHILD");
    if (!order) GTEST_SKIP() << "run as a child process by BackSearchCrash";
    std::stringstream in(order);
    std::string mode, db, text;
    long phase = -1, n = 0;
    std::getline(in, mode, '|') && std::getline(in, db, '|') && in >> phase&& in.ignore() &&
        std::getline(in, text, '|') && in >> n;
    CCommonFunc::InitPicExt({});
    ScanHarness h(db);
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
// analysis twice, the end of the run): each time a new process continues, and the run
// ends with the index of an uninterrupted run, row for row.
TEST(BackSearchCrash, KilledThenContinued) {
    CCommonFunc::InitPicExt({});
    Machine m;
    WriteTree(m.root / "c", 80 * kScale, 5);
    WriteTree(m.root / "n", 20 * kScale, 12, 64);
    testutil::ScopedEnv drives("PICDEX_DRIVES", "C=" + (m.root / "c") + ";N=" + (m.root / "n") +
                                                    ",fs=NTFS,device=" + (m.root / "n.img"));
    { ScanHarness make(m.root / "empty.db"); }
    std::string self = fs::read_symlink("/proc/self/exe");
    char filter[] = "--gtest_filter=BackSearchCrashChild.Run", brief[] = "--gtest_brief=1";
    char* argv[] = {self.data(), filter, brief, nullptr};
    // A new run on a copy of the empty index through one process per kill point (each
    // must die by SIGKILL) and a last one that continues to the end; the index it leaves.
    auto runs = [&](const std::string& name, const Texts& kills) {
        std::string db = m.root / (name + ".db");
        fs::copy_file(m.root / "empty.db", db);
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
        return DumpIndex(db);
    };
    const Texts expected = runs("reference", {});
    ASSERT_EQ(Texts{std::to_string(640 * kScale)},
              Query(m.root / "reference.db", "select count(*) from tb_file_info"));
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
