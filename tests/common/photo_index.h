// A small real photo index for the search and statistics tests: drive C: is a
// temporary folder holding real picture files (sizes and modification times as
// stored), and a database file beside them is filled the way a scan fills it, through
// the save queue: the folders' file lists, then each file's details with its EXIF,
// IPTC and GPS blocks, then each folder's finish report (which recounts the folder and
// rebuilds its months).
//
// The tree (snap times at noon, local time):
//   C:\New\n1.jpg, n2.jpg            listed, never analysed (empty digest, no time)
//   C:\Other\undated.png             analysed, no capture time, digest "0"
//   C:\Photos\a.jpg                  2019-07  Canon EOS 5D, ISO 400, 50/1 mm, 1/100 s;
//                                            IPTC Beach / "Holiday at sea" / Nice /
//                                            France; GPS 43, 7, 2008
//   C:\Photos\b.jpg                  2020-01  NIKON D700, ISO 100, 24/1 mm
//   C:\Photos\2020\IMG_0001.JPG      2020-02  Canon EOS R, ISO 1600, 85/1 mm; IPTC
//                                            beach / Paris / France
//   C:\Photos\2020\IMG_0002.JPG      2020-02  GPS 31, 121, 5
//   C:\Photos\2020\x_y.jpg           2020-03
//   C:\Photos\O'Brien\pic'1.jpg      2018-12  IPTC title Xmas
//   C:\Photos2\c.jpg                 2020-02  the same digest as a.jpg
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/save_queue.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"

namespace testutil {

// One picture of the tree; a block it has none of stays empty, and a picture without a
// digest was listed but never analysed.
struct SamplePicture {
    CString folder, name;
    LONGLONG size = 0;
    CTime snap;
    CString md5;
    std::optional<_tagExifInfo> exif = std::nullopt;
    std::optional<_tagIptcInfo> iptc = std::nullopt;
    std::optional<_tagGpsInfo> gps = std::nullopt;

    CString FullPath() const { return folder + name; }
};

inline _tagExifInfo Exif(const wchar_t* maker, const wchar_t* model, int iso, int focal) {
    _tagExifInfo e;
    e.strManufacturer = maker;
    e.strModel = model;
    e.iISO = iso;
    e.iFocalLenL = focal;
    return e;
}

inline _tagIptcInfo Iptc(const wchar_t* keyword, const wchar_t* title, const wchar_t* city,
                         const wchar_t* country) {
    _tagIptcInfo i;
    i.strKeyWord = keyword;
    i.strTitle = title;
    i.strCity = city;
    i.strCountry = country;
    return i;
}

inline _tagGpsInfo Gps(int latitude, int longitude, int altitude) {
    _tagGpsInfo g;
    g.iLatitude = latitude;
    g.iLongitute = longitude;
    g.iAltitute = altitude;
    return g;
}

inline _tagQuickSearch QuickRequest(const CString& text, int scope, int verify = 0) {
    _tagQuickSearch q;
    q.strText = text;
    q.iScope = scope;
    q.bVerify = verify;
    return q;
}

// Every file of the tree has this modification time on disk and in the index.
inline CTime SampleModifyTime() {
    return CTime(2021, 5, 1, 10, 0, 0);
}

inline std::vector<SamplePicture> SamplePictures() {
    const CString dup = L"D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1", none;
    auto digest = [](char c) { return CString(1, c) + CString(31, L'0'); };
    auto at = [](int year, int month, int day) { return CTime(year, month, day, 12, 0, 0); };
    _tagExifInfo canon5d = Exif(L"Canon", L"EOS 5D", 400, 50);
    canon5d.iExposureTimeL = 1;
    canon5d.iExposureTimeR = 100;
    return {
        {L"C:\\New\\", L"n1.jpg", 100, CTime(), none},
        {L"C:\\New\\", L"n2.jpg", 200, CTime(), none},
        {L"C:\\Other\\", L"undated.png", 800, CTime(), L"0"},
        {L"C:\\Photos\\", L"a.jpg", 1000, at(2019, 7, 14), dup, canon5d,
         Iptc(L"Beach", L"Holiday at sea", L"Nice", L"France"), Gps(43, 7, 2008)},
        {L"C:\\Photos\\", L"b.jpg", 2000, at(2020, 1, 5), digest('B'),
         Exif(L"NIKON", L"D700", 100, 24)},
        {L"C:\\Photos\\2020\\", L"IMG_0001.JPG", 3000, at(2020, 2, 14), digest('C'),
         Exif(L"Canon", L"EOS R", 1600, 85), Iptc(L"beach", L"", L"Paris", L"France")},
        {L"C:\\Photos\\2020\\", L"IMG_0002.JPG", 4000, at(2020, 2, 20), digest('D'), std::nullopt,
         std::nullopt, Gps(31, 121, 5)},
        {L"C:\\Photos\\2020\\", L"x_y.jpg", 5000, at(2020, 3, 1), digest('E')},
        {L"C:\\Photos\\O'Brien\\", L"pic'1.jpg", 6000, at(2018, 12, 24), digest('F'), std::nullopt,
         Iptc(L"", L"Xmas", L"", L"")},
        {L"C:\\Photos2\\", L"c.jpg", 7000, at(2020, 2, 2), dup},
    };
}

// The sample tree on disk and in a database file, the database opened.
class PhotoIndex {
    // First, so that the files and the drive table outlive the database object.
    TempDir m_root;
    ScopedEnv m_data, m_docs, m_tmp, m_config;
    ScopedDriveTable m_drives;

public:
    PhotoIndex()
        : m_data("XDG_DATA_HOME", m_root.MakeDir("sys/data")),
          m_docs("XDG_DOCUMENTS_DIR", m_root.MakeDir("sys/docs")),
          m_tmp("TMPDIR", m_root.MakeDir("sys/tmp")),
          m_config("XDG_CONFIG_HOME", m_root.MakeDir("sys/config")),
          m_drives("C=" + m_root.path()) {
        pictures = SamplePictures();
        for (const SamplePicture& p : pictures)
            WriteFile(p.FullPath(), p.size);
        EXPECT_TRUE(db.Initialize(Utf8ToWide(m_root / "index.db")));
        Fill();
    }

    // The host path of a library path on drive C:.
    std::string HostPath(const CString& path) const {
        std::string rel = WideToUtf8(path.substr(3));
        for (char& c : rel)
            if (c == '\\') c = '/';
        return m_root / rel;
    }
    // Writes `size` bytes to the file and gives it the sample modification time.
    void WriteFile(const CString& path, LONGLONG size) const {
        std::string host = HostPath(path);
        std::string rel = host.substr(m_root.path().size() + 1);
        m_root.WriteFile(rel, std::string(static_cast<size_t>(size), 'x'));
        SetModifyTime(path, SampleModifyTime());
    }
    void SetModifyTime(const CString& path, CTime t) const {
        struct timespec times[2] = {{t.GetTime(), 0}, {t.GetTime(), 0}};
        EXPECT_EQ(0, utimensat(AT_FDCWD, HostPath(path).c_str(), times, 0));
    }
    const std::string& Root() const { return m_root.path(); }

    std::vector<SamplePicture> pictures;
    CDbFacade db;

private:
    void Fill() {
        CSaveQueue queue(&db);
        const CTime now = CTime::GetCurrentTime();
        // The run began an hour ago: every file saved now counts as seen in it.
        queue.QueueSetConfig(L"BackSearchStartTime", Utf8ToWide(TimeText(now - 3600)));
        std::map<CString, std::set<_tagSimpleFileInfo>> folders;
        for (const SamplePicture& p : pictures)
            folders[p.folder].insert({p.name, static_cast<ULONGLONG>(p.size), SampleModifyTime()});
        for (const auto& [folder, files] : folders)
            queue.QueueFolderFiles(folder, files, 0);
        EXPECT_EQ(static_cast<int>(folders.size()) + 1, queue.Drain(nullptr));

        for (const SamplePicture& p : pictures) {
            if (p.md5.empty()) continue;
            auto* task = new CSaveFileDetail(&db);
            _tagFileDetail& d = task->m_detail;
            d.strFolder = p.folder;
            _tagFileInfo& f = d.fileInfo;
            f.iPathID = db.GetPathDao().GetPathID(p.folder, false);
            f.strFileName = p.name;
            f.strExt = CCommonFunc::GetFileExt(p.name);
            f.iFileSize = p.size;
            f.tSnapTime = p.snap;
            f.tFileCreate = CTime(2021, 4, 1, 9, 0, 0);
            f.tFileModify = SampleModifyTime();
            f.tFileSearch = now;
            f.strMD5 = p.md5;
            f.iWidth = 640;
            f.iHeight = 480;
            f.iBPP = 24;
            // A block's id of 0 in the file record asks for a new row, -1 for none.
            d.exifInfo = p.exif.value_or(_tagExifInfo());
            d.iptcInfo = p.iptc.value_or(_tagIptcInfo());
            d.gpsInfo = p.gps.value_or(_tagGpsInfo());
            f.iExifID = p.exif ? 0 : -1;
            f.iIptcID = p.iptc ? 0 : -1;
            f.iGpsID = p.gps ? 0 : -1;
            queue.Enqueue(task);
        }
        for (const auto& [folder, files] : folders)
            queue.QueueFinishReport(1, folder);
        queue.Drain(nullptr);
        EXPECT_EQ(0, queue.GetPending());
    }
};

}  // namespace testutil
