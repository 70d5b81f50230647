#include "back_search_util.h"

#include <sqlite3.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "db/text_codec.h"

namespace scantest {

namespace fs = std::filesystem;

namespace {

// An 8 x 8 baseline JPEG frame (JFIF, three components) written by the JPEG library.
const char kFrameHex[] =
    "ffd8ffe000104a46494600010100000100010000ffdb0043000503040404030504040405050506070c080707"
    "07070f0b0b090c110f1212110f111113161c1713141a1511111821181a1d1d1f1f1f13172224221e241c1e1f"
    "1effdb0043010505050706070e08080e1e1411141e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e"
    "1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1e1effc000110800080008030122000211010311"
    "01ffc4001f0000010501010101010100000000000000000102030405060708090a0bffc400b5100002010303"
    "020403050504040000017d01020300041105122131410613516107227114328191a1082342b1c11552d1f024"
    "33627282090a161718191a25262728292a3435363738393a434445464748494a535455565758595a63646566"
    "6768696a737475767778797a838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7"
    "b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9faffc400"
    "1f0100030101010101010101010000000000000102030405060708090a0bffc400b511000201020404030407"
    "05040400010277000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a"
    "162434e125f11718191a262728292a35363738393a434445464748494a535455565758595a63646566676869"
    "6a737475767778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9"
    "bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9faffda000c030100"
    "02110311003f00c7f02fc2aff57fe8dfa514515e26659fe3bdbbf78ebe0be27cc7fb2e1ef9ffd9";

std::string Frame() {
    std::string bytes;
    for (size_t i = 0; kFrameHex[i] && kFrameHex[i + 1]; i += 2)
        bytes += char(std::stoi(std::string(kFrameHex + i, 2), nullptr, 16));
    return bytes;
}

// The three kinds of picture, tagged once per process by one exiftool run.
class Templates {
public:
    Templates() {
        const std::string frame = Frame();
        for (const char* name : {"canon.jpg", "nikon.jpg", "plain.jpg"})
            std::ofstream(m_dir / name, std::ios::binary) << frame;
        std::string args = m_dir / "args";
        std::ofstream(args) << "-q\n-overwrite_original\n"
                               "-Make=Canon\n-Model=Canon EOS 5D\n"
                               "-DateTimeOriginal=2008:07:14 10:20:30\n-CreateDate=2008:07:14 "
                               "10:20:30\n-ExposureTime=1/125\n"
                               "-FNumber=5.6\n-ISO=200\n-FocalLength=50\n"
                               "-GPSLatitude=48.5\n-GPSLatitudeRef=N\n-GPSLongitude=11.25\n"
                               "-GPSLongitudeRef=E\n-GPSAltitude=520\n-GPSAltitudeRef=0\n"
                               "-IPTC:Caption-Abstract=Lake shore\n-IPTC:Keywords=lake\n"
                               "-IPTC:City=Starnberg\n-IPTC:Country-PrimaryLocationName=Germany\n"
                            << (m_dir / "canon.jpg")
                            << "\n-execute\n-q\n-overwrite_original\n"
                               "-Make=NIKON CORPORATION\n-Model=NIKON D90\n"
                               "-DateTimeOriginal=2010:01:02 03:04:05\n-CreateDate=2010:01:02 "
                               "03:04:05\n-ExposureTime=1/60\n"
                               "-ISO=400\n"
                            << (m_dir / "nikon.jpg") << "\n";
        std::string cmd = "exiftool -@ '" + args + "' >/dev/null 2>&1";
        EXPECT_EQ(0, std::system(cmd.c_str())) << cmd;
        for (const char* name : {"canon.jpg", "nikon.jpg", "plain.jpg"}) {
            std::ifstream in(m_dir / name, std::ios::binary);
            m_bytes.emplace_back(std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>());
        }
    }
    const std::string& Bytes(Picture kind) const { return m_bytes[size_t(kind)]; }

private:
    testutil::TempDir m_dir;
    std::vector<std::string> m_bytes;
};

const Templates& TheTemplates() {
    static Templates templates;
    return templates;
}

// The drive letter of a stored path in capitals.
std::string UpperDrive(std::string path) {
    if (path.size() >= 2 && path[1] == ':' && path[0] >= 'a' && path[0] <= 'z') path[0] -= 32;
    return path;
}

}  // namespace

void WritePicture(const std::string& path, Picture kind, size_t extra) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << TheTemplates().Bytes(kind) << std::string(extra, '\0');
}

int WriteTree(const std::string& root, int folders, int perFolder, int fanOut) {
    int written = 0;
    for (int f = 0; f < folders; ++f) {
        char name[64];
        std::snprintf(name, sizeof name, "/group%02d/album%03d", f / fanOut, f);
        std::string folder = root + name;
        for (int i = 0; i < perFolder; ++i) {
            char file[32];
            std::snprintf(file, sizeof file, "/img%03d.jpg", i);
            WritePicture(folder + file, Picture((f + i) % 3));
            ++written;
        }
        std::ofstream(folder + "/notes.txt") << "not a picture";
    }
    return written;
}

bool MakeNtfsImage(const std::string& tree, const std::string& image, int sizeMiB) {
    std::string script = std::filesystem::path(__FILE__).parent_path() / "ntfs_make_image.sh";
    std::string command = "sh '" + script + "' '" + tree + "' '" + image + "' " +
                          std::to_string(sizeMiB) + " 4096 2>&1";
    std::string log;
    bool made = false;
    if (FILE* out = popen(command.c_str(), "r")) {
        char buf[512];
        while (size_t n = fread(buf, 1, sizeof buf, out))
            log.append(buf, n);
        made = pclose(out) == 0;
    }
    EXPECT_TRUE(made) << log;
    return made;
}

std::string FastTempFolder() {
    // The tests' volume images and databases take a few hundred MiB at most; a small
    // /dev/shm (as containers often have) is not used.
    struct statvfs vfs {};
    if (statvfs("/dev/shm", &vfs) == 0 && access("/dev/shm", W_OK) == 0 &&
        double(vfs.f_bavail) * double(vfs.f_frsize) >= 1024.0 * 1024 * 1024)
        return "/dev/shm";
    std::error_code ec;
    return fs::temp_directory_path(ec).string();
}

ScopedSystemFolders::ScopedSystemFolders(const testutil::TempDir& root)
    : m_data("XDG_DATA_HOME", root.MakeDir("sys/data")),
      m_docs("XDG_DOCUMENTS_DIR", root.MakeDir("sys/docs")),
      m_tmp("TMPDIR", root.MakeDir("sys/tmp")),
      m_config("XDG_CONFIG_HOME", root.MakeDir("sys/config")) {}

// ---------------------------------------------------------------- the sink

void RecordingSink::Add(std::string event) {
    std::lock_guard<std::mutex> g(m_lock);
    m_events.push_back(std::move(event));
}

void RecordingSink::OnFolderSaved(const CString& folder, int newFiles) {
    Add("saved " + WideToUtf8(folder) + " " + std::to_string(newFiles));
}

void RecordingSink::OnFolderStats(const CString& folder, const CMonthChangeMap&) {
    Add("stats " + WideToUtf8(folder));
}

void RecordingSink::OnDriveDone(wchar_t letter) {
    Add("drive " + WideToUtf8(CString(1, letter)));
}

void RecordingSink::OnFolderWalkDone() {
    // What the service does on this report.
    m_db.CleanupStale();
    m_db.RefreshAll();
    m_db.PruneEmptyFolders();
    Add("walk");
}

std::vector<std::string> RecordingSink::Events(std::initializer_list<const char*> prefixes) {
    std::lock_guard<std::mutex> g(m_lock);
    std::vector<std::string> out;
    for (const std::string& e : m_events) {
        bool wanted = prefixes.size() == 0;
        for (const char* p : prefixes)
            wanted = wanted || e.rfind(p, 0) == 0;
        if (wanted) out.push_back(e);
    }
    return out;
}

// ---------------------------------------------------------------- the harness

ScanHarness::ScanHarness(const std::string& dbPath) : m_path(dbPath) {
    Open();
}

ScanHarness::~ScanHarness() {
    Close();
}

void ScanHarness::Open() {
    m_db = std::make_unique<CDbFacade>();
    m_scanner = std::make_unique<CBackSearch>(m_db.get());
    m_sink = std::make_unique<RecordingSink>(*m_db, *m_scanner);
    ASSERT_TRUE(m_db->Initialize(Utf8ToWide(m_path)));
    m_db->SetReportSink(m_sink.get());
}

void ScanHarness::Close() {
    if (m_scanner) m_scanner->Cancel(1);
    if (m_db) {
        m_db->GetDbMng().SetStatementObserver(nullptr);
        m_db->Close();
    }
    m_scanner.reset();
    m_sink.reset();
    m_db.reset();
}

void ScanHarness::Reopen() {
    Close();
    Open();
}

bool ScanHarness::WaitFinished(double seconds) {
    bool ended = testutil::WaitUntil([&] { return m_scanner->IsFinish() != 0; }, seconds);
    EXPECT_TRUE(ended) << "the scan did not end within " << seconds << " s; phase "
                       << m_scanner->GetPhase();
    return ended;
}

bool ScanHarness::RunNew(double seconds) {
    EXPECT_EQ(1, m_scanner->StartNewRun());
    return WaitFinished(seconds);
}

bool ScanHarness::Continue(double seconds) {
    EXPECT_EQ(1, m_scanner->ContinueRun());
    return WaitFinished(seconds);
}

void ScanHarness::RecordStatements() {
    m_statements.clear();
    // Called under the manager's lock, so one statement at a time.
    m_db->GetDbMng().SetStatementObserver([this](const char* sql) { m_statements.push_back(sql); });
}

// ---------------------------------------------------------------- reading the file

namespace {

std::vector<std::string> Rows(sqlite3* db, const char* sql) {
    std::vector<std::string> rows;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
        return rows;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const unsigned char* text = sqlite3_column_text(stmt, i);
            std::string value = text ? reinterpret_cast<const char*>(text) : "NULL";
            if (i) row += "|";
            row += UpperDrive(value);
        }
        rows.push_back(std::move(row));
    }
    sqlite3_finalize(stmt);
    return rows;
}

struct ReadOnlyFile {
    explicit ReadOnlyFile(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path;
    }
    ~ReadOnlyFile() { sqlite3_close(db); }
    sqlite3* db = nullptr;
};

}  // namespace

std::vector<std::string> DumpIndex(const std::string& dbPath) {
    ReadOnlyFile file(dbPath);
    std::vector<std::string> all;
    auto add = [&](const char* tag, const char* sql) {
        for (std::string& row : Rows(file.db, sql))
            all.push_back(std::string(tag) + " " + row);
    };
    add("file",
        "select p.strFullPath, f.strFileName, f.strExt, f.iFileSize, f.iWidth, f.iHeight, "
        "f.iBPP, f.iPageCount, f.strMD5, f.tSnapTime, f.tFileCreate, f.tFileModify, "
        "e.iExposureTimeL, e.iExposureTimeR, e.iApertureL, e.iApertureR, e.iISO, "
        "e.tDititalTime, e.iFocalLenL, e.iFocalLenR, e.strManufacturer, e.strModel, "
        "e.iExposureCompL, e.iExposureCompR, e.iWTL, e.iWTR, "
        "i.strMemoInfo, i.strKeyWord, i.strTitle, i.strClass, i.strCity, i.strLocation, "
        "i.strCountry, i.strCopyRight, i.strWriter, "
        "g.iLatitude, g.iLongitute, g.iAltitute, g.iGpsSpeed, g.tGpsTime, "
        "f.iExifID > 0, f.iIptcID > 0, f.iGpsID > 0 "
        "from tb_file_info f left join tb_path_info p on p.iPathID = f.iPathID "
        "left join tb_exif_info e on e.iExifID = f.iExifID "
        "left join tb_iptc_info i on i.iIptcID = f.iIptcID "
        "left join tb_gps_info g on g.iGpsID = f.iGpsID");
    add("folder",
        "select p.strFullPath, p.strPathName, q.strFullPath, p.iPicCount, p.iPicSize "
        "from tb_path_info p left join tb_path_info q on q.iPathID = p.iParentID");
    add("month",
        "select p.strFullPath, t.tPathPicTime, t.iPicCountT, t.iPicSizeT "
        "from tb_time_path_info t left join tb_path_info p on p.iPathID = t.iPathID");
    add("drive-task", "select strPathToSearch from tb_ntfs_path_task");
    add("folder-task", "select strPathToSearch from tb_path_task");
    add("config",
        "select strCfgKey, strCfgValue from tb_config_info where strCfgKey in "
        "('BackSearchStartNtfs', 'BackSearchStartFat')");
    std::sort(all.begin(), all.end());
    return all;
}

long long QueryNumber(const std::string& dbPath, const std::string& sql) {
    ReadOnlyFile file(dbPath);
    std::vector<std::string> rows = Rows(file.db, sql.c_str());
    return rows.empty() ? -1 : std::atoll(rows.front().c_str());
}

std::vector<std::string> QueryColumn(const std::string& dbPath, const std::string& sql) {
    ReadOnlyFile file(dbPath);
    return Rows(file.db, sql.c_str());
}

}  // namespace scantest
