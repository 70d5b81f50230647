#include "search_index.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "db/db_facade.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"

namespace benchindex {
namespace {

constexpr char kMarkerKey[] = "BenchIndexShape";

struct Camera {
    const char* maker;
    const char* model;
    const char* prefix;  // file names: prefix + 4 digits + ".JPG"
};
const Camera kCameras[] = {
    {"Canon", "Canon EOS 5D Mark II", "IMG_"},
    {"NIKON CORPORATION", "NIKON D700", "DSC_"},
    {"SONY", "ILCE-7M3", "DSC0"},
    {"FUJIFILM", "X-T2", "DSCF"},
    {"OLYMPUS IMAGING CORP.", "E-M5", "P"},
    {"Panasonic", "DMC-GH4", "P10"},
    {"Apple", "iPhone 8", "IMG_"},
    {"samsung", "SM-G950F", "2017"},
};
const int kIsos[] = {100, 200, 400, 800, 1600, 3200};
const char* const kKeywords[] = {"beach", "family", "mountain", "birthday", "city", "snow"};
const char* const kCities[] = {"Paris", "Berlin", "Kyoto", "Lima", "Oslo", "Cairo"};
const char* const kCountries[] = {"France", "Germany", "Japan", "Peru", "Norway", "Egypt"};

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::string Digest(std::uint64_t file) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016llX%016llX", (unsigned long long)Mix(file),
                  (unsigned long long)Mix(file ^ 0xABCDEFull));
    return buf;
}

std::string Shape(const Options& o) {
    return std::to_string(o.files) + "/" + std::to_string(o.folders) + "/" +
           std::to_string(o.firstYear) + "/" + std::to_string(o.years);
}

// One bound statement, stepped once per row.
class Insert {
public:
    Insert(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Insert() { sqlite3_finalize(m_stmt); }
    Insert& Int(int col, long long v) {
        sqlite3_bind_int64(m_stmt, col, v);
        return *this;
    }
    Insert& Text(int col, const std::string& v) {
        sqlite3_bind_text(m_stmt, col, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool Run() {
        bool ok = sqlite3_step(m_stmt) == SQLITE_DONE;
        sqlite3_reset(m_stmt);
        return ok;
    }
    bool Valid() const { return m_stmt != nullptr; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

bool Generate(const std::string& path, const Options& o) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
    sqlite3_exec(db, "PRAGMA synchronous = OFF; begin;", nullptr, nullptr, nullptr);
    Insert folder(db,
                  "insert into tb_path_info(iPathID, iParentID, strPathName, strFullPath, "
                  "iPicCount, iPicSize, tPathCreate, tPathModify, tPathSearch) "
                  "values(?,?,?,?,0,0,?,?,?)");
    Insert file(db,
                "insert into tb_file_info(iFileID, iPathID, iHeight, iWidth, iBPP, iPageCount, "
                "iIptcID, iExifID, iGpsID, iFileSize, strFileName, tSnapTime, tFileCreate, "
                "tFileModify, tFileSearch, strExt, strMD5) "
                "values(?,?,?,?,24,1,?,?,?,?,?,?,?,?,?,'JPG',?)");
    Insert exif(db,
                "insert into tb_exif_info(iExifID, iExposureTimeL, iExposureTimeR, iApertureL, "
                "iApertureR, iISO, tDititalTime, iFocalLenL, iFocalLenR, strManufacturer, "
                "strModel) values(?,1,?,?,10,?,?,?,1,?,?)");
    Insert iptc(db,
                "insert into tb_iptc_info(iIptcID, strKeyWord, strTitle, strCity, strCountry) "
                "values(?,?,?,?,?)");
    Insert gps(db,
               "insert into tb_gps_info(iGpsID, iLatitude, iLongitute, iAltitute, iGpsSpeed, "
               "tGpsTime) values(?,?,?,?,0,?)");
    if (!folder.Valid() || !file.Valid() || !exif.Valid() || !iptc.Valid() || !gps.Valid()) {
        std::fprintf(stderr, "search index: %s\n", sqlite3_errmsg(db));
        sqlite3_close(db);
        return false;
    }
    const std::string searched = TimeText(CTime(o.firstYear + o.years, 1, 2, 0, 0, 0));
    bool ok = true;
    int pathID = 0;
    auto addFolder = [&](int parent, const std::string& name, const std::string& full) {
        ++pathID;
        ok &= folder.Int(1, pathID)
                  .Int(2, parent)
                  .Text(3, name)
                  .Text(4, full)
                  .Text(5, searched)
                  .Text(6, searched)
                  .Text(7, searched)
                  .Run();
        return pathID;
    };
    const int root = addFolder(0, "C:", "C:\\");
    const int photos = addFolder(root, "Photos", "C:\\Photos\\");
    const int perFolder = o.files / o.folders;
    std::vector<int> nameCounter(std::size(kCameras), 0);
    long long fileID = 0, exifID = 0, iptcID = 0, gpsID = 0;
    std::string previousDigest;
    for (int y = 0; y < o.years && ok; ++y) {
        const int year = o.firstYear + y;
        const std::string yearText = std::to_string(year);
        const int yearFolder = addFolder(photos, yearText, "C:\\Photos\\" + yearText + "\\");
        const int firstEvent = int((long long)o.folders * y / o.years);
        const int endEvent = int((long long)o.folders * (y + 1) / o.years);
        for (int e = firstEvent; e < endEvent && ok; ++e) {
            const int dayOfYear = int((long long)(e - firstEvent) * 365 / (endEvent - firstEvent));
            const CTime day(year, 1, 1 + dayOfYear, 9, 0, 0);
            const CTime::Fields f = day.GetLocalFields();
            char name[64];
            std::snprintf(name, sizeof name, "%04d-%02d-%02d Event %05d", f.year, f.month, f.day,
                          e);
            const int eventFolder =
                addFolder(yearFolder, name, "C:\\Photos\\" + yearText + "\\" + name + "\\");
            const size_t cam = size_t(Mix(e) % std::size(kCameras));
            const bool hasExif = e % 10 != 9, hasIptc = e % 10 == 3, hasGps = e % 5 == 1;
            const int events = e + 1;
            for (int j = 0; j < perFolder && ok; ++j) {
                ++fileID;
                const CTime snap = day + j * 61LL;
                const std::string snapText = TimeText(snap);
                int& counter = nameCounter[cam];
                counter = (counter + 1) % 10000;
                char fileName[64];
                std::snprintf(fileName, sizeof fileName, "%s%04d.JPG", kCameras[cam].prefix,
                              counter);
                std::string digest = fileID % 100 == 1 && fileID > 1
                                         ? previousDigest
                                         : Digest(std::uint64_t(fileID));
                previousDigest = digest;
                const std::uint64_t r = Mix(std::uint64_t(fileID) * 7919);
                int exifLink = -1, iptcLink = -1, gpsLink = -1;
                if (hasExif) {
                    exifLink = int(++exifID);
                    ok &= exif.Int(1, exifLink)
                              .Int(2, 1 + int(r % 500))
                              .Int(3, 28 + int(r % 40))
                              .Int(4, kIsos[r % std::size(kIsos)])
                              .Text(5, snapText)
                              .Int(6, 18 + int(r % 180))
                              .Text(7, kCameras[cam].maker)
                              .Text(8, kCameras[cam].model)
                              .Run();
                }
                if (hasIptc) {
                    iptcLink = int(++iptcID);
                    ok &= iptc.Int(1, iptcLink)
                              .Text(2, kKeywords[events % 6])
                              .Text(3, std::string("Trip ") + name)
                              .Text(4, kCities[events % 6])
                              .Text(5, kCountries[events % 6])
                              .Run();
                }
                if (hasGps) {
                    gpsLink = int(++gpsID);
                    ok &= gps.Int(1, gpsLink)
                              .Int(2, -80 + int(r % 160))
                              .Int(3, -170 + int(r % 340))
                              .Int(4, int(r % 3000))
                              .Text(5, snapText)
                              .Run();
                }
                ok &= file.Int(1, fileID)
                          .Int(2, eventFolder)
                          .Int(3, 3000)
                          .Int(4, 4000)
                          .Int(5, iptcLink)
                          .Int(6, exifLink)
                          .Int(7, gpsLink)
                          .Int(8, 1500000 + (long long)(r % 4500000))
                          .Text(9, fileName)
                          .Text(10, snapText)
                          .Text(11, snapText)
                          .Text(12, TimeText(snap + 86400))
                          .Text(13, searched)
                          .Text(14, digest)
                          .Run();
            }
        }
        std::fprintf(stderr, "search index: %d of %d years, %lld files\n", y + 1, o.years, fileID);
    }
    if (!ok) std::fprintf(stderr, "search index: %s\n", sqlite3_errmsg(db));
    sqlite3_exec(db, ok ? "commit;" : "rollback;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return ok;
}

}  // namespace

std::string DefaultPath(const Options& options) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/picdex-search-bench";
    return dir + "/index-" + std::to_string(options.files) + ".db";
}

bool EnsureIndex(const std::string& path, const Options& options) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    try {
        {
            CDbFacade db;
            if (!db.Initialize(Utf8ToWide(path))) return false;
            CString shape;
            if (db.GetConfig(Utf8ToWide(kMarkerKey), shape) && shape == Utf8ToWide(Shape(options)))
                return true;
        }
        std::filesystem::remove(path, ec);
        std::fprintf(stderr, "search index: generating %s\n", path.c_str());
        {
            CDbFacade db;  // the schema, as a new file gets it
            if (!db.Initialize(Utf8ToWide(path))) return false;
        }
        if (!Generate(path, options)) return false;
        CDbFacade db;
        if (!db.Initialize(Utf8ToWide(path))) return false;
        db.SetConfig(L"BackSearchStartTime",
                     Utf8ToWide(TimeText(CTime(options.firstYear + options.years, 1, 1, 0, 0, 0))));
        db.RefreshAll();
        db.RebuildAllMonths();
        db.SetConfig(Utf8ToWide(kMarkerKey), Utf8ToWide(Shape(options)));
        return true;
    } catch (const CppSQLite3Exception& e) {
        std::fprintf(stderr, "search index: %s\n", e.ErrorMessage() ? e.ErrorMessage() : "?");
        return false;
    }
}

}  // namespace benchindex
