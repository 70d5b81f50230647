// The NTFS reader and the drive lister on real volume images that make_fixtures.sh makes
// from folder trees, patched where no tool would.
#include <gtest/gtest.h>

#include <map>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "picdex/drive_list.h"
#include "picdex/host_paths.h"
#include "scan/common_func.h"
#include "scan/ntfs_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
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
        const std::string data = testutil::ReadFile(path);
        bytes.assign(data.begin(), data.end());
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
        Bytes units;  // the name as stored
        for (char c : name)
            units.insert(units.end(), {std::uint8_t(c), 0});
        for (std::uint64_t i = 0; i < records; ++i) {
            Bytes r = Record(i);
            for (int n = 0; (r[0x16] & 1) && r[Attr(r, 0x30, n)] == 0x30; ++n) {
                size_t a = Attr(r, 0x30, n);
                if (r[a + 0x58] != name.size() ||
                    !std::equal(units.begin(), units.end(), &r[a + 0x5A]))
                    continue;
                edit(r);
                PutRecord(i, r);
                return Get(&r[0x2C], 4);
            }
        }
        ADD_FAILURE() << name << " not found";
        return 0;
    }
    // Writes `to` as the runs of the attribute at `a` (8-byte lengths, 4-byte offsets);
    // the attribute grows when it must.
    static void SetRuns(Bytes& r, size_t a, const Runs& to) {
        Bytes enc(13 * to.size() + 1, 0);
        for (size_t k = 0; k < to.size(); ++k) {
            enc[13 * k] = 0x48;
            Put(&enc[13 * k + 1], to[k].clusters, 8);
            Put(&enc[13 * k + 9], std::uint64_t(to[k].lcn - (k ? to[k - 1].lcn : 0)), 4);
        }
        size_t pairs = Get(&r[a + 0x20], 2), len = Get(&r[a + 4], 4);
        size_t grow = std::max(len, (pairs + enc.size() + 7) & ~7ul) - len;
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
Patch Poke(size_t at, std::uint64_t value, int n) {
    return [=](NtfsImage& i) { Put(&i.bytes[at], value, n); };
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

// The last-write time make_fixtures.sh gives a.jpg: 2008-05-01 12:00:00 UTC.
constexpr std::uint64_t kKnownFileTime = 1209643200 * 10000000ull + 116444736000000000ull;
const std::string kDeep = "N:\\d1\\d2\\d3\\d4\\d5\\d6\\d7\\d8\\d9\\d10\\d11\\d12\\d13\\d14";

// The images of make_fixtures.sh: the tree at clusters of 512 (records of 2 clusters),
// 4096 and 65536 bytes; 3000 pictures (an MFT in several runs) and very long folder paths.
const std::string kFixtures = SCAN_FIXTURES;
const std::string g_tree[3] = {kFixtures + "/tree-512.img", kFixtures + "/tree-4096.img",
                               kFixtures + "/tree-65536.img"};
const std::string g_many = kFixtures + "/many.img";
const testutil::TempDir g_dir;  // drive N's folder, and the patched copies of images

// Reads images as drive N:, one reader for all its reads.
struct Reading {
    CNtfsReader reader;
    Texts rows;
    std::set<const wchar_t*> folderTexts;  // where the folder paths lie, of every read
    size_t stopAt = 0, calls[2] = {0, 0};  // the hook clears the flag at call `stopAt`

    // The first row says whether the boot sector was taken and how many pictures the
    // counters hold (of a refused read: with the records seen); then one row per
    // picture, "folder|name|size", "|known" added for the known last-write time.
    // A patched copy of the image is read when there is a patch.
    const Texts& Read(std::string image, const Patch& patch = nullptr) {
        if (patch) {
            NtfsImage img(image);
            patch(img);
            std::ofstream(image = g_dir / "patched", std::ios::binary)
                .write(reinterpret_cast<const char*>(img.bytes.data()), long(img.bytes.size()));
        }
        testutil::ScopedDriveTable table("N=" + g_dir.path() + ",fs=NTFS,device=" + image);
        rows.clear();
        reader.m_pContext = this;
        reader.m_pfnFound = [](_tagMftEntry* e, int, void* p) {
            Reading& r = *static_cast<Reading*>(p);
            r.folderTexts.insert(e->szFolderPath);
            r.rows.push_back(picdex::TextToUtf8(CString(e->szFolderPath) + L"|" + e->szName) + "|" +
                             std::to_string(e->nFileSize) +
                             (e->nLastModifyTime == kKnownFileTime ? "|known" : ""));
        };
        reader.m_pfnChunk = [](void* p) {
            Reading& r = *static_cast<Reading*>(p);
            ++r.calls[r.reader.m_bSecondPass ? 1 : 0];
            if (r.calls[0] + r.calls[1] == r.stopAt) r.reader.m_bKeepReading = 0;
        };
        EXPECT_TRUE(reader.OpenVolume('N'));
        bool ok = reader.ReadBoot();
        reader.ReadAll();
        std::sort(rows.begin(), rows.end());
        long counted = reader.m_nPictureCount + (ok ? 0 : long(reader.m_nRecordsSeen));
        rows.insert(rows.begin(), (ok ? "read " : "refused ") + std::to_string(counted));
        return rows;
    }
};

// The rows of a read that finds the pictures at `paths`.
Texts Rows(const Texts& paths) {
    Texts rows = {"read " + std::to_string(paths.size())};
    for (const std::string& p : paths) {
        size_t cut = p.rfind('\\');
        std::string name = p.substr(cut + 1), size = name == "B.PNG" ? "100000" : "7";
        bool known = name == "a.jpg" || name.starts_with("link-");
        rows.push_back(p.substr(0, std::max(cut, size_t(3))) + "|" + name + "|" + size +
                       (known ? "|known" : ""));
    }
    std::sort(rows.begin() + 1, rows.end());
    return rows;
}

// The pictures of the tree most tests read, some left out ("-path") or moved ("a>b"):
// in the root, nested, in Unicode names (one outside the basic plane), 14 folders down
// and under 41 names of one file (most of them in extension records of its record).
Texts Tree(const Texts& changes = {}) {
    Texts v = {kDeep + "\\deep.tif"};
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
    return v;
}

class NtfsReaderTest : public ::testing::Test {
protected:
    void SetUp() override { CCommonFunc::InitPicExt({}); }
};

// The same tree at three cluster sizes (the record size given as a count of clusters
// and as a power of two): every picture with its folder (the root's with its backslash,
// others without), size and last-write time, every name of the hard-linked file; a
// folder's path is built once for all its pictures.
TEST_F(NtfsReaderTest, ListsEveryPictureWithItsFolderAtEveryClusterSize) {
    for (const std::string& image : g_tree) {
        Reading r;
        EXPECT_EQ(r.Read(image), Rows(Tree())) << image;
        EXPECT_EQ(r.folderTexts.size(), 6u) << image;
    }
}

// An MFT in several runs, one lying before the one it follows (a negative offset), a
// record across two runs, runs going on in an extension record of $MFT; a run before
// cluster 0 ends the pass as if the runs ended there. In the big image a folder path of
// 1023 characters fits the path buffer, one of 1024 does not.
TEST_F(NtfsReaderTest, ReadsTheMftThroughAllItsRuns) {
    ASSERT_GE(NtfsImage(g_many).runs.size(), 3u) << "the MFT did not fragment";
    Reading r;
    size_t cut = r.Read(g_many, WithRuns([](Runs& runs) { runs.resize(1); })).size();
    EXPECT_LT(cut, 3000u);
    std::tuple<std::string, Patch, size_t> cases[] = {
        {g_many, [](NtfsImage&) {}, 3002},  // the header, 3000 pictures and fits.jpg
        {g_many, [](NtfsImage& i) { i.SplitFirstRunBackwards(100); }, 3002},
        {g_many, [](NtfsImage& i) { i.Spill(0); }, 3002},
        {g_many, WithRuns([](Runs& r) {
             r.insert(r.begin() + 1, MftRun{-1000, 4});
         }),
         cut},
        {g_tree[0], [](NtfsImage& i) { i.SplitFirstRunBackwards(37); }, Tree().size() + 1},
    };
    for (const auto& [image, patch, rows] : cases)
        EXPECT_EQ(r.Read(image, patch).size(), rows);
}

// Cases no tool makes, patched into the 4096-byte image and read by one reader in turn:
// names, parents and records, then damage. Geometry out of range makes ReadBoot fail and
// clears the counters of the read before; damage further in costs pictures at most.
TEST_F(NtfsReaderTest, PatchedImages) {
    const std::string in2008 = "N:\\Photos\\2008\\", deep = kDeep + "\\deep.tif>N:\\deep.tif";
    const Texts all = Rows(Tree()), refused = {"refused 0"},
                noB = Rows(Tree({"-" + in2008 + "B.PNG"}));
    std::tuple<const char*, Patch, Texts> cases[] = {
        {"a file whose only name is a short name is not listed",
         Edit("root.jpg", [](Bytes& r) { SetName(r, 8, 0, 2); }), Rows(Tree({"-N:\\root.jpg"}))},
        {"a name that is long and short at once is listed",
         Edit("root.jpg", [](Bytes& r) { SetName(r, 8, 0, 3); }), all},
        {"a short name beside long ones: the long ones are listed",
         Edit("a.jpg", [](Bytes& r) { SetName(r, 5, 0, 2); }),
         Rows(Tree({"-" + in2008 + "a.jpg"}))},
        {"a deleted record is never delivered", Edit("B.PNG", [](Bytes& r) { r[0x16] &= ~1; }),
         noB},
        {"parents that loop: the files below lie in the root", Reparent("Photos", "2008"),
         Rows(Tree({in2008 + "a.jpg>N:\\a.jpg", in2008 + "B.PNG>N:\\B.PNG",
                    in2008 + "sub.jpg\\c.gif>N:\\c.gif"}))},
        {"a parent that is a file", Reparent("d1", "notes.txt"), Rows(Tree({deep}))},
        {"a parent looked up by its low 32 bits", Reparent("B.PNG", "2008", 1ull << 32), all},
        {"a file's data in an extension record",
         [](NtfsImage& i) { i.Spill(i.EditRecord("B.PNG", [](Bytes&) {})); }, all},
        {"a file created at another time: its last-write time is kept",
         Edit("a.jpg", [](Bytes& r) { std::fill_n(&r[Attr(r, 0x10) + 0x18], 8, 1); }), all},
        {"bytes per sector 0", Poke(0x0B, 0, 2), refused},
        {"clusters of 512 MiB", Poke(0x0D, 0xEB, 1), refused},
        {"record size 0", Poke(0x40, 0, 1), refused},
        {"records of 2^17 bytes", Poke(0x40, 0xEF, 1), refused},
        {"MFT past the end of the volume", Poke(0x30, ~0ull, 8), refused},
        {"update sequence longer than record 0", [](NtfsImage& i) { i.At(0)[7] = 0xFF; }, refused},
        {"an empty device", [](NtfsImage& i) { i.bytes.clear(); }, refused},
        {"a run of absurd length", WithRuns([](Runs& r) {
             r.push_back(MftRun{1 << 30, 1ull << 40});
         }),
         all},
        {"runs past their attribute",
         Edit("$MFT", [](Bytes& r) { std::fill_n(&r[Attr(r, 0x80) + 0x40], 8, 0x88); }), Rows({})},
        {"attribute length past the record",
         Edit("B.PNG", [](Bytes& r) { Put(&r[Attr(r, 0x30) + 4], 0x7FFFFFF0, 4); }), noB},
        {"name longer than its attribute",
         Edit("B.PNG", [](Bytes& r) { r[Attr(r, 0x30) + 0x58] = 255; }), noB},
    };
    Reading r;
    for (const auto& [what, patch, expected] : cases)
        EXPECT_EQ(r.Read(g_tree[1], patch), expected) << what;
    // Inputs kept from fuzzing, read under the sanitizer builds' watch: what they give
    // lies on the drive.
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(__FILE__).parent_path() / "ntfs_regress")) {
        const Texts& rows = r.Read(entry.path());
        for (auto row = rows.begin() + 1; row != rows.end(); ++row)
            EXPECT_TRUE(row->starts_with("N:\\")) << *row;
    }
    // Only a drive whose file system is named "NTFS" is opened, whatever its device holds.
    for (const char* fs : {"FAT32", "ntfs"}) {
        testutil::ScopedDriveTable table("N=" + g_dir.path() + ",fs=" + fs +
                                         ",device=" + g_tree[1]);
        EXPECT_FALSE(CNtfsReader().OpenVolume('N')) << fs;
    }
}

// The owner's hook runs on the reading thread after every 4-cluster read of the record
// pass and before every picture of the folder pass; clearing the flag in it stops
// either pass before anything more is read or delivered.
TEST_F(NtfsReaderTest, ChunkHookStopsEitherPass) {
    NtfsImage img(g_tree[1]);
    const size_t chunk = 4 * img.cluster, chunks = (img.records * img.record + chunk - 1) / chunk;
    // Stopped at the first chunk, which holds only the system files' records: nothing.
    Reading first, third;
    first.stopAt = 1;
    third.stopAt = chunks + 3;  // the third picture of the folder pass
    first.Read(g_tree[1]);
    third.Read(g_tree[1]);
    EXPECT_EQ(std::tuple(first.rows, first.calls[0], first.calls[1]),
              std::tuple(Texts{"read 0"}, 1, 0));
    EXPECT_EQ(std::tuple(third.rows[0], third.rows.size(), third.calls[0], third.calls[1]),
              std::tuple("read " + std::to_string(Tree().size()), 3, chunks, 3));
}

// The drive lister: the image's MFT and a walk of the tree it was made from find the
// same pictures with the same sizes and times.
TEST_F(NtfsReaderTest, ListerRoutesAgree) {
    testutil::ScopedDriveTable table("N=" + g_dir.path() + ",fs=NTFS,device=" + g_tree[1] +
                                     ";M=" + kFixtures + "/tree");
    Texts found[2];
    for (int walk : {0, 1}) {
        picdex::DriveLister lister;
        ASSERT_TRUE(lister.Open(L"NM"[walk], nullptr));
        EXPECT_EQ(lister.Route() == picdex::DriveRoute::kFolderWalk, walk == 1);
        ASSERT_TRUE(lister.Run(
            [](const picdex::DrivePicture& p, void* t) {
                static_cast<Texts*>(t)->push_back(
                    picdex::TextToUtf8(*p.folder + *p.name).substr(1) +
                    std::to_string(p.size + p.lastWrite));
            },
            &found[walk]));
        std::sort(found[walk].begin(), found[walk].end());
    }
    EXPECT_EQ(found[0], found[1]);
    EXPECT_EQ(found[0].size(), Tree().size());
}

}  // namespace
