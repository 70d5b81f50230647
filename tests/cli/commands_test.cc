// Every subcommand run as a user would: the built program on a folder of real pictures.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "cli/cli_fixture.h"
#include "cli/output.h"

namespace clitest {
namespace {

using Names = std::set<std::string>;

// A run counts what is new, changed and gone; without folders it keeps the stored scope.
// One run at a time: while anyone holds the index's lock, as a running index does, a
// second run is refused without touching the index.
TEST_F(CliTest, IndexFindsNewChangedAndRemovedPicturesOneRunAtATime) {
    std::string pics = MakeCollection();
    EXPECT_EQ(Index({pics}), "pictures:6 folders:3 new:6 changed:0 removed:0 analysed:6");
    int lock = open((Db() + ".lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    Result second = Picdex({"index", "--json"});
    close(lock);
    EXPECT_EQ(std::to_string(second.status) + " " + second.err,
              "1 picdex: an index run is already going on for '" + Db() +
                  "'; searches and statistics work meanwhile\n");
    Put("pics/2019/june/b1.jpg", {.seed = 9, .iso = 3200});
    std::filesystem::remove(pics + "/2019/may/a2.jpg");
    Put("pics/2021/d1.jpg", pictures::Shot());
    EXPECT_EQ(Index(), "pictures:6 folders:4 new:1 changed:1 removed:1 analysed:2");
    EXPECT_EQ(Found({"--where", "iso=3200"}), (Names{"2019/june/b1.jpg"}));
}

TEST_F(CliTest, SearchesFindWhatTheyDescribe) {
    Index({MakeCollection()});
    struct Case {
        std::vector<std::string> args;
        Names names;
    } cases[] = {
        {{"c1"}, {"2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"IMG_0042"}, {"2020/IMG_0042.jpg"}},  // an underscore in the text
        {{"a?.jpg"}, {"2019/may/a1.jpg", "2019/may/a2.jpg"}},
        {{"nikon"}, {"2019/june/b1.jpg"}},
        {{"--in", "names", "nikon"}, {}},
        {{"--in", "iptc", "nice"}, {"2019/may/a1.jpg"}},
        {{"2019-06"}, {"2019/june/b1.jpg"}},
        {{"--where", "iso>=800"}, {"2019/may/a2.jpg", "2020/IMG_0042.jpg"}},
        {{"--where", "make~canon", "taken=2019-05-20"}, {"2019/may/a2.jpg"}},
        {{"--where", "taken>=2019-06", "taken<2020-03"},
         {"2019/june/b1.jpg", "2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"--where", "keyword=beach"}, {"2019/may/a1.jpg"}},
        {{"--where", "lat>48", "lat<49"}, {"2019/may/a1.jpg"}},
        {{"--where", "width>64"}, {"2020/IMG_0042.jpg"}},
        {{"--where", "iso<=200", "--path", "2020"}, {"2020/c1.jpg", "2020/c1_copy.jpg"}},
        {{"--path", "may", "--path", "june"},
         {"2019/may/a1.jpg", "2019/may/a2.jpg", "2019/june/b1.jpg"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Found(c.args), c.names) << c.args.back();
    // The count agrees with the list, wildcards and underscores alike.
    EXPECT_EQ(
        Picdex({"search", "--count", "a?.jpg"}).out + Picdex({"search", "--count", "IMG_0042"}).out,
        "2\n1\n");
    EXPECT_EQ(Picdex({"search", "--json", "IMG_0042"}).out,
              "{\"path\":" + cli::JsonString(Pics() + "/2020/IMG_0042.jpg") + "}\n");
    // --library-paths shows the index's own form; --verify leaves out what is gone.
    std::string libraryForm = "C:" + Pics() + "/2020/IMG_0042.jpg\n";
    std::replace(libraryForm.begin(), libraryForm.end(), '/', '\\');
    EXPECT_EQ(Picdex({"search", "--library-paths", "IMG_0042"}).out, libraryForm);
    std::filesystem::remove(Pics() + "/2020/c1_copy.jpg");
    EXPECT_EQ(Found({"--verify", "c1"}), (Names{"2020/c1.jpg"}));
    EXPECT_EQ(Found({"c1"}).size(), 2u);

    std::string fields = Picdex({"search", "--fields", "--json"}).out;
    for (const char* n : {"iso", "make", "taken", "keyword", "lat", "size"})
        EXPECT_NE(fields.find("{\"name\":\"" + std::string(n) + "\","), std::string::npos) << n;
}

TEST_F(CliTest, StatsCountByPeriodAndFolderAndListThePicturesBehind) {
    std::string p = MakeCollection();
    Index({p});
    std::string may = p + "/2019/may/", june = p + "/2019/june", y20 = p + "/2020";
    std::string mayFiles = may + "a1.jpg\n" + may + "a2.jpg\n";
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int status = 0;
    } cases[] = {
        {{}, "3\t2019\n3\t2020\n6\ttotal\n"},
        {{"2019"}, "2\t2019-05\n1\t2019-06\n3\ttotal\n"},
        {{"2019-05"}, "2\t" + p + "/2019/may\n2\ttotal\n"},
        {{"1999"}, "0\ttotal\n"},
        {{"2019-05..2020-01"},
         "2\t2019-05\t" + p + "/2019/may\n1\t2019-06\t" + june + "\n2\t2020-01\t" + y20 +
             "\n5\ttotal\n"},
        {{"--months", "2020"}, "2\t2020-01\t" + y20 + "\n1\t2020-03\t" + y20 + "\n3\ttotal\n"},
        {{"2020-02.."}, "1\t2020-03\t" + y20 + "\n1\ttotal\n"},
        {{"--months"},
         "2\t2019-05\t" + p + "/2019/may\n1\t2019-06\t" + june + "\n2\t2020-01\t" + y20 +
             "\n1\t2020-03\t" + y20 + "\n6\ttotal\n"},
        {{y20}, "2\t2020-01\n1\t2020-03\n3\ttotal\n"},
        {{p + "/2019"}, "3\twith subfolders\n0\ttotal\n"},
        {{"2019-05", "--files"}, mayFiles},
        {{"--files", "2019-05", may}, mayFiles},
        {{"--files", "2019-05", p + "/2019"}, ""},  // that folder alone holds none
        {{"--files", p + "/2019", "2019-05", "--tree"}, mayFiles},
        {{"--files", "2019-05-01..2019-05-10"}, may + "a1.jpg\n"},
        {{"--files", "2019-05-01 10:20:31..2019-05-20 08:00"}, may + "a2.jpg\n"},
        {{"--files", "2019-05-20..2020-01"},
         june + "/b1.jpg\n" + may + "a2.jpg\n" + y20 + "/c1.jpg\n" + y20 + "/c1_copy.jpg\n"},
        {{"--files", y20}, y20 + "/IMG_0042.jpg\n" + y20 + "/c1.jpg\n" + y20 + "/c1_copy.jpg\n"},
        {{"--files", p + "/2019", "--tree"}, june + "/b1.jpg\n" + mayFiles},
        // Failures: nothing on standard output, one line on standard error.
        {{"--folders", "/nowhere"}, "picdex: '/nowhere' is not in the index\n", 1},
        {{p + "/nowhere"}, "picdex: '" + p + "/nowhere' is not in the index\n", 1},
        {{"--files", "2019", may + "a1.jpg"},
         "picdex: '" + may + "a1.jpg' is not in the index\n",
         1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"stats"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Result r = Picdex(args);
        EXPECT_EQ(std::to_string(r.status) + " " + r.out + r.err,
                  std::to_string(c.status) + " " + c.out)
            << args.back();
    }
    // As JSON: one object per line, the total last (a folder's total with its subfolders
    // a member of the total's object); pictures as paths.
    EXPECT_EQ(Picdex({"stats", "--json", "2019"}).out +
                  Picdex({"stats", "--json", p + "/2019"}).out +
                  Picdex({"stats", "--json", "--files", "2019-05-01..2019-05-10"}).out,
              "{\"month\":\"2019-05\",\"pictures\":2}\n{\"month\":\"2019-06\",\"pictures\":1}\n"
              "{\"total\":3}\n{\"subfolders\":true,\"tree_total\":3,\"total\":0}\n{\"path\":" +
                  cli::JsonString(may + "a1.jpg") + "}\n");

    // Per folder, as lines (the sizes between count and path, which depend on the picture
    // coder, left out) and as a tree.
    std::string folders;
    for (const std::string& l : Lines(Picdex({"stats", "--folders"}).out))
        folders += l.substr(0, l.find('\t')) + l.substr(l.rfind('\t')) + "\n";
    EXPECT_EQ(folders, "1\t" + june + "\n2\t" + p + "/2019/may\n3\t" + y20 + "\n6\ttotal\n");
    std::string top = Lines(Picdex({"stats", "--folders", "--tree", "--json"}).out).at(0);
    EXPECT_EQ(top.substr(0, top.find(",\"tree_bytes\"")),
              "{\"path\":" + cli::JsonString(p) + ",\"pictures\":0,\"tree_pictures\":6");
    EXPECT_EQ(Lines(Picdex({"stats", "--folders", p + "/2019"}).out).back(), "3\ttotal");
}

TEST_F(CliTest, HistoryListsPastSearchesInAnyLetterCaseAndForgetsThem) {
    Index({MakeCollection()});
    for (const char* text : {"nikon", "NIKON", "nikon", "IMG_0042", "a*.jpg", "a?.jpg"})
        Found({text});
    // The texts of the "COUNT<tab>TEXT" lines, in their order.
    auto texts = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "history");
        std::string out;
        for (const std::string& line : Lines(Picdex(args).out))
            out += line.substr(line.find('\t') + 1) + " ";
        return out;
    };
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "IMG_0042 NIKON a*.jpg a_.jpg nikon "},  // '?' is shown as '_'
        {{"ni"}, "NIKON nikon "},
        {{"img_"}, "IMG_0042 "},
        {{"A?"}, "a_.jpg "},
        {{"a*"}, "a*.jpg "},
        {{"x"}, ""},
        {{"--limit", "2"}, "IMG_0042 NIKON "},
    };
    for (const auto& [args, want] : cases)
        EXPECT_EQ(texts(args), want) << (args.empty() ? "" : args.back());
    std::map<std::string, int> counts;
    for (const std::string& line : Lines(Picdex({"history"}).out))
        counts[line.substr(line.find('\t') + 1)] = std::stoi(line);
    EXPECT_GE(counts["NIKON"], 1);
    EXPECT_EQ(counts["nikon"], 2 * counts["NIKON"]);  // searched twice, with the same results
    EXPECT_EQ(Picdex({"history", "--json", "img"}).out,
              "{\"text\":\"IMG_0042\",\"count\":" + std::to_string(counts["IMG_0042"]) + "}\n");
    ASSERT_EQ(Picdex({"history", "--clear"}).status, 0);
    EXPECT_EQ(texts({}), "");
    Found({"nikon"});
    EXPECT_EQ(texts({}), "nikon ");
}

TEST_F(CliTest, RefreshHasPicturesAnalysedAgainByTheNextRun) {
    std::string pics = MakeCollection();
    Index({pics});
    // An edit that keeps the file's size and time: a run alone cannot see it.
    std::string a2 = pics + "/2019/may/a2.jpg";
    auto time = std::filesystem::last_write_time(a2);
    auto size = std::filesystem::file_size(a2);
    Put("pics/2019/may/a2.jpg", {.seed = 2, .taken = "2019:05:20 08:00:00", .iso = 3200});
    ASSERT_EQ(std::filesystem::file_size(a2), size);
    std::filesystem::last_write_time(a2, time);
    EXPECT_EQ(Index(), "pictures:6 folders:3 new:0 changed:0 removed:0 analysed:0");
    EXPECT_EQ(Found({"--where", "iso=3200"}), Names{});

    // A path the index does not hold is named; the others are marked all the same.
    Result r = Picdex({"refresh", a2, pics + "/nothing.jpg", pics + "/2020"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "picdex: '" + pics +
                         "/nothing.jpg' is not in the index\npicdex: note: 4 pictures will be "
                         "analysed again by the next 'picdex index'\n");
    EXPECT_EQ(Index(), "pictures:6 folders:3 new:0 changed:0 removed:0 analysed:4");
    EXPECT_EQ(Found({"--where", "iso=3200"}), (Names{"2019/may/a2.jpg"}));
    EXPECT_EQ(Index(), "pictures:6 folders:3 new:0 changed:0 removed:0 analysed:0");
}

TEST_F(CliTest, DupesGroupIdenticalFilesAndKeepTheirDigests) {
    std::string pics = MakeCollection();
    // Two more files of one size but different bytes: digested, never grouped.
    std::string bytes = pictures::Jpeg(pictures::Shot());
    home_.WriteFile("pics/2021/x.jpg", bytes);
    bytes[bytes.size() - 3] ^= 1;
    home_.WriteFile("pics/2021/y.jpg", bytes);
    Index({pics});
    std::string c1 = pics + "/2020/c1.jpg", copy = pics + "/2020/c1_copy.jpg";
    long long size = (long long)std::filesystem::file_size(c1);
    std::string md5 = ShellOutput("md5sum '" + c1 + "' | tr a-f A-F").substr(0, 32),
                bytesText = std::to_string(size);
    EXPECT_EQ(Picdex({"dupes", "--json"}).out, "{\"md5\":\"" + md5 + "\",\"size\":" + bytesText +
                                                   ",\"count\":2,\"wasted\":" + bytesText +
                                                   ",\"paths\":[" + cli::JsonString(c1) + "," +
                                                   cli::JsonString(copy) + "]}\n");
    Result plain = Picdex({"dupes"});
    std::string human = cli::HumanBytes(size);
    EXPECT_EQ(plain.out + plain.err, "2 files of " + human + ", " + human + " wasted\n" + c1 +
                                         "\n" + copy + "\n\npicdex: 1 groups, 2 files, " + human +
                                         " wasted\n");
    // The digests stay in the index; the other files keep the no-digest marker, which
    // groups nothing although every one of them carries it.
    EXPECT_EQ(QueryIndex(Db(),
                         "select strFileName, iif(length(strMD5) = 32, 'digest', strMD5) "
                         "from tb_file_info order by 1;"),
              (std::vector<std::string>{"a1.jpg|0", "a2.jpg|0", "b1.jpg|0", "c1.jpg|digest",
                                        "c1_copy.jpg|digest", "IMG_0042.jpg|0", "x.jpg|digest",
                                        "y.jpg|digest"}));
}

// mv moves on disk and in the index together, never over an existing file: a file put in
// another indexed folder keeps its analysis, one put where the index holds nothing is
// forgotten with a note. forget leaves the disk as it is.
TEST_F(CliTest, ForgetAndMoveChangeTheIndexWithTheDisk) {
    std::string p = MakeCollection() + "/";
    Index({p});
    std::filesystem::create_directories(p + "new");
    struct Step {
        std::string command;  // its words; the second on are paths below the pictures
        int status;
        const char* message;  // a piece of what standard error says
        std::string where;    // a search and what it then finds
        Names found;
    } steps[] = {
        {"mv 2020/IMG_0042.jpg 2019/june/", 0, "", "make~fuji", {"2019/june/IMG_0042.jpg"}},
        {"mv 2019/may 2019/spring", 0, "", "taken=2019-05-01", {"2019/spring/a1.jpg"}},
        {"mv 2020/c1_copy.jpg new/", 0, "not in the index yet", "make~sony", {"2020/c1.jpg"}},
        {"mv 2020/c1.jpg 2019/june/b1.jpg", 1, "exists already", "make~sony", {"2020/c1.jpg"}},
        {"mv nothing.jpg x.jpg", 1, "nothing.jpg", "make~sony", {"2020/c1.jpg"}},
        {"forget 2020/c1.jpg", 0, "", "make~sony", {}},
        {"forget 2019", 0, "", "iso>0", {}},
        {"forget 2019", 1, "is not in the index", "iso>0", {}},
    };
    for (const Step& s : steps) {
        std::vector<std::string> args;
        std::stringstream words(s.command);
        for (std::string word; words >> word;)
            args.push_back(args.empty() ? word : p + word);
        Result r = Picdex(args);
        EXPECT_EQ(r.status, s.status) << s.command << ": " << r.err;
        EXPECT_NE(r.err.find(s.message), std::string::npos) << r.err;
        EXPECT_EQ(Found({"--where", s.where}), s.found) << s.command;
        // The renamed folder's month counts follow it.
        if (s.command.ends_with("spring")) {
            EXPECT_EQ(Picdex({"stats", "2019-05"}).out, "2\t" + p + "2019/spring\n2\ttotal\n");
        }
    }
    EXPECT_EQ(ShellOutput("cd '" + p + "' && find . -type f | sort"),
              "./2019/june/IMG_0042.jpg\n./2019/june/b1.jpg\n./2019/spring/a1.jpg\n"
              "./2019/spring/a2.jpg\n./2020/c1.jpg\n./2020/notes.txt\n./new/c1_copy.jpg\n");
}

TEST_F(CliTest, TreeEditsNeverReachFoldersTheirNamesOnlyResemble) {
    // '_' is a one-character wildcard in the library's tree statements, so its tree
    // delete and rename of "a_b" would also reach "aXb" and "a-b".
    for (const char* folder : {"a_b", "aXb", "a-b", "a_b2"})
        Put(std::string("lib/") + folder + "/sub/p.jpg", pictures::Shot());
    std::string lib = home_ / "lib";
    Index({lib});
    ASSERT_EQ(Picdex({"forget", lib + "/a_b"}).status, 0);
    EXPECT_EQ(PathsOf(Picdex({"search", "p.jpg"})),
              (Names{lib + "/aXb/sub/p.jpg", lib + "/a-b/sub/p.jpg", lib + "/a_b2/sub/p.jpg"}));
    ASSERT_EQ(Picdex({"mv", lib + "/a-b", lib + "/moved"}).status, 0);
    EXPECT_EQ(PathsOf(Picdex({"search", "p.jpg"})),
              (Names{lib + "/aXb/sub/p.jpg", lib + "/moved/sub/p.jpg", lib + "/a_b2/sub/p.jpg"}));
    // a_b comes back: it is still in the scope.
    EXPECT_EQ(Index(), "pictures:4 folders:4 new:1 changed:0 removed:0 analysed:1");
}

TEST_F(CliTest, ScopeListsAndEditsTheIndexedFolders) {
    std::string pics = MakeCollection();
    Index({pics + "/2019"});
    // The settings of the pictures' folders and of the drive, as listed.
    auto scope = [&] {
        std::string out;
        for (const std::string& line : Lines(Picdex({"scope"}).out))
            if (line.find(pics) != std::string::npos || line.ends_with("\t/")) out += line + "\n";
        return out;
    };
    EXPECT_EQ(scope(), "included\t" + pics + "/2019\nexcluded\t/\n");  // and the rest of the drive
    EXPECT_NE(Picdex({"scope", "--json"})
                  .out.find("{\"path\":" + cli::JsonString(pics + "/2019") +
                            ",\"setting\":\"included\",\"fixed\":false}\n"),
              std::string::npos);
    ASSERT_EQ(Picdex({"scope", "add", pics + "/2020"}).status, 0);
    ASSERT_EQ(Picdex({"scope", "exclude", pics + "/2019/june"}).status, 0);
    // Excluding removes what the index held there at once.
    EXPECT_EQ(Found({"nikon"}), Names{});
    Index();
    EXPECT_EQ(Found({"--where", "iso>0"}).size(), 5u);
    ASSERT_EQ(Picdex({"scope", "remove", pics + "/2019/june"}).status, 0);
    EXPECT_EQ(scope(), "included\t" + pics + "/2019\nincluded\t" + pics + "/2020\nexcluded\t/\n");
    EXPECT_EQ(Picdex({"scope", "remove", pics + "/2019/june"}).status, 1);
    EXPECT_EQ(Picdex({"scope", "add", pics + "/nothing"}).status, 1);

    // Giving folders to index replaces the scope; reset brings the default back.
    Index({pics + "/2020"});
    EXPECT_EQ(scope(), "included\t" + pics + "/2020\nexcluded\t/\n");
    ASSERT_EQ(Picdex({"scope", "reset"}).status, 0);
    EXPECT_EQ(scope(), "");  // the whole drive again
}

TEST_F(CliTest, BadInputGetsAMessageAndAnExitStatusNeverACrash) {
    std::string pics = MakeCollection();

    // A file that is no index, or a damaged one, is reported and left as it is.
    struct Damage {
        const char* name;
        std::string bytes;
    } damages[] = {
        {"text", "these are my notes, not an index\n"},
        {"cut", std::string("SQLite format 3\0", 16) + std::string(84, '\x01')},
        {"torn", std::string("SQLite format 3\0", 16) + std::string(4080, '\x7f')},
    };
    for (const Damage& d : damages) {
        std::string path = home_.WriteFile(std::string("bad-") + d.name + ".db", d.bytes);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"index", "--db", path, pics},
              {"search", "--db", path, "x"},
              {"stats", "--db", path}}) {
            Result r = Picdex(args);
            EXPECT_EQ(r.status, 1) << d.name << " " << args[0] << ": " << r.err;
            EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
        }
        EXPECT_EQ(ShellOutput("cat '" + path + "'"), d.bytes) << d.name;
    }

    // Usage errors and values the index cannot search for are refused before the index
    // is opened, with the reason; read commands without an index say so and make none.
    struct Usage {
        std::vector<std::string> args;
        int status;
        const char* reason;
    } usage[] = {
        {{}, 2, "Usage: picdex COMMAND"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"--frobnicate"}, 2, "unknown option"},
        {{"index", "--bogus"}, 2, "--bogus"},
        {{"index", pics + "/nothing"}, 1, "nothing"},
        {{"index", pics + "/2020/notes.txt"}, 1, "notes.txt"},
        {{"search", "--db"}, 2, "--db"},
        {{"search", "o'clock"}, 2, "single quote"},
        {{"search", "--path", "o'clock"}, 2, "single quote"},
        {{"search", "--where", "make~o'neil"}, 2, "single quote"},
        {{"search", "--where", "colour=red"}, 2, "not a field"},
        {{"search", "--where", "iso>=4e2"}, 2, "not a whole number"},
        {{"search", "--where", "iso>=99999999999999999999"}, 2, "not a whole number"},
        {{"search", "--where", "size>2T"}, 2, "not a size"},
        {{"search", "--where", "exposure<1/250"}, 2, "whole units"},
        {{"search", "--where", "aperture>=2.8"}, 2, "not a whole number or a fraction"},
        {{"search", "--where", "exposure>1/0"}, 2, "not a whole number or a fraction"},
        {{"search", "--where", "taken>=2019-5-1"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-05-01x"}, 2, "not a date"},
        {{"search", "--where", "taken>=2019-05-01 24:00"}, 2, "not a date"},
        {{"search", "--where", "lat>91"}, 2, "latitude"},
        {{"search", "--where", "iso~400"}, 2, "compares texts"},
        {{"search", "--where", "iso!=400"}, 2, "inequality"},
        {{"search", "--where", "iso"}, 2, "not a condition"},
        {{"search", "--where", "iso>="}, 2, "value is missing"},
        {{"search", "--in", "faces", "x"}, 2, "unknown part"},
        {{"search"}, 2, "nothing to search for"},
        {{"search", "--where"}, 2, "at least one condition"},
        {{"stats", "1899"}, 2, "not a period"},
        {{"stats", "2019-13"}, 2, "not a period"},
        {{"stats", "--files", "2019-02-29"}, 2, "not a period"},
        {{"stats", "--files", "2019-05-01 10:20..x"}, 2, "not a period"},
        {{"stats", "2019-05-01"}, 2, "whole months"},
        {{"stats", "2020..2019-05"}, 2, "ends before it begins"},
        {{"stats", "--files"}, 2, "PERIOD or a FOLDER"},
        {{"stats", "--files", "2019", "2020"}, 2, "too many"},
        {{"stats", "2019", "2020"}, 2, "too many"},
        {{"stats", "--tree"}, 2, "--tree goes"},
        {{"stats", "--tree", "--files", "2019"}, 2, "--tree goes"},
        {{"stats", "--folders", "--months"}, 2, "choose one"},
        {{"history", "--clear", "ni"}, 2, "no PREFIX"},
        {{"history", "--limit", "0"}, 2, "not a count"},
        {{"history", "a", "b"}, 2, "one PREFIX"},
        {{"dupes", "extra"}, 2, "no arguments"},
        {{"search", "x"}, 1, "no index"},
        {{"stats"}, 1, "no index"},
        {{"dupes"}, 1, "no index"},
        {{"forget", pics}, 1, "no index"},
        {{"history"}, 1, "no index"},
        {{"refresh", pics}, 1, "no index"},
        {{"scope"}, 1, "no index"},
        {{"forget"}, 2, "no PATH"},
        {{"mv", pics}, 2, "NEW"},
        {{"scope", "rename", pics}, 2, "unknown action"},
        {{"scope", "add"}, 2, "needs a FOLDER"},
        {{"refresh"}, 2, "no PATH"},
        {{"--version"}, 0, ""},
        {{"help", "index"}, 0, ""},
    };
    for (const Usage& u : usage) {
        Result r = Picdex(u.args);
        std::string shown = u.args.empty() ? "" : u.args[0] + " " + u.args.back();
        EXPECT_EQ(r.status, u.status) << shown << ": " << r.err;
        EXPECT_NE(r.err.find(u.reason), std::string::npos) << shown << ": " << r.err;
        EXPECT_EQ(r.out.empty(), u.status != 0) << shown;  // results only on success
    }
    EXPECT_FALSE(std::filesystem::exists(Db()));
    // Every subcommand describes itself on standard output.
    for (std::string command : {"index", "search", "stats", "history", "dupes", "forget", "mv",
                                "scope", "refresh", "info", "list"}) {
        Result help = Picdex({command, "--help"});
        EXPECT_EQ(std::to_string(help.status) + help.out.substr(0, 15 + command.size()),
                  "0Usage: picdex " + command + " ");
    }
}

}  // namespace
}  // namespace clitest
