// The background scanner on drive tables of the folders and NTFS volume images that
// make_fixtures.sh makes, on real database files: what a run stores and reports and in
// which order it writes, a later run over the same tree, filters, failures and continued
// runs. (The host program's tests see later runs over changed trees and runs killed and
// continued.)
#include <cstring>
#include <mutex>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/report_sink.h"
#include "db/text_codec.h"
#include "scan/back_search.h"

namespace {

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

// A scanner on a database file, recording the writer's reports in order ("saved <folder>
// <new files>", "stats <folder>", "drive <letter>", "ntfs", "walk", "run") and running
// the end-of-walk and end-of-run actions as the service does.
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

// The rows of a query through the sqlite3 shell, columns joined by '|'.
Texts Query(const std::string& dbPath, const std::string& sql) {
    std::string cmd = "sqlite3 -readonly '" + dbPath + "' '", quoted = sql;
    for (size_t at = 0; (at = quoted.find('\'', at)) != std::string::npos; at += 4)
        quoted.replace(at, 1, "'\\''");
    FILE* out = popen((cmd + quoted + "'").c_str(), "r");
    Texts rows;
    for (char line[4096]; out && std::fgets(line, sizeof line, out);)
        rows.emplace_back(line, std::strcspn(line, "\n"));
    EXPECT_EQ(0, out ? pclose(out) : -1) << sql;
    return rows;
}

// Each test on a temporary folder of its own holding the system folders and the index
// files, outside every drive of the tests.
class BackSearchTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }

    std::string Root(const std::string& rel) const { return m_root / rel; }
    // A drive table in which "%" stands for the folder of the test files (make_fixtures.sh).
    void UseDrives(std::string table) {
        for (size_t at; (at = table.find('%')) != std::string::npos;)
            table.replace(at, 1, SCAN_FIXTURES);
        m_drives.reset();
        m_drives = std::make_unique<testutil::ScopedDriveTable>(table);
    }

    testutil::TempDir m_root;
    testutil::ScopedEnv m_data{"XDG_DATA_HOME", m_root.MakeDir("sys/data")},
        m_docs{"XDG_DOCUMENTS_DIR", m_root.MakeDir("sys/docs")},
        m_config{"XDG_CONFIG_HOME", m_root.MakeDir("sys/config")},
        m_tmp{"TMPDIR", m_root.MakeDir("sys/tmp")};
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
    const char* counts =
        "select count(*), sum(strMD5 <> '0'), (select count(*) from tb_exif_info), (select "
        "count(*) from tb_iptc_info where strCity = 'Starnberg'), (select count(*) from "
        "tb_gps_info), (select sum(iPicCount) from tb_path_info), (select count(*) from "
        "tb_time_path_info where tPathPicTime like '2008-07-01%'), (select count(*) from "
        "tb_path_task) + (select count(*) from tb_ntfs_path_task) from tb_file_info";
    EXPECT_EQ(Texts{"12|0|8|4|4|12|4|0"}, Query(db, counts));
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
    // A later run over the unchanged tree analyses nothing and leaves the index as it
    // was. It starts in a new second, so that it sees the rows of the first as older.
    std::time_t end = std::time(nullptr);
    ASSERT_TRUE(testutil::WaitUntil([&] { return std::time(nullptr) > end; }, 10));
    ASSERT_TRUE(h.Run());
    EXPECT_EQ(0, h.scanner.GetSaveQueue().GetSaved(kSaveFileDetails));
    EXPECT_EQ(Texts{"12|0|8|4|4|12|4|0"}, Query(db, counts));
}

// Filters and failures, each on an index of its own: the drives read, the folders
// walked, the reports in order, the folders indexed. A continued run names an NTFS
// drive's folders with the letter of the drive's task row.
TEST_F(BackSearchTest, FiltersAndFailures) {
    // Walked drive C, NTFS drive N (or one whose device is missing), removable drive R.
    const std::string kC = "C=%/c;", kN = "N=%/n,fs=NTFS,device=%/n.img;",
                      kMissing = "N=%/n,fs=NTFS,device=%/missing.img;",
                      kR = "R=%/c,type=removable;";
    struct Case {
        std::string name, drives, filters;  // filters: "-" excluded, "+" included
        std::string tasks;    // the stored lists a continued run starts from (none: a new run)
        std::string events;   // the reports but the months
        std::string folders;  // the folders with files in the index
    } cases[] = {
        {"excluded roots with an included folder inside", kC + kN,
         "-C:/,+C:/group00/album001/,-N:/,+N:/group00/album000/", "",
         "drive N,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album001/,N:/group00/album000/"},
        {"excluded roots", kC + kN, "-C:/,-N:/", "", "walk,run", ""},
        {"included folders on an NTFS and a removable drive", kN + kR,
         "+N:/group00/,+R:/group00/album001/", "", "drive N,saved R:/group00/album001/ 3,walk,run",
         "N:/group00/album000/,N:/group00/album001/,R:/group00/album001/"},
        {"a device that cannot be opened", kC + kMissing, "", "",
         "drive N,saved C:/group00/album000/ 3,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album000/,C:/group00/album001/"},
        {"continued: a drive that is not NTFS, a folder that is gone", kC + kN, "",
         "insert into tb_ntfs_path_task values ('c:/'), ('n:/'); insert into tb_path_task "
         "values ('C:/gone/'), ('C:/group00/album001/')",
         "drive n,saved C:/group00/album001/ 3,walk,run",
         "C:/group00/album001/,n:/group00/album000/,n:/group00/album001/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UseDrives(c.drives);
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
// stored finish (none, or one in the past) is older than the run's start: the same
// second is not older.
TEST_F(BackSearchTest, FinishActionRebuildsOnlyAfterANewerStart) {
    ScanHarness h(Root("index.db"));
    h.db.SetConfig(CBackSearch::kStartTimeKey, L"2020-05-01 10:00:00");
    Texts stored;
    for (const wchar_t* finish : {L"", L"2020-05-01 09:59:59", L"2020-05-01 10:00:00"}) {
        h.db.SetConfig(CBackSearch::kFinishTimeKey, finish);
        h.scanner.FinishAction();
        CString text;
        h.db.GetConfig(CBackSearch::kFinishTimeKey, text);
        stored.push_back(text > CString(L"2021") ? "new" : WideToUtf8(text));
    }
    EXPECT_EQ(stored, (Texts{"new", "new", "2020-05-01 10:00:00"}));
}

}  // namespace
