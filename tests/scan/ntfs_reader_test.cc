// The NTFS reader on real volume images made by mkntfs and wimlib-imagex from folder
// trees written here, some of them patched where no tool makes the case.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "picdex/host_paths.h"
#include "scan/common_func.h"
#include "scan/ntfs_image.h"
#include "scan/ntfs_reader.h"

namespace {

using ntfstest::Get16;
using ntfstest::Get32;
using ntfstest::NtfsImage;
using ntfstest::Put16;
using ntfstest::Put32;
using ntfstest::Put64;

constexpr std::int64_t kKnownTime = 1209643200;  // 2008-05-01 12:00:00 UTC
constexpr std::uint64_t kFileTimeEpoch = 116444736000000000ull;

struct Delivery {
    std::string folder;  // as delivered
    std::string path;    // folder, backslash when needed, name
    std::uint64_t size = 0;
    std::uint64_t modified = 0;
    std::uint64_t record = 0;
    const wchar_t* folderText = nullptr;  // where the folder path lives
};

void Collect(_tagMftEntry* e, int reserved, void* context) {
    auto* out = static_cast<std::vector<Delivery>*>(context);
    Delivery d;
    CString folder = e->szFolderPath ? e->szFolderPath : L"<null>";
    d.folder = picdex::TextToUtf8(folder);
    CString path = folder;
    if (path.empty() || path.back() != L'\\') path += L'\\';
    path += e->szName;
    d.path = picdex::TextToUtf8(path);
    d.size = e->nFileSize;
    d.modified = e->nLastModifyTime;
    d.record = e->nRecordNumber;
    d.folderText = e->szFolderPath;
    EXPECT_EQ(reserved, 0);
    EXPECT_EQ(e->bDirectory, 0u);
    out->push_back(d);
}

std::vector<std::string> Paths(const std::vector<Delivery>& ds) {
    std::vector<std::string> out;
    for (const Delivery& d : ds)
        out.push_back(d.path);
    std::sort(out.begin(), out.end());
    return out;
}

const Delivery* FindPath(const std::vector<Delivery>& ds, const std::string& path) {
    for (const Delivery& d : ds)
        if (d.path == path) return &d;
    return nullptr;
}

// Reads `image` as drive N: (its folder a real, empty one). *boot gets ReadBoot's result.
std::vector<Delivery> ReadImage(const testutil::TempDir& dir, const std::string& image,
                                bool* boot = nullptr, CNtfsReader* reader = nullptr) {
    testutil::ScopedDriveTable table("N=" + dir.MakeDir("n") + ",fs=NTFS,device=" + image);
    CNtfsReader own;
    CNtfsReader& r = reader ? *reader : own;
    std::vector<Delivery> out;
    r.m_pfnFound = Collect;
    r.m_pContext = &out;
    EXPECT_TRUE(r.OpenVolume('N'));
    bool ok = r.ReadBoot();
    if (boot) *boot = ok;
    r.ReadAll();
    return out;
}

// The tree most tests read: pictures in the root, in nested folders, under Unicode
// names (one outside the basic plane), deep down, behind a hard link; names that are
// not pictures; a folder named like a picture.
void WriteTree(const testutil::TempDir& dir, const std::string& root) {
    dir.WriteFile(root + "/root.jpg", "root picture");
    dir.WriteFile(root + "/notes.txt", "not a picture");
    dir.WriteFile(root + "/photo.jpeg", "jpeg is not a default extension");
    ntfstest::SetModifyTime(dir.WriteFile(root + "/Photos/2008/a.jpg", "hello"), kKnownTime);
    dir.WriteFile(root + "/Photos/2008/B.PNG", std::string(100000, 'p'));
    dir.WriteFile(root + "/Photos/2008/readme.md", "text");
    dir.WriteFile(root + "/Photos/2008/sub.jpg/inner.gif", "gif");
    dir.WriteFile(root + "/Ünïcödé/日本語.jpg", "unicode");
    dir.WriteFile(root + "/Ünïcödé/smile😀.jpg", "astral");
    std::string deep = root;
    for (int i = 1; i <= 30; ++i)
        deep += "/d" + std::to_string(i);
    dir.WriteFile(deep + "/deep.tif", "deep");
    dir.MakeDir(root + "/Empty");
    dir.MakeDir(root + "/Links");
    std::filesystem::create_hard_link(dir / (root + "/Photos/2008/a.jpg"),
                                      dir / (root + "/Links/a-link.jpg"));
    std::filesystem::create_hard_link(dir / (root + "/Photos/2008/a.jpg"),
                                      dir / (root + "/Links/a-link.txt"));
    // So many names that most of them lie in extension records of a.jpg's record.
    for (int i = 1; i <= 40; ++i)
        std::filesystem::create_hard_link(
            dir / (root + "/Photos/2008/a.jpg"),
            dir / (root + "/Links/many-links-" + std::to_string(i) + ".jpg"));
}

std::string DeepFolder() {
    std::string s = "N:";
    for (int i = 1; i <= 30; ++i)
        s += "\\d" + std::to_string(i);
    return s;
}

std::vector<std::string> TreePictures() {
    std::vector<std::string> v = {
        "N:\\root.jpg",
        "N:\\Photos\\2008\\a.jpg",
        "N:\\Photos\\2008\\B.PNG",
        "N:\\Photos\\2008\\sub.jpg\\inner.gif",
        "N:\\Ünïcödé\\日本語.jpg",
        "N:\\Ünïcödé\\smile😀.jpg",
        DeepFolder() + "\\deep.tif",
        "N:\\Links\\a-link.jpg",
    };
    for (int i = 1; i <= 40; ++i)
        v.push_back("N:\\Links\\many-links-" + std::to_string(i) + ".jpg");
    std::sort(v.begin(), v.end());
    return v;
}

// Images shared by the tests (made once; tests patch copies).
struct Images {
    testutil::TempDir dir;
    std::string tree[3];  // clusters of 512, 4096 and 65536 bytes
    std::string fragmented;
    int fragmentedPictures = 0;
    std::string failure;
};

Images* g_images = nullptr;

class NtfsReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CCommonFunc::InitPicExt({});
        if (g_images) return;
        g_images = new Images;
        Images& im = *g_images;
        WriteTree(im.dir, "tree");
        const int clusters[3] = {512, 4096, 65536};
        for (int i = 0; i < 3; ++i) {
            im.tree[i] = im.dir / ("tree-" + std::to_string(clusters[i]) + ".img");
            std::string log;
            if (!ntfstest::MakeImage(im.dir / "tree", im.tree[i], 16, clusters[i], &log))
                im.failure += log;
        }
        // Enough files in a small volume that the MFT has to grow past the space kept
        // for it, in several runs.
        for (int f = 0; f < 3000; ++f)
            im.dir.WriteFile("many/d" + std::to_string(f % 40) + "/f" + std::to_string(f) + ".jpg",
                             std::string(3000, char('a' + f % 26)));
        im.fragmentedPictures = 3000;
        im.fragmented = im.dir / "many.img";
        std::string log;
        if (!ntfstest::MakeImage(im.dir / "many", im.fragmented, 20, 4096, &log)) im.failure += log;
    }

    void SetUp() override { ASSERT_TRUE(g_images->failure.empty()) << g_images->failure; }

    // A patched copy of an image.
    std::string Patched(const std::string& image, const std::function<void(NtfsImage&)>& patch) {
        NtfsImage img;
        EXPECT_TRUE(img.Load(image));
        patch(img);
        std::string out = m_dir / ("patched-" + std::to_string(++m_patches) + ".img");
        EXPECT_TRUE(img.Save(out));
        return out;
    }

    testutil::TempDir m_dir;
    int m_patches = 0;
};

// Same tree, three cluster sizes: 512 bytes (a record is two clusters, given as a
// positive count), 4096 and 65536 (given as a negative power of two).
TEST_F(NtfsReaderTest, ListsEveryPictureWithItsFolderAtEveryClusterSize) {
    for (const std::string& image : g_images->tree) {
        SCOPED_TRACE(image);
        CNtfsReader reader;
        std::vector<Delivery> ds = ReadImage(m_dir, image, nullptr, &reader);
        EXPECT_EQ(Paths(ds), TreePictures());
        EXPECT_EQ(reader.m_nPictureCount, LONG(TreePictures().size()));
        EXPECT_GT(reader.m_nRecordsSeen, LONG(TreePictures().size()));
        EXPECT_TRUE(reader.m_vecPictures.empty());
        EXPECT_TRUE(reader.m_vecFolders.empty());
        EXPECT_EQ(reader.m_bKeepReading, 0);

        // The root keeps its backslash; other folders have none.
        const Delivery* root = FindPath(ds, "N:\\root.jpg");
        ASSERT_TRUE(root);
        EXPECT_EQ(root->folder, "N:\\");
        const Delivery* a = FindPath(ds, "N:\\Photos\\2008\\a.jpg");
        ASSERT_TRUE(a);
        EXPECT_EQ(a->folder, "N:\\Photos\\2008");
        EXPECT_EQ(a->size, 5u);
        EXPECT_EQ(a->modified, std::uint64_t(kKnownTime) * 10000000 + kFileTimeEpoch);
        const Delivery* b = FindPath(ds, "N:\\Photos\\2008\\B.PNG");
        ASSERT_TRUE(b);
        EXPECT_EQ(b->size, 100000u);  // non-resident data
        // A folder's path is built once and handed to each of its pictures.
        EXPECT_EQ(b->folderText, a->folderText);
        // Both names of the hard-linked file are the same record.
        const Delivery* link = FindPath(ds, "N:\\Links\\a-link.jpg");
        ASSERT_TRUE(link);
        EXPECT_EQ(link->record, a->record);
        for (const Delivery& d : ds) {
            if (d.path.find("many-") == std::string::npos) continue;
            EXPECT_EQ(d.record, a->record) << d.path;
            EXPECT_EQ(d.size, 5u) << d.path;
            EXPECT_EQ(d.modified, a->modified) << d.path;
        }
    }
}

TEST_F(NtfsReaderTest, ReadsAnMftOfSeveralRunsIncludingOnesThatGoBackwards) {
    NtfsImage img;
    ASSERT_TRUE(img.Load(g_images->fragmented));
    ASSERT_GE(img.mftRuns().size(), 3u) << "the MFT did not fragment";
    auto check = [&](const std::string& image) {
        std::vector<Delivery> ds = ReadImage(m_dir, image);
        ASSERT_EQ(ds.size(), size_t(g_images->fragmentedPictures));
        EXPECT_TRUE(FindPath(ds, "N:\\d0\\f0.jpg"));
        EXPECT_TRUE(FindPath(ds, "N:\\d39\\f2999.jpg"));
    };
    check(g_images->fragmented);
    // The first run split in two, the second part lying before the first.
    std::string back = Patched(g_images->fragmented,
                               [](NtfsImage& i) { ASSERT_TRUE(i.SplitFirstRunBackwards(100)); });
    NtfsImage moved;
    ASSERT_TRUE(moved.Load(back));
    ASSERT_LT(moved.mftRuns()[1].lcn, moved.mftRuns()[0].lcn);
    check(back);
    // With 512-byte clusters an odd split leaves a record across the two runs.
    std::string split =
        Patched(g_images->tree[0], [](NtfsImage& i) { ASSERT_TRUE(i.SplitFirstRunBackwards(37)); });
    EXPECT_EQ(Paths(ReadImage(m_dir, split)), TreePictures());
}

// Sets the parent of the first $FILE_NAME of a fixed-up record.
void SetParent(std::vector<std::uint8_t>& rec, std::uint64_t parent) {
    size_t a = size_t(NtfsImage::FindAttribute(rec, 0x30));
    Put32(&rec[a + 0x18], std::uint32_t(parent));
    Put16(&rec[a + 0x1C], std::uint16_t(parent >> 32));
}

// Sets the namespace of the $FILE_NAME whose name has `units` characters.
void SetNamespace(std::vector<std::uint8_t>& rec, size_t units, std::uint8_t ns) {
    for (int n = 0; NtfsImage::FindAttribute(rec, 0x30, n) >= 0; ++n) {
        size_t a = size_t(NtfsImage::FindAttribute(rec, 0x30, n));
        if (rec[a + 0x58] == units) rec[a + 0x59] = ns;
    }
}

// The tree's pictures with some left out ("-path") or moved ("from>to").
std::vector<std::string> TreeWith(const std::vector<std::string>& changes) {
    std::vector<std::string> v = TreePictures();
    for (const std::string& c : changes) {
        if (c[0] == '-') {
            v.erase(std::remove(v.begin(), v.end(), c.substr(1)), v.end());
        } else {
            size_t gt = c.find('>');
            std::replace(v.begin(), v.end(), c.substr(0, gt), c.substr(gt + 1));
        }
    }
    std::sort(v.begin(), v.end());
    return v;
}

// Cases no tool makes, patched into the records of the 4096-byte image.
TEST_F(NtfsReaderTest, PatchedRecordsNamesAndParents) {
    auto loop = [](NtfsImage& i) {
        std::int64_t y2008 = i.EditRecord("2008", [](auto&) {});
        i.EditRecord("Photos", [&](auto& r) { SetParent(r, std::uint64_t(y2008)); });
    };
    auto self = [](NtfsImage& i) {
        std::int64_t u = i.EditRecord("Ünïcödé", [](auto&) {});
        i.EditRecord("Ünïcödé", [&](auto& r) { SetParent(r, std::uint64_t(u)); });
    };
    auto toFile = [](NtfsImage& i) {
        std::int64_t notes = i.EditRecord("notes.txt", [](auto&) {});
        i.EditRecord("d1", [&](auto& r) { SetParent(r, std::uint64_t(notes)); });
    };
    const std::string deep = DeepFolder() + "\\deep.tif>N:\\deep.tif";
    struct Case {
        const char* what;
        std::function<void(NtfsImage&)> patch;
        std::vector<std::string> expected;
    } cases[] = {
        {"a file whose only name is a short name is not listed",
         [](NtfsImage& i) { i.EditRecord("root.jpg", [](auto& r) { SetNamespace(r, 8, 2); }); },
         TreeWith({"-N:\\root.jpg"})},
        {"a long name with a short one beside it: listed under the long name only",
         [](NtfsImage& i) { i.EditRecord("a-link.jpg", [](auto& r) { SetNamespace(r, 10, 2); }); },
         TreeWith({"-N:\\Links\\a-link.jpg"})},
        {"the other times of a file changed: its last-write time stays",
         [](NtfsImage& i) {
             i.EditRecord("a.jpg", [](auto& r) {
                 for (int k : {0x18, 0x28, 0x30})
                     Put64(&r[size_t(NtfsImage::FindAttribute(r, 0x10)) + size_t(k)], 1);
             });
         },
         TreePictures()},
        {"a deleted record is never delivered",
         [](NtfsImage& i) { i.EditRecord("B.PNG", [](auto& r) { r[0x16] &= ~1; }); },
         TreeWith({"-N:\\Photos\\2008\\B.PNG"})},
        {"parents that loop: the files below lie in the root", loop,
         TreeWith({"N:\\Photos\\2008\\a.jpg>N:\\a.jpg", "N:\\Photos\\2008\\B.PNG>N:\\B.PNG",
                   "N:\\Photos\\2008\\sub.jpg\\inner.gif>N:\\inner.gif"})},
        {"a directory that is its own parent", self,
         TreeWith(
             {"N:\\Ünïcödé\\日本語.jpg>N:\\日本語.jpg", "N:\\Ünïcödé\\smile😀.jpg>N:\\smile😀.jpg"})},
        {"a parent that is not a directory of the volume",
         [](NtfsImage& i) { i.EditRecord("d1", [](auto& r) { SetParent(r, 999999); }); },
         TreeWith({deep})},
        {"a parent that is a file", toFile, TreeWith({deep})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Delivery> ds = ReadImage(m_dir, Patched(g_images->tree[1], c.patch));
        EXPECT_EQ(Paths(ds), c.expected);
        for (const Delivery& d : ds) {
            EXPECT_EQ(d.folder == "N:\\", d.path.rfind('\\') == 2) << d.path;
            if (d.path.ends_with("\\a.jpg")) {
                EXPECT_EQ(d.modified, std::uint64_t(kKnownTime) * 10000000 + kFileTimeEpoch);
            }
        }
    }
}

// Folder paths are built in a 1024-character buffer: a folder whose path fits (1023
// characters and the terminator) is delivered, one character more and its pictures are
// left out, with everything below.
TEST_F(NtfsReaderTest, FolderPathsThatDoNotFitTheBufferAreLeftOut) {
    // N:\ + 200 + \ + 200 + \ + 200 + \ + 200 + \ + 216 = 1023 characters. Names this
    // long cross the end of their record's first sector: they read right only after the
    // fix-up.
    std::string a(200, 'a'), b(200, 'b'), c(200, 'c'), d(200, 'd');
    std::string fits(216, 'e'), over(217, 'f');
    std::string base = "long/" + a + "/" + b + "/" + c + "/" + d;
    m_dir.WriteFile(base + "/in-d.jpg", "1");
    m_dir.WriteFile(base + "/" + fits + "/at-limit.jpg", "2");
    m_dir.WriteFile(base + "/" + over + "/too-long.jpg", "3");
    m_dir.WriteFile(base + "/" + over + "/below/too-long-2.jpg", "4");
    std::string image = m_dir / "long.img";
    std::string log;
    ASSERT_TRUE(ntfstest::MakeImage(m_dir / "long", image, 8, 4096, &log)) << log;
    std::vector<Delivery> ds = ReadImage(m_dir, image);
    std::string folder = "N:\\" + a + "\\" + b + "\\" + c + "\\" + d;
    std::vector<std::string> expected = {folder + "\\in-d.jpg",
                                         folder + "\\" + fits + "\\at-limit.jpg"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Paths(ds), expected);
    const Delivery* limit = FindPath(ds, folder + "\\" + fits + "\\at-limit.jpg");
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->folder.size(), 1023u);
}

TEST_F(NtfsReaderTest, StopsInTheFolderPassAfterTheCurrentPicture) {
    testutil::ScopedDriveTable table("N=" + m_dir.MakeDir("n") +
                                     ",fs=NTFS,device=" + g_images->tree[1]);
    CNtfsReader reader;
    struct Ctx {
        CNtfsReader* reader;
        int calls = 0;
        bool secondPass = false;
    } ctx{&reader};
    reader.m_pfnFound = [](_tagMftEntry*, int, void* p) {
        auto* c = static_cast<Ctx*>(p);
        c->secondPass = c->reader->m_bSecondPass == 1;
        if (++c->calls == 2) c->reader->m_bKeepReading = 0;
    };
    reader.m_pContext = &ctx;
    ASSERT_TRUE(reader.OpenVolume('N'));
    ASSERT_TRUE(reader.ReadBoot());
    reader.ReadAll();
    EXPECT_EQ(ctx.calls, 2);
    EXPECT_TRUE(ctx.secondPass);
    // The record pass had finished: the count is of every picture.
    EXPECT_EQ(reader.m_nPictureCount, LONG(TreePictures().size()));
    EXPECT_EQ(reader.m_bSecondPass, 0);
}

// Stopping during the record pass skips the folder pass: no picture is delivered. The
// stop comes from another thread as soon as records are being seen; should the pass
// win the race and reach the folder pass first, the attempt is made again.
TEST_F(NtfsReaderTest, StopsInTheRecordPassWithoutDeliveringAnything) {
    testutil::ScopedDriveTable table("N=" + m_dir.MakeDir("n") +
                                     ",fs=NTFS,device=" + g_images->fragmented);
    bool landedInRecordPass = false;
    for (int attempt = 0; attempt < 50 && !landedInRecordPass; ++attempt) {
        CNtfsReader reader;
        std::atomic<int> calls{0};
        reader.m_pfnFound = [](_tagMftEntry*, int, void* p) {
            ++*static_cast<std::atomic<int>*>(p);
        };
        reader.m_pContext = &calls;
        ASSERT_TRUE(reader.OpenVolume('N'));
        ASSERT_TRUE(reader.ReadBoot());
        std::thread t([&] { reader.ReadAll(); });
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (reader.m_nRecordsSeen == 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        reader.m_bKeepReading = 0;
        bool inRecordPass = reader.m_bSecondPass == 0 && calls == 0;
        t.join();
        if (inRecordPass) {
            landedInRecordPass = true;
            EXPECT_EQ(calls, 0);
            EXPECT_LT(reader.m_nPictureCount, g_images->fragmentedPictures);
        }
    }
    EXPECT_TRUE(landedInRecordPass);
}

// Only a volume named exactly NTFS is read; one whose device does not open, or holds
// no NTFS volume, yields nothing.
TEST_F(NtfsReaderTest, DrivesThatAreNotReadableNtfsVolumesYieldNothing) {
    std::string x = "X=" + m_dir.MakeDir("x");
    std::string zeros = m_dir.WriteFile("zeros.img", std::string(1 << 20, '\0'));
    struct Case {
        std::string table;
        bool opens;
    } cases[] = {
        {x + ",fs=FAT32,device=" + g_images->tree[1], false},
        {x + ",fs=exFAT", false},
        {x + ",fs=ntfs", false},
        {x + ",fs=NTFS,device=" + zeros + ".missing", true},
        {x + ",fs=NTFS,device=" + zeros, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        // The reader has read a drive before: nothing of it may show in its counters.
        CNtfsReader reader;
        ReadImage(m_dir, g_images->tree[1], nullptr, &reader);
        testutil::ScopedDriveTable table(c.table);
        EXPECT_EQ(reader.OpenVolume('X'), c.opens);
        EXPECT_FALSE(reader.ReadBoot());
        std::vector<Delivery> ds;
        reader.m_pfnFound = Collect;
        reader.m_pContext = &ds;
        reader.ReadAll();
        EXPECT_TRUE(ds.empty());
        EXPECT_EQ(reader.m_nRecordsSeen, 0);
        EXPECT_EQ(reader.m_nPictureCount, 0);
    }
}

// Writes `value` (`bytes` bytes, little-endian) at `offset` of the image.
std::function<void(NtfsImage&)> Poke(size_t offset, std::uint64_t value, int bytes) {
    return [=](NtfsImage& i) {
        for (int k = 0; k < bytes; ++k)
            i.bytes()[offset + size_t(k)] = std::uint8_t(value >> (8 * k));
    };
}

// Changes record 0 and writes it back raw, without its update sequence, so that a
// damaged sequence stays damaged.
std::function<void(NtfsImage&)> Record0(std::function<void(std::vector<std::uint8_t>&)> f) {
    return [=](NtfsImage& i) {
        std::vector<std::uint8_t> rec = i.Record(0);
        f(rec);
        std::uint64_t at = ntfstest::Get64(&i.bytes()[0x30]) * i.clusterSize();
        std::copy(rec.begin(), rec.end(), i.bytes().begin() + long(at));
    };
}

// Changes the MFT's runs, or its $DATA attribute in record 0.
std::function<void(NtfsImage&)> Runs(std::function<void(std::vector<ntfstest::MftRun>&)> f) {
    return [=](NtfsImage& i) {
        std::vector<ntfstest::MftRun> runs = i.mftRuns();
        f(runs);
        ASSERT_TRUE(i.SetMftRuns(runs));
    };
}
std::function<void(NtfsImage&)> MftData(std::function<void(std::uint8_t*)> f) {
    return [=](NtfsImage& i) {
        std::vector<std::uint8_t> rec = i.Record(0);
        f(&rec[size_t(NtfsImage::FindAttribute(rec, 0x80))]);
        i.PutRecord(0, rec);
    };
}
// Changes the record of a file.
std::function<void(NtfsImage&)> File(const char* name,
                                     std::function<void(std::vector<std::uint8_t>&)> f) {
    return [=](NtfsImage& i) { ASSERT_GE(i.EditRecord(name, f), 0); };
}
size_t Attr(const std::vector<std::uint8_t>& rec, std::uint32_t type) {
    return size_t(NtfsImage::FindAttribute(rec, type));
}

// A damaged or hostile volume: geometry out of range makes ReadBoot fail; damage
// further in costs pictures at most. Nothing crashes, hangs or reads outside the
// device (the sanitizer builds watch the memory).
TEST_F(NtfsReaderTest, DamagedVolumesFailCleanly) {
    struct Refused {
        const char* what;
        std::function<void(NtfsImage&)> patch;
    } refused[] = {
        {"bytes per sector 0", Poke(0x0B, 0, 2)},
        {"bytes per sector not a power of two", Poke(0x0B, 1000, 2)},
        {"bytes per sector 8192", Poke(0x0B, 8192, 2)},
        {"sectors per cluster 0", Poke(0x0D, 0, 1)},
        {"sectors per cluster 3", Poke(0x0D, 3, 1)},
        {"clusters of 512 MiB", Poke(0x0D, 0xEB, 1)},
        {"record size 0", Poke(0x40, 0, 1)},
        {"record size of 64 clusters (256 KiB)", Poke(0x40, 64, 1)},
        {"record size 2^-7 (128 bytes)", Poke(0x40, 0xF9, 1)},
        {"record size 2^17", Poke(0x40, 0xEF, 1)},
        {"MFT past the end of the volume", Poke(0x30, 1u << 30, 8)},
        {"MFT cluster that overflows", Poke(0x30, ~0ull, 8)},
        {"update sequence larger than the record", Record0([](auto& r) { Put16(&r[6], 0xFFFF); })},
        {"update sequence outside the record", Record0([](auto& r) { Put16(&r[4], 0xFFF0); })},
        {"record 0 not a FILE record", Record0([](auto& r) { r[0] = 'X'; })},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.what);
        bool ok = true;
        EXPECT_TRUE(ReadImage(m_dir, Patched(g_images->tree[1], c.patch), &ok).empty());
        EXPECT_FALSE(ok);
    }

    // count: the pictures still delivered, -1 when fewer than all. a.jpg's record also
    // holds names of its hard links.
    const int kAll = int(TreePictures().size());
    struct Damaged {
        const char* what;
        std::function<void(NtfsImage&)> patch;
        int count;
    } damaged[] = {
        {"first run of absurd length", Runs([](auto& r) { r[0].clusters = 1ull << 40; }), kAll},
        {"MFT data size of absurd length", MftData([](auto* a) { Put64(a + 0x30, ~0ull >> 1); }),
         kAll},
        {"second half of the MFT beyond the volume", Runs([](auto& r) {
             std::uint64_t half = r[0].clusters / 2;
             r[0].clusters -= half;
             r.push_back({std::int64_t(1) << 40, half});
         }),
         -1},
        {"a run before cluster 0", Runs([](auto& r) {
             r.insert(r.begin() + 1, {-1000, 4});
         }),
         kAll},
        {"runs past the attribute's end", MftData([](auto* a) {
             // Headers that claim 8-byte lengths and offsets, up to the end.
             for (std::uint32_t k = Get16(a + 0x20); k < Get32(a + 4); ++k)
                 a[k] = 0x88;
         }),
         0},
        {"MFT data made resident", MftData([](auto* a) { a[8] = 0; }), 0},
        {"attribute length past the record",
         File("a.jpg", [](auto& r) { Put32(&r[Attr(r, 0x30) + 4], 0x7FFFFFF0); }), -1},
        {"attribute length 0", File("a.jpg", [](auto& r) { Put32(&r[Attr(r, 0x10) + 4], 0); }), -1},
        {"name longer than its attribute",
         File("a.jpg", [](auto& r) { r[Attr(r, 0x30) + 0x58] = 255; }), -1},
        {"update sequence larger than the record",
         File("B.PNG", [](auto& r) { Put16(&r[6], 0x7FFF); }), kAll - 1},
        {"first attribute past the record", File("B.PNG", [](auto& r) { Put16(&r[0x14], 0xFFF0); }),
         kAll - 1},
    };
    std::vector<std::string> all = TreePictures();
    for (const Damaged& c : damaged) {
        SCOPED_TRACE(c.what);
        bool ok = false;
        std::vector<Delivery> ds = ReadImage(m_dir, Patched(g_images->tree[1], c.patch), &ok);
        EXPECT_TRUE(ok);
        if (c.count >= 0) {
            EXPECT_EQ(ds.size(), size_t(c.count));
        } else {
            EXPECT_LT(ds.size(), all.size());
        }
        for (const std::string& p : Paths(ds))
            EXPECT_TRUE(std::find(all.begin(), all.end(), p) != all.end()) << p;
    }
}

// A run placed before cluster 0 ends the record pass: nothing after it is read, as if
// the MFT's runs ended there.
TEST_F(NtfsReaderTest, ARunBeforeClusterZeroEndsTheRecordPass) {
    auto cutAfterFirst = [](bool withBadRun) {
        return Runs([=](auto& r) {
            std::vector<ntfstest::MftRun> rest(r.begin() + 1, r.end());
            r.resize(1);
            if (!withBadRun) return;
            r.push_back({-1000, 4});
            r.insert(r.end(), rest.begin(), rest.end());
        });
    };
    size_t bad = ReadImage(m_dir, Patched(g_images->fragmented, cutAfterFirst(true))).size();
    size_t cut = ReadImage(m_dir, Patched(g_images->fragmented, cutAfterFirst(false))).size();
    EXPECT_EQ(bad, cut);
    EXPECT_LT(cut, size_t(g_images->fragmentedPictures));
}

// A large MFT keeps the runs that do not fit record 0 in an extension record; a file's
// data may lie in one too. Both are followed.
TEST_F(NtfsReaderTest, FollowsDataIntoExtensionRecords) {
    std::string mft =
        Patched(g_images->fragmented, [](NtfsImage& i) { ASSERT_GT(i.SpillData(0, 1), 0); });
    EXPECT_EQ(ReadImage(m_dir, mft).size(), size_t(g_images->fragmentedPictures));
    std::string file = Patched(g_images->tree[1], [](NtfsImage& i) {
        ASSERT_GT(i.SpillData(std::uint64_t(i.FindRecord("B.PNG")), 0), 0);
    });
    std::vector<Delivery> ds = ReadImage(m_dir, file);
    EXPECT_EQ(Paths(ds), TreePictures());
    const Delivery* b = FindPath(ds, "N:\\Photos\\2008\\B.PNG");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->size, 100000u);
}

// The owner's hook runs after every 4-cluster read of the record pass and before every
// picture of the folder pass, and stops either pass by clearing the flag.
TEST_F(NtfsReaderTest, ChunkHookRunsBetweenReadsAndCanStop) {
    NtfsImage img;
    ASSERT_TRUE(img.Load(g_images->tree[1]));
    const long perChunk = long(4 * img.clusterSize() / img.recordSize());
    const int chunks = int((img.recordCount() * img.recordSize() + 4 * img.clusterSize() - 1) /
                           (4 * img.clusterSize()));
    const int pictures = int(TreePictures().size());
    struct Ctx {
        CNtfsReader reader;
        int stopAt = 0;
        std::vector<long> seenAtChunk;  // m_nRecordsSeen at each record-pass call
        int folderCalls = 0;
        std::vector<int> callsAtDelivery;
    };
    for (int stopAt : {0, 1, chunks + 3}) {
        SCOPED_TRACE(stopAt);
        Ctx ctx;
        ctx.stopAt = stopAt;
        ctx.reader.m_pfnChunk = [](void* p) {
            auto* c = static_cast<Ctx*>(p);
            if (c->reader.m_bSecondPass)
                ++c->folderCalls;
            else
                c->seenAtChunk.push_back(c->reader.m_nRecordsSeen);
            if (int(c->seenAtChunk.size()) + c->folderCalls == c->stopAt)
                c->reader.m_bKeepReading = 0;
        };
        testutil::ScopedDriveTable table("N=" + m_dir.MakeDir("n") +
                                         ",fs=NTFS,device=" + g_images->tree[1]);
        ctx.reader.m_pfnFound = [](_tagMftEntry*, int, void* p) {
            auto* c = static_cast<Ctx*>(p);
            c->callsAtDelivery.push_back(c->folderCalls);
        };
        ctx.reader.m_pContext = &ctx;
        ASSERT_TRUE(ctx.reader.OpenVolume('N'));
        ASSERT_TRUE(ctx.reader.ReadBoot());
        ctx.reader.ReadAll();
        long before = 0;
        for (long seen : ctx.seenAtChunk) {
            EXPECT_LE(seen - before, perChunk);
            before = seen;
        }
        if (stopAt == 1) {
            EXPECT_EQ(ctx.seenAtChunk.size(), 1u);
            EXPECT_EQ(ctx.folderCalls, 0);
            EXPECT_TRUE(ctx.callsAtDelivery.empty());
            continue;
        }
        EXPECT_EQ(int(ctx.seenAtChunk.size()), chunks);
        int delivered = stopAt ? 2 : pictures;
        ASSERT_EQ(int(ctx.callsAtDelivery.size()), delivered);
        for (int i = 0; i < delivered; ++i)
            EXPECT_EQ(ctx.callsAtDelivery[size_t(i)], i + 1);
        EXPECT_EQ(ctx.folderCalls, stopAt ? 3 : pictures);
    }
}

}  // namespace

namespace {

// Inputs kept from fuzzing (tests/scan/ntfs_regress: the start of a damaged volume
// each), read as drive N:. Each must come back with sane folder paths only.
TEST(NtfsReaderRegressTest, KeptFuzzInputs) {
    CCommonFunc::InitPicExt({});
    testutil::TempDir dir;
    auto folder = std::filesystem::path(__FILE__).parent_path() / "ntfs_regress";
    int inputs = 0;
    size_t pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        ++inputs;
        for (const Delivery& d : ReadImage(dir, entry.path().string())) {
            ++pictures;
            EXPECT_EQ(d.folder.rfind("N:\\", 0), 0u);
            EXPECT_TRUE(d.folder == "N:\\" || d.folder.back() != '\\') << d.folder;
            EXPECT_LT(d.folder.size(), 1024u);
        }
    }
    EXPECT_GE(inputs, 5);
    EXPECT_GT(pictures, 0u);
}

}  // namespace
