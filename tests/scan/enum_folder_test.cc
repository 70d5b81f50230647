// Folder listing on a real folder tree: pictures, other files, sub-folders, links, a
// missing folder and the stop signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "common/temp_dir.h"
#include "picdex/sync.h"
#include "platform/kernel_object.h"
#include "scan/common_func.h"
#include "scan_test_util.h"

namespace {

namespace fs = std::filesystem;
using Set = std::set<CString>;
using Details = std::set<_tagSimpleFileInfo>;

Set Names(const Details& pics) {
    Set names;
    for (const auto& p : pics)
        names.insert(p.strFileName);
    return names;
}

// A waitable stop signal that is clear for its first `clear` polls and set from then
// on, so a listing can be stopped before any chosen entry without racing a thread.
struct StopAfter : plat::kernel::Object {
    explicit StopAfter(int n) : clear(n) {}
    bool IsSignalled(std::uint64_t) const override { return ++polls > clear; }
    const int clear;
    mutable int polls = 0;
};

class EnumFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        CCommonFunc::InitPicExt({});
        m_dir.WriteFile("tree/a.jpg", "aaaa");
        for (const char* name : {"B.PNG", ".hidden.gif", "notes.txt", "c.jpeg", "sub1/deep.jpg"})
            m_dir.WriteFile(std::string("tree/") + name, "");
        m_dir.MakeDir("tree/sub2.jpg");  // a folder is never a picture
        fs::create_directory_symlink(m_dir / "tree/sub1", m_dir / "tree/folderlink");
        fs::create_symlink(m_dir / "tree/nowhere", m_dir / "tree/broken.bmp");
    }
    testutil::TempDir m_dir;
    scantest::ScopedDriveTable m_drives{"C=" + m_dir.path()};
    // Links are plain entries: never folders, pictures by their own names.
    const Set m_pics{L"a.jpg", L"B.PNG", L".hidden.gif", L"broken.bmp", L"kept.jpg"};
    const Set m_folders{L"C:\\tree\\sub1", L"C:\\tree\\sub2.jpg", L"C:\\kept"};
};

TEST_F(EnumFolderTest, NamesAndDetailsOfPicturesAndPathsOfSubFolders) {
    Set pics{L"kept.jpg"}, folders{L"C:\\kept"};  // the sets are not cleared
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", pics, folders));
    EXPECT_EQ(m_pics, pics);
    EXPECT_EQ(m_folders, folders);

    const auto written = std::chrono::sys_seconds(std::chrono::seconds(1199183415));
    fs::last_write_time(m_dir / "tree/a.jpg", std::chrono::file_clock::from_sys(written));
    Details details{{L"kept.jpg", 0, CTime()}, {L"B.PNG", 7, CTime(7)}};
    folders = {L"C:\\kept"};
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\tree\\", details, folders, nullptr));
    EXPECT_EQ(m_pics, Names(details));
    EXPECT_EQ(m_folders, folders);
    auto a = details.find({L"a.jpg", 0, CTime()});
    ASSERT_NE(details.end(), a);
    EXPECT_EQ(4u, a->iFileSize);
    EXPECT_EQ(1199183415, a->tFileModify.GetTime());
    EXPECT_EQ(7u, details.find({L"B.PNG", 0, CTime()})->iFileSize);  // the earlier one stays
}

TEST_F(EnumFolderTest, MissingFolderOrStopBeforeTheFirstEntryLeavesTheSetsAlone) {
    auto check = [](const wchar_t* folder, HANDLE stop) {
        Set pics{L"kept.jpg"}, folders{L"C:\\kept"};
        Details details{{L"kept.jpg", 0, CTime()}};
        if (!stop) {
            EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, pics, folders)) << folder;
        }
        EXPECT_EQ(0, CCommonFunc::EnumFolderChild(folder, details, folders, stop)) << folder;
        EXPECT_EQ(Set{L"kept.jpg"}, pics);
        EXPECT_EQ(Set{L"kept.jpg"}, Names(details));
        EXPECT_EQ(Set{L"C:\\kept"}, folders);
    };
    for (const wchar_t* folder : {L"C:\\nothing\\", L"C:\\tree\\a.jpg\\", L"Q:\\"})
        check(folder, nullptr);
    CEvent stopped(TRUE);
    check(L"C:\\tree\\", stopped);
}

// The stop signal is polled once before each entry ("." and ".." first): stopped before
// entry k, the call returns 0 keeping exactly what the entries before k gave.
TEST_F(EnumFolderTest, StopIsPolledBeforeEachEntry) {
    for (const char* name : {"big/p1.jpg", "big/p2.gif", "big/p3.png"})
        m_dir.WriteFile(name, "");
    m_dir.MakeDir("big/sub");
    constexpr int kEntries = 6;  // ".", "..", three pictures and a folder
    Details all;
    Set allFolders;
    ASSERT_EQ(1, CCommonFunc::EnumFolderChild(L"C:\\big\\", all, allFolders, nullptr));
    for (int clear = 0; clear <= kEntries; ++clear) {
        auto stop = std::make_shared<StopAfter>(clear);
        HANDLE handle = plat::kernel::Insert(stop);
        Details pics;
        Set folders;
        int result = CCommonFunc::EnumFolderChild(L"C:\\big\\", pics, folders, handle);
        CloseHandle(handle);
        EXPECT_EQ(clear == kEntries ? 1 : 0, result) << clear;
        EXPECT_EQ(std::min(clear + 1, kEntries), stop->polls) << clear;
        EXPECT_EQ(size_t(std::max(clear - 2, 0)), pics.size() + folders.size()) << clear;
        EXPECT_TRUE(std::includes(all.begin(), all.end(), pics.begin(), pics.end())) << clear;
        EXPECT_TRUE(
            std::includes(allFolders.begin(), allFolders.end(), folders.begin(), folders.end()))
            << clear;
    }
}

}  // namespace
