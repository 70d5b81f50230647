// Listing a drive's pictures by the scan's route (DriveLister), and `picdex list`, on a
// real NTFS image and on the host folder tree it was made from.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/drive_table.h"
#include "common/temp_dir.h"
#include "picdex/drive_list.h"
#include "picdex/host_paths.h"
#include "scan/ntfs_image.h"

namespace {

constexpr std::int64_t kKnownTime = 1209643200;  // 2008-05-01 12:00:00 UTC

struct Listed {
    std::string folder, path;
    std::uint64_t size;
    std::int64_t lastWrite;
};

void Collect(const picdex::DrivePicture& p, void* context) {
    auto* out = static_cast<std::vector<Listed>*>(context);
    out->push_back({picdex::TextToUtf8(*p.folder), picdex::TextToUtf8(*p.folder + *p.name), p.size,
                    p.lastWrite});
}

// path (without the drive letter) -> size and time, for comparing two drives.
std::map<std::string, std::pair<std::uint64_t, std::int64_t>> ByPath(const std::vector<Listed>& v) {
    std::map<std::string, std::pair<std::uint64_t, std::int64_t>> m;
    for (const Listed& l : v)
        m[l.path.substr(1)] = {l.size, l.lastWrite};
    return m;
}

class NtfsListTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new testutil::TempDir;
        s_dir->WriteFile("tree/root.jpg", "root");
        ntfstest::SetModifyTime(s_dir->WriteFile("tree/Photos/2008/a.jpg", "hello"), kKnownTime);
        s_dir->WriteFile("tree/Photos/2008/b.png", std::string(70000, 'b'));
        s_dir->WriteFile("tree/Photos/notes.txt", "text");
        s_dir->WriteFile("tree/Ünïcödé/ß.gif", "gif");
        s_dir->WriteFile("tree/a/b/c/d/e/f/deep.tif", "tif");
        std::filesystem::create_hard_link(*s_dir / "tree/Photos/2008/a.jpg",
                                          *s_dir / "tree/a/link.jpg");
        s_image = *s_dir / "tree.img";
        s_made = ntfstest::MakeImage(*s_dir / "tree", s_image, 8, 4096, &s_log);
        s_dir->MakeDir("n");
        s_dir->WriteFile("zeros.img", std::string(1 << 20, '\0'));
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_made) << s_log; }

    // N: is the image, M: the tree it was made from, walked.
    std::string Table() const {
        return "N=" + *s_dir / "n" + ",fs=NTFS,device=" + s_image + ";M=" + *s_dir / "tree";
    }

    static testutil::TempDir* s_dir;
    static std::string s_image, s_log;
    static bool s_made;
};

testutil::TempDir* NtfsListTest::s_dir = nullptr;
std::string NtfsListTest::s_image, NtfsListTest::s_log;
bool NtfsListTest::s_made = false;

// The master file table of the image and a walk of the tree it was made from find the
// same pictures, with the same sizes and times.
TEST_F(NtfsListTest, BothRoutesFindTheSamePictures) {
    testutil::ScopedDriveTable table(Table());
    std::vector<Listed> byMft, byWalk;
    picdex::DriveLister mft, walk;
    std::string error;
    ASSERT_TRUE(mft.Open(L'n', &error)) << error;
    EXPECT_EQ(mft.Route(), picdex::DriveRoute::kMasterFileTable);
    ASSERT_TRUE(mft.Run(Collect, &byMft));
    ASSERT_TRUE(walk.Open(L'M', &error)) << error;
    EXPECT_EQ(walk.Route(), picdex::DriveRoute::kFolderWalk);
    EXPECT_TRUE(walk.Note().empty());
    ASSERT_TRUE(walk.Run(Collect, &byWalk));

    EXPECT_EQ(byMft.size(), 6u);
    EXPECT_EQ(ByPath(byMft), ByPath(byWalk));
    for (const Listed& l : byMft) {
        EXPECT_EQ(l.folder.back(), '\\') << l.path;
        EXPECT_EQ(l.path.rfind("N:\\", 0), 0u) << l.path;
    }
    auto a = ByPath(byMft).at(":\\Photos\\2008\\a.jpg");
    EXPECT_EQ(a.first, 5u);
    EXPECT_EQ(a.second, kKnownTime);
    EXPECT_EQ(mft.Progress().picturesFound, 6);
    EXPECT_EQ(walk.Progress().foldersWalked, 10);  // the root and nine folders
    EXPECT_FALSE(mft.Run(Collect, &byMft));        // one run per Open
}

TEST_F(NtfsListTest, DrivesThatCannotBeListedSayWhy) {
    std::string n = *s_dir / "n";
    struct Case {
        std::string table;
        picdex::DriveListError code;
        const char* says;
    } cases[] = {
        {"Q=" + n, picdex::DriveListError::kUnknownDrive, "not in the drive table"},
        {"N=" + n + "/missing", picdex::DriveListError::kMissingFolder, "does not exist"},
        {"N=" + n + ",fs=NTFS", picdex::DriveListError::kDeviceUnreadable, "no device"},
        {"N=" + n + ",fs=NTFS,device=" + n + "/missing.img",
         picdex::DriveListError::kDeviceUnreadable, "No such file"},
        {"N=" + n + ",fs=NTFS,device=" + n, picdex::DriveListError::kDeviceUnreadable,
         "Is a directory"},
        {"N=" + n + ",fs=NTFS,device=" + *s_dir / "zeros.img", picdex::DriveListError::kNotNtfs,
         "no readable NTFS volume"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        testutil::ScopedDriveTable table(c.table);
        picdex::DriveLister lister;
        std::string error;
        picdex::DriveListError code = picdex::DriveListError::kNone;
        EXPECT_FALSE(lister.Open(L'N', &error, &code));
        EXPECT_EQ(code, c.code);
        EXPECT_NE(error.find("drive N:"), std::string::npos) << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        std::vector<Listed> out;
        EXPECT_FALSE(lister.Run(Collect, &out));
        EXPECT_TRUE(out.empty());
    }
}

TEST_F(NtfsListTest, StopEndsEitherRoute) {
    testutil::ScopedDriveTable table(Table());
    for (wchar_t letter : {L'N', L'M'}) {
        picdex::DriveLister lister;
        ASSERT_TRUE(lister.Open(letter, nullptr));
        struct Ctx {
            picdex::DriveLister* lister;
            int calls = 0;
        } ctx{&lister};
        EXPECT_FALSE(lister.Run(
            [](const picdex::DrivePicture&, void* p) {
                auto* c = static_cast<Ctx*>(p);
                if (++c->calls == 2) c->lister->Stop();
            },
            &ctx));
        EXPECT_EQ(ctx.calls, 2);
    }
}

// --- picdex list ------------------------------------------------------------------------

struct Result {
    int status;
    std::string out, err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Result RunCli(const std::string& table, const std::string& args, const testutil::TempDir& dir) {
    std::string out = dir / "stdout.txt", err = dir / "stderr.txt";
    int st = std::system(
        ("PICDEX_DRIVES='" + table + "' " + PICDEX_CLI + " list " + args + " >" + out + " 2>" + err)
            .c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, ReadText(out), ReadText(err)};
}

std::vector<std::string> Lines(const std::string& s) {
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);)
        v.push_back(line);
    return v;
}

TEST_F(NtfsListTest, ListCommand) {
    testutil::TempDir tmp;
    std::string table = Table();
    std::string tree = *s_dir / "tree";

    Result plain = RunCli(table, "N", tmp);
    EXPECT_EQ(plain.status, 0) << plain.err;
    std::vector<std::string> lines = Lines(plain.out);
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> expected = {"N:\\Photos\\2008\\a.jpg",
                                         "N:\\Photos\\2008\\b.png",
                                         "N:\\a\\b\\c\\d\\e\\f\\deep.tif",
                                         "N:\\a\\link.jpg",
                                         "N:\\root.jpg",
                                         "N:\\Ünïcödé\\ß.gif"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(plain.err, "");

    // Host paths of the walked drive are the tree's own files.
    Result host = RunCli(table, "--host-paths m:", tmp);
    EXPECT_EQ(host.status, 0) << host.err;
    for (const std::string& line : Lines(host.out))
        EXPECT_TRUE(std::filesystem::is_regular_file(line)) << line;
    EXPECT_EQ(Lines(host.out).size(), 6u);

    Result json = RunCli(table, "--json N:\\\\", tmp);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("{\"path\":\"N:\\\\Photos\\\\2008\\\\a.jpg\",\"size\":5,"
                            "\"modified\":\"2008-05-01T12:00:00Z\"}\n"),
              std::string::npos)
        << json.out;

    // One line per drive that cannot be listed; the others are still listed.
    Result mixed = RunCli(table + ";X=" + tree + ",fs=NTFS", "N Q X M", tmp);
    EXPECT_EQ(mixed.status, 1);
    EXPECT_EQ(Lines(mixed.out).size(), 12u);
    std::vector<std::string> errors = Lines(mixed.err);
    ASSERT_EQ(errors.size(), 2u) << mixed.err;
    EXPECT_NE(errors[0].find("drive Q: is not in the drive table"), std::string::npos);
    EXPECT_NE(errors[1].find("drive X: is NTFS but has no device"), std::string::npos);

    for (const char* bad : {"", "12", "CC", "C:x", "--frobnicate C"}) {
        Result usage = RunCli(table, bad, tmp);
        EXPECT_EQ(usage.status, 2) << bad;
        EXPECT_EQ(usage.out, "") << bad;
        EXPECT_NE(usage.err.find("picdex list: "), std::string::npos) << bad;
    }
}

}  // namespace
