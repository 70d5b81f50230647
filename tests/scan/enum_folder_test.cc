// Folder listing on a real folder tree: pictures, other files, sub-folders, links, a
// missing folder and the stop event.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "picdex/sync.h"
#include "scan/common_func.h"
#include "scan_test_util.h"

namespace {

namespace fs = std::filesystem;
using Set = std::set<CString>;

Set Names(const std::set<_tagSimpleFileInfo>& pics) {
    Set names;
    for (const auto& p : pics)
        names.insert(p.strFileName);
    return names;
}

class EnumFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CCommonFunc::InitPicExt({});
        m_dir.WriteFile("tree/a.jpg", "aaaa");
        for (const char* name :
             {"B.PNG", ".hidden.gif", "notes.txt", "c.jpeg", "\u4e2d\u6587.tif", "sub1/deep.jpg"})
            m_dir.WriteFile(std::string("tree/") + name, "");
        m_dir.MakeDir("tree/sub2.jpg");  // a folder is never a picture
        fs::create_directory_symlink(m_dir / "tree/sub1", m_dir / "tree/folderlink");
        fs::create_symlink(m_dir / "tree/a.jpg", m_dir / "tree/piclink.jpg");
        fs::create_symlink(m_dir / "tree/nowhere", m_dir / "tree/broken.bmp");
    }
    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + m_dir.path()};
    // Links are plain entries: never folders, pictures by their own names.
    const Set m_pics{L"a.jpg",       L"B.PNG",      L".hidden.gif", L"\u4e2d\u6587.tif",
                     L"piclink.jpg", L"broken.bmp", L"kept.jpg"};
    const Set m_folders{L"C:\\tree\\sub1", L"C:\\tree\\sub2.jpg", L"C:\\kept"};
};

TEST_F(EnumFolderTest, NamesOfPicturesAndPathsOfSubFolders) {
    Set pics{L"kept.jpg"}, folders{L"C:\\kept"};  // the sets are not cleared
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", pics, folders));
    EXPECT_EQ(m_pics, pics);
    EXPECT_EQ(m_folders, folders);
}

TEST_F(EnumFolderTest, DetailsCarrySizeAndLastWriteTime) {
    const auto written = std::chrono::sys_seconds(std::chrono::seconds(1199183415));
    fs::last_write_time(m_dir / "tree/a.jpg", std::chrono::file_clock::from_sys(written));
    std::set<_tagSimpleFileInfo> pics{{L"kept.jpg", 0, CTime()}, {L"B.PNG", 7, CTime(7)}};
    Set folders{L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", pics, folders, nullptr));
    EXPECT_EQ(m_pics, Names(pics));
    EXPECT_EQ(m_folders, folders);
    auto a = pics.find({L"a.jpg", 0, CTime()});
    ASSERT_NE(pics.end(), a);
    EXPECT_EQ(4u, a->iFileSize);
    EXPECT_EQ(1199183415, a->tFileModify.GetTime());
    // One entry per name (case-sensitive): the one already there stays.
    EXPECT_EQ(7u, pics.find({L"B.PNG", 0, CTime()})->iFileSize);
    EXPECT_EQ(0u, pics.count({L"b.png", 0, CTime()}));
}

TEST_F(EnumFolderTest, MissingFolderOrEarlyStopLeavesTheSetsAlone) {
    for (const wchar_t* folder :
         {L"C:\\nothing\\", L"C:\\tree\\a.jpg\\", L"C:\\tree", L"Q:\\", L""}) {
        Set pics{L"kept.jpg"}, folders{L"C:\\kept"};
        std::set<_tagSimpleFileInfo> details{{L"kept.jpg", 0, CTime()}};
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, pics, folders)) << folder;
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, details, folders, nullptr)) << folder;
        EXPECT_EQ(Set{L"kept.jpg"}, pics);
        EXPECT_EQ(Set{L"kept.jpg"}, Names(details));
        EXPECT_EQ(Set{L"C:\\kept"}, folders);
    }
    // A stop set before the call ends it before the first entry.
    CEvent stop(TRUE);
    Set folders{L"C:\\kept"};
    std::set<_tagSimpleFileInfo> details{{L"kept.jpg", 0, CTime()}};
    EXPECT_EQ(0, CCommonFunc::EnumFolderChild(L"C:\\tree\\", details, folders, stop));
    EXPECT_EQ(Set{L"kept.jpg"}, Names(details));
    EXPECT_EQ(Set{L"C:\\kept"}, folders);
}

// A stop set by another thread while a listing runs: the call either lists the whole
// folder (1) or stops (0) having added only a prefix of the listing, which comes in name
// order. The setter's delay after the start is searched (longer after a stop before the
// first entry, shorter after a complete listing) until a listing has been stopped part
// way, within a generous bound.
TEST_F(EnumFolderTest, StopSetDuringListingKeepsWhatWasFound) {
    using Clock = std::chrono::steady_clock;
    constexpr int kFiles = 5000;
    std::vector<CString> all;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "p%05d.jpg", i);
        m_dir.WriteFile(std::string("big/") + name, "");
        all.push_back(CString(name, name + std::strlen(name)));
    }
    CEvent stop(FALSE);
    auto list = [&](std::vector<CString>& names) {
        std::set<_tagSimpleFileInfo> pics;
        std::set<CString> folders;
        int result = CCommonFunc::EnumFolderChild(L"C:\\big\\", pics, folders, stop);
        EXPECT_TRUE(folders.empty());
        names.clear();
        for (const auto& p : pics)
            names.push_back(p.strFileName);
        return result;
    };
    std::vector<CString> names;
    auto t0 = Clock::now();
    ASSERT_EQ(1, list(names));
    ASSERT_EQ(all, names);
    const auto fullTime = Clock::now() - t0;

    Clock::duration low{0}, high = 2 * fullTime, delay = fullTime / 2;
    bool stoppedPartWay = false;
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (!stoppedPartWay && Clock::now() < deadline) {
        stop.ResetEvent();
        std::atomic<bool> go{false};
        std::thread setter([&] {
            while (!go.load())
                std::this_thread::yield();
            const auto until = Clock::now() + delay;
            while (Clock::now() < until)
                std::this_thread::yield();
            stop.SetEvent();
        });
        go = true;
        int result = list(names);
        setter.join();
        if (result == 1) {
            EXPECT_EQ(all, names);
            high = delay;
        } else {
            ASSERT_LE(names.size(), all.size());
            EXPECT_TRUE(std::equal(names.begin(), names.end(), all.begin()));
            stoppedPartWay = !names.empty() && names.size() < all.size();
            if (names.empty()) low = delay;
        }
        if (high - low < std::chrono::microseconds(10)) {
            low = Clock::duration{0};  // timings drifted: search the whole range again
            high = 4 * fullTime;
        }
        delay = low + (high - low) / 2;
    }
    EXPECT_TRUE(stoppedPartWay);
}

}  // namespace
