// The background scanner's timed driver (bench/scan/back_search_bench.sh runs it).
//   back_search_bench make-tree DIR FILES FOLDERS
//       writes FILES small JPEG files with camera EXIF (two cameras, GPS and IPTC on
//       one of them; tagged once by exiftool, then copied) into FOLDERS folders.
//   back_search_bench scan DB DRIVES
//       one whole run (StartNewRun to the end) over the drive table DRIVES on the
//       database DB (made when missing); prints the seconds, the files analysed and
//       the files analysed per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>

#include "db/db_facade.h"
#include "db/report_sink.h"
#include "db/text_codec.h"
#include "picdex/drives.h"
#include "scan/back_search.h"

namespace {

namespace fs = std::filesystem;

// An 8 x 8 baseline JPEG frame (JFIF, three components).
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

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int MakeTree(const fs::path& dir, int files, int folders) {
    fs::path tmp = dir / ".templates";
    fs::create_directories(tmp);
    const char* tags[] = {
        "-Make=Canon -Model='Canon EOS 5D' '-DateTimeOriginal=2008:07:14 10:20:30' "
        "'-CreateDate=2008:07:14 10:20:30' -ExposureTime=1/125 -FNumber=5.6 -ISO=200 "
        "-FocalLength=50 -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=11.25 "
        "-GPSLongitudeRef=E '-IPTC:Caption-Abstract=Lake shore' -IPTC:Keywords=lake "
        "-IPTC:City=Starnberg",
        "'-Make=NIKON CORPORATION' '-Model=NIKON D90' '-DateTimeOriginal=2010:01:02 03:04:05' "
        "'-CreateDate=2010:01:02 03:04:05' -ExposureTime=1/60 -FNumber=8 -ISO=400 "
        "-FocalLength=35"};
    std::string templates[2];
    for (int t = 0; t < 2; ++t) {
        fs::path p = tmp / ("t" + std::to_string(t) + ".jpg");
        std::ofstream(p, std::ios::binary) << Frame();
        std::string cmd = std::string("exiftool -q -overwrite_original ") + tags[t] + " '" +
                          p.string() + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "exiftool failed: %s\n", cmd.c_str());
            return 1;
        }
        templates[t] = ReadAll(p);
    }
    fs::remove_all(tmp);
    for (int i = 0; i < files; ++i) {
        int f = i % folders;
        char rel[96];
        std::snprintf(rel, sizeof rel, "year%02d/event%04d/IMG_%06d.JPG", f % 20, f, i);
        fs::path p = dir / rel;
        if (i < folders) fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << templates[i % 2];
    }
    std::printf("%d files in %d folders under %s\n", files, folders, dir.c_str());
    return 0;
}

// The service's part of the reports: the clean-ups of the end of the walk and the
// scanner's action at the end of the run.
class Sink : public IDbReportSink {
public:
    Sink(CDbFacade& db, CBackSearch& scanner) : m_db(db), m_scanner(scanner) {}
    void OnFolderSaved(const CString&, int) override {}
    void OnFolderStats(const CString&, const CMonthChangeMap&) override {}
    void OnDriveDone(wchar_t) override {}
    void OnNtfsPhaseDone() override {}
    void OnFolderWalkDone() override {
        m_db.CleanupStale();
        m_db.RefreshAll();
        m_db.PruneEmptyFolders();
    }
    void RunScanFinishAction() override { m_scanner.FinishAction(); }
    void OnRunDone() override {}

private:
    CDbFacade& m_db;
    CBackSearch& m_scanner;
};

int Scan(const std::string& dbPath, const std::string& drives) {
    std::string error;
    if (!picdex::SetDriveTable(drives, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    CCommonFunc::InitPicExt({});
    CDbFacade db;
    CBackSearch scanner(&db);
    Sink sink(db, scanner);
    if (!db.Initialize(Utf8ToWide(dbPath))) return 1;
    db.SetReportSink(&sink);
    auto start = std::chrono::steady_clock::now();
    if (!scanner.StartNewRun()) return 1;
    // Time spent in each phase, as sampled every millisecond.
    std::map<LONG, double> phases;
    auto last = start;
    while (!scanner.IsFinish()) {
        LONG phase = scanner.GetPhase();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto now = std::chrono::steady_clock::now();
        phases[phase] += std::chrono::duration<double>(now - last).count();
        last = now;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("seconds by phase:");
    for (const auto& [phase, s] : phases)
        std::printf(" %ld:%.3f", long(phase), s);
    std::printf("\n");
    int analysed = scanner.GetSaveQueue().GetSaved(kSaveFileDetails);
    int listed = scanner.GetSaveQueue().GetSaved(kSaveListedFiles);
    std::printf("run: %.3f s, %d files listed, %d analysed, %.0f analysed files/s\n", seconds,
                listed, analysed, seconds > 0 ? analysed / seconds : 0.0);
    db.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "make-tree" && argc == 5)
        return MakeTree(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (cmd == "scan" && argc == 4) return Scan(argv[2], argv[3]);
    std::fprintf(stderr, "usage: %s make-tree DIR FILES FOLDERS | scan DB DRIVES\n",
                 argc > 0 ? argv[0] : "back_search_bench");
    return 2;
}
