#include "back_search_util.h"

#include <sys/statvfs.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace scantest {

namespace fs = std::filesystem;

namespace {

// An 8 x 8 grey JPEG written by the JPEG library.
const char kFrameHex[] =
    "ffd8ffdb004300080606070605080707070909080a0c140d0c0b0b0c1912130f141d1a1f1e1d1a1c1c20242e"
    "2720222c231c1c2837292c30313434341f27393d38323c2e333432ffc0000b080008000801011100ffc40014"
    "000100000000000000000000000000000000ffc40014100100000000000000000000000000000000ffda0008"
    "010100003f003fffd9";

// The three kinds of picture, tagged once per process.
const std::string& PictureBytes(int kind) {
    static const Texts bytes = [] {
        testutil::TempDir dir;
        const char* tags[] = {
            "-Make=Canon -Model='Canon EOS 5D' -ISO=200 -GPSLatitude=48.5 "
            "-GPSLatitudeRef=N -GPSLongitude=11.25 -GPSLongitudeRef=E "
            "-CreateDate='2008:07:14 10:20:30' -IPTC:City=Starnberg",
            "-Make='NIKON CORPORATION' -Model='NIKON D90' -ISO=400", ""};
        Texts out;
        for (int k = 0; k < 3; ++k) {
            std::string path = dir / "p.jpg", frame;
            for (size_t i = 0; kFrameHex[i]; i += 2)
                frame += char(std::stoi(std::string(kFrameHex + i, 2), nullptr, 16));
            std::ofstream(path, std::ios::binary) << frame;
            std::string cmd =
                "exiftool -q -overwrite_original " + std::string(tags[k]) + " " + path;
            EXPECT_EQ(0, k < 2 ? std::system(cmd.c_str()) : 0) << cmd;
            std::ifstream in(path, std::ios::binary);
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return out;
    }();
    return bytes[kind];
}

}  // namespace

void WritePicture(const std::string& path, int kind, size_t extra) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << PictureBytes(kind) << std::string(extra, '\0');
}

void WriteTree(const std::string& root, int folders, int perFolder) {
    for (int f = 0; f < folders; ++f) {
        char folder[64];
        std::snprintf(folder, sizeof folder, "/group%02d/album%03d/", f / 10, f);
        for (int i = 0; i < perFolder; ++i)
            WritePicture(root + folder + "img" + std::to_string(100 + i) + ".jpg", (f + i) % 3);
        std::ofstream(root + folder + "notes.txt") << "not a picture";
    }
}

void MakeNtfsImage(const std::string& tree, int sizeMiB) {
    std::string cmd = "sh " + (fs::path(__FILE__).parent_path() / "ntfs_make_image.sh").string() +
                      " '" + tree + "' '" + tree + ".img' " + std::to_string(sizeMiB);
    EXPECT_EQ(0, std::system(cmd.c_str())) << cmd;
}

std::string Machine::Fast() {
    struct statvfs vfs {};
    bool roomy = statvfs("/dev/shm", &vfs) == 0 && vfs.f_bavail * vfs.f_frsize >= (1ull << 30);
    return roomy ? "/dev/shm" : fs::temp_directory_path().string();
}

ScanHarness::ScanHarness(const std::string& dbPath) {
    EXPECT_TRUE(db.Initialize(Utf8ToWide(dbPath)));
    db.SetReportSink(this);
}

ScanHarness::~ScanHarness() {
    scanner.Cancel(1);
    db.GetDbMng().SetStatementObserver(nullptr);
    db.Close();
}

bool ScanHarness::Run(bool fresh, double seconds) {
    EXPECT_EQ(1, fresh ? scanner.StartNewRun() : scanner.ContinueRun());
    bool ended = testutil::WaitUntil([&] { return scanner.IsFinish() != 0; }, seconds);
    EXPECT_TRUE(ended) << "the scan did not end; phase " << scanner.GetPhase();
    return ended;
}

void ScanHarness::OnFolderWalkDone() {
    db.CleanupStale();
    db.RefreshAll();
    db.PruneEmptyFolders();
    Add("walk");
}

void ScanHarness::Add(const char* what, const CString& text, int n) {
    std::lock_guard<std::mutex> g(m_lock);
    m_events.push_back(what + (text.empty() ? "" : " " + WideToUtf8(text)) +
                       (n < 0 ? "" : " " + std::to_string(n)));
}

Texts ScanHarness::Events(std::initializer_list<const char*> prefixes) {
    std::lock_guard<std::mutex> g(m_lock);
    Texts out;
    for (const std::string& e : m_events)
        for (const char* p : prefixes)
            if (e.rfind(p, 0) == 0) out.push_back(e);
    return out;
}

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

}  // namespace scantest
