// The file analyser: AnalyseFile's rules on real files (sizes at the read limit, empty,
// missing, unreadable files, the facts-only form, the digest), the record of every
// fixture picture, and the analyser's two threads on a real database with real folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "analysis/file_analyze.h"
#include "analysis/image_data.h"
#include "db/db_test_util.h"
#include "picdex/file_info.h"
#include "picdex/host_paths.h"
#include "pictures.h"
#include "platform/file.h"
#include "scan/md5_checksum.h"

using namespace antest;

namespace {

CString Lib(const std::string& host) {
    CString path;
    EXPECT_TRUE(picdex::HostToLibraryPath(host, &path)) << host;
    return path;
}

TEST(AnalyseFile, ReadLimitsAndFailures) {
    testutil::TempDir dir;
    auto sized = [&](const std::string& name, LONGLONG size) {
        std::filesystem::resize_file(dir.WriteFile(name, ""), std::uintmax_t(size));
        return Lib(dir / name);
    };
    struct Case {
        const char* what;
        CString path;
        int result;
        LONGLONG size;
        int pages;
    };
    const Case cases[] = {
        {"missing", Lib(dir / "nope.jpg"), 0, 0, 1},
        {"a folder", Lib(dir.MakeDir("sub.jpg")), 0, 0, 1},
        {"empty: read, rejected", sized("empty.jpg", 0), 1, 0, 0},
        {"exactly the limit: read", sized("limit.tif", CFileAnalyze::kMaxReadSize), 1,
         CFileAnalyze::kMaxReadSize, 0},
        {"one byte more: not read", sized("over.tif", CFileAnalyze::kMaxReadSize + 1), 0,
         CFileAnalyze::kMaxReadSize + 1, 1},
    };
    for (const Case& c : cases) {
        _tagFileDetail d;
        EXPECT_EQ(c.result, CFileAnalyze::AnalyseFile(d, c.path, 1, 0)) << c.what;
        EXPECT_EQ(CCommonFunc::GetTitle(c.path), d.fileInfo.strFileName) << c.what;
        EXPECT_EQ(CCommonFunc::GetFileExt(c.path), d.fileInfo.strExt) << c.what;
        EXPECT_EQ(c.size, d.fileInfo.iFileSize) << c.what;
        EXPECT_EQ(c.pages, d.fileInfo.iPageCount) << c.what;
        EXPECT_EQ(c.result ? L"0" : L"", d.fileInfo.strMD5) << c.what;
        if (c.size) {
            EXPECT_EQ(d.fileInfo.tFileCreate, d.fileInfo.tSnapTime) << c.what;
        }
    }
    if (geteuid() != 0) {  // root reads whatever the permissions say
        CString locked = Lib(dir.WriteFile("locked.png", "x"));
        std::filesystem::permissions(dir / "locked.png", std::filesystem::perms::none);
        _tagFileDetail d;
        EXPECT_EQ(0, CFileAnalyze::AnalyseFile(d, locked, 1, 0));
        EXPECT_EQ(L"png", d.fileInfo.strExt);
    }
}

TEST(AnalyseFile, FactsOnlyDigestAndBareRecord) {
    const std::string host = FixtureDir() + "/rgb.jpg";
    const CString path = Lib(host);
    const Bytes bytes = ReadBytes(host);
    _tagFileInfo info;
    info.tSnapTime = CTime(1234);
    info.iWidth = 7;
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(info, path, 0, 0));
    EXPECT_EQ(LONGLONG(bytes.size()), info.iFileSize);
    EXPECT_EQ(L"rgb.jpg", info.strFileName);
    EXPECT_EQ(1234, info.tSnapTime.GetTime());  // untouched, as is everything read from data
    EXPECT_EQ(7, info.iWidth);
    EXPECT_GT(info.tFileModify.GetTime(), 0);
    EXPECT_LE(CTime::GetCurrentTime() - info.tFileSearch, 60);
    ASSERT_EQ(1, CFileAnalyze::AnalyseFile(info, path, 1, 1));
    EXPECT_EQ(64, info.iWidth);
    EXPECT_EQ(CMD5Checksum::GetMD5(bytes.data(), UINT(bytes.size())), info.strMD5);
}

TEST(AnalyseFile, EveryPictureGivesItsWholeDataRecord) {
    for (const std::string& name : FixtureNames()) {
        const Bytes bytes = ReadBytes(FixtureDir() + "/" + name);
        _tagFileDetail got;
        ASSERT_EQ(1, CFileAnalyze::AnalyseFile(got, Lib(FixtureDir() + "/" + name), 1, 0)) << name;
        _tagFileDetail want;
        want.fileInfo = got.fileInfo;  // the facts, then the step over the whole data
        want.fileInfo.tSnapTime = got.fileInfo.tFileCreate;
        ExtractImageData(bytes.data(), UINT(bytes.size()), want);
        EXPECT_EQ(Describe(want), Describe(got)) << name;
    }
}

// The analyser with its protected state reachable.
class Analyser : public CFileAnalyze {
public:
    // Its threads call the virtual AnalyseNext: they stop before this class goes.
    ~Analyser() override { CLongThread::Cancel(TRUE); }
    void Queue(const CString& folder, std::initializer_list<const wchar_t*> names) {
        CSingleLock lock(&m_csPending, TRUE);
        for (const wchar_t* n : names)
            m_mapPending[folder].insert(n);
    }
    bool Idle() {
        CSingleLock lock(&m_csPending, TRUE);
        return m_mapPending.empty() && m_setFinished.empty() && m_strCurFolder[0].empty() &&
               m_bFolderDone.load() == 0;
    }
    // The scanner's closing protocol: flush at once, wait for the state to move on.
    bool Flush() {
        m_nScanState = 12;
        return testutil::WaitUntil([&] { return m_nScanState.load() == 10; });
    }
    using CFileAnalyze::m_csPending;
    using CFileAnalyze::m_mapPending;
    using CFileAnalyze::m_nScanState;
    using CFileAnalyze::m_saveQueue;
    using CFileAnalyze::m_setFinished;
    using CFileAnalyze::m_strCurFolder;
};

class AnalyserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.Initialize(Utf8ToWide(file.Path())));
        db.SetReportSink(&sink);
        analyser.SetFacade(&db);
    }
    // Copies a fixture picture to D:\<rel> and returns its folder's library path.
    CString Put(const std::string& rel, const std::string& fixture) {
        std::filesystem::create_directories(std::filesystem::path(photos / rel).parent_path());
        std::filesystem::copy_file(FixtureDir() + "/" + fixture, photos / rel);
        return L"D:\\" + Utf8ToWide(rel.substr(0, rel.find('/'))) + L"\\";
    }
    int Rows(const std::string& where) {
        return dbtest::CountRows(db.GetDbMng(), "tb_file_info", where);
    }

    dbtest::ScopedMachine machine;
    testutil::TempDir photos;
    testutil::ScopedDriveTable drives{picdex::GetDriveTable() + ";D=" + photos.path()};
    dbtest::TempDb file;
    CDbFacade db;
    dbtest::RecordingSink sink{db};
    Analyser analyser;  // last: its threads stop before the database goes
};

TEST_F(AnalyserTest, ThreadsStoreFilesReportFoldersAndForgetWhatVanished) {
    const CString a = Put("a/x.jpg", "camera.jpg");
    Put("a/y.png", "rgb16.png");
    Put("a/gone.jpg", "rgb.jpg");
    const CString b = Put("b/z.gif", "anim.gif");
    const CString c = Put("c/w.jpg", "grey.jpg");
    analyser.Queue(a, {L"x.jpg", L"y.png", L"gone.jpg"});
    analyser.Queue(b, {L"z.gif"});
    analyser.Queue(c, {L"w.jpg"});
    ASSERT_EQ(1, analyser.Start(CFileAnalyze::ThreadProc, &analyser, TRUE));
    ASSERT_TRUE(testutil::WaitUntil([&] { return analyser.Idle(); }));
    ASSERT_TRUE(analyser.Flush());
    EXPECT_EQ(5, Rows(""));
    EXPECT_EQ(1,
              Rows("strFileName='x.jpg' and iWidth=64 and iExifID>0 and iGpsID>0 and iIptcID>0"));
    EXPECT_EQ(1, Rows("strFileName='y.png' and iBPP=48 and iExifID=-1 and strMD5='0'"));
    EXPECT_EQ(1, Rows("strFileName='z.gif' and iPageCount=3"));
    EXPECT_EQ(3, dbtest::CountRows(db.GetDbMng(),
                                   "tb_file_info f join tb_path_info p on "
                                   "f.iPathID=p.iPathID",
                                   "p.strFullPath='D:\\a\\'"));
    for (const CString& folder : {a, b, c})
        EXPECT_EQ(1u, sink.stats.count(folder)) << WideToUtf8(folder);

    // A file and a folder that vanish after being queued lose their rows.
    std::filesystem::remove(photos / "a/gone.jpg");
    std::filesystem::remove_all(photos / "c");
    analyser.Queue(a, {L"gone.jpg"});
    analyser.Queue(c, {L"w.jpg"});
    ASSERT_TRUE(testutil::WaitUntil([&] { return analyser.Idle(); }));
    ASSERT_TRUE(analyser.Flush());
    EXPECT_EQ(0, Rows("strFileName in ('gone.jpg', 'w.jpg')"));
    EXPECT_EQ(3, Rows(""));

    // A file that cannot be opened and one too large to read keep their facts.
    ASSERT_EQ(0, mkfifo((photos / "a/pipe.jpg").c_str(), 0644));
    std::filesystem::resize_file(photos.WriteFile("a/big.tif", ""), CFileAnalyze::kMaxReadSize + 1);
    analyser.Queue(a, {L"pipe.jpg", L"big.tif"});
    ASSERT_TRUE(testutil::WaitUntil([&] { return analyser.Idle(); }));
    ASSERT_TRUE(analyser.Flush());
    EXPECT_EQ(1, Rows("strFileName='pipe.jpg' and strExt='jpg' and strMD5='0' and iPageCount=1"));
    EXPECT_EQ(1, Rows("strFileName='big.tif' and iFileSize=104857601 and iPageCount=1 and "
                      "iWidth=0 and strMD5='0'"));
    analyser.m_nScanState = 13;
    analyser.Cancel(TRUE);
}

TEST_F(AnalyserTest, FinishedFolderInWorkIsNotReported) {
    {
        CSingleLock lock(&analyser.m_csPending, TRUE);
        analyser.m_setFinished = {L"D:\\a\\", L"D:\\b\\"};
        analyser.m_strCurFolder[1] = L"D:\\a\\";
    }
    analyser.FinishFolders();  // the lowest is in work: nothing, even though b is free
    EXPECT_EQ(0, analyser.m_saveQueue.GetCount());
    analyser.m_strCurFolder[1].clear();
    analyser.FinishFolders();
    EXPECT_EQ(1, analyser.m_saveQueue.GetCount());
    EXPECT_EQ(std::set<CString>{L"D:\\b\\"}, analyser.m_setFinished);
    // An empty queue, and an entry whose names are all gone.
    EXPECT_EQ(0, analyser.AnalyseNext(0));
    analyser.m_mapPending[L"D:\\e\\"];
    EXPECT_EQ(1, analyser.AnalyseNext(0));
    EXPECT_TRUE(analyser.m_mapPending.empty());
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
    const std::pair<LONG, LONG> states[] = {{3, 4}, {6, 7}, {9, 7}, {12, 10}, {13, 13}, {5, 5}};
    for (const auto& [closing, after] : states) {
        analyser.m_nScanState = closing;
        fill(1);
        EXPECT_EQ(1, analyser.FlushOrAdvance()) << closing;  // at once in a closing state
        EXPECT_EQ(closing == 5 ? 1 : 0, analyser.m_saveQueue.GetPending()) << closing;
        if (closing == 5) analyser.m_saveQueue.Drain(nullptr);
        EXPECT_EQ(0, analyser.FlushOrAdvance());
        EXPECT_EQ(after, analyser.m_nScanState.load());
    }
}

TEST_F(AnalyserTest, PauseAndCancelFallBetweenFiles) {
    std::vector<std::wstring> names;
    for (int i = 0; i < 400; ++i) {
        Put("p/" + std::to_string(1000 + i) + ".bmp", "rgb24.bmp");
        names.push_back(std::to_wstring(1000 + i) + L".bmp");
    }
    {
        CSingleLock lock(&analyser.m_csPending, TRUE);
        analyser.m_mapPending[L"D:\\p\\"].insert(names.begin(), names.end());
    }
    auto analysed = [&] { return analyser.m_saveQueue.GetQueued(kSaveFileDetails); };
    ASSERT_EQ(1, analyser.Start(CFileAnalyze::ThreadProc, &analyser, TRUE));
    ASSERT_TRUE(testutil::WaitUntil([&] { return analysed() >= 1; }));
    analyser.Pause(TRUE);
    const LONG atPause = analysed();
    {
        CSingleLock lock(&analyser.m_csPending, TRUE);
        EXPECT_TRUE(analyser.m_strCurFolder[0].empty());  // no file half done
    }
    EXPECT_FALSE(testutil::WaitUntil([&] { return analysed() != atPause; }, 0.2));
    analyser.Resume();
    ASSERT_TRUE(testutil::WaitUntil([&] { return analyser.Idle(); }));
    EXPECT_EQ(400, analysed());
    ASSERT_TRUE(analyser.Flush());
    EXPECT_EQ(400, Rows("iWidth=7 and iBPP=24"));
}

TEST_F(AnalyserTest, CancelDropsQueuedFilesOnly) {
    analyser.Queue(L"D:\\q\\", {L"1.jpg", L"2.jpg"});
    analyser.m_setFinished.insert(L"D:\\done\\");
    analyser.Start(CFileAnalyze::ThreadProc, &analyser, FALSE);  // paused
    analyser.Cancel(TRUE);
    EXPECT_TRUE(analyser.m_mapPending.empty());
    EXPECT_EQ(1u, analyser.m_setFinished.size());
    EXPECT_EQ(0, analyser.m_saveQueue.GetQueued(kSaveFileDetails));
}

}  // namespace

namespace {

TEST(AnalysePictureFile, StatusesAndFieldsAsTheScanStores) {
    testutil::TempDir dir;
    std::vector<picdex::FileField> fields;
    EXPECT_EQ(picdex::FileStatus::Missing,
              picdex::AnalysePictureFile(Lib(dir / "none.jpg"), false, &fields));
    EXPECT_EQ(picdex::FileStatus::Unreadable,
              picdex::AnalysePictureFile(Lib(dir.MakeDir("f")), false, &fields));
    std::filesystem::resize_file(dir.WriteFile("big.jpg", ""), CFileAnalyze::kMaxReadSize + 9);
    ASSERT_EQ(picdex::FileStatus::TooLarge,
              picdex::AnalysePictureFile(Lib(dir / "big.jpg"), true, &fields));
    auto value = [&](const std::string& key) {
        for (const auto& f : fields)
            if ((f.part.empty() ? "" : f.part + ".") + f.name == key)
                return f.kind == picdex::FileField::Text ? f.text : std::to_string(f.number);
        return std::string("<none>");
    };
    EXPECT_EQ("0", value("file.strMD5"));  // not read, so no digest
    EXPECT_EQ(std::to_string(CFileAnalyze::kMaxReadSize + 9), value("file.iFileSize"));
    ASSERT_EQ(picdex::FileStatus::Ok,
              picdex::AnalysePictureFile(Lib(FixtureDir() + "/camera.jpg"), false, &fields));
    EXPECT_EQ(49u, fields.size());
    EXPECT_EQ("iFileID", fields.front().name);  // record order: file, exif, iptc, gps, folder
    EXPECT_EQ("tGpsTime", fields[fields.size() - 2].name);
    EXPECT_EQ("PicdexCam", value("exif.strManufacturer"));
    EXPECT_EQ("174636", value("gps.iLatitude"));
    EXPECT_EQ("Marseille", value("iptc.strCity"));
    EXPECT_EQ(WideToUtf8(Lib(FixtureDir())) + "\\", value("strFolder"));
}

}  // namespace
