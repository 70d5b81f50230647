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

TEST(AnalyseFile, FormsAndTheStatusesPicdexInfoShows) {
    // The facts-only form reads no byte and keeps a snapshot time already set; so does
    // the full form, which also gives the digest when asked.
    const CString path = Lib(FixtureDir() + "/rgb.jpg");
    const Bytes bytes = ReadBytes(FixtureDir() + "/rgb.jpg");
    _tagFileInfo info;
    info.tSnapTime = CTime(1234);
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(info, path, 0, 0));
    EXPECT_EQ(0, info.iWidth);
    EXPECT_LE(CTime::GetCurrentTime() - info.tFileSearch, 60);
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(info, path, 1, 1));
    EXPECT_EQ(64, info.iWidth);
    EXPECT_EQ(1234, info.tSnapTime.GetTime());
    EXPECT_EQ(CMD5Checksum::GetMD5(bytes.data(), UINT(bytes.size())), info.strMD5);
    testutil::TempDir dir;
    fs::resize_file(dir.WriteFile("big.jpg", ""), 104857601);
    fs::resize_file(dir.WriteFile("limit.jpg", ""), 104857600);  // read, and rejected
    std::vector<picdex::FileField> fields;
    std::string got;
    for (const CString& path : {Lib(dir / "no.jpg"), Lib(dir.MakeDir("f")), Lib(dir / "big.jpg"),
                                Lib(dir / "limit.jpg"), Lib(FixtureDir() + "/camera.jpg")})
        got += std::to_string(int(picdex::AnalysePictureFile(path, true, &fields)));
    EXPECT_EQ("32100", got);        // missing, unreadable, too large, read, read
    ASSERT_EQ(49u, fields.size());  // file, EXIF, IPTC and GPS fields, and the folder
    EXPECT_EQ("strCity Marseille", fields[38].name + " " + fields[38].text);
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
    int Rows(const std::string& where) { return dbtest::CountRows(Mng(), "tb_file_info", where); }
    // Waits for the queue to empty, then flushes as the scanner's closing states do.
    bool Analyse() {
        if (!testutil::WaitUntil([&] { return analyser.Idle(); })) return false;
        analyser.m_nScanState = 12;
        return testutil::WaitUntil([&] { return analyser.m_nScanState.load() == 10; });
    }

    testutil::TempDir photos;
    testutil::ScopedDriveTable drives{picdex::GetDriveTable() + ";D=" + photos.path()};
    Analyser analyser;  // its threads stop before the database goes
};

TEST_F(AnalyserTest, ThreadsStoreFilesReportFoldersAndForgetWhatVanished) {
    const CString a = Put("a", "x.jpg", "camera.jpg"), b = Put("b", "z.gif", "anim.gif");
    const CString c = Put("c", "w.jpg", "grey.jpg");
    Put("a", "y.png", "rgb16.png"), Put("a", "gone.jpg", "rgb.jpg");
    ASSERT_EQ(0, mkfifo((photos / "a/pipe.jpg").c_str(), 0644));  // cannot be opened
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
    // A pause falls between two files.
    ASSERT_TRUE(testutil::WaitUntil([&] { return analysed() >= 1; }));
    analyser.Pause(TRUE);
    const LONG atPause = analysed();
    EXPECT_TRUE(analyser.m_strCurFolder[0].empty());  // no file half done
    EXPECT_FALSE(testutil::WaitUntil([&] { return analysed() != atPause; }, 0.2));
    analyser.Resume();
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(200, Rows("iWidth=7 and iBPP=24"));
    EXPECT_EQ(207, Rows(""));
    EXPECT_EQ(5, Rows("iPathID = (select iPathID from tb_path_info where strFullPath='D:\\a\\')"));
    EXPECT_EQ(1,
              Rows("strFileName='x.jpg' and iWidth=64 and iExifID>0 and iGpsID>0 and iIptcID>0"));
    EXPECT_EQ(1, Rows("strFileName='y.png' and iBPP=48 and iExifID=-1 and strMD5='0'"));
    EXPECT_EQ(1, Rows("strFileName='z.gif' and iPageCount=3"));
    // A file that cannot be opened and one too large to read keep their facts.
    EXPECT_EQ(2, Rows("strFileName in ('pipe.jpg', 'big.tif') and strMD5='0' and iPageCount=1"));
    EXPECT_EQ(1, Rows("strFileName='big.tif' and iFileSize=104857601"));
    EXPECT_EQ(4u, sink.stats.size());
    // A file and a folder that vanish after being queued lose their rows; the folder is
    // never reported.
    fs::remove(photos / "a/gone.jpg");
    fs::remove_all(photos / "c");
    sink.stats.clear();
    analyser.Queue(a, {L"gone.jpg"});
    analyser.Queue(c, {L"w.jpg"});
    ASSERT_TRUE(Analyse());
    EXPECT_EQ(0, Rows("strFileName in ('gone.jpg', 'w.jpg')"));
    EXPECT_EQ(205, Rows(""));
    EXPECT_EQ(1u, sink.stats.size());
    EXPECT_EQ(1u, sink.stats.count(a));
    analyser.m_nScanState = 13;  // the last state: the flushing thread ends too
    EXPECT_TRUE(testutil::WaitUntil([&] { return analyser.IsFinish() == 1; }));
}

TEST_F(AnalyserTest, FinishedFolderInWorkIsNotReported) {
    analyser.m_setFinished = {L"D:\\a\\", L"D:\\b\\"};
    analyser.m_strCurFolder[1] = L"D:\\a\\";
    analyser.FinishFolders();  // the lowest is in work: nothing, even though b is free
    EXPECT_EQ(0, analyser.m_saveQueue.GetCount());
    analyser.m_strCurFolder[1].clear();
    analyser.FinishFolders();
    EXPECT_EQ(std::set<CString>{L"D:\\b\\"}, analyser.m_setFinished);
    // An empty queue, and an entry whose names are all gone (erased, no file touched).
    EXPECT_EQ(0, analyser.AnalyseNext(0));
    analyser.m_mapPending[L"D:\\e\\"];
    EXPECT_EQ(1, analyser.AnalyseNext(0));
    EXPECT_TRUE(analyser.m_mapPending.empty());
    EXPECT_EQ(1, analyser.m_saveQueue.GetCount());
    // Cancel drops the queued files; the finished folders and the save queue stay.
    analyser.Queue(L"D:\\q\\", {L"1.jpg"});
    analyser.Cancel(TRUE);
    EXPECT_TRUE(analyser.m_mapPending.empty());
    EXPECT_EQ(1u, analyser.m_setFinished.size());
    EXPECT_EQ(1, analyser.m_saveQueue.GetCount());
}

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
    EXPECT_EQ(1, analyser.FlushOrAdvance());  // the oldest is 3 seconds old
    EXPECT_EQ(0, analyser.m_saveQueue.GetPending());
    for (auto [state, after] : {std::pair(3, 4), {6, 7}, {9, 7}, {12, 10}, {13, 13}, {5, 5}}) {
        analyser.m_nScanState = state;
        fill(1);
        EXPECT_EQ(1, analyser.FlushOrAdvance()) << state;  // at once in a closing state
        EXPECT_EQ(state == 5, analyser.m_saveQueue.GetPending()) << state;
        analyser.m_saveQueue.Drain(nullptr);
        EXPECT_EQ(0, analyser.FlushOrAdvance());
        EXPECT_EQ(after, analyser.m_nScanState.load());
    }
}

}  // namespace
