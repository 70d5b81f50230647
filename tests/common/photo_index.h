// A small real photo index for the search and statistics tests: drive C: is a
// temporary folder holding real picture files (sizes and modification times as
// stored), and a database file beside them is filled the way a scan fills it, through
// the save queue: the folders' file lists, then each file's details, then each
// folder's finish report (which recounts the folder and rebuilds its months).
//
// The tree (snap times at noon, local time; the digest's first letter):
//   C:\New\n1.jpg, n2.jpg            listed, never analysed (empty digest, no time)
//   C:\Other\undated.png             analysed, no capture time, digest "0"
//   C:\Photos\a.jpg                  2019-07  D1D1...
//   C:\Photos\b.jpg                  2020-01  B
//   C:\Photos\2020\IMG_0001.JPG      2020-02  C
//   C:\Photos\2020\IMG_0002.JPG      2020-02  D
//   C:\Photos\2020\x_y.jpg           2020-03  E
//   C:\Photos\O'Brien\pic'1.jpg      2018-12  F
//   C:\Photos2\c.jpg                 2020-02  the same digest as a.jpg
// (Metadata blocks are left out: what searches find through them is checked end to end
// by the host program's tests, on pictures that carry them.)
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "db/db_facade.h"
#include "db/save_queue.h"
#include "db/sql_literal.h"
#include "db/text_codec.h"

// The records below are written with designated initializers; members left out keep
// their defaults on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace testutil {

// One picture of the tree; a picture without a digest was listed but never analysed.
struct SamplePicture {
    CString folder, name;
    LONGLONG size = 0;
    CTime snap;
    CString md5;
};

inline _tagQuickSearch QuickRequest(const CString& text, int scope, int verify = 0) {
    return {.strText = text, .bVerify = verify, .iScope = scope};
}

// Every file of the tree has this modification time on disk and in the index.
inline CTime SampleModifyTime() {
    return CTime(2021, 5, 1, 10, 0, 0);
}

inline std::vector<SamplePicture> SamplePictures() {
    const CString dup = L"D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1D1", none;
    auto digest = [](char c) { return CString(1, c) + CString(31, L'0'); };
    auto at = [](int year, int month, int day) { return CTime(year, month, day, 12, 0, 0); };
    return {
        {L"C:\\New\\", L"n1.jpg", 100, CTime(), none},
        {L"C:\\New\\", L"n2.jpg", 200, CTime(), none},
        {L"C:\\Other\\", L"undated.png", 800, CTime(), L"0"},
        {L"C:\\Photos\\", L"a.jpg", 1000, at(2019, 7, 14), dup},
        {L"C:\\Photos\\", L"b.jpg", 2000, at(2020, 1, 5), digest('B')},
        {L"C:\\Photos\\2020\\", L"IMG_0001.JPG", 3000, at(2020, 2, 14), digest('C')},
        {L"C:\\Photos\\2020\\", L"IMG_0002.JPG", 4000, at(2020, 2, 20), digest('D')},
        {L"C:\\Photos\\2020\\", L"x_y.jpg", 5000, at(2020, 3, 1), digest('E')},
        {L"C:\\Photos\\O'Brien\\", L"pic'1.jpg", 6000, at(2018, 12, 24), digest('F')},
        {L"C:\\Photos2\\", L"c.jpg", 7000, at(2020, 2, 2), dup},
    };
}

// The sample tree on disk and in a database file, the database opened.
class PhotoIndex {
    // First, so that the files and the drive table outlive the database object.
    TempDir m_root;
    ScopedDriveTable m_drives{"C=" + m_root.path()};

public:
    PhotoIndex() {
        for (const SamplePicture& p : SamplePictures())
            WriteFile(p.folder + p.name, p.size);
        EXPECT_TRUE(db.Initialize(Utf8ToWide(m_root / "index.db")));
        Fill();
    }

    // The host path of a library path on drive C:.
    std::string HostPath(const CString& path) const {
        std::string rel = WideToUtf8(path.substr(3));
        std::replace(rel.begin(), rel.end(), '\\', '/');
        return m_root / rel;
    }
    // Writes `size` bytes to the file and gives it the sample modification time.
    void WriteFile(const CString& path, LONGLONG size) const {
        m_root.WriteFile(HostPath(path).substr(m_root.path().size() + 1),
                         std::string(size_t(size), 'x'));
        SetModifyTime(path, SampleModifyTime());
    }
    void SetModifyTime(const CString& path, CTime t) const {
        struct timespec times[2] = {{t.GetTime(), 0}, {t.GetTime(), 0}};
        EXPECT_EQ(0, utimensat(AT_FDCWD, HostPath(path).c_str(), times, 0));
    }

    CDbFacade db;

private:
    void Fill() {
        CSaveQueue queue(&db);
        const CTime now = CTime::GetCurrentTime();
        // The run began an hour ago: every file saved now counts as seen in it.
        queue.QueueSetConfig(L"BackSearchStartTime", Utf8ToWide(TimeText(now - 3600)));
        std::map<CString, std::set<_tagSimpleFileInfo>> folders;
        for (const SamplePicture& p : SamplePictures())
            folders[p.folder].insert({p.name, ULONGLONG(p.size), SampleModifyTime()});
        for (const auto& [folder, files] : folders)
            queue.QueueFolderFiles(folder, files, 0);
        EXPECT_EQ(int(folders.size()) + 1, queue.Drain(nullptr));

        for (const SamplePicture& p : SamplePictures()) {
            if (p.md5.empty()) continue;
            auto* task = new CSaveFileDetail(&db);
            task->m_detail.strFolder = p.folder;
            task->m_detail.fileInfo = {.iPathID = db.GetPathDao().GetPathID(p.folder, false),
                                       .iFileSize = p.size,
                                       .tSnapTime = p.snap,
                                       .tFileModify = SampleModifyTime(),
                                       .tFileSearch = now,
                                       .strFileName = p.name,
                                       .strExt = CCommonFunc::GetFileExt(p.name),
                                       .strMD5 = p.md5};
            queue.Enqueue(task);
        }
        for (const auto& [folder, files] : folders)
            queue.QueueFinishReport(1, folder);
        queue.Drain(nullptr);
        EXPECT_EQ(0, queue.GetPending());
    }
};

}  // namespace testutil

#pragma GCC diagnostic pop
