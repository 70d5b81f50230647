// The NTFS reader and the drive lister on real volume images that mkntfs and wimlib-imagex
// (ntfs_make_image.sh) make from folder trees written here, patched where no tool would.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <future>
#include <map>
#include <thread>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "picdex/drive_list.h"
#include "picdex/host_paths.h"
#include "scan/common_func.h"
#include "scan/ntfs_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
struct MftRun {
    std::int64_t lcn;
    std::uint64_t clusters;
};
using Runs = std::vector<MftRun>;

// Little-endian fields of `n` bytes.
std::uint64_t Get(const std::uint8_t* p, int n) {
    return n ? p[0] | Get(p + 1, n - 1) << 8 : 0;
}
void Put(std::uint8_t* p, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        p[i] = std::uint8_t(v >> 8 * i);
}

// A copy of folder `tree` in a new 20 MiB volume with clusters of `cluster` bytes, in
// `image` (the script says why when it fails).
bool MakeImage(const std::string& tree, const std::string& image, int cluster) {
    std::string script = std::filesystem::path(__FILE__).parent_path() / "ntfs_make_image.sh";
    return std::system(
               ("sh " + script + " " + tree + " " + image + " 20 " + std::to_string(cluster))
                   .c_str()) == 0;
}

// The offset of a record's nth attribute of `type` (of the end marker when none).
size_t Attr(const Bytes& r, std::uint32_t type, int nth = 0) {
    size_t at = Get(&r[0x14], 2);
    while (Get(&r[at], 4) != 0xFFFFFFFF && (Get(&r[at], 4) != type || nth-- > 0))
        at += Get(&r[at + 4], 4);
    return at;
}

// An NTFS image in memory. Records are those of the MFT's first run (all that tests
// patch): fixed up when read, protected by their update sequence when written.
struct NtfsImage {
    Bytes bytes;
    std::uint32_t cluster = 0, record = 0;
    Runs runs;                  // the MFT's
    std::uint64_t records = 0;  // in the MFT's data

    explicit NtfsImage(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        cluster = std::uint32_t(Get(&bytes[0x0B], 2) * bytes[0x0D]);
        record = bytes[0x40] < 0x80 ? bytes[0x40] * cluster : 1u << (256 - bytes[0x40]);
        Bytes r = Record(0);
        size_t a = Attr(r, 0x80);
        records = Get(&r[a + 0x30], 8) / record;
        std::int64_t lcn = 0;
        for (const std::uint8_t* p = &r[a + Get(&r[a + 0x20], 2)]; *p; p += 1 + *p % 16 + *p / 16) {
            int lb = *p & 15, ob = *p >> 4;
            lcn += std::int64_t(Get(p + 1 + lb, ob)) - (p[lb + ob] & 0x80 ? 1ll << 8 * ob : 0);
            runs.push_back({lcn, Get(p + 1, lb)});
        }
    }
    std::uint8_t* At(std::uint64_t i) {
        return &bytes[Get(&bytes[0x30], 8) * cluster + i * record];
    }
    Bytes Record(std::uint64_t i) {
        Bytes r(At(i), At(i) + record);
        Sequence(r, false);
        return r;
    }
    void PutRecord(std::uint64_t i, Bytes r) {
        Sequence(r, true);
        std::copy(r.begin(), r.end(), At(i));
    }
    // The last word of each 512-byte stride put back from the update sequence, or
    // (protect) saved there and replaced by the check word.
    static void Sequence(Bytes& r, bool protect) {
        size_t usa = Get(&r[4], 2), n = Get(&r[6], 2);
        for (size_t k = 1; k < n && usa + 2 * n <= r.size() && 512 * k <= r.size(); ++k) {
            if (protect) std::copy_n(&r[512 * k - 2], 2, &r[usa + 2 * k]);
            std::copy_n(&r[protect ? usa : usa + 2 * k], 2, &r[512 * k - 2]);
        }
    }
    // Lets `edit` change the record in use with the (ASCII) name; returns its number.
    std::uint64_t EditRecord(const std::string& name, std::function<void(Bytes&)> edit) {
        for (std::uint64_t i = 0; i < records; ++i) {
            Bytes r = Record(i);
            for (int n = 0; (r[0x16] & 1) && r[Attr(r, 0x30, n)] == 0x30; ++n) {
                size_t a = Attr(r, 0x30, n), k = 0;
                while (k < name.size() && r[a + 0x58] == name.size() &&
                       r[a + 0x5A + 2 * k] == name[k])
                    ++k;
                if (k < name.size()) continue;
                edit(r);
                PutRecord(i, r);
                return Get(&r[0x2C], 4);
            }
        }
        ADD_FAILURE() << name << " not found";
        return 0;
    }
    // Writes `to` as the runs of the attribute at `a` (8-byte lengths, offsets in the
    // fewest bytes that keep their sign); the attribute grows when it must.
    static void SetRuns(Bytes& r, size_t a, const Runs& to) {
        Bytes enc;
        std::int64_t prev = 0;
        for (const MftRun& run : to) {
            std::int64_t d = run.lcn - std::exchange(prev, run.lcn);
            int ob = 1;
            while (ob < 8 && d >> (8 * ob - 1) != (d < 0 ? -1 : 0))
                ++ob;
            enc.resize(enc.size() + 9 + size_t(ob), std::uint8_t(8 | ob << 4));
            Put(&enc[enc.size() - 8 - size_t(ob)], run.clusters, 8);
            Put(&enc[enc.size() - size_t(ob)], std::uint64_t(d), ob);
        }
        size_t pairs = Get(&r[a + 0x20], 2), len = Get(&r[a + 4], 4);
        size_t grow = std::max(len, (pairs + enc.size() + 8) & ~7ul) - len;
        r.insert(r.begin() + long(a + len), grow, 0);
        std::fill(&r[a + pairs], &r[a + len + grow], 0);
        std::copy(enc.begin(), enc.end(), &r[a + pairs]);
        Put(&r[a + 4], len + grow, 4);
        r.resize(r.size() - grow);
    }
    // New runs for the MFT, in record 0 and in the boot sector.
    void SetMftRuns(const Runs& to) {
        Put(&bytes[0x30], std::uint64_t((runs = to)[0].lcn), 8);
        Bytes r = Record(0);
        SetRuns(r, Attr(r, 0x80), to);
        PutRecord(0, r);
    }
    // Swaps the first `head` clusters of the MFT's first run with the rest of it: the
    // MFT then starts with a run whose successor lies before it.
    void SplitFirstRunBackwards(std::uint64_t head) {
        MftRun f = runs[0];
        std::uint8_t* at = &bytes[std::uint64_t(f.lcn) * cluster];
        std::rotate(at, at + head * cluster, at + f.clusters * cluster);
        runs[0] = {f.lcn, f.clusters - head};
        runs.insert(runs.begin(), {f.lcn + std::int64_t(f.clusters - head), head});
        SetMftRuns(runs);
    }
    // Moves record `index`'s $DATA into free record 16, an extension record of it, named
    // in an attribute list that `index` gets: the runs after the first for the MFT
    // (record 0), the whole attribute for a file.
    void Spill(std::uint64_t index) {
        Bytes rec = Record(index), ext = Record(16), list(0x38, 0);
        size_t at = Attr(rec, 0x80), len = Get(&rec[at + 4], 4), first = Get(&ext[0x14], 2);
        std::uint64_t vcn = index ? 0 : runs[0].clusters;  // the piece's first cluster
        std::copy(&rec[at], &rec[at + len], &ext[first]);
        Put(&ext[first + len], 0xFFFFFFFF, 4);
        Put(&ext[0x16], 1, 2);
        Put(&ext[0x20], index | 1ull << 48, 8);
        if (!index) SetRuns(ext, first, {runs.begin() + 1, runs.end()});
        Put(&ext[first + 0x10], vcn, 8);
        PutRecord(16, ext);
        if (!index) SetRuns(rec, at, {runs[0]});
        if (index) rec.erase(rec.begin() + long(at), rec.begin() + long(at + len));
        // Header; one entry: type, length, name offset, first cluster, record.
        Put(&list[0], 0x20 | 0x38ull << 32, 8);
        Put(&list[0x10], 0x20 | 0x18ull << 32, 8);
        Put(&list[0x18], 0x80 | 0x20ull << 32 | 0x1Aull << 56, 8);
        Put(&list[0x20], vcn, 8);
        Put(&list[0x28], 16 | Get(&ext[0x10], 2) << 48, 8);
        rec.insert(rec.begin() + long(at), list.begin(), list.end());
        rec.resize(record);
        PutRecord(index, rec);
    }
};

using Patch = std::function<void(NtfsImage&)>;
Patch WithRuns(std::function<void(Runs&)> f) {
    return [=](NtfsImage& i) {
        Runs r = i.runs;
        f(r);
        i.SetMftRuns(r);
    };
}
Patch Edit(const char* name, std::function<void(Bytes&)> f) {
    return [=](NtfsImage& i) { i.EditRecord(name, f); };
}

constexpr std::int64_t kKnownTime = 1209643200;  // 2008-05-01 12:00:00 UTC
constexpr std::uint64_t kKnownFileTime = kKnownTime * 10000000ull + 116444736000000000ull;
const std::string kDeep = "N:\\d1\\d2\\d3\\d4\\d5\\d6\\d7\\d8\\d9\\d10\\d11\\d12\\d13\\d14";

testutil::TempDir* g_dir = nullptr;
std::string g_tree[3];  // clusters of 512 (records of 2 clusters), 4096, 65536 bytes
std::string g_many;     // 3000 pictures: an MFT in several runs
bool g_made = false;

struct Delivery {
    std::string path, folder;
    std::uint64_t size, modified, record;
    const wchar_t* folderText;  // where the folder path lives
};

// Reads `image` as drive N:, sorted by path. *boot gets ReadBoot's result.
std::vector<Delivery> ReadImage(const std::string& image, CNtfsReader* reader = nullptr,
                                bool* boot = nullptr) {
    testutil::ScopedDriveTable table("N=" + *g_dir / "n" + ",fs=NTFS,device=" + image);
    CNtfsReader own;
    CNtfsReader& r = reader ? *reader : own;
    std::vector<Delivery> out;
    r.m_pfnFound = [](_tagMftEntry* e, int reserved, void* p) {
        CString folder = e->szFolderPath;
        CString path = folder + (folder.back() == L'\\' ? L"" : L"\\") + e->szName;
        static_cast<std::vector<Delivery>*>(p)->push_back(
            {picdex::TextToUtf8(path), picdex::TextToUtf8(folder), e->nFileSize, e->nLastModifyTime,
             e->nRecordNumber, e->szFolderPath});
        EXPECT_EQ(reserved, 0);
    };
    r.m_pContext = &out;
    EXPECT_TRUE(r.OpenVolume('N'));
    bool ok = r.ReadBoot();
    if (boot) *boot = ok;
    r.ReadAll();
    r.m_pfnFound = nullptr;
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.path < b.path; });
    return out;
}
std::vector<std::string> Paths(const std::vector<Delivery>& ds) {
    std::vector<std::string> v(ds.size());
    std::transform(ds.begin(), ds.end(), v.begin(), [](auto& d) { return d.path; });
    return v;
}

// The pictures of the tree most tests read, some left out ("-path") or moved ("a>b"):
// in the root, nested, in Unicode names (one outside the basic plane), 14 folders down
// and under 41 names of one file (most of them in extension records of its record).
std::vector<std::string> Tree(const std::vector<std::string>& changes = {}) {
    std::vector<std::string> v = {kDeep + "\\deep.tif"};
    for (const char* p : {"root.jpg", "Photos\\2008\\a.jpg", "Photos\\2008\\B.PNG", "Ünï\\日本.jpg",
                          "Photos\\2008\\sub.jpg\\c.gif", "Ünï\\😀.jpg"})
        v.push_back(std::string("N:\\") + p);
    for (int i = 1; i <= 40; ++i)
        v.push_back("N:\\Links\\link-" + std::to_string(i) + ".jpg");
    for (const std::string& c : changes) {
        auto it = std::find(v.begin(), v.end(), c.substr(c[0] == '-', c.find('>')));
        if (c[0] == '-') v.erase(it);
        if (c[0] != '-') *it = c.substr(c.find('>') + 1);
    }
    std::sort(v.begin(), v.end());
    return v;
}

class NtfsReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CCommonFunc::InitPicExt({});
        if (g_dir) return;
        const testutil::TempDir& d = *(g_dir = new testutil::TempDir);
        d.MakeDir("n");
        // Beside the pictures: names that are not pictures, a folder named like one.
        for (std::string p : Tree()) {
            std::replace(p.begin(), p.end(), '\\', '/');
            if (p.find("link-") == std::string::npos)
                d.WriteFile("tree" + p.substr(2),
                            p.ends_with("B.PNG") ? std::string(100000, 'p') : "picture");
        }
        d.WriteFile("tree/notes.txt", "not a picture");
        d.WriteFile("tree/photo.jpeg", "not a picture");
        struct timeval known[2] = {{kKnownTime, 0}, {kKnownTime, 0}};
        utimes((d / "tree/Photos/2008/a.jpg").c_str(), known);
        d.MakeDir("tree/Links");
        for (int i = 0; i <= 40; ++i)
            std::filesystem::create_hard_link(
                d / "tree/Photos/2008/a.jpg",
                d / ("tree/Links/link-" + std::to_string(i) + (i ? ".jpg" : ".txt")));
        for (int f = 0; f < 3000; ++f)
            d.WriteFile("many/d" + std::to_string(f % 40) + "/f" + std::to_string(f) + ".jpg", "m");
        g_made = MakeImage(d / "many", g_many = d / "many.img", 4096);
        for (int i = 0; i < 3; ++i)  // clusters of 512, 4096 and 65536 bytes
            g_made &= MakeImage(d / "tree", g_tree[i] = d / ("tree-" + std::to_string(i)),
                                512 << (3 * i + i / 2));
    }
    static void TearDownTestSuite() {
        delete g_dir;
        g_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(g_made); }

    // A patched copy of an image.
    std::string Patched(const std::string& image, const Patch& patch) {
        NtfsImage img(image);
        patch(img);
        std::string out = m_dir / ("patched-" + std::to_string(++m_patches));
        std::ofstream(out, std::ios::binary)
            .write(reinterpret_cast<const char*>(img.bytes.data()), long(img.bytes.size()));
        return out;
    }

    testutil::TempDir m_dir;
    int m_patches = 0;
};

// The same tree at three cluster sizes (the record size given as a count of clusters
// and as a power of two).
TEST_F(NtfsReaderTest, ListsEveryPictureWithItsFolderAtEveryClusterSize) {
    for (const std::string& image : g_tree) {
        CNtfsReader reader;
        std::vector<Delivery> ds = ReadImage(image, &reader);
        ASSERT_EQ(Paths(ds), Tree()) << image;
        EXPECT_GT(reader.m_nRecordsSeen, 19 + 7);  // the folders' records and the pictures'
        // The root keeps its backslash, other folders have none; a folder's path is
        // built once for all its pictures. Every name of the hard-linked file comes
        // with the file's record, size and last-write time.
        const Delivery &b = ds[40], &a = ds[41], &root = ds[44];
        EXPECT_EQ(b.path + b.folder + root.folder, "N:\\Photos\\2008\\B.PNGN:\\Photos\\2008N:\\");
        EXPECT_EQ(b.folderText, a.folderText);
        EXPECT_EQ(b.size, 100000u);  // non-resident data
        for (const Delivery& d : ds) {
            if (d.path.find("link-") == std::string::npos && &d != &a) continue;
            EXPECT_EQ(std::make_tuple(d.record, d.size, d.modified),
                      std::make_tuple(a.record, 7ull, kKnownFileTime))
                << d.path;
        }
    }
}

// An MFT in several runs, one lying before the one it follows (a negative offset), a
// record across two runs, runs going on in an extension record of $MFT; a run before
// cluster 0 ends the pass as if the runs ended there.
TEST_F(NtfsReaderTest, ReadsTheMftThroughAllItsRuns) {
    ASSERT_GE(NtfsImage(g_many).runs.size(), 3u) << "the MFT did not fragment";
    size_t cut = ReadImage(Patched(g_many, WithRuns([](Runs& r) { r.resize(1); }))).size();
    Patch badRun = WithRuns([](Runs& r) { r.insert(r.begin() + 1, MftRun{-1000, 4}); });
    EXPECT_LT(cut, 3000u);
    std::tuple<std::string, Patch, size_t> cases[] = {
        {g_many, [](NtfsImage&) {}, 3000},
        {g_many, [](NtfsImage& i) { i.SplitFirstRunBackwards(100); }, 3000},
        {g_many, [](NtfsImage& i) { i.Spill(0); }, 3000},
        {g_many, badRun, cut},
        {g_tree[0], [](NtfsImage& i) { i.SplitFirstRunBackwards(37); }, Tree().size()},
    };
    for (const auto& [image, patch, count] : cases)
        EXPECT_EQ(ReadImage(Patched(image, patch)).size(), count);
}

// Sets the parent, or the namespace, of the record's $FILE_NAME of `units` characters.
void SetName(Bytes& r, size_t units, std::uint64_t parent, int ns = -1) {
    for (int n = 0; r[Attr(r, 0x30, n)] == 0x30; ++n) {
        size_t a = Attr(r, 0x30, n);
        if (r[a + 0x58] == units && ns < 0) Put(&r[a + 0x18], parent, 6);
        if (r[a + 0x58] == units && ns >= 0) r[a + 0x59] = std::uint8_t(ns);
    }
}
Patch Reparent(const std::string& name, const char* parent, std::uint64_t high = 0) {
    return [=](NtfsImage& i) {
        std::uint64_t p = i.EditRecord(parent, [](Bytes&) {}) | high;
        i.EditRecord(name, [&](Bytes& r) { SetName(r, name.size(), p); });
    };
}

// Cases no tool makes, patched into the records of the 4096-byte image.
TEST_F(NtfsReaderTest, PatchedNamesParentsAndRecords) {
    const std::string in2008 = "N:\\Photos\\2008\\", deep = kDeep + "\\deep.tif>N:\\deep.tif";
    std::tuple<const char*, Patch, std::vector<std::string>> cases[] = {
        {"a file whose only name is a short name is not listed",
         Edit("root.jpg", [](Bytes& r) { SetName(r, 8, 0, 2); }), Tree({"-N:\\root.jpg"})},
        {"a name that is long and short at once is listed",
         Edit("root.jpg", [](Bytes& r) { SetName(r, 8, 0, 3); }), Tree()},
        {"a short name beside long ones: the long ones are listed",
         Edit("a.jpg", [](Bytes& r) { SetName(r, 5, 0, 2); }), Tree({"-" + in2008 + "a.jpg"})},
        {"a deleted record is never delivered", Edit("B.PNG", [](Bytes& r) { r[0x16] &= ~1; }),
         Tree({"-" + in2008 + "B.PNG"})},
        {"parents that loop: the files below lie in the root", Reparent("Photos", "2008"),
         Tree({in2008 + "a.jpg>N:\\a.jpg", in2008 + "B.PNG>N:\\B.PNG",
               in2008 + "sub.jpg\\c.gif>N:\\c.gif"})},
        {"a parent that is a file", Reparent("d1", "notes.txt"), Tree({deep})},
        {"a parent looked up by its low 32 bits", Reparent("B.PNG", "2008", 1ull << 32), Tree()},
        {"a file's data in an extension record",
         [](NtfsImage& i) { i.Spill(i.EditRecord("B.PNG", [](Bytes&) {})); }, Tree()},
        {"a file created at another time: its last-write time is kept",
         Edit("a.jpg", [](Bytes& r) { std::fill_n(&r[Attr(r, 0x10) + 0x18], 8, 1); }), Tree()},
    };
    for (const auto& [what, patch, expected] : cases) {
        std::vector<Delivery> ds = ReadImage(Patched(g_tree[1], patch));
        EXPECT_EQ(Paths(ds), expected) << what;
        for (const Delivery& d : ds) {
            EXPECT_EQ(d.folder == "N:\\", d.path.rfind('\\') == 2) << d.path;
            EXPECT_TRUE(!d.path.ends_with("a.jpg") || d.modified == kKnownFileTime) << what;
            EXPECT_TRUE(!d.path.ends_with("B.PNG") || d.size == 100000u) << what;
        }
    }
}

// Folder paths are built in a 1024-character buffer: a folder whose path fits (1023
// characters and the terminator) is delivered; one character more and its pictures are
// left out. Names this long read right only after the fix-up.
TEST_F(NtfsReaderTest, FolderPathsThatDoNotFitTheBufferAreLeftOut) {
    std::string folder;
    for (char c : {'a', 'b', 'c', 'd'})
        folder += std::string(200, c) + "/";
    std::string fits = folder + std::string(216, 'e'), over = folder + std::string(217, 'f');
    m_dir.WriteFile("long/" + fits + "/at-limit.jpg", "1");
    m_dir.WriteFile("long/" + over + "/too-long.jpg", "2");
    ASSERT_TRUE(MakeImage(m_dir / "long", m_dir / "long.img", 4096));
    std::replace(fits.begin(), fits.end(), '/', '\\');
    std::vector<Delivery> ds = ReadImage(m_dir / "long.img");
    ASSERT_EQ(Paths(ds), std::vector<std::string>{"N:\\" + fits + "\\at-limit.jpg"});
    EXPECT_EQ(ds[0].folder.size(), 1023u);
}

// The owner's hook runs on the reading thread after every 4-cluster read of the record
// pass and before every picture of the folder pass. It may block (a pause: nothing
// moves until it returns); the flag it or another thread clears stops either pass.
TEST_F(NtfsReaderTest, ChunkHookPausesAndStopsEitherPass) {
    NtfsImage img(g_tree[1]);
    const size_t chunk = 4 * img.cluster, chunks = (img.records * img.record + chunk - 1) / chunk;
    struct Ctx {
        CNtfsReader reader;
        size_t stopAt = 0, folderCalls = 0, delivered = 0;
        std::vector<long> seen;  // m_nRecordsSeen at each call in the record pass
        std::promise<void> paused, resume;
    };
    testutil::ScopedDriveTable table("N=" + *g_dir / "n" + ",fs=NTFS,device=" + g_tree[1]);
    for (size_t stopAt : {size_t(1), chunks + 3}) {
        Ctx c;
        c.stopAt = stopAt;
        c.reader.m_pContext = &c;
        c.reader.m_pfnFound = [](_tagMftEntry*, int, void* p) {
            ++static_cast<Ctx*>(p)->delivered;
        };
        c.reader.m_pfnChunk = [](void* p) {
            Ctx& c = *static_cast<Ctx*>(p);
            if (c.reader.m_bSecondPass) ++c.folderCalls;
            if (!c.reader.m_bSecondPass) c.seen.push_back(c.reader.m_nRecordsSeen);
            if (c.seen.size() + c.folderCalls != c.stopAt) return;
            if (c.stopAt > 1) return void(c.reader.m_bKeepReading = 0);
            c.paused.set_value();  // the test thread stops the reader while it waits here
            c.resume.get_future().wait_for(std::chrono::seconds(30));
        };
        ASSERT_TRUE(c.reader.OpenVolume('N') && c.reader.ReadBoot());
        std::thread reading([&] { c.reader.ReadAll(); });
        if (stopAt == 1) {
            EXPECT_EQ(c.paused.get_future().wait_for(std::chrono::seconds(30)),
                      std::future_status::ready);
            long seen = c.reader.m_nRecordsSeen;
            c.reader.m_bKeepReading = 0;
            c.resume.set_value();
            reading.join();
            EXPECT_EQ(c.seen, std::vector<long>{seen});  // nothing read while paused or after
            EXPECT_EQ(c.folderCalls + c.delivered, 0u);
            continue;
        }
        reading.join();
        EXPECT_EQ(c.seen.size(), chunks);
        EXPECT_EQ(c.reader.m_nPictureCount, LONG(Tree().size()));
        EXPECT_EQ(c.folderCalls, 3u);  // one before each picture: the third stopped the pass
        EXPECT_EQ(c.delivered, 2u);
    }
}

// Only a volume named exactly NTFS is read; one whose device does not open, or holds no
// NTFS volume, yields nothing and leaves no count of a drive read before.
TEST_F(NtfsReaderTest, DrivesThatAreNotReadableNtfsVolumesYieldNothing) {
    std::string x = "X=" + *g_dir / "n", zeros = m_dir.WriteFile("zeros", std::string(1 << 20, 0));
    for (const auto& [drives, opens] : std::vector<std::pair<std::string, bool>>{
             {x + ",fs=FAT32,device=" + g_tree[1], false},
             {x + ",fs=exFAT", false},
             {x + ",fs=ntfs", false},
             {x + ",fs=NTFS,device=" + zeros + ".missing", true},
             {x + ",fs=NTFS,device=" + zeros, true}}) {
        CNtfsReader reader;
        ReadImage(g_tree[1], &reader);
        testutil::ScopedDriveTable table(drives);
        EXPECT_EQ(reader.OpenVolume('X'), opens) << drives;
        EXPECT_FALSE(reader.ReadBoot());
        reader.ReadAll();
        EXPECT_EQ(reader.m_nRecordsSeen + reader.m_nPictureCount, 0) << drives;
    }
}

// A damaged or hostile volume: geometry out of range makes ReadBoot fail; damage further
// in costs pictures at most; nothing crashes, hangs or reads outside the device (the
// sanitizer builds watch). Inputs kept from fuzzing give sane paths only.
TEST_F(NtfsReaderTest, DamagedVolumesFailCleanly) {
    const int all = int(Tree().size()), refused = -1;
    auto poke = [](size_t at, std::uint64_t value, int n) {
        return [=](NtfsImage& i) { Put(&i.bytes[at], value, n); };
    };
    std::tuple<std::string, Patch, int> cases[] = {
        {"bytes per sector 0", poke(0x0B, 0, 2), refused},
        {"clusters of 512 MiB", poke(0x0D, 0xEB, 1), refused},
        {"record size 0", poke(0x40, 0, 1), refused},
        {"records of 2^17 bytes", poke(0x40, 0xEF, 1), refused},
        {"MFT past the end of the volume", poke(0x30, ~0ull, 8), refused},
        {"update sequence longer than record 0", [](NtfsImage& i) { i.At(0)[7] = 0xFF; }, refused},
        {"a run of absurd length", WithRuns([](Runs& r) {
             r.push_back(MftRun{1 << 30, 1ull << 40});
         }),
         all},
        {"runs past their attribute",
         Edit("$MFT", [](Bytes& r) { std::fill_n(&r[Attr(r, 0x80) + 0x40], 8, 0x88); }), 0},
        {"attribute length past the record",
         Edit("B.PNG", [](Bytes& r) { Put(&r[Attr(r, 0x30) + 4], 0x7FFFFFF0, 4); }), all - 1},
        {"name longer than its attribute",
         Edit("B.PNG", [](Bytes& r) { r[Attr(r, 0x30) + 0x58] = 255; }), all - 1},
    };
    std::vector<std::string> tree = Tree();
    for (const auto& [what, patch, count] : cases) {
        bool ok = false;
        std::vector<Delivery> ds = ReadImage(Patched(g_tree[1], patch), nullptr, &ok);
        EXPECT_EQ(ok, count != refused) << what;
        EXPECT_EQ(ds.size(), size_t(std::max(count, 0))) << what;
        for (const Delivery& d : ds)
            EXPECT_TRUE(std::binary_search(tree.begin(), tree.end(), d.path)) << what << d.path;
    }
    size_t inputs = 0, pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(__FILE__).parent_path() / "ntfs_regress")) {
        for (const Delivery& d : ReadImage(entry.path())) {
            const std::string& f = d.folder;
            EXPECT_TRUE(f.starts_with("N:\\") &&
                        (f.size() == 3 || (f.back() != '\\' && f.size() < 1024)))
                << f;
            ++pictures;
        }
        ++inputs;
    }
    EXPECT_GE(inputs, 5u);
    EXPECT_GT(pictures, 0u);
}

// The drive lister: the image's MFT and a walk of the tree it was made from find the
// same pictures with the same sizes and times.
TEST_F(NtfsReaderTest, ListerRoutesAgree) {
    testutil::ScopedDriveTable table("N=" + *g_dir / "n" + ",fs=NTFS,device=" + g_tree[1] +
                                     ";M=" + *g_dir / "tree");
    using Found = std::map<std::string, std::pair<std::uint64_t, std::int64_t>>;
    Found found[2];
    for (int walk : {0, 1}) {
        picdex::DriveLister lister;
        ASSERT_TRUE(lister.Open(L"Nm"[walk], nullptr));
        EXPECT_EQ(lister.Route() == picdex::DriveRoute::kFolderWalk, walk == 1);
        ASSERT_TRUE(lister.Run(
            [](const picdex::DrivePicture& p, void* m) {
                (*static_cast<Found*>(m))[picdex::TextToUtf8(*p.folder + *p.name).substr(1)] = {
                    p.size, p.lastWrite};
            },
            &found[walk]));
    }
    EXPECT_EQ(found[0], found[1]);
    EXPECT_EQ(found[0].size(), Tree().size());
}

}  // namespace
