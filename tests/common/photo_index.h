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

#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/save_queue.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"

namespace testutil {

struct SamplePicture {
    CString folder;
    CString name;
    LONGLONG size = 0;
    CTime snap;
    CString md5;
    bool analysed = true;
    bool exif = false;
    CString maker, model;
    int iso = 0, focalL = 0, focalR = 1, exposureL = 0, exposureR = 1;
    bool iptc = false;
    CString keyword, title, city, country;
    bool gps = false;
    int latitude = 0, longitude = 0, altitude = 0;

    CString FullPath() const { return folder + name; }
};

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
    const CString kDup = L"D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1";
    std::vector<SamplePicture> all;
    auto add = [&](const wchar_t* folder, const wchar_t* name, LONGLONG size, CTime snap,
                   CString md5) -> SamplePicture& {
        SamplePicture p;
        p.folder = folder;
        p.name = name;
        p.size = size;
        p.snap = snap;
        p.md5 = std::move(md5);
        all.push_back(p);
        return all.back();
    };
    add(L"C:\\New\\", L"n1.jpg", 100, CTime(), L"").analysed = false;
    add(L"C:\\New\\", L"n2.jpg", 200, CTime(), L"").analysed = false;
    add(L"C:\\Other\\", L"undated.png", 800, CTime(), L"0");
    {
        SamplePicture& p = add(L"C:\\Photos\\", L"a.jpg", 1000, CTime(2019, 7, 14, 12, 0, 0), kDup);
        p.exif = true, p.maker = L"Canon", p.model = L"EOS 5D", p.iso = 400;
        p.focalL = 50, p.exposureL = 1, p.exposureR = 100;
        p.iptc = true, p.keyword = L"Beach", p.title = L"Holiday at sea", p.city = L"Nice";
        p.country = L"France";
        p.gps = true, p.latitude = 43, p.longitude = 7, p.altitude = 2008;
    }
    {
        SamplePicture& p = add(L"C:\\Photos\\", L"b.jpg", 2000, CTime(2020, 1, 5, 12, 0, 0),
                               L"B0000000000000000000000000000000");
        p.exif = true, p.maker = L"NIKON", p.model = L"D700", p.iso = 100, p.focalL = 24;
    }
    {
        SamplePicture& p = add(L"C:\\Photos\\2020\\", L"IMG_0001.JPG", 3000,
                               CTime(2020, 2, 14, 12, 0, 0), L"C0000000000000000000000000000000");
        p.exif = true, p.maker = L"Canon", p.model = L"EOS R", p.iso = 1600, p.focalL = 85;
        p.iptc = true, p.keyword = L"beach", p.city = L"Paris", p.country = L"France";
    }
    {
        SamplePicture& p = add(L"C:\\Photos\\2020\\", L"IMG_0002.JPG", 4000,
                               CTime(2020, 2, 20, 12, 0, 0), L"D0000000000000000000000000000000");
        p.gps = true, p.latitude = 31, p.longitude = 121, p.altitude = 5;
    }
    add(L"C:\\Photos\\2020\\", L"x_y.jpg", 5000, CTime(2020, 3, 1, 12, 0, 0),
        L"E0000000000000000000000000000000");
    {
        SamplePicture& p = add(L"C:\\Photos\\O'Brien\\", L"pic'1.jpg", 6000,
                               CTime(2018, 12, 24, 12, 0, 0), L"F0000000000000000000000000000000");
        p.iptc = true, p.title = L"Xmas";
    }
    add(L"C:\\Photos2\\", L"c.jpg", 7000, CTime(2020, 2, 2, 12, 0, 0), kDup);
    return all;
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
            if (!p.analysed) continue;
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
            if (p.exif) {
                f.iExifID = 0;
                d.exifInfo.strManufacturer = p.maker;
                d.exifInfo.strModel = p.model;
                d.exifInfo.iISO = p.iso;
                d.exifInfo.iFocalLenL = p.focalL;
                d.exifInfo.iFocalLenR = p.focalR;
                d.exifInfo.iExposureTimeL = p.exposureL;
                d.exifInfo.iExposureTimeR = p.exposureR;
            }
            if (p.iptc) {
                f.iIptcID = 0;
                d.iptcInfo.strKeyWord = p.keyword;
                d.iptcInfo.strTitle = p.title;
                d.iptcInfo.strCity = p.city;
                d.iptcInfo.strCountry = p.country;
            }
            if (p.gps) {
                f.iGpsID = 0;
                d.gpsInfo.iLatitude = p.latitude;
                d.gpsInfo.iLongitute = p.longitude;
                d.gpsInfo.iAltitute = p.altitude;
            }
            queue.Enqueue(task);
        }
        for (const auto& [folder, files] : folders)
            queue.QueueFinishReport(1, folder);
        queue.Drain(nullptr);
        EXPECT_EQ(0, queue.GetPending());
    }
};

}  // namespace testutil
