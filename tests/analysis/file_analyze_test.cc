// The file analyser: AnalyseFile's forms, and its two threads on a real database with
// real folders: records stored in batches, folders reported when done, files that cannot
// be read kept with their facts, vanished ones forgotten, pause between two files,
// queued files dropped by a cancel.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "analysis/file_analyze.h"
#include "db/db_test_util.h"
#include "picdex/file_info.h"
#include "pictures.h"
#include "scan/md5_checksum.h"

using namespace antest;
namespace fs = std::filesystem;

namespace {

// The facts-only form reads no byte; both forms keep a snapshot time already set, and
// the full one gives the digest when asked. The statuses picdex info shows: missing,
// unreadable, too large (over 100 MB; exactly 100 MB is read, and rejected), read.
TEST(AnalyseFile, FormsAndTheStatusesPicdexInfoShows) {
    const std::string rgb = FixtureDir() + "/rgb.jpg";
    const Bytes bytes = ReadBytes(rgb);
    _tagFileInfo facts, full;
    facts.tSnapTime = full.tSnapTime = CTime(1234);
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(facts, Lib(rgb), 0, 0));
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(full, Lib(rgb), 1, 1));
    EXPECT_LE(CTime::GetCurrentTime() - facts.tFileSearch, 60);
    EXPECT_EQ(std::tuple(0, 64, 1234, 1234, CMD5Checksum::GetMD5(bytes.data(), UINT(bytes.size()))),
              std::tuple(facts.iWidth, full.iWidth, facts.tSnapTime.GetTime(),
                         full.tSnapTime.GetTime(), full.strMD5));
    testutil::TempDir dir;
    fs::resize_file(dir.WriteFile("big.jpg", ""), 104857601);
    fs::resize_file(dir.WriteFile("limit.jpg", ""), 104857600);
    std::vector<picdex::FileField> fields;
    std::string got;
    for (const CString& path : {Lib(dir / "no.jpg"), Lib(dir.MakeDir("f")), Lib(dir / "big.jpg"),
                                Lib(dir / "limit.jpg"), Lib(FixtureDir() + "/camera.jpg")})
        got += std::to_string(int(picdex::AnalysePictureFile(path, true, &fields)));
    // File, EXIF, IPTC and GPS fields, and the folder.
    ASSERT_EQ(49u, fields.size());
    EXPECT_EQ("32100 strCity Marseille", got + " " + fields[38].name + " " + fields[38].text);
}

// The analyser with its protected state reachable.
class Analyser : public CFileAnalyze {
public:
    ~Analyser() override { CLongThread::Cancel(TRUE); }  // its threads call AnalyseNext
    void Queue(const CString& folder, std::initializer_list<const wchar_t*> names) {
        CSingleLock lock(&m_csPending, TRUE);
        m_mapPending[folder].insert(names.begin(), names.end());
    }
    bool Idle() {
        CSingleLock lock(&m_csPending, TRUE);
        return m_mapPending.empty() && m_setFinished.empty() && m_strCurFolder[0].empty();
    }
    using CFileAnalyze::m_csPending, CFileAnalyze::m_mapPending, CFileAnalyze::m_nScanState,
        CFileAnalyze::m_saveQueue, CFileAnalyze::m_setFinished, CFileAnalyze::m_strCurFolder;
};

class AnalyserTest : public dbtest::FacadeTest {
protected:
    void SetUp() override {
        FacadeTest::SetUp();
        analyser.SetFacade(&db);
    }
    // Copies a fixture picture to D:\<folder>\<name>; returns the folder's library path.
    CString Put(const std::string& folder, const std::string& name, const std::string& fixture) {
        fs::create_directories(photos / folder);
        fs::copy_file(FixtureDir() + "/" + fixture, photos / (folder + "/" + name));
        return L"D:\\" + Utf8ToWide(folder) + L"\\";
    }
    // Waits for the queue to empty, then flushes as the scanner's closing states do.
    bool Analyse() {
        if (!testutil::WaitUntil([&] { return analyser.Idle(); })) return false;
        analyser.m_nScanState = 12;
        return testutil::WaitUntil([&] { return analyser.m_nScanState.load() == 10; });
    }
    // The stored files but the numbered ones: folder and name, facts, the EXIF, GPS and
    // IPTC marks, and whether the size is over 100 MB.
    std::vector<std::string> Files() {
        return dbtest::Column(
            Mng(),
            "select strFullPath || strFileName || ' ' || iWidth || 'x' || iHeight "
            "|| ' ' || iBPP || ' ' || iPageCount || ' ' || (iExifID > 0) || "
            "(iGpsID > 0) || (iIptcID > 0) || (iFileSize > 100000000) from "
            "tb_file_info join tb_path_info using (iPathID) where strFileName not "
            "like '1%' order by 1");
    }

    testutil::TempDir photos;
    testutil::ScopedDriveTable drives{picdex::GetDriveTable() + ";D=" + photos.path()};
    Analyser analyser;  // its threads stop before the database goes
};

// Files are stored with their facts and metadata (without a digest); one that cannot be
// opened and one too large to read keep their facts; finished folders are reported. A
// pause falls between two files. A file and a folder that vanish after being queued
// lose their rows, and the folder is never reported.
TEST_F(AnalyserTest, ThreadsStoreFilesReportFoldersAndForgetWhatVanished) {
    const CString a = Put("a", "x.jpg", "camera.jpg"), b = Put("b", "z.gif", "anim.gif");
    const CString c = Put("c", "w.jpg", "grey.jpg");
    Put("a", "y.png", "rgb16.png");
    Put("a", "gone.jpg", "rgb.jpg");
    ASSERT_EQ(0, mkfifo((photos / "a/pipe.jpg").c_str(), 0644));
    fs::resize_file(photos.WriteFile("a/big.tif", ""), 104857601);
    analyser.Queue(a, {L"x.jpg", L"y.png", L"gone.jpg", L"pipe.jpg", L"big.tif"});
    analyser.Queue(b, {L"z.gif"});
    analyser.Queue(c, {L"w.jpg"});
    for (int i = 0; i < 200; ++i) {
        Put("p", std::to_string(1000 + i) + ".bmp", "rgb24.bmp");
        analyser.m_mapPending[L"D:\\p\\"].insert(std::to_wstring(1000 + i) + L".bmp");
    }
    auto analysed = [&] { return analyser.m_saveQueue.GetQueued(kSaveFileDetails); };
    ASSERT_EQ(1, analyser.Start(CFileAnalyze::ThreadProc, &analyser, TRUE));
    ASSERT_TRUE(testutil::WaitUntil([&] { return analysed() >= 1; }));
    analyser.Pause(TRUE);
    const LONG atPause = analysed();
    EXPECT_TRUE(analyser.m_strCurFolder[0].empty());  // no file half done
    EXPECT_FALSE(testutil::WaitUntil([&] { return analysed() != atPause; }, 0.2));
    analyser.Resume();
    ASSERT_TRUE(Analyse());
    std::vector<std::string> files = {
        "D:\\a\\big.tif 0x0 0 1 0001",  "D:\\a\\gone.jpg 64x48 24 1 0000",
        "D:\\a\\pipe.jpg 0x0 0 1 0000", "D:\\a\\x.jpg 64x48 24 1 1110",
        "D:\\a\\y.png 22x10 48 1 0000", "D:\\b\\z.gif 20x10 4 3 0000",
        "D:\\c\\w.jpg 40x30 8 1 0000"};
    EXPECT_EQ(files, Files());
    EXPECT_EQ(200, dbtest::CountRows(Mng(), "tb_file_info", "iWidth=7 and iBPP=24"));
    EXPECT_EQ(4u, sink.stats.size());
    fs::remove(photos / "a/gone.jpg");
    fs::remove_all(photos / "c");
    sink.stats.clear();
    analyser.Queue(a, {L"gone.jpg"});
    analyser.Queue(c, {L"w.jpg"});
    ASSERT_TRUE(Analyse());
    files.erase(files.begin() + 6);
    files.erase(files.begin() + 1);
    EXPECT_EQ(files, Files());
    EXPECT_EQ(std::pair(size_t(1), size_t(1)), std::pair(sink.stats.size(), sink.stats.count(a)));
    analyser.m_nScanState = 13;  // the last state: the flushing thread ends too
    EXPECT_TRUE(testutil::WaitUntil([&] { return analyser.IsFinish() == 1; }));
}

// Finished folders are reported lowest first, never one in work; an entry whose names
// are all gone is erased without touching a file. Cancel drops the queued files; the
// finished folders and the save queue stay.
TEST_F(AnalyserTest, FinishedFolderInWorkIsNotReported) {
    analyser.m_setFinished = {L"D:\\a\\", L"D:\\b\\"};
    analyser.m_strCurFolder[1] = L"D:\\a\\";
    analyser.FinishFolders();  // the lowest is in work: nothing, even though b is free
    EXPECT_EQ(0, analyser.m_saveQueue.GetCount());
    analyser.m_strCurFolder[1].clear();
    analyser.FinishFolders();
    EXPECT_EQ(std::set<CString>{L"D:\\b\\"}, analyser.m_setFinished);
    EXPECT_EQ(0, analyser.AnalyseNext(0));  // an empty queue
    analyser.m_mapPending[L"D:\\e\\"];
    EXPECT_EQ(1, analyser.AnalyseNext(0));
    EXPECT_TRUE(analyser.m_mapPending.empty());
    analyser.Queue(L"D:\\q\\", {L"1.jpg"});
    analyser.Cancel(TRUE);
    EXPECT_TRUE(analyser.m_mapPending.empty());
    EXPECT_EQ(std::pair(size_t(1), 1),
              std::pair(analyser.m_setFinished.size(), analyser.m_saveQueue.GetCount()));
}

// Records are written in batches of 100, or when the oldest is 3 seconds old, or at once
// in a closing state, which then advances.
TEST_F(AnalyserTest, RecordsAreWrittenInBatches) {
    auto fill = [&](int n) {
        for (int i = 0; i < n; ++i)
            analyser.m_saveQueue.QueueFinishReport(0, L"");  // a report that writes nothing
    };
    fill(99);
    EXPECT_EQ(1, analyser.FlushOrAdvance());  // waits: 99 records, the first just queued
    EXPECT_EQ(99, analyser.m_saveQueue.GetPending());
    fill(1);
    EXPECT_EQ(1, analyser.FlushOrAdvance());
    EXPECT_EQ(0, analyser.m_saveQueue.GetPending());
    fill(1);
    const DWORD first = analyser.m_saveQueue.GetFirstTick();
    ASSERT_TRUE(testutil::WaitUntil([&] { return GetTickCount() - first > 3000; }, 10));
    EXPECT_EQ(1, analyser.FlushOrAdvance());
    EXPECT_EQ(0, analyser.m_saveQueue.GetPending());
    for (auto [state, after] : {std::pair(3, 4), {6, 7}, {9, 7}, {12, 10}, {13, 13}, {5, 5}}) {
        analyser.m_nScanState = state;
        fill(1);
        const int flushed = analyser.FlushOrAdvance(), pending = analyser.m_saveQueue.GetPending();
        analyser.m_saveQueue.Drain(nullptr);
        const int idle = analyser.FlushOrAdvance();
        EXPECT_EQ(std::tuple(1, state == 5, 0, after),
                  std::tuple(flushed, pending, idle, analyser.m_nScanState.load()))
            << state;
    }
}

}  // namespace
